// The batches' window over a window of the window model: the main window hands one of these
// to its IdeChannel and its BatchEngine.
//
// Messages, the beep and activation go to the window system; the focus moves to the
// controls named at construction. A waiting item runs a nested accept loop of the window
// with the window's timer at the wait's tick, so that the window repaints and reacts while
// the batch waits: the loop returns at the next timer event. The Close button accepted, or
// the window being closed, during a wait calls `on_close` (the engine's CloseButton) and
// returns at once; the close itself is not carried out, so that the batch ends properly first
// (the Close button is pressed again, or the window closed again, once it has ended).
#pragma once

#include <functional>

#include "app/batches/batch_window.hpp"
#include "runtime/window/window.hpp"

namespace zelt::app {

struct BatchViewControls {
    runtime::ControlNumber applications_list = 0;  // ?List
    runtime::ControlNumber subsets_tab = 0;        // ?Tab4
    runtime::ControlNumber close_button = 0;       // ?BUTTON7
};

class WindowBatchView : public BatchWindow {
  public:
    WindowBatchView(runtime::Window& window, BatchViewControls controls,
                    std::function<void()> on_close)
        : window_(window), controls_(controls), on_close_(std::move(on_close)) {}

    void ShowMessage(std::string_view text) override;
    void Redisplay() override;
    void SelectApplicationsList() override;
    void PostEvent(runtime::EventCode event) override;
    int ShowMessageBox(const runtime::MessageRequest& request) override;
    void Beep() override;
    void Activate() override;
    void Focus(BatchFocus target) override;
    void WaitForResult(const ResultWait& wait) override;
    // While a started IDE is awaited: takes what the user did meanwhile; the Close button
    // (or closing the window) gives up the wait, as in WaitForResult.
    bool StartCancelled() override;

  private:
    // A close asked for by the current event: on_close called, the close itself held back.
    bool TakeClose();

    runtime::Window& window_;
    BatchViewControls controls_;
    std::function<void()> on_close_;
};

}  // namespace zelt::app
