#include "app/headless/console_batch_window.hpp"

#include "app/headless/console_messages.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::app {
namespace {
constexpr int kDatePicture = 10;  // yyyy/mm/dd
constexpr int kTimePicture = 4;   // hh:mm:ss
}  // namespace

std::string EventLine(const TempFileRecord& event, std::string_view shown_name) {
    std::string line = runtime::FormatDate(event.Date, kDatePicture);
    line.append(" ").append(runtime::FormatTime(event.Clock, kTimePicture)).append("  ");
    // The record's texts are stored text; the terminal takes UTF-8.
    std::string name(shown_name);
    if (name.size() < 12) name.resize(12, ' ');
    line.append(runtime::StoredToUtf8(name)).append("  ");
    return line.append(runtime::StoredToUtf8(event.Event.Clip()));
}

void ConsoleBatchWindow::ShowMessage(std::string_view text) {
    WriteLine(stderr, ConsoleMessageText({}, text, runtime::button::Ok, runtime::button::Ok));
}

int ConsoleBatchWindow::ShowMessageBox(const runtime::MessageRequest& request) {
    int answer = runtime::EffectiveDefaultButton(request);
    if ((request.buttons & runtime::button::Yes) != 0) {
        asked_ = true;
        if (yes_) answer = runtime::button::Yes;
    }
    std::string text = ConsoleMessageText(request.caption, request.text, request.buttons, answer);
    if (asked_ && !yes_) text += " (--yes answers Yes)";
    WriteLine(stderr, text);
    return answer;
}

void ConsoleBatchWindow::BatchItems(const std::vector<AppsRecord>& items) {
    if (trace_) trace_->ItemsChosen(items);
    time_left_.Items(items);
    if (const std::string left = time_left_.Text(0); !left.empty())
        WriteLine(stderr, "zelt: " + left);
}

void ConsoleBatchWindow::EventLogged(const TempFileRecord& event) {
    if (trace_) trace_->EventLogged(event);
    if (!trace_ || !trace_->Json()) WriteLine(stdout, EventLine(event, event.Apps.Clip()));
    NoticeSignals();
}

void ConsoleBatchWindow::EventNotLogged(const TempFileRecord& event, runtime::ErrorCode code,
                                        std::string_view text) {
    WriteLine(stderr, "zelt: event not written to the activity log (error " + std::to_string(code) +
                          " " + std::string(text) + "): " + EventLine(event, event.Apps.Clip()));
}

void ConsoleBatchWindow::IdeOutputGoesTo(std::string_view path) {
    WriteLine(stderr, "zelt: Vextor started; its output goes to " + std::string(path));
}

bool ConsoleBatchWindow::SleepOnBus(int descriptor, std::int64_t timeout_ms) {
    if (NoticeSignals()) return false;
    SleepOnResult({descriptor, timeout_ms, {}}, signals_.Descriptor());
    return !NoticeSignals();
}

void ConsoleBatchWindow::Progress(int done, int to_do) {
    if (trace_) trace_->ItemsDone(done);
    if (const std::string left = time_left_.Text(done); !left.empty()) {
        WriteLine(stderr, "zelt: " + std::to_string(done) + " of " + std::to_string(to_do) +
                              " done, " + left);
    }
}

void ConsoleBatchWindow::WaitForResult(const ResultWait& wait) {
    SleepOnResult(wait, signals_.Descriptor());
    if (client_) client_->ProcessPending();
    NoticeSignals();
}

bool ConsoleBatchWindow::NoticeSignals() {
    if (!signals_.Arrived()) return false;
    if (!told_signal_) {
        told_signal_ = true;
        WriteLine(stderr, std::string("zelt: ") +
                              (signals_.Signal() == SIGINT ? "SIGINT" : "SIGTERM") +
                              " received: the batch ends");
    }
    if (engine_) engine_->RequestAbort();
    return true;
}

}  // namespace zelt::app
