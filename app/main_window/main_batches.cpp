// The main window as the batch engine's window: its status area while a batch runs, the
// waits inside the window, Cancel, and the word to the desktop when a long batch ends.
#include <poll.h>

#include <string>

#include "app/main_window/main_window.hpp"
#include "app/settings/settings_file.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

namespace ev = runtime::event;

// The parts of the window that are out of use while it is busy.
constexpr MainCtl kBusyDisabled[] = {MainCtl::Sheet1, MainCtl::GROUP1,  MainCtl::GROUP4,
                                     MainCtl::GROUP3, MainCtl::BUTTON7, MainCtl::Timeout};

std::int64_t NowMs() {
    return runtime::CurrentClockSource().MonotonicMs();
}

std::string Counts(const BatchSummary& s) {
    return std::to_string(s.made) + " made, " + std::to_string(s.skipped) + " skipped, " +
           std::to_string(s.failed) + " failed";
}

}  // namespace

// ---- IdeWindow and BatchWindow -------------------------------------------------------------

void MainWindow::ShowMessage(std::string_view text) {
    runtime::Message(text);
}

void MainWindow::Redisplay() {
    if (!Window().IsOpen()) return;
    Window().Display(+MainCtl::StatusMsg);
    Window().Display(+MainCtl::StatusMsg2);
}

void MainWindow::SelectApplicationsList() {
    Window().Select(+MainCtl::List);
}

void MainWindow::PostEvent(runtime::EventCode event) {
    Window().Post(event);
}

bool MainWindow::StartCancelled() {
    if (busy_) TakeBusyEvents();
    return cancelled_;
}

void MainWindow::IdeOutputGoesTo(std::string_view path) {
    ide_output_note_ = "Vextor's output: " + std::string(path);
    if (Window().IsOpen()) Window().SetText(+MainCtl::STRING1, ide_output_note_);
}

int MainWindow::ShowMessageBox(const runtime::MessageRequest& request) {
    return Window().System().Message(request);
}

void MainWindow::Beep() {
    runtime::Beep();
}

void MainWindow::Activate() {
    Window().System().Activate(Window());
}

void MainWindow::Focus(BatchFocus target) {
    Window().Select(target == BatchFocus::ApplicationsList ? +MainCtl::List : +MainCtl::Tab4);
}

void MainWindow::BatchItems(const std::vector<AppsRecord>& items) {
    time_left_.Items(items);
    Progress(0, static_cast<int>(items.size()));
}

void MainWindow::Progress(int done, int to_do) {
    if (!Window().IsOpen()) return;
    Window().SetValue(+MainCtl::BatchProgress, std::to_string(to_do > 0 ? done * 100 / to_do : 0));
    progress_text_ = std::to_string(done) + " of " + std::to_string(to_do);
    if (const std::string left = time_left_.Text(done); !left.empty())
        progress_text_ += ", " + left;
    Window().SetText(+MainCtl::STRING1, progress_text_);
}

void MainWindow::WaitForResult(const ResultWait& wait) {
    // A nested loop of the window: it paints, and Cancel and the close box get through.
    Window().WaitFor(wait.watch_descriptor, NowMs() + wait.tick_ms);
    TakeBusyEvents();
    client_->ProcessPending();
}

// ---- The busy window ------------------------------------------------------------------------

void MainWindow::EnterBusy() {
    busy_ = true;
    cancelled_ = false;
    auto& w = Window();
    for (MainCtl c : kBusyDisabled) w.Disable(+c);
    w.SetValue(+MainCtl::BatchProgress, "0");
    w.Unhide(+MainCtl::BatchProgress);
    w.Unhide(+MainCtl::CancelBatch);
    w.Enable(+MainCtl::CancelBatch);
    progress_text_.clear();
    w.SetText(+MainCtl::STRING1, {});
}

void MainWindow::LeaveBusy() {
    busy_ = false;
    auto& w = Window();
    if (!w.IsOpen()) return;
    for (MainCtl c : kBusyDisabled) w.Enable(+c);
    w.Hide(+MainCtl::BatchProgress);
    w.Hide(+MainCtl::CancelBatch);
    progress_text_.clear();
    w.SetText(+MainCtl::STRING1, ide_output_note_);
}

void MainWindow::TakeBusyEvents() {
    auto& w = Window();
    while (!w.Pending().empty() && w.Accept()) {
        const runtime::EventCode event = w.Event();
        if ((event == ev::Accepted && w.Field() == +MainCtl::CancelBatch) ||
            event == ev::CloseWindow || event == ev::CloseDown) {
            if (event != ev::Accepted) close_after_busy_ = true;
            if (!cancelled_) {
                cancelled_ = true;
                engine_->RequestAbort();
                w.Disable(+MainCtl::CancelBatch);
                w.SetText(+MainCtl::STRING1, "Cancelling...");
            }
        }
        w.Cycle();  // nothing else takes effect while the window is busy
    }
}

void MainWindow::NoteAwaited(std::string_view what) {
    if (Window().IsOpen()) Window().SetText(+MainCtl::STRING1, std::string(what));
}

bool MainWindow::SleepOnBus(int descriptor, std::int64_t timeout_ms) {
    if (!busy_ || !Window().IsOpen()) {
        // Nothing runs that the user could stop: a plain sleep on the bus.
        if (descriptor >= 0) {
            pollfd p{descriptor, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(timeout_ms, 1000)));
        }
        return true;
    }
    in_bus_sleep_ = true;
    if (!cancelled_) NoteAwaited("Waiting for Vextor's answer");
    Window().WaitFor(descriptor, NowMs() + timeout_ms);
    TakeBusyEvents();
    if (!cancelled_) NoteAwaited(progress_text_);
    in_bus_sleep_ = false;
    return !cancelled_;
}

void MainWindow::WatchBus() {
    const int descriptor = transport_->EventDescriptor();
    if (descriptor < 0 || bus_watch_ != 0) return;
    // What arrives from the bus while the window waits for the user (the IDE ending the
    // conversation) is handled at once; during a sleep on the bus its sleeper handles it.
    bus_watch_ = Window().System().Backend().WatchDescriptor(descriptor, [this] {
        if (!in_bus_sleep_) client_->ProcessPending();
    });
}

// ---- Batches ---------------------------------------------------------------------------------

void MainWindow::RunBatch(const std::function<BatchSummary()>& batch, bool make) {
    if (!transport_reason_.empty() && services_.ide.connect) {
        ShowMessage("Vextor cannot be reached: " + transport_reason_);
        return;
    }
    if (make) {
        time_left_.ReadHistory();
    } else {
        time_left_.Clear();
    }
    EnterBusy();
    // The hard wait limit, off unless ZELT.INI sets it.
    engine_->WaitMinutes = static_cast<std::uint8_t>(ReadWaitMinutes());
    engine_->ParallelIDEs = GLO.ParallelIDEs;  // as the settings window last left it
    time_left_.SetIdes(engine_->ParallelIDEs);
    const std::int64_t start = NowMs();
    last_batch_ = batch();
    const std::int64_t ran_ms = NowMs() - start;
    LeaveBusy();
    if (services_.notifier && ran_ms > services_.notify_after_ms && !last_batch_->answered_no) {
        services_.notifier->Notify(
            last_batch_->aborted ? "Processing Aborted" : "Processing Complete",
            last_batch_->could_not_run ? last_batch_->reason : Counts(*last_batch_));
    }
    EnableGenerateSubset();
    Refresh(true);
    if (close_after_busy_) Window().Post(ev::CloseWindow);
}

void MainWindow::StartVextor() {
    EnterBusy();
    ide_->ConnectButton();
    LeaveBusy();
    if (close_after_busy_) Window().Post(ev::CloseWindow);
}

}  // namespace zelt::app
