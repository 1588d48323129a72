#include "app/headless/batch_trace.hpp"

#include "app/headless/console_messages.hpp"
#include "app/headless/json_events.hpp"

namespace zelt::app {

void BatchTrace::EventLogged(const TempFileRecord& event) {
    Flush();
    const int item = record_.EventLogged(event);
    if (!json_) return;
    Held held{event, item};
    if (event.Event.View().substr(0, 6) == "Begin ") {
        Print(held, {});
    } else {
        held_.push_back(held);
    }
}

void BatchTrace::ItemsDone(int done) {
    const int last = record_.ItemsDone(done);
    if (held_.empty()) return;
    const Held held = held_.back();
    held_.clear();
    const bool ended = held.item > 0 && held.item <= last;
    Print(held, ended
                    ? OutcomeName(record_.Items()[static_cast<std::size_t>(held.item - 1)].outcome)
                    : std::string_view());
}

void BatchTrace::Flush() {
    for (const Held& held : held_) Print(held, {});
    held_.clear();
}

void BatchTrace::Finish(const BatchSummary& summary, double seconds, std::string_view end_status) {
    Flush();
    record_.Finish(summary, seconds, end_status);
}

void BatchTrace::Print(const Held& held, std::string_view outcome) {
    WriteLine(stdout, EventJson(held.event, held.item, outcome));
}

}  // namespace zelt::app
