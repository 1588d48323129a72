#include "app/main_window/main_window.hpp"

#include <poll.h>

#include <algorithm>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/forms/app_columns.hpp"
#include "app/forms/update_apps.hpp"
#include "app/forms/update_projects.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "app/settings/get_config.hpp"
#include "app/settings/opening_steps.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelNotify;
using framework::LevelOk;
namespace ev = runtime::event;

// A starter for a program that was given none: the IDE cannot be started.
class NoStarter final : public runtime::ServerStarter {
  public:
    runtime::StartResult Start(std::string_view) override {
        return {false, "this program cannot start programs"};
    }
    std::string EndedInFailure() override { return {}; }
};

std::string Clipped(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

MainWindow::MainWindow(framework::ErrorReporter& errors, MainWindowServices services)
    : WindowController(
          errors,
          MainWindowDeclaration(
              runtime::Show([this] { return ide_ ? ide_->StatusMsg : std::string(); }),
              runtime::Binding(
                  [this] { return std::to_string(ide_ ? ide_->DDETimeOutMinutes : 3); },
                  [this](std::string_view text) {
                      if (ide_) runtime::Use(ide_->DDETimeOutMinutes).Write(text);
                  })),
          "Main"),
      services_(std::move(services)),
      apps_view_(Apps),
      apps_record_(AppsRelations),
      projects_view_(Projects),
      projects_record_(ProjectsRelations),
      subset_view_(Apps1),
      subset_record_(Apps1Relations),
      tree_(*this,
            {+MainCtl::RelTree, +MainCtl::Expand, +MainCtl::Contract, +MainCtl::Insert2,
             +MainCtl::Change2, +MainCtl::Delete2},
            StandardTreeForms(errors)) {
    if (services_.ide.connect) transport_ = services_.ide.connect(&transport_reason_);
    if (!transport_) {
        // Without a bus no IDE answers; the window still works on the catalogue.
        if (transport_reason_.empty()) transport_reason_ = "no way to reach the IDE was given";
        transport_ = std::make_shared<runtime::InProcessTransport>();
    }
    client_ = std::make_unique<runtime::ConversationClient>(transport_);
    runtime::ServerStarter* starter = services_.ide.starter;
    if (!starter) {
        own_starter_ = std::make_unique<NoStarter>();
        starter = own_starter_.get();
    }
    ide_ = std::make_unique<IdeChannel>(*client_, *this, *starter,
                                        [] { return std::string(GLO.RunString.View()); });
    engine_ = std::make_unique<BatchEngine>(*ide_, *this);
    transport_->SetSleep([this](int descriptor, std::int64_t timeout_ms) {
        return SleepOnBus(descriptor, timeout_ms);
    });
}

MainWindow::~MainWindow() {
    transport_->SetSleep(nullptr);
    if (bus_watch_ != 0) Window().System().Backend().UnwatchDescriptor(bus_watch_);
    if (ide_ && ide_->Channel != 0) client_->CloseConversation(ide_->Channel);
}

Level MainWindow::Init() {
    if (Level l = WindowController::Init(); l != LevelOk) return l;
    FirstField = +MainCtl::Sheet1;
    framework::GlobalRequest() = framework::RequestNone;
    framework::GlobalResponse() = framework::ResponseNone;
    ide_->SetStatus({});
    SetUpLists();
    RestorePlaces();
    if (!OpenWindow()) return LevelFatal;
    WatchBus();
    // The IDE is only looked for here; it is started by a batch or by "Start Vextor".
    ide_->ConnectAtOpening();
    Window().Display(+MainCtl::StatusMsg);
    Window().Display(+MainCtl::StatusMsg2);
    return LevelOk;
}

void MainWindow::SetUpLists() {
    apps_list_.Init(*this, +MainCtl::List, apps_view_, apps_record_, Errors);
    apps_list_.ActiveOrder().Order = "APP:PriorityKey";
    for (int field :
         {apps_field::Tag, apps_field::Priority, apps_field::DrivenPath, apps_field::Application})
        apps_list_.AddField(framework::FieldBinding(Apps, field));
    apps_list_.SetCellFormat([this](const framework::BrowseRow& row, int column) {
        return ApplicationCell(row, column);
    });
    // The thumb stands for the priority, between the lowest and the highest in the list; a
    // priority taken from the thumb starts its run of applications at the first name.
    const runtime::Binding priority = framework::FieldBinding(Apps, apps_field::Priority);
    apps_list_.ActiveOrder().FreeElement =
        framework::ViewField{"APP:Priority",
                             runtime::Binding([priority] { return priority.Read(); },
                                              [priority](std::string_view value) {
                                                  priority.Write(value);
                                                  APP.Application.Clear();
                                              }),
                             false};
    auto thumb = std::make_unique<framework::NumericDistribution>(1, 255);
    thumb->FromData = true;
    apps_list_.SetThumb(std::move(thumb));
    apps_list_.InsertControl = +MainCtl::Insert;
    apps_list_.ChangeControl = +MainCtl::Change;
    apps_list_.DeleteControl = +MainCtl::Delete;
    apps_list_.AskProcedure = 1;

    projects_list_.Init(*this, +MainCtl::List2, projects_view_, projects_record_, Errors);
    projects_list_.ActiveOrder().Order = "PRO:ProjectNameKey";
    projects_list_.AddField(framework::FieldBinding(Projects, 1));  // PRO:P_Ref
    projects_list_.AddField(framework::FieldBinding(Projects, 0));  // PRO:ProjectName
    projects_list_.InsertControl = +MainCtl::Insert3;
    projects_list_.ChangeControl = +MainCtl::Change3;
    projects_list_.DeleteControl = +MainCtl::Delete3;
    projects_list_.AskProcedure = 2;

    // The applications of the project highlighted in ?List:2.
    subset_list_.Init(*this, +MainCtl::List3, subset_view_, subset_record_, Errors);
    subset_list_.ActiveOrder().Order = "APPS1:P_RefKey";
    subset_list_.AddRange(
        {"APPS1:P_Ref", framework::FieldBinding(Apps1, apps_field::P_Ref), false, false},
        runtime::Show([this] { return SelectedProjectRef(); }), framework::LimitType::Related);
    for (int field : {apps_field::Priority, apps_field::DrivenPath, apps_field::Application,
                      apps_field::Target, apps_field::P_Ref})
        subset_list_.AddField(framework::FieldBinding(Apps1, field));
    subset_list_.SetCellFormat(
        [this](const framework::BrowseRow& row, int column) { return SubsetCell(row, column); });
}

std::string MainWindow::SelectedProjectRef() const {
    const int row = projects_list_.CurrentChoice;
    const auto& rows = projects_list_.ListQueue();
    if (row < 1 || row > static_cast<int>(rows.size())) return "-1";  // no project: no application
    return rows[static_cast<std::size_t>(row - 1)].values[0];
}

runtime::ListCell MainWindow::ApplicationCell(const framework::BrowseRow& row, int column) const {
    if (column < 1 || column > 4 || row.values.size() < 4) return {};
    if (column == 1) {
        const std::string& tag = row.values[0];
        return runtime::ListCell::Icon(!tag.empty() && tag != "0" ? 1 : 0);
    }
    return runtime::ListCell(row.values[static_cast<std::size_t>(column - 1)]);
}

runtime::ListCell MainWindow::SubsetCell(const framework::BrowseRow& row, int column) const {
    if (column < 1 || column > 4 || row.values.size() < 3) return {};
    if (column == 1)
        return runtime::ListCell::Icon(  // the row shows UTF-8, the queue keeps stored text
            engine_->IsSubsetTagged(runtime::Utf8ToStoredMarked(Clipped(row.values[2]))) ? 1 : 0);
    return runtime::ListCell(row.values[static_cast<std::size_t>(column - 2)]);
}

bool MainWindow::OpenCatalogue() {
    SettingsOpening opening;
    opening.run_settings_window = [this] { GetConfig(Errors); };
    opening.subset_tags = &engine_->SubsetTagQueue;
    if (!LoadSettingsAtOpening(Errors, opening)) return false;
    EnableGenerateSubset();
    for (framework::RelationTracker* tables :
         {&AppsRelations, &Apps1Relations, &TempFileRelations, &ProjectsRelations}) {
        if (tables->OpenAll() != LevelOk) return false;
    }
    FilesOpened = true;
    catalogue_open_ = true;
    tree_.Init();
    return true;
}

Level MainWindow::Kill() {
    if (Dead()) return LevelNotify;
    if (catalogue_open_) SaveSettingsAtClosing(engine_->SubsetTagQueue);
    SavePlaces();
    const Level level = WindowController::Kill();
    if (FilesOpened) {
        for (framework::RelationTracker* tables :
             {&ProjectsRelations, &TempFileRelations, &Apps1Relations, &AppsRelations})
            tables->CloseAll();
        FilesOpened = false;
    }
    return level;
}

Level MainWindow::OnWindowEvent() {
    switch (Window().Event()) {
        case ev::OpenWindow:
            if (!catalogue_open_) {
                if (ide_->Connected == 0) {
                    WarnIdeNotRunning();
                    Window().Select(+MainCtl::GROUP3, 2);
                }
                if (!OpenCatalogue()) return LevelFatal;
                WindowController::OnWindowEvent();
                if (!RestoreTab()) {
                    TabChanged();  // the batch buttons as the first tab has them
                    Window().Select(+MainCtl::List);
                }
                return LevelOk;
            }
            break;
        case ev::Timer:
            client_->ProcessPending();
            break;
        case ev::DDEclosed:
            // The IDE ended the conversation (or went away): said where the user looks.
            if (!busy_) {
                ide_->SetStatus("Vextor closed the conversation");
                Redisplay();
            }
            break;
        default:
            break;
    }
    return WindowController::OnWindowEvent();
}

Level MainWindow::OnNewSelection() {
    if (Window().Field() == +MainCtl::Sheet1) TabChanged();
    return LevelOk;
}

Level MainWindow::OnFieldEvent() {
    // Enter on a list row opens its form (or, on the subsets, toggles the row's tag).
    if (Window().Event() == ev::Accepted) {
        const runtime::ControlNumber f = Window().Field();
        if (f == +MainCtl::List || f == +MainCtl::List2 || f == +MainCtl::List3) ListEnter(f);
    }
    return LevelOk;
}

Level MainWindow::OnAccepted() {
    Window().Update();
    switch (static_cast<MainCtl>(Window().Field())) {
        case MainCtl::BUTTON13:
            TagButton();
            return LevelNotify;
        case MainCtl::UntagAllButton:
            UntagAll();
            return LevelNotify;
        case MainCtl::BUTTON23:
            ImSure();
            return LevelNotify;
        case MainCtl::ClearSubTags:
            ClearSubsetTags();
            return LevelNotify;
        case MainCtl::Toggle:
            ToggleSubsetTag();
            return LevelNotify;
        case MainCtl::BUTTON16:
            GetConfig(Errors);
            Window().Select(+MainCtl::Sheet1);
            return LevelNotify;
        case MainCtl::BUTTON17:
            EmptyLogButton(Errors);
            Window().Select(+MainCtl::Sheet1);
            return LevelNotify;
        case MainCtl::Event:
            ViewEvents(Errors, services_.places);
            Refresh(true);
            Window().Select(+MainCtl::Sheet1);
            return LevelNotify;
        case MainCtl::BUTTON21:
            PrintLog(Errors);
            Refresh(true);
            Window().Select(+MainCtl::List);
            return LevelNotify;
        case MainCtl::ConnectToVX:
            StartVextor();
            return LevelNotify;
        case MainCtl::DisconnectFromVX:
            ide_->DisconnectButton();
            return LevelNotify;
        case MainCtl::BUTTON7:
            CloseButton();
            return LevelNotify;
        case MainCtl::ExecuteApp:
            RunBatch([this] { return engine_->MakeTagged(); }, true);
            return LevelNotify;
        case MainCtl::Generate: {
            const int row = tree_.CurrentRow();
            const std::string name = row >= 1 && row <= static_cast<int>(tree_.Queue().size())
                                         ? tree_.Queue()[static_cast<std::size_t>(row - 1)].Display
                                         : std::string();
            RunBatch([this, name] { return engine_->MakeProject(name); }, true);
            return LevelNotify;
        }
        case MainCtl::GenerateSubset:
            RunBatch([this] { return engine_->MakeSubset(); }, true);
            return LevelNotify;
        case MainCtl::ImportDCT:
            RunBatch([this] { return engine_->ImportDictionaries(); });
            return LevelNotify;
        case MainCtl::ImportApp:
            RunBatch([this] { return engine_->ImportApplications(); });
            return LevelNotify;
        case MainCtl::ExportApp:
            RunBatch([this] { return engine_->ExportApplications(); });
            return LevelNotify;
        case MainCtl::ExportDCT:
            RunBatch([this] { return engine_->ExportDictionaries(); });
            return LevelNotify;
        default:
            break;
    }
    return WindowController::OnAccepted();
}

framework::ResponseCode MainWindow::RunForm(std::uint16_t procedure,
                                            framework::RequestCode request) {
    if (procedure == 1) return framework::CallWithRequest(request, [this] { UpdateApps(Errors); });
    if (procedure == 2)
        return framework::CallWithRequest(request, [this] { UpdateProjects(Errors); });
    return framework::ResponseCancelled;
}

int Main(framework::ErrorReporter& errors, MainWindowServices services) {
    MainWindow window(errors, std::move(services));
    window.Run();
    return 0;
}

}  // namespace zelt::app
