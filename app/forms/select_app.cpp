#include "app/forms/select_app.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/forms/app_columns.hpp"
#include "app/forms/catalogue_form.hpp"
#include "app/forms/update_apps.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/window/tracked_record.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelOk;
using Ctl = SelectAppCtl;

runtime::WindowDeclaration Declaration() {
    runtime::WindowDeclaration w("Select Application");
    w.Modal().Resizable();
    w.List("?Browse:1", ApplicationColumns(runtime::Align::Right)).Immediate().Hint(80, 12);
    w.Button("?Select:2", "&Add to Project");
    w.Button("?Insert:3", "&Insert");
    w.Button("?Change:3", "Chan&ge");
    w.Button("?Delete:3", "&Delete");
    w.Sheet("?CurrentTab");
    w.Tab("?Tab:2", "APP &Name");
    w.Tab("?Tab:3", "&Priority");
    w.End();
    w.Button("?Close", "&Close");
    return w;
}

class SelectAppWindow final : public CatalogueForm {
  public:
    explicit SelectAppWindow(framework::ErrorReporter& errors)
        : CatalogueForm(errors, Declaration(), "SelectApp", AppsRelations),
          record_(AppsRelations),
          view_(Apps) {}

    Level Init() override {
        if (Level l = CatalogueForm::Init(); l != LevelOk) return l;
        if (!OpenTables()) return LevelFatal;
        AddButton(Ctl::Close, framework::ResponseCancelled);
        browse_.Init(*this, Ctl::Browse1, view_, record_, Errors);
        // A priority typed positions on the first application of that priority: the name
        // after it in the key is blanked, not left from the row highlighted before.
        const runtime::Binding priority = framework::FieldBinding(Apps, apps_field::Priority);
        Sort(browse_.ActiveOrder(), "APP:PriorityKey", "APP:Priority", false,
             runtime::Binding([priority] { return priority.Read(); },
                              [priority](std::string_view text) {
                                  priority.Write(text);
                                  APP.Application.Clear();
                              }));
        Sort(browse_.AddSortOrder(), "APP:DriveKey", "APP:Application", true,
             framework::FieldBinding(Apps, apps_field::Application));
        AddApplicationFields(browse_);
        browse_.InsertControl = Ctl::Insert3;
        browse_.ChangeControl = Ctl::Change3;
        browse_.DeleteControl = Ctl::Delete3;
        browse_.SelectControl = Ctl::Select2;
        browse_.AskProcedure = 1;
        FollowTab();
        if (!OpenWindow()) return LevelFatal;
        return LevelOk;
    }
    Level OnNewSelection() override {
        if (Window().Field() == Ctl::CurrentTab) FollowTab();
        return LevelOk;
    }
    framework::ResponseCode RunForm(std::uint16_t, framework::RequestCode request) override {
        return framework::CallWithRequest(request, [this] { UpdateApps(Errors); });
    }

  private:
    static void Sort(framework::SortOrder& order, const char* key, const char* label, bool text,
                     runtime::Binding locator) {
        order.Order = key;
        order.Locator = true;
        order.FreeElement = framework::ViewField{label, std::move(locator), text, true};
    }
    // The "&Priority" tab sorts by priority, the "APP &Name" tab by name.
    void FollowTab() {
        browse_.SetSort(Window().Choice(Ctl::CurrentTab) == 2 ? kPickByPriority : kPickByName);
    }

    framework::TrackedRecord record_;
    framework::TableView view_;
    framework::BrowseController browse_;
};

}  // namespace

framework::ResponseCode SelectApp(framework::ErrorReporter& errors) {
    SelectAppWindow window(errors);
    return window.Run();
}

}  // namespace zelt::app
