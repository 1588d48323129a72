#include "app/forms/update_projects.hpp"

#include <functional>
#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/forms/app_columns.hpp"
#include "app/forms/catalogue_form.hpp"
#include "app/forms/select_app.hpp"
#include "app/forms/update_apps.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/parent_range.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelNotify;
using framework::LevelOk;
using framework::SnapshotId;
using Ctl = UpdateProjectsCtl;

runtime::WindowDeclaration Declaration() {
    runtime::WindowDeclaration w("Projects");
    w.Modal().Resizable();
    w.Sheet("?CurrentTab");
    w.Tab("?Tab:1", "General");
    w.Prompt("?PRO:ProjectName:Prompt", "Project Name:");
    w.Entry("?PRO:ProjectName", 50).Use(framework::FieldBinding(Projects, 0));
    w.Group("?GROUP1");
    w.String("?STRING1", "Project Applications:");
    w.List("?Browse:2", ApplicationColumns()).Immediate().Hint(80, 8);
    w.Button("?AddAppButton", "&Add App")
        .Tip("Add an application to the project")
        .Status("Select an application for this project");
    w.Button("?RemoveAppButton", "&Remove App")
        .Tip("Remove app from project")
        .Status("Remove app from project");
    w.Button("?Change:3", "Chan&ge");
    w.End();
    w.Tab("?Tab:2", "&Applications");
    w.End();
    w.Button("?OK", "&Ok").Default();
    w.Button("?Cancel", "&Cancel");
    return w;
}

// The project record of the form, through its relation tracker; a reserved record given
// back (a cancelled insert) first lets the form put back the applications it moved in.
class ProjectRecord final : public framework::PrimaryRecord {
  public:
    ProjectRecord(framework::RelationTracker& tracker, std::function<void()> before_release)
        : inner_(tracker), before_release_(std::move(before_release)) {}

    SnapshotId SaveSnapshot() override { return inner_.SaveSnapshot(); }
    void RestoreSnapshot(SnapshotId& id, bool copy_back = true) override {
        inner_.RestoreSnapshot(id, copy_back);
    }
    bool SameAsSnapshot(SnapshotId id) override { return inner_.SameAsSnapshot(id); }
    Level EnsureOpen() override { return inner_.EnsureOpen(); }
    void SaveLinks() override { inner_.SaveLinks(); }
    void ClearRecord() override { inner_.ClearRecord(); }
    Level PrepareRecord(bool keep_buffer) override { return inner_.PrepareRecord(keep_buffer); }
    Level ReserveAutoNumber() override { return inner_.ReserveAutoNumber(); }
    Level ReleaseAutoNumber() override {
        before_release_();
        return inner_.ReleaseAutoNumber();
    }
    Level Insert() override { return inner_.Insert(); }
    Level Update(bool from_form) override { return inner_.Update(from_form); }
    // The question before a delete says how many applications go with the project.
    Level Delete(bool ask) override {
        const int count = ask ? ApplicationsOf(PRO.P_Ref) : 0;
        if (count == 0) return inner_.Delete(ask);
        const std::string text =
            "The project \"" + PRO.ProjectName.Clip() + "\" holds " +
            (count == 1 ? std::string("1 application") : std::to_string(count) + " applications") +
            ", which will be deleted with it.||Delete the project and " +
            (count == 1 ? "its application?" : "all its applications?");
        if (runtime::Message(text, "Confirm Delete", runtime::StockIcon::Exclamation,
                             runtime::button::Yes | runtime::button::No,
                             runtime::button::No) != runtime::button::Yes)
            return LevelNotify;
        return inner_.Delete(false);
    }
    std::string Position() override { return inner_.Position(); }
    Level Reread(std::string_view position) override { return inner_.Reread(position); }

  private:
    // How many applications belong to the project (the APPS buffer is left as it was).
    static int ApplicationsOf(std::int32_t project) {
        const AppsRecord kept = APP;
        int count = 0;
        APP.P_Ref = project;
        if (AppsManager.EnsureOpen() == LevelOk &&
            Apps.SetKeyKey(AppsTable::P_RefKey) == runtime::err::NoError) {
            while (Apps.Next() == runtime::err::NoError && APP.P_Ref == project) ++count;
        }
        APP = kept;
        return count;
    }

    framework::TrackedRecord inner_;
    std::function<void()> before_release_;
};

class UpdateProjectsWindow final : public CatalogueForm {
  public:
    explicit UpdateProjectsWindow(framework::ErrorReporter& errors)
        : CatalogueForm(errors, Declaration(), "UpdateProjects", ProjectsRelations),
          record_(ProjectsRelations, [this] { PutBackMoved(); }),
          apps_record_(AppsRelations),
          view_(Apps) {}

    Level Init() override;
    Level OnAccepted() override;
    framework::ResponseCode RunForm(std::uint16_t, framework::RequestCode request) override {
        return framework::CallWithRequest(request, [this] { UpdateApps(Errors); });
    }

  private:
    // An application this form moved, and the project it belonged to before.
    struct Moved {
        std::string application, directory;
        std::int32_t previous;
    };
    void AddApp();
    void RemoveApp();
    // Writes APP:P_Ref of the application in the buffer (read by APP:DriveKey).
    void SetProjectOf(std::int32_t project);
    void PutBackMoved();

    ProjectRecord record_;
    framework::TrackedRecord apps_record_;
    framework::TableView view_;
    framework::BrowseController browse_;
    std::vector<Moved> moved_;
};

Level UpdateProjectsWindow::Init() {
    if (Level l = CatalogueForm::Init(); l != LevelOk) return l;
    FirstField = Ctl::ProjectName;
    AddHistoryField(Ctl::ProjectName);
    Primary = &record_;
    OKControl = Ctl::Ok;
    AddButton(Ctl::Cancel, framework::ResponseCancelled);
    if (!OpenTables()) return LevelFatal;
    const bool view = Request == framework::RequestView;
    if (!view && PrimeForm() != LevelOk)
        return LevelFatal;  // the delete was done (or refused) at once
    browse_.Init(*this, Ctl::Browse2, view_, apps_record_, Errors);
    browse_.ActiveOrder().Order = "APP:PriorityKey";  // by priority, then name
    framework::LimitToParent(browse_, AppsRelations, ProjectsRelations);
    AddApplicationFields(browse_);
    browse_.AskProcedure = 1;
    if (view) {
        Window().SetReadOnly(Ctl::ProjectName);
        for (int n : {Ctl::AddAppButton, Ctl::RemoveAppButton, Ctl::Change3}) Window().Disable(n);
    } else {
        browse_.ChangeControl = Ctl::Change3;
    }
    ShowAction("View Record", "New Project", "Project will be Updated");
    if (!OpenWindow()) return LevelFatal;
    return LevelOk;
}

Level UpdateProjectsWindow::OnAccepted() {
    switch (Window().Field()) {
        case Ctl::AddAppButton:
            AddApp();
            return LevelNotify;
        case Ctl::RemoveAppButton:
            RemoveApp();
            return LevelNotify;
        case Ctl::Ok:
            if (OriginalRequest == framework::RequestInsert ||
                OriginalRequest == framework::RequestChange) {
                Window().Update();
                // A project without a name would be left out of the name order: no list could show
                // it.
                if (PRO.ProjectName.Clip().empty()) {
                    runtime::Message("A project needs a name.", "Project Name",
                                     runtime::StockIcon::Exclamation);
                    Window().Select(Ctl::ProjectName);
                    return LevelNotify;
                }
                // Another project of the same name: said once, plainly, before any write.
                if (Projects.DuplicateKey(ProjectsTable::ProjectNameKey)) {
                    runtime::Message("There is a project named \"" + PRO.ProjectName.Clip() +
                                         "\" already.|Give this one another name.",
                                     "Project Name", runtime::StockIcon::Exclamation);
                    Window().Select(Ctl::ProjectName);
                    return LevelNotify;
                }
            }
            break;
        default:
            break;
    }
    return CatalogueForm::OnAccepted();
}

void UpdateProjectsWindow::AddApp() {
    Window().Update();
    APP.Application.Clear();
    APP.DrivenPath.Clear();
    const auto response =
        framework::CallWithRequest(framework::RequestSelect, [this] { SelectApp(Errors); });
    const bool chosen = response == framework::ResponseCompleted &&
                        AppsManager.Fetch(AppsTable::DriveKey) == LevelOk;
    if (chosen) SetProjectOf(PRO.P_Ref);
    framework::GlobalResponse() = framework::ResponseCancelled;
    if (chosen) {
        browse_.ResetQueueAtBuffer();  // the application added is highlighted
        Window().Select(Ctl::Browse2);
    } else {
        Refresh(true);
    }
}

void UpdateProjectsWindow::RemoveApp() {
    Window().Update();
    const bool row = browse_.CurrentChoice >= 1 && browse_.CurrentChoice <= browse_.RowCount();
    if (row &&
        runtime::Message("Are you sure you want to remove this app from the project?", "Confirm",
                         runtime::StockIcon::Exclamation,
                         runtime::button::Yes | runtime::button::No) == runtime::button::Yes) {
        browse_.UpdateBuffer();
        if (AppsManager.Fetch(AppsTable::DriveKey) == LevelOk) SetProjectOf(0);
    }
    Refresh(true);
    Window().Select(Ctl::Browse2);
}

void UpdateProjectsWindow::SetProjectOf(std::int32_t project) {
    const std::string application = APP.Application.Clip();
    const std::string directory = APP.DrivenPath.Clip();
    bool known = false;
    for (const Moved& m : moved_)
        known = known || (m.application == application && m.directory == directory);
    if (!known) moved_.push_back({application, directory, APP.P_Ref});
    APP.P_Ref = project;
    AppsRelations.Update();
}

void UpdateProjectsWindow::PutBackMoved() {
    const AppsRecord kept = APP;
    for (const Moved& m : moved_) {
        APP.Application = m.application;
        APP.DrivenPath = m.directory;
        if (AppsManager.Fetch(AppsTable::DriveKey) != LevelOk || APP.P_Ref != PRO.P_Ref) continue;
        APP.P_Ref = m.previous;
        AppsRelations.Update();
    }
    moved_.clear();
    APP = kept;
}

}  // namespace

framework::ResponseCode UpdateProjects(framework::ErrorReporter& errors) {
    UpdateProjectsWindow window(errors);
    return window.Run();
}

}  // namespace zelt::app
