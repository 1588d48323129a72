// What became of each item of one batch, gathered from what the batch engine tells its
// window: the items it chose (BatchItems), each event once it is in the log (EventLogged),
// and each item's end (Progress). The engine is not asked anything else; the reports of a
// batch (JUnit, JSON events) are written from this record.
//
// The engine writes its events in batches, so an item's events may reach the window after
// the item has ended, and a make over several IDEs interleaves the events of its items.
// They are matched to items by name: an event that opens an item ("Begin ...", a missing
// file, "Skipped: ...") belongs to the first item of its name not yet opened; any other to
// the latest item of its name already opened (else to the first of its name not yet
// opened). An event of no item ("Vextor  Not run: ...") is kept apart. Its outcome is read from the
// event that ended it:
//
//   finished  "Make Finished", "Import DCT Finished", ... (the result was seen)
//   skipped   ".APP not found" and the other missing files, "Skipped: ..." (an unsafe
//             name or a path too long for the command), "Make Aborted: ..." (no target)
//   aborted   the batch was stopped inside the item: "Aborted: the batch was cancelled",
//             or no result event at all (its last event is its "Begin ...")
//   failed    anything else: "Wait limit reached", the error path's "Error <code> <text>"
//
// Items the batch never reached are "not reached"; Finish says why the batch ended before
// them: "Processing Aborted" when it was stopped, the batch's closing status when it says
// more ("Ended: Vextor went away"), else "Processing Terminated" (the error path).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/batches/batch_engine.hpp"
#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

enum class ItemOutcome { NotReached, Running, Finished, Skipped, Failed, Aborted };

// "finished", "skipped", "failed", "aborted"; "not reached" and "running" for the others.
std::string_view OutcomeName(ItemOutcome outcome);

struct ItemRecord {
    AppsRecord app{};                    // the application as the batch took it
    std::vector<TempFileRecord> events;  // as logged (stored text)
    ItemOutcome outcome = ItemOutcome::NotReached;
    std::string reason;  // why it was skipped, failed or not reached
};

class BatchRecord {
  public:
    // `name` names the batch: "make tagged", "make project Tools", "export app", ...
    explicit BatchRecord(std::string name) : name_(std::move(name)) {}

    void ItemsChosen(const std::vector<AppsRecord>& items);
    // Records the event with the item under way; answers that item's number (from 1), or 0
    // for an event outside every item.
    int EventLogged(const TempFileRecord& event);
    // Items 1..done have ended (their events may still come).
    void ItemsDone(int done);
    // True once item `number` (from 1) has ended: its latest event is one that may end an
    // item (anything but "Begin ..."), whatever the order in which items made at the same
    // time end; an item without events once as many items have ended.
    bool Ended(int number) const;
    // What the item's events say so far.
    ItemOutcome OutcomeOf(int number) const;
    // The batch is over: what became of it, how long it took (seconds), and the status it
    // closed with (StatusMsg).
    void Finish(const BatchSummary& summary, double seconds, std::string_view end_status = {});

    const std::string& Name() const { return name_; }
    const std::vector<ItemRecord>& Items() const { return items_; }
    const std::vector<TempFileRecord>& LooseEvents() const { return loose_; }
    const BatchSummary& Summary() const { return summary_; }
    double Seconds() const { return seconds_; }

  private:
    std::string name_;
    std::vector<ItemRecord> items_;
    std::vector<TempFileRecord> loose_;
    int ended_ = 0;  // how many items have ended
    BatchSummary summary_;
    double seconds_ = 0;
};

// The outcome and reason that an item's events say (see above); the events must not be
// empty unless the item was aborted before its first event.
ItemOutcome OutcomeOfEvents(const std::vector<TempFileRecord>& events, std::string* reason);

// Seconds between two logged events (day number and clock value), never negative.
double SecondsBetween(const TempFileRecord& first, const TempFileRecord& last);

}  // namespace zelt::app
