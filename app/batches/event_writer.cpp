#include "app/batches/event_writer.hpp"

#include "app/batches/batch_engine.hpp"
#include "app/catalogue/busy_retry.hpp"
#include "app/catalogue/dictionary.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/table.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/values/day_number.hpp"

namespace zelt::app {

namespace {
// How long the transaction of a write waits for TEMPFILE's lock.
constexpr std::int64_t kEventLockSeconds = 5;
// How long the first event of a busy stretch is kept at most.
constexpr std::int64_t kKeepMs = 250;
}  // namespace

runtime::ErrorCode AppendEvent(std::string_view name, std::string_view text) {
    TMP.Apps = name.substr(0, kEventNameLength);
    TMP.Date = runtime::Today();
    TMP.Clock = runtime::Clock();
    // The name is stored text already (a record's); the text is the program's own, in
    // UTF-8, and may carry an IDE's message.
    const std::string stored = runtime::Utf8ToStoredMarked(text);
    TMP.Event = std::string_view(stored).substr(0, kEventTextLength);
    return TempFile.Add();
}

const TempFileRecord& EventWriter::Take(std::string_view name, std::string_view text) {
    if (pending_.empty()) first_taken_ms_ = runtime::CurrentClockSource().MonotonicMs();
    TempFileRecord& event = pending_.emplace_back();
    event.Apps = name.substr(0, kEventNameLength);
    event.Date = runtime::Today();
    event.Clock = runtime::Clock();
    // The name is stored text already (a record's); the text is the program's own, in
    // UTF-8, and may carry an IDE's message.
    const std::string stored = runtime::Utf8ToStoredMarked(text);
    event.Event = std::string_view(stored).substr(0, kEventTextLength);
    return event;
}

bool EventWriter::Due() const {
    return !pending_.empty() &&
           runtime::CurrentClockSource().MonotonicMs() - first_taken_ms_ >= kKeepMs;
}

runtime::ErrorCode EventWriter::WriteAll() {
    // One event commits with its add; several share a transaction, so that the batch waits
    // for the disk once. A transaction already open elsewhere takes them in as they come.
    const bool together = pending_.size() > 1 && !runtime::TransactionActive();
    if (together) {
        if (const runtime::ErrorCode code = runtime::Logout(kEventLockSeconds, {&TempFile});
            code != runtime::err::NoError)
            return code;
    }
    for (const TempFileRecord& event : pending_) {
        TMP = event;
        if (const runtime::ErrorCode code = TempFile.Add(); code != runtime::err::NoError) {
            if (together) {
                const runtime::ErrorState failed = runtime::CurrentError();
                runtime::Rollback();
                runtime::RestoreError(failed);
            }
            return code;
        }
    }
    return together ? runtime::Commit() : runtime::err::NoError;
}

EventWriter::Flushed EventWriter::Flush() {
    Flushed done;
    if (pending_.empty()) return done;
    const runtime::ErrorState kept = runtime::CurrentError();
    done.code = RetryWhileBusy([this] { return WriteAll(); }, retry_budget_ms);
    if (done.code != runtime::err::NoError) {
        // A log that could only be opened for reading refuses every write for good.
        const bool read_only = (TempFileManager.Settings.OpenMode & 0x0F) == 0;
        done.outcome = RefusedForNow(done.code) && !read_only ? Outcome::Lost : Outcome::Unusable;
        done.text = runtime::CurrentErrorText();
    }
    done.events = std::move(pending_);
    pending_.clear();
    runtime::RestoreError(kept);
    return done;
}

}  // namespace zelt::app
