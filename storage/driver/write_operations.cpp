// The "PELMAR" driver's write family: ADD, APPEND, PUT, PUTfileptr, DELETE and EMPTY.
//
// Every write needs the table open for writing (5 otherwise) and runs as one write
// operation on the file. ADD and APPEND store the buffer as a new record (APPEND leaves the
// keys to a later build) and make it current; a BLOB larger than can be stored refuses the
// record with 80 before anything is written.
//
// PUT and DELETE change a record another station may hold: a record this table does not
// hold is locked for the length of the write, and one held elsewhere is refused (PUT with
// 5, DELETE with 33). A table opened exclusively (deny write or deny all) that is the only
// table of this program on its file writes without that lock: no other writer can have the
// file open, and the two system calls per write cost more than the change itself. Only a
// hold taken by a read-only opener elsewhere, which could never change the record, goes
// unnoticed. A PUT under a watch is refused with 89 when the stored record (or its
// memos, unless it was read with NOMEMO) changed since the watched read; a PUT of what is
// stored already writes nothing.
#include "storage/driver/pelmar_families.hpp"
#include "storage/driver/pelmar_operations.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage::pelmar {

namespace {

ErrorCode Add(runtime::Table& table, TableState& s, bool maintain_keys, DriverArgs& args) {
    if (!s.writable) return err::AccessDenied;
    if (!BlobsFit(table)) return err::UnsupportedFunction;
    const Bytes record = RecordBytes(table);
    const auto memos = MemoBuffers(table);
    std::uint32_t number = 0;
    const Status status =
        InFrame(s, true, [&] { return s.table->Add(record, &memos, maintain_keys, &number); });
    if (status.ok()) {
        s.current = number;
        s.stored = record;
        s.watching = false;  // the new record was not read under a watch
    }
    return Result(status, args, true);
}

// A record this table does not hold is locked for the length of one write; `refused`
// when another station holds it. `locked_here` says whether to unlock afterwards.
ErrorCode LockUnlessHeld(TableState& s, std::uint32_t number, ErrorCode refused, bool& locked_here,
                         DriverArgs& args) {
    locked_here = false;
    if (s.held == number) return err::NoError;
    if (s.exclusive && s.physical->users == 1) return err::NoError;
    bool acquired = false;
    const Status st = s.locks->TryLock(number, &acquired);
    if (!st.ok()) return Result(st, args, true);
    if (!acquired) return refused;
    locked_here = true;
    return err::NoError;
}

ErrorCode Put(runtime::Table& table, TableState& s, std::uint32_t number, DriverArgs& args) {
    if (number == 0) return err::RecordNotAvailable;
    if (!s.writable) return err::AccessDenied;
    if (!BlobsFit(table)) return err::UnsupportedFunction;
    bool locked_here = false;
    if (const ErrorCode code = LockUnlessHeld(s, number, err::AccessDenied, locked_here, args);
        code != err::NoError)
        return code;
    const Bytes record = RecordBytes(table);
    const auto memos = MemoBuffers(table);
    const bool check_memos = !s.nomemo_in_force;
    const Status status = InFrame(s, true, [&] {
        Bytes stored;
        bool found = false;
        Status st = s.table->ReadRecord(number, &stored, &found);
        if (!st.ok()) return st;
        if (!found) return Status::Error(err::RecordNotAvailable);
        std::vector<Bytes> stored_memos;
        if (!s.table->Definition().memos.empty()) {
            st = s.table->ReadMemos(number, &stored_memos);
            if (!st.ok()) return st;
        }
        if (s.watching && number == s.current) {
            if (stored != s.watch_record ||
                (check_memos && !s.watch_memos.empty() && stored_memos != s.watch_memos))
                return Status::Error(err::RecordChanged);
        }
        const bool memos_same = !check_memos || stored_memos == memos;
        if (stored == record && memos_same) return Status::Ok();
        return s.table->Change(number, stored, record, check_memos ? &memos : nullptr);
    });
    if (locked_here) s.locks->Unlock(number);
    if (status.ok()) {
        s.stored = record;
        if (s.watching) {
            s.watch_record = record;
            s.watch_memos = memos;
        }
    }
    return Result(status, args, true);
}

}  // namespace

ErrorCode AddRecord(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return Add(table, s, true, args);
}

ErrorCode AppendRecord(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return Add(table, s, false, args);
}

ErrorCode PutCurrent(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return Put(table, s, s.current, args);
}

ErrorCode PutByPointer(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return Put(table, s, args.pointer, args);
}

// Deletes the current record; a hold on it ends with it.
ErrorCode DeleteCurrent(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    const std::uint32_t number = s.current;
    if (number == 0) return err::RecordNotAvailable;
    if (!s.writable) return err::AccessDenied;
    bool locked_here = false;
    if (const ErrorCode code =
            LockUnlessHeld(s, number, err::RecordNotAvailable, locked_here, args);
        code != err::NoError)
        return code;
    const Status status = InFrame(s, true, [&] { return s.table->Delete(number); });
    if (locked_here || s.held == number) {
        s.locks->Unlock(number);
        if (s.held == number) s.held = 0;
    }
    if (status.ok()) {
        s.current = 0;
        s.watching = false;
    }
    return Result(status, args, true);
}

ErrorCode EmptyTable(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!s.writable) return err::AccessDenied;
    const Status status = InFrame(s, true, [&] { return s.table->Empty(); });
    s.current = 0;
    return Result(status, args, true);
}

}  // namespace zelt::storage::pelmar
