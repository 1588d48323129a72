// The "PELMAR" driver's holds, watches and locks.
//
// HOLD, HOLDfilesec, WATCH and NOMEMO only note what the table's next read does
// (cursor_operations.cpp): a hold locks the record read (giving up the record held before),
// trying once, or for HOLDfilesec's seconds, while another station holds it and failing
// with 43 after; a watch keeps the record as read so that a later PUT finds out whether another
// station changed it; NOMEMO leaves the memos unread. RELEASE gives up the held record.
//
// LOCK takes the table lock, waiting as long as it takes; LOCKfilesec tries for the given
// seconds and fails with 32. UNLOCK gives it up. Holds and the table lock belong to the
// open table and end when it closes. Waits run on the runtime clock, one try a second.
#include <algorithm>
#include <chrono>
#include <thread>

#include "runtime/values/clock_source.hpp"
#include "storage/driver/pelmar_families.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage::pelmar {

Status TryLockWithin(RecordLocks& locks, std::uint32_t number, std::int64_t seconds,
                     bool* acquired) {
    const auto& clock = runtime::CurrentClockSource();
    const std::int64_t limit_ms = std::max<std::int64_t>(seconds, 0) * 1000;
    const std::int64_t start = clock.MonotonicMs();
    for (;;) {
        const Status status = locks.TryLock(number, acquired);
        if (!status.ok() || *acquired) return status;
        if (clock.MonotonicMs() - start >= limit_ms) return Status::Ok();
        const std::int64_t wait_from = clock.MonotonicMs();
        while (clock.MonotonicMs() - wait_from < 1000 && clock.MonotonicMs() - start < limit_ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// --- for the next read -------------------------------------------------------------------

// HOLD makes the next read try the hold once; HOLDfilesec keeps trying for `number`
// seconds.
ErrorCode Hold(Driver&, FileOp op, runtime::Table&, TableState& s, DriverArgs& args) {
    s.hold_requested = true;
    s.hold_seconds = op == FileOp::HoldFileSec ? args.number : -1;
    return err::NoError;
}

ErrorCode Watch(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    s.watch_requested = true;
    return err::NoError;
}

ErrorCode NoMemo(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    s.nomemo = true;
    return err::NoError;
}

// --- the held record and the table lock --------------------------------------------------

ErrorCode Release(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    if (s.held != 0) s.locks->Unlock(s.held);
    s.held = 0;
    s.hold_requested = false;
    return err::NoError;
}

ErrorCode LockTable(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    const Status status = s.locks->LockWait(TableIdValue(s.table->Id()));
    if (status.ok()) s.table_locked = true;
    return Result(status, args, true);
}

ErrorCode LockTableWithin(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    bool acquired = false;
    const Status status =
        TryLockWithin(*s.locks, TableIdValue(s.table->Id()), args.number, &acquired);
    if (!status.ok()) return Result(status, args, true);
    if (!acquired) return err::FileIsAlreadyLocked;
    s.table_locked = true;
    return err::NoError;
}

ErrorCode UnlockTable(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    if (s.table_locked) s.locks->Unlock(TableIdValue(s.table->Id()));
    s.table_locked = false;
    return err::NoError;
}

}  // namespace zelt::storage::pelmar
