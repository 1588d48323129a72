// The main window's tab changes and its buttons that work on the catalogue and the tags.
#include <cstdlib>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/main_window/main_window.hpp"

namespace zelt::app {

namespace {

namespace ev = runtime::event;

// What the batch buttons of the right-hand group are on each tab: shown, enabled.
struct BatchButtonsState {
    bool shown;
    bool execute_app, generate, export_app, export_dct;
};

BatchButtonsState StateOnTab(int tab) {
    switch (tab) {
        case 1:
            return {true, true, false, true, true};  // Applications
        case 2:
            return {true, false, true, false, false};  // Projects
        case 3:
            return {true, false, false, false, false};  // Imports
        default:
            return {false, false, false, false, false};  // Project Subsets
    }
}

}  // namespace

void MainWindow::TabChanged() {
    auto& w = Window();
    const BatchButtonsState s = StateOnTab(w.Choice(+MainCtl::Sheet1));
    const std::pair<MainCtl, bool> buttons[] = {{MainCtl::ExecuteApp, s.execute_app},
                                                {MainCtl::Generate, s.generate},
                                                {MainCtl::ExportApp, s.export_app},
                                                {MainCtl::ExportDCT, s.export_dct}};
    for (const auto& [control, enabled] : buttons) {
        w.Hide(+control, !s.shown);
        w.Enable(+control, enabled);
    }
    // Every change of tab asks again before an import.
    w.Disable(+MainCtl::ImportDCT);
    w.Disable(+MainCtl::ImportApp);
    w.Enable(+MainCtl::BUTTON23);
    Refresh(true);
}

void MainWindow::TagButton() {
    const int row = apps_list_.CurrentChoice;
    if (row < 1 || row > apps_list_.RowCount()) return;
    apps_list_.UpdateBuffer();
    // The row holds the key of APP:DriveKey; the record is read whole before it is written.
    if (AppsManager.Fetch(AppsTable::DriveKey) != framework::LevelOk) return;
    APP.Tag = static_cast<std::int16_t>(std::abs(APP.Tag - 1));
    AppsRelations.Update();
    Window().Select(+MainCtl::List);
    Window().Post(ev::ScrollDown, +MainCtl::List);
    Refresh(true);
}

void MainWindow::UntagAll() {
    APP.Priority = 0;  // from the lowest priority on; the name in the buffer stays
    Apps.SetKeyKey(AppsTable::PriorityKey);
    while (AppsManager.Next() == framework::LevelOk) {
        if (APP.Tag == 0) continue;
        APP.Tag = 0;
        AppsRelations.Update();
    }
    Refresh(true);
    Window().Select(+MainCtl::List);
}

void MainWindow::ImSure() {
    Window().Enable(+MainCtl::ImportDCT);
    Window().Enable(+MainCtl::ImportApp);
    Window().Disable(+MainCtl::BUTTON23);
    Refresh(true);
}

void MainWindow::ClearSubsetTags() {
    engine_->SubsetTagQueue.clear();
    EnableGenerateSubset();
    Refresh(true);
}

void MainWindow::ToggleSubsetTag() {
    const int row = subset_list_.CurrentChoice;
    if (row >= 1 && row <= subset_list_.RowCount()) {
        subset_list_.UpdateBuffer();
        QueueEntry entry;
        entry.AppName = APPS1.Application.Clip();
        entry.DrivePath = APPS1.DrivenPath.Clip();
        entry.Priority = APPS1.Priority;
        entry.Target = APPS1.Target.Clip();
        engine_->ToggleSubsetTag(entry);
        Window().Select(+MainCtl::List3);
        Window().Post(ev::ScrollDown, +MainCtl::List3);
    }
    EnableGenerateSubset();
    Refresh(true);
}

void MainWindow::EnableGenerateSubset() {
    Window().Enable(+MainCtl::GenerateSubset, !engine_->SubsetTagQueue.empty());
}

void MainWindow::CloseButton() {
    // The subset tags stay: the closing step saves them when they are retained, as it does
    // when the window is closed any other way.
    engine_->ProcessQueue.clear();
    engine_->FileQueue.clear();
    engine_->RequestAbort();
    Window().Post(ev::CloseWindow);
}

void MainWindow::ListEnter(runtime::ControlNumber list) {
    if (list == +MainCtl::List && apps_list_.RowCount() > 0)
        Window().Post(ev::Accepted, +MainCtl::Change);
    if (list == +MainCtl::List2 && projects_list_.RowCount() > 0)
        Window().Post(ev::Accepted, +MainCtl::Change3);
    if (list == +MainCtl::List3) ToggleSubsetTag();
}

}  // namespace zelt::app
