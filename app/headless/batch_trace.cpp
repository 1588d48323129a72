#include "app/headless/batch_trace.hpp"

#include "app/headless/console_messages.hpp"
#include "app/headless/json_events.hpp"

namespace zelt::app {

void BatchTrace::EventLogged(const TempFileRecord& event) {
    const int item = record_.EventLogged(event);
    if (!json_) return;
    // An event of another item means the held one was the last of its own: an item's events
    // that may end it come together (an error and "Wait limit reached").
    if (!held_.empty()) Release(item != held_.back().item);
    const Held held{event, item};
    held_.push_back(held);
    if (event.Event.View().substr(0, 6) == "Begin ") Release(false);
}

void BatchTrace::Finish(const BatchSummary& summary, double seconds, std::string_view end_status) {
    if (!held_.empty()) Release(true);
    record_.Finish(summary, seconds, end_status);
}

void BatchTrace::Release(bool last) {
    const Held held = held_.back();
    held_.clear();
    const bool ended = last && record_.Ended(held.item);
    WriteLine(stdout, EventJson(held.event, held.item,
                                ended ? OutcomeName(record_.OutcomeOf(held.item)) : ""));
}

}  // namespace zelt::app
