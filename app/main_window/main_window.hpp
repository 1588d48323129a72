// Main: the program's main window, from which everything is started.
//
// It shows the catalogue in four tabs (the applications by priority, the project tree, the
// import tools, the project subsets with their own tags), runs the forms from its lists and
// its tree, starts the make, import and export batches through the batch engine, and holds
// the activity log's buttons, the settings button and the IDE's connection controls.
//
// Opening: the conversation with the IDE is tried once (without starting it); as the window
// opens, the program warns when the IDE is not running, the settings steps run
// (LoadSettingsAtOpening: ZELT.INI, the saved subset tags, the settings window when a
// setting is blank, the table names), then the tables are opened, the tree is built and the
// lists are filled. Closing (the Close button, the close box, the window manager) saves the
// subset tags when they are retained, whichever way the window closes.
//
// The batches run inside the window's accepted-control handler: the window is the batch
// engine's BatchWindow. While a batch runs, or the IDE is being started, the status area
// shows the progress and a Cancel button, and nothing else of the window can be used: Cancel
// (or the close box, which then closes the window) sets AbortFlag, and the batch ends at its
// next step. A waiting item sleeps in a nested loop of the window; the wait for a command's
// acknowledgement and for a starting IDE sleep on the bus's descriptor within the window's
// toolkit, so that the window keeps painting.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/batches/batch_engine.hpp"
#include "app/history/time_left.hpp"
#include "app/ide/ide_channel.hpp"
#include "app/main_window/main_controls.hpp"
#include "app/program/program.hpp"
#include "app/tree/project_tree.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/ini_store.hpp"
#include "framework/window/tracked_record.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "runtime/window/desktop_notifier.hpp"

namespace zelt::app {

// What the main window uses besides the tables and the settings.
struct MainWindowServices {
    IdeServices ide;
    // Where the window's place, selected tab and column widths are kept (not owned; none:
    // they are not kept).
    framework::IniStore* places = nullptr;
    // Tells the desktop that a long batch ended (not owned; none: nothing is told).
    runtime::DesktopNotifier* notifier = nullptr;
    // How long a batch must run before its end is told to the desktop.
    std::int64_t notify_after_ms = 10000;
};

class MainWindow final : public framework::WindowController, public BatchWindow {
  public:
    MainWindow(framework::ErrorReporter& errors, MainWindowServices services);
    ~MainWindow() override;

    // ---- The window procedure ------------------------------------------------------------
    framework::Level Init() override;
    framework::Level Kill() override;
    framework::Level OnAccepted() override;
    framework::Level OnNewSelection() override;
    framework::Level OnWindowEvent() override;
    framework::Level OnFieldEvent() override;
    framework::ResponseCode RunForm(std::uint16_t procedure,
                                    framework::RequestCode request) override;

    // ---- Its state ------------------------------------------------------------------------
    IdeChannel& Ide() { return *ide_; }
    BatchEngine& Engine() { return *engine_; }
    ProjectTree& Tree() { return tree_; }
    framework::BrowseController& Applications() { return apps_list_; }
    framework::BrowseController& ProjectsList() { return projects_list_; }
    framework::BrowseController& SubsetList() { return subset_list_; }
    // The last batch's summary, and how long it ran (on the installed clock).
    const std::optional<BatchSummary>& LastBatch() const { return last_batch_; }

    // ---- BatchWindow ------------------------------------------------------------------------
    void ShowMessage(std::string_view text) override;
    void Redisplay() override;
    void SelectApplicationsList() override;
    void PostEvent(runtime::EventCode event) override;
    bool StartCancelled() override;
    void IdeOutputGoesTo(std::string_view path) override;
    int ShowMessageBox(const runtime::MessageRequest& request) override;
    void Beep() override;
    void Activate() override;
    void Focus(BatchFocus target) override;
    void BatchItems(const std::vector<AppsRecord>& items) override;
    void Progress(int done, int to_do) override;
    void WaitForResult(const ResultWait& wait) override;

  private:
    // The opening steps of the settings, the tables, the tree and the lists.
    bool OpenCatalogue();
    void SetUpLists();
    runtime::ListCell ApplicationCell(const framework::BrowseRow& row, int column) const;
    runtime::ListCell SubsetCell(const framework::BrowseRow& row, int column) const;
    std::string SelectedProjectRef() const;

    // Tab changes and buttons (main_buttons.cpp).
    void TabChanged();
    void TagButton();
    void UntagAll();
    void ImSure();
    void ClearSubsetTags();
    void ToggleSubsetTag();
    void EnableGenerateSubset();
    void CloseButton();
    void ListEnter(runtime::ControlNumber list);

    // Batches (main_batches.cpp): runs one with the window busy, and tells the desktop when
    // it ran long. A make shows the time left beside its progress (from the build history).
    void RunBatch(const std::function<BatchSummary()>& batch, bool make = false);
    void StartVextor();
    // The window while a batch runs or the IDE starts: everything but Cancel out of use, the
    // progress and Cancel shown.
    void EnterBusy();
    void LeaveBusy();
    // Takes what the user did while the window was busy: Cancel and the close box abort,
    // anything else is passed over.
    void TakeBusyEvents();
    // The transport's sleep: the window waits on the bus's descriptor.
    // The transport's sleep while the program waits on the bus; false once the user
    // cancelled the batch, so that the wait is given up.
    bool SleepOnBus(int descriptor, std::int64_t timeout_ms);
    void NoteAwaited(std::string_view what);
    void WatchBus();

    // Where the window was, its tab and its lists' columns (main_places.cpp).
    void RestorePlaces();
    void SavePlaces();
    // The tab that was in front last time, once the catalogue is open.
    bool RestoreTab();

    MainWindowServices services_;
    std::string transport_reason_;
    std::shared_ptr<runtime::ConversationTransport> transport_;
    std::unique_ptr<runtime::ConversationClient> client_;
    std::unique_ptr<runtime::ServerStarter> own_starter_;
    std::unique_ptr<IdeChannel> ide_;
    std::unique_ptr<BatchEngine> engine_;

    framework::TableView apps_view_;
    framework::TrackedRecord apps_record_;
    framework::BrowseController apps_list_;
    framework::TableView projects_view_;
    framework::TrackedRecord projects_record_;
    framework::BrowseController projects_list_;
    framework::TableView subset_view_;
    framework::TrackedRecord subset_record_;
    framework::BrowseController subset_list_;
    ProjectTree tree_;

    bool catalogue_open_ = false;
    bool busy_ = false;
    bool close_after_busy_ = false;
    bool cancelled_ = false;
    bool in_bus_sleep_ = false;
    int bus_watch_ = 0;
    int restore_tab_ = 0;
    std::string progress_text_;
    BatchTimeLeft time_left_;
    std::string ide_output_note_;  // where a started IDE's output goes, for the status line
    std::optional<BatchSummary> last_batch_;
};

// Runs the main window until it closes; the process's exit status (0).
int Main(framework::ErrorReporter& errors, MainWindowServices services);

}  // namespace zelt::app
