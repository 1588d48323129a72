// What the headless mode keeps of a running batch besides its plain event lines: the
// BatchRecord for the JUnit report, and with --json each event as a JSON line on standard
// output (json_events.hpp) in place of the plain line.
//
// An event's JSON line carries its item's outcome when the event ended the item, which is
// known only when the engine counts the item off (Progress) right after it. So the line of
// an event that may end its item is held back until the next event, the item's end, or the
// moment the batch waits or shows a message, whichever comes first; a "Begin ..." event,
// which never ends its item, goes out at once.
#pragma once

#include <string>
#include <vector>

#include "app/headless/batch_record.hpp"

namespace zelt::app {

class BatchTrace {
  public:
    BatchTrace(std::string batch_name, bool json) : record_(std::move(batch_name)), json_(json) {}

    // True when the plain event lines give way to JSON lines.
    bool Json() const { return json_; }

    void ItemsChosen(const std::vector<AppsRecord>& items) { record_.ItemsChosen(items); }
    void EventLogged(const TempFileRecord& event);
    void ItemsDone(int done);
    // Prints the held-back line, if any.
    void Flush();
    void Finish(const BatchSummary& summary, double seconds, std::string_view end_status);

    const BatchRecord& Record() const { return record_; }

  private:
    struct Held {
        TempFileRecord event{};
        int item = 0;
    };
    void Print(const Held& held, std::string_view outcome);

    BatchRecord record_;
    bool json_;
    std::vector<Held> held_;  // at most one
};

}  // namespace zelt::app
