// What the catalogue's forms and picker share: their tables opened through a relation
// tracker for the life of the window, and the title that names the action of the request.
#pragma once

#include <string>

#include "framework/relation_tracker.hpp"
#include "framework/window/window_controller.hpp"

namespace zelt::app {

class CatalogueForm : public framework::WindowController {
  public:
    CatalogueForm(framework::ErrorReporter& errors, runtime::WindowDeclaration declaration,
                  std::string name, framework::RelationTracker& tables)
        : WindowController(errors, std::move(declaration), std::move(name)), tables_(tables) {}

    framework::Level Kill() override {
        if (FilesOpened) {
            tables_.CloseAll();
            FilesOpened = false;
        }
        return WindowController::Kill();
    }

  protected:
    // Opens the tables with all those related to them; false when they cannot be used.
    bool OpenTables() {
        if (tables_.OpenAll() != framework::LevelOk) return false;
        FilesOpened = true;
        return true;
    }
    // The title becomes the action message of the request.
    void ShowAction(const char* view, const char* insert, const char* change) {
        const char* title = Request == framework::RequestView     ? view
                            : Request == framework::RequestInsert ? insert
                            : Request == framework::RequestChange ? change
                                                                  : nullptr;
        if (title) Window().SetTitle(title);
    }

  private:
    framework::RelationTracker& tables_;
};

}  // namespace zelt::app
