// What the headless mode keeps of a running batch besides its plain event lines: the
// BatchRecord for the JUnit report, and with --json each event as a JSON line on standard
// output (json_events.hpp) in place of the plain line.
//
// An event's JSON line carries its item's outcome when the event ended the item, which is
// known only once the next event belongs to another item, or the batch is over. So the line
// of an event that may end its item is held back until then; a "Begin ..." event, which
// never ends its item, goes out at once. (The engine hands its events over in batches
// before each command, wait, question and message, so nothing is held for long.)
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
    void ItemsDone(int done) { record_.ItemsDone(done); }
    void Finish(const BatchSummary& summary, double seconds, std::string_view end_status);

    const BatchRecord& Record() const { return record_; }

  private:
    struct Held {
        TempFileRecord event{};
        int item = 0;
    };
    // Prints the held line; with its item's outcome when `last` and the item has ended.
    void Release(bool last);

    BatchRecord record_;
    bool json_;
    std::vector<Held> held_;  // at most one
};

}  // namespace zelt::app
