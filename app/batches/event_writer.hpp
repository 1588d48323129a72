// How the batches write the activity log (TEMPFILE).
//
// An event is stamped when it happens (TMP.Date and TMP.Clock of the installed clock) and
// kept in memory; the events kept are written together, in one transaction over TEMPFILE,
// when the batch flushes them. The batch engine flushes before it sends a command, before it
// waits or asks, at its end, and a quarter of a second after the first event of a busy
// stretch. So no event is held in an open transaction while the batch waits on the IDE or
// on the user (another process reading or emptying the log never waits on a batch), and
// every event of an item is on disk before that item's command goes out.
//
// A write that another station refuses for the moment (the log's writer lock held by another
// ZELT: "Access Denied", or a record or file lock) is tried again with a rising back-off for
// about three seconds (RetryWhileBusy, app/catalogue/busy_retry.hpp); then its events count
// as lost. Any other failure (a log opened read-only, a full
// disk, a damaged file) makes the log unusable: the events are lost and the batch must stop.
//
//     EventWriter log;
//     log.Take("ORDERS.APP", "Begin Make");
//     EventWriter::Flushed done = log.Flush();   // done.outcome, done.events
//
// TEMPFILE must be open (its manager may open it lazily). The runtime's error state is the
// same after Flush as before it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

class EventWriter {
  public:
    enum class Outcome {
        Written,   // every event kept is in the log (also when none was kept)
        Lost,      // refused by other stations until the retries ran out
        Unusable,  // the log cannot be written at all
    };
    struct Flushed {
        Outcome outcome = Outcome::Written;
        std::vector<TempFileRecord> events;  // the events this flush was about, in order
        runtime::ErrorCode code = runtime::err::NoError;  // the failure, when not written
        std::string text;
    };

    // Keeps an event: `name` cut at 40 characters, `text` at 80, stamped now.
    const TempFileRecord& Take(std::string_view name, std::string_view text);
    bool Pending() const { return !pending_.empty(); }
    // True when the oldest event kept has waited a quarter of a second.
    bool Due() const;
    // Writes the events kept and forgets them, whatever became of them.
    Flushed Flush();

    // The retries' whole sleep, in milliseconds.
    std::int64_t retry_budget_ms = 3000;

  private:
    // One attempt at writing every event kept; the runtime's error code.
    runtime::ErrorCode WriteAll();

    std::vector<TempFileRecord> pending_;
    std::int64_t first_taken_ms_ = 0;
};

}  // namespace zelt::app
