// The batch engine's window in the headless mode: events on standard output as they are
// logged, message boxes on standard error, questions answered by --yes, and every wait (for
// a result, for the IDE's answer, for a starting IDE) slept together with the termination
// signals, which abort the batch. In a make whose history was read (TimeLeft().ReadHistory())
// the time left is told on standard error at the start and as each item ends: "zelt: 2 of 5
// done, about 4 min left".
#pragma once

#include <string>

#include "app/batches/batch_engine.hpp"
#include "app/batches/batch_window.hpp"
#include "app/headless/batch_trace.hpp"
#include "app/headless/termination_signals.hpp"
#include "app/history/time_left.hpp"

namespace zelt::app {

// One logged event as a line: "2026/12/07 14:03:22  ORDERS.APP  Begin Make".
std::string EventLine(const TempFileRecord& event, std::string_view shown_name);

class ConsoleBatchWindow final : public BatchWindow {
  public:
    // `yes`: questions are answered Yes; otherwise they get their default answer.
    ConsoleBatchWindow(bool yes, TerminationSignals& signals) : yes_(yes), signals_(signals) {}

    // The engine whose AbortFlag a signal sets, and the client whose bus news is handled
    // while an item waits.
    void Attach(BatchEngine* engine, runtime::ConversationClient* client) {
        engine_ = engine;
        client_ = client;
    }
    bool Asked() const { return asked_; }
    BatchTimeLeft& TimeLeft() { return time_left_; }
    // Who records the batch (and prints JSON lines in place of the plain ones with --json).
    void Trace(BatchTrace* trace) { trace_ = trace; }

    // IdeWindow
    void ShowMessage(std::string_view text) override;
    void Redisplay() override { NoticeSignals(); }
    void SelectApplicationsList() override {}
    void PostEvent(runtime::EventCode) override {}
    bool StartCancelled() override { return NoticeSignals(); }
    void IdeOutputGoesTo(std::string_view path) override;

    // BatchWindow
    int ShowMessageBox(const runtime::MessageRequest& request) override;
    void Beep() override {}
    void Activate() override {}
    void Focus(BatchFocus) override {}
    void BatchItems(const std::vector<AppsRecord>& items) override;
    void EventLogged(const TempFileRecord& event) override;
    void Progress(int done, int to_do) override;
    void EventNotLogged(const TempFileRecord& event, runtime::ErrorCode code,
                        std::string_view text) override;
    void WaitForResult(const ResultWait& wait) override;

    // The transport's sleep: on the bus and the signals together; false once a termination
    // signal arrived, so that the wait for an answer is given up.
    bool SleepOnBus(int descriptor, std::int64_t timeout_ms);

  private:
    // True once a termination signal arrived; the batch is asked to stop.
    bool NoticeSignals();

    bool yes_;
    bool asked_ = false;
    bool told_signal_ = false;
    TerminationSignals& signals_;
    BatchTrace* trace_ = nullptr;
    BatchTimeLeft time_left_;
    BatchEngine* engine_ = nullptr;
    runtime::ConversationClient* client_ = nullptr;
};

}  // namespace zelt::app
