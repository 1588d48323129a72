#include "app/batches/window_batch_view.hpp"

#include <algorithm>

#include "runtime/window/window_system.hpp"

namespace zelt::app {

void WindowBatchView::ShowMessage(std::string_view text) {
    window_.System().Message(text);
}

void WindowBatchView::Redisplay() {
    window_.Display();
}

void WindowBatchView::SelectApplicationsList() {
    window_.Select(controls_.applications_list);
}

void WindowBatchView::PostEvent(runtime::EventCode event) {
    window_.Post(event);
}

int WindowBatchView::ShowMessageBox(const runtime::MessageRequest& request) {
    return window_.System().Message(request);
}

void WindowBatchView::Beep() {
    window_.System().Beep();
}

void WindowBatchView::Activate() {
    window_.System().Activate(window_);
}

void WindowBatchView::Focus(BatchFocus target) {
    window_.Select(target == BatchFocus::ApplicationsList ? controls_.applications_list
                                                          : controls_.subsets_tab);
}

void WindowBatchView::WaitForResult(const ResultWait& wait) {
    const int kept_timer = window_.TimerInterval();
    window_.SetTimer(static_cast<int>(std::max<std::int64_t>(wait.tick_ms / 10, 1)));
    while (window_.Accept()) {
        if (window_.Event() == runtime::event::Timer || TakeClose()) break;
    }
    window_.SetTimer(kept_timer);
}

bool WindowBatchView::StartCancelled() {
    while (window_.Poll() && window_.Accept()) {
        if (TakeClose()) return true;
    }
    return false;
}

bool WindowBatchView::TakeClose() {
    const runtime::EventCode event = window_.Event();
    const bool close_button = event == runtime::event::Accepted && controls_.close_button != 0 &&
                              window_.Field() == controls_.close_button;
    if (!close_button && event != runtime::event::CloseWindow && event != runtime::event::CloseDown)
        return false;
    window_.Cycle();  // the window stays open until the batch has ended
    if (on_close_) on_close_();
    return true;
}

}  // namespace zelt::app
