// The "PELMAR" driver's operations by family, and what they share.
//
// Every operation is one handler with the same shape: the driver, the operation number,
// the table, its driver state and the call's arguments; it returns the runtime's code and
// fills its results into the arguments. The driver's entry point (pelmar_driver.cpp) finds
// the handler in its operation table, indexed by operation number; the same table answers
// which operations the driver supports. A handler of an operation that needs an open table
// is only called once the table is open; one that does not checks what it needs itself.
//
// Families and their files:
//     files          open, share, create, close, name, bytes, remove, rename, copy,
//                    key builds, transactions and SEND options        file_operations.cpp
//     cursor         reads, sequences, positions, counts, saved states cursor_operations.cpp
//     writes         add, append, put, delete, empty                  write_operations.cpp
//     holds & locks  hold, watch and nomemo for the next read, release,
//                    table locks                                      lock_operations.cpp
//     apart          dynamic indexes, properties, blobs (pelmar_operations.hpp)
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/file/file_driver.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "storage/driver/pelmar_state.hpp"

namespace zelt::storage::pelmar {

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FileOp;
namespace err = runtime::err;

// The driver object behind one `PelmarDriver`: the physical files it has open, the
// process's transaction and the configured transaction control file.
struct Driver {
    std::map<std::string, std::weak_ptr<PhysicalFile>> files;
    std::unique_ptr<Transaction> transaction;
    std::string control_file;
    bool trace_read = false;
    PelmarTrace trace;
    std::string name;
};

// The shape of every handler.
using HandlerFn = ErrorCode(Driver& d, FileOp op, runtime::Table& table, TableState& s,
                            DriverArgs& args);
using Handler = HandlerFn*;

// --- shared by the families -------------------------------------------------------------

inline Bytes RecordBytes(const runtime::Table& table) {
    const auto record = table.Record();
    return Bytes(record.data(), record.size());
}

inline void CopyToRecord(const runtime::Table& table, BytesView bytes) {
    auto record = table.Record();
    std::copy_n(bytes.data(), std::min(bytes.size(), record.size()), record.begin());
}

inline std::vector<Bytes> MemoBuffers(runtime::Table& table) {
    std::vector<Bytes> memos;
    for (std::size_t m = 0; m < table.Declaration().Memos().size(); ++m)
        memos.push_back(table.MemoBuffer(m));
    return memos;
}

// True when `key` numbers a key of the open table.
inline bool KeyInRange(const TableState& s, int key) {
    return key >= 0 && static_cast<std::size_t>(key) < s.table->Definition().keys.size();
}

// Tries to take record lock `number` until it is had, an error comes back, or `seconds`
// have passed on the runtime clock, waiting one second between tries (0 seconds: one try).
Status TryLockWithin(RecordLocks& locks, std::uint32_t number, std::int64_t seconds,
                     bool* acquired);

// --- files ------------------------------------------------------------------------------

// CLOSE closes the table (nothing when it is not open); the file closes with its last table.
HandlerFn OpenTable, CreateTable, CloseTable, DisposeTable, TableName, RecordLength,
    RemoveOrRenameFile, CopyTableFile, BuildFileKeys, PackFile, BuildOneKey, Logout, Commit,
    Rollback, Send, NothingToDo;

// --- cursor -----------------------------------------------------------------------------

HandlerFn GetByKey, GetByPointer, Reget, StepSequence, SequenceEnd, SetFile, SetFilePointer,
    ResetFile, SetKey, SetKeyKey, SetKeyKeyPointer, SetKeyPointer, SetFileKey, ResetKey,
    CurrentPointer, FilePosition, KeyPosition, CountRecords, FindDuplicates, SaveState,
    RestoreState, FreeState;

// --- writes -----------------------------------------------------------------------------

HandlerFn AddRecord, AppendRecord, PutCurrent, PutByPointer, DeleteCurrent, EmptyTable;

// --- holds, watches and locks -----------------------------------------------------------

HandlerFn Hold, Watch, NoMemo, Release, LockTable, LockTableWithin, UnlockTable;

}  // namespace zelt::storage::pelmar
