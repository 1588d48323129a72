// The driver object's entry point and its operation table.
//
// Each call looks the operation up by number in `kOperations`, which gives its handler,
// what the handler needs before it runs and what the call does to the table's state
// besides; `Supports` answers from the same table. A call then runs in this order:
//     QUERYview                 answered at once
//     DESTROY                   closes the table and disposes of its driver state
//     attach                    every other operation but CLOSE: the table's address is
//                               worked out and its declaration checked
//     open table                operations that need one fail with 37 when it is not open
//     handler                   the operation itself
//     afterwards                writes, opening and closing stale the dynamic indexes; a
//                               fault of CLOSE or NAME is not reported; the trace line
// A storage fault comes back from the handler as 90; running out of memory while attaching
// or in a handler gives 8. A number the table does not list is treated as an operation
// that needs an open table and is refused with 80.
#include "storage/driver/pelmar_driver.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>

#include "runtime/file/build_progress.hpp"
#include "runtime/file/collation.hpp"
#include "runtime/file/table.hpp"
#include "runtime/profile/profile.hpp"
#include "runtime/trace/trace_log.hpp"
#include "storage/driver/pelmar_families.hpp"
#include "storage/driver/pelmar_operations.hpp"

namespace zelt::storage {

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FileOp;
namespace err = runtime::err;

using pelmar::Driver;
using pelmar::TableState;

namespace pelmar {

ErrorCode Result(const Status& status, DriverArgs& args, bool table_known) {
    if (status.ok()) return err::NoError;
    if (status.is_fault()) {
        args.file_error_code = std::to_string(status.fault);
        args.file_error_text =
            table_known ? "Possible data corruption in file" : "Pelmar File Driver Error";
        return err::FileSystemError;
    }
    return status.code;
}

namespace {

// What an operation needs before its handler runs.
enum class Needs : std::uint8_t {
    OpenTable,   // the table attached and open in this driver
    Attached,    // the table attached; the handler checks whether it is open
    Unattached,  // CLOSE: the state as it stands
    Disposal,    // DESTROY: the state, which the handler disposes of; no trace
    Nothing,     // QUERYview: nothing at all
};

// What a call does besides its handler.
enum Effect : std::uint8_t {
    kStalesDynamic = 1,  // no dynamic index of the table counts as complete afterwards
    kTracesRecord = 2,   // the trace's details show the record
    // Neither the file's name nor its address plays a part: a name variable changed
    // meanwhile is read again by the next call that uses it.
    kNamesNoFile = 4,
};

struct Operation {
    Handler run = nullptr;  // nullptr: not supported
    Needs needs = Needs::OpenTable;
    std::uint8_t effects = 0;
};

struct Listed {
    FileOp op;
    Handler run;
    Needs needs;
    std::uint8_t effects;
};

// The operations kept apart (pelmar_operations.hpp) in the handlers' shape.
ErrorCode Property(Driver& d, FileOp op, runtime::Table& table, TableState& s, DriverArgs& args) {
    return PropertyOperation(op, table, s, args, {d.name, "Pelmar (PLM)"});
}

ErrorCode Blob(Driver&, FileOp op, runtime::Table& table, TableState&, DriverArgs& args) {
    return BlobOperation(op, table, args);
}

ErrorCode BuildDynamic(Driver&, FileOp op, runtime::Table& table, TableState& s, DriverArgs& args) {
    return BuildDynamicIndex(table, s, args, op == FileOp::BuildDynFilter);
}

constexpr std::uint8_t kWrite = kStalesDynamic | kTracesRecord | kNamesNoFile;
constexpr std::uint8_t kRead = kTracesRecord | kNamesNoFile;

constexpr Listed kListed[] = {
    // files
    {FileOp::Open, OpenTable, Needs::Attached, kStalesDynamic},
    {FileOp::Share, OpenTable, Needs::Attached, kStalesDynamic},
    {FileOp::Create, CreateTable, Needs::Attached, kStalesDynamic},
    {FileOp::Close, CloseTable, Needs::Unattached, kStalesDynamic},
    {FileOp::Destroy, DisposeTable, Needs::Disposal, 0},
    {FileOp::QueryView, NothingToDo, Needs::Nothing, 0},
    {FileOp::Name, TableName, Needs::Attached, 0},
    {FileOp::Bytes, RecordLength, Needs::Attached, 0},
    {FileOp::Remove, RemoveOrRenameFile, Needs::Attached, 0},
    {FileOp::Rename, RemoveOrRenameFile, Needs::Attached, 0},
    {FileOp::Copy, CopyTableFile, Needs::Attached, 0},
    {FileOp::BuildFile, BuildFileKeys, Needs::Attached, 0},
    {FileOp::Pack, PackFile, Needs::Attached, 0},
    {FileOp::BuildKey, BuildOneKey, Needs::OpenTable, 0},
    {FileOp::Logout, Logout, Needs::OpenTable, 0},
    {FileOp::Commit, Commit, Needs::Attached, 0},
    {FileOp::Rollback, Rollback, Needs::Attached, 0},
    {FileOp::Stream, NothingToDo, Needs::OpenTable, 0},
    {FileOp::Flush, NothingToDo, Needs::OpenTable, 0},
    {FileOp::Send, Send, Needs::Attached, 0},
    // cursor
    {FileOp::GetFileKey, GetByKey, Needs::OpenTable, kRead},
    {FileOp::GetFilePtr, GetByPointer, Needs::OpenTable, kRead},
    {FileOp::GetKeyPtr, GetByPointer, Needs::OpenTable, kRead},
    {FileOp::RegetFile, Reget, Needs::OpenTable, kRead},
    {FileOp::RegetKey, Reget, Needs::OpenTable, kRead},
    {FileOp::Next, StepSequence, Needs::OpenTable, kRead},
    {FileOp::Previous, StepSequence, Needs::OpenTable, kRead},
    {FileOp::Skip, StepSequence, Needs::OpenTable, 0},
    {FileOp::Eof, SequenceEnd, Needs::OpenTable, 0},
    {FileOp::PositionTest, SequenceEnd, Needs::OpenTable, 0},
    {FileOp::SetFile, SetFile, Needs::OpenTable, 0},
    {FileOp::SetFilePtr, SetFilePointer, Needs::OpenTable, 0},
    {FileOp::ResetFile, ResetFile, Needs::OpenTable, 0},
    {FileOp::SetKey, SetKey, Needs::OpenTable, 0},
    {FileOp::SetKeyKey, SetKeyKey, Needs::OpenTable, 0},
    {FileOp::SetKeyKeyPtr, SetKeyKeyPointer, Needs::OpenTable, 0},
    {FileOp::SetKeyPtr, SetKeyPointer, Needs::OpenTable, 0},
    {FileOp::SetFileKey, SetFileKey, Needs::OpenTable, 0},
    {FileOp::ResetKey, ResetKey, Needs::OpenTable, 0},
    {FileOp::PointerFile, CurrentPointer, Needs::OpenTable, 0},
    {FileOp::PointerKey, CurrentPointer, Needs::OpenTable, 0},
    {FileOp::PositionFile, FilePosition, Needs::OpenTable, 0},
    {FileOp::PositionKey, KeyPosition, Needs::OpenTable, 0},
    {FileOp::RecordsFile, CountRecords, Needs::OpenTable, 0},
    {FileOp::RecordsKey, CountRecords, Needs::OpenTable, 0},
    {FileOp::Duplicate, FindDuplicates, Needs::OpenTable, 0},
    {FileOp::DuplicateKey, FindDuplicates, Needs::OpenTable, 0},
    {FileOp::GetState, SaveState, Needs::OpenTable, 0},
    {FileOp::RestoreState, RestoreState, Needs::OpenTable, 0},
    {FileOp::FreeState, FreeState, Needs::OpenTable, 0},
    // writes
    {FileOp::Add, AddRecord, Needs::OpenTable, kWrite},
    {FileOp::Append, AppendRecord, Needs::OpenTable, kWrite},
    {FileOp::Put, PutCurrent, Needs::OpenTable, kWrite},
    {FileOp::PutFilePtr, PutByPointer, Needs::OpenTable, kWrite},
    {FileOp::Delete, DeleteCurrent, Needs::OpenTable, kWrite},
    {FileOp::Empty, EmptyTable, Needs::OpenTable, kStalesDynamic},
    // holds, watches and locks
    {FileOp::HoldFile, Hold, Needs::Attached, 0},
    {FileOp::HoldFileSec, Hold, Needs::Attached, 0},
    {FileOp::Watch, Watch, Needs::Attached, 0},
    {FileOp::NoMemo, NoMemo, Needs::Attached, 0},
    {FileOp::Release, Release, Needs::OpenTable, 0},
    {FileOp::LockFile, LockTable, Needs::OpenTable, 0},
    {FileOp::LockFileSec, LockTableWithin, Needs::OpenTable, 0},
    {FileOp::Unlock, UnlockTable, Needs::OpenTable, 0},
    // kept apart: dynamic indexes, properties, blobs
    {FileOp::BuildDyn, BuildDynamic, Needs::OpenTable, 0},
    {FileOp::BuildDynFilter, BuildDynamic, Needs::OpenTable, 0},
    {FileOp::SetProperty, Property, Needs::Attached, 0},
    {FileOp::GetProperty, Property, Needs::Attached, 0},
    {FileOp::SetPropertyKey, Property, Needs::Attached, 0},
    {FileOp::GetPropertyKey, Property, Needs::Attached, 0},
    {FileOp::BlobYield, Blob, Needs::Attached, 0},
    {FileOp::BlobTake, Blob, Needs::Attached, 0},
    {FileOp::BlobSize, Blob, Needs::Attached, 0},
    {FileOp::BlobGetProp, Blob, Needs::Attached, 0},
    {FileOp::BlobSetProp, Blob, Needs::Attached, 0},
};

constexpr std::size_t kSlots = static_cast<std::size_t>(FileOp::Destroy) + 1;

constexpr bool ListedOnceEachInRange() {
    std::array<bool, kSlots> seen{};
    for (const Listed& listed : kListed) {
        const auto n = static_cast<std::size_t>(listed.op);
        if (n >= kSlots || seen[n]) return false;
        seen[n] = true;
    }
    return true;
}
static_assert(ListedOnceEachInRange(), "an operation is listed twice or beyond the table");

constexpr std::array<Operation, kSlots> kOperations = [] {
    std::array<Operation, kSlots> slots{};
    for (const Listed& listed : kListed)
        slots[static_cast<std::size_t>(listed.op)] = {listed.run, listed.needs, listed.effects};
    return slots;
}();

constexpr Operation kUnlisted{};

const Operation& OperationOf(FileOp op) {
    const auto n = static_cast<std::size_t>(static_cast<unsigned>(op));
    return n < kSlots ? kOperations[n] : kUnlisted;
}

TableState& StateOf(runtime::Table& table) {
    auto& state = table.DriverState();
    if (!state) state = std::make_unique<TableState>();
    return static_cast<TableState&>(*state);
}

ErrorCode Attach(Driver& d, runtime::Table& table, TableState& s, bool names_file) {
    if (!d.trace_read) {
        d.trace = ReadPelmarTraceSettings();
        d.trace_read = true;
    }
    // The address follows the name text; text without a table part reads the same
    // every time, so it is worked out again only when the text changes, and only for a
    // call that uses it.
    const auto& declaration = table.Declaration();
    const std::string_view source = declaration.HasNameVariable()
                                        ? std::string_view(declaration.NameVariableBytes().data(),
                                                           declaration.NameVariableBytes().size())
                                        : (declaration.DeclaredFileName().empty()
                                               ? std::string_view(declaration.Label())
                                               : std::string_view(declaration.DeclaredFileName()));
    if (!s.attached || (names_file && (s.address_has_table_part || source != s.address_source))) {
        s.address = TableAddress::Parse(table.FileName());
        s.address_source.assign(source);
        s.address_has_table_part = source.find("\\!") != std::string_view::npos;
    }
    if (s.attached) return err::NoError;
    s.trace_details =
        d.trace.details &&
        (table.Declaration().OwnerText().empty() ||
         runtime::UpperText(table.Declaration().DriverOptionText()).find("ALLOWDETAILS") !=
             std::string::npos);
    const ErrorCode code = DefinitionFromDeclaration(table.Declaration(), s.declared);
    if (code != err::NoError) return code;
    s.attached = true;
    return err::NoError;
}

void WriteTrace(const Driver& d, FileOp op, const Operation& entry, const runtime::Table& table,
                const TableState& s, ErrorCode code, double ms) {
    char took[32];
    std::snprintf(took, sizeof took, " (%.3f ms)", ms);
    std::string line = std::string(runtime::FileOpName(op)) + ' ' + s.address.display + " -> " +
                       std::to_string(code) + took;
    if (s.trace_details && (entry.effects & kTracesRecord) != 0 && code == err::NoError) {
        const auto record = table.Record();
        line += " record " + std::to_string(s.current) + " [" +
                runtime::TraceBytes(std::string_view(record.data(), record.size())) + "]";
    }
    if (s.physical && !s.physical->file->late_failure().ok()) {
        // Stored all the same, but the file writes no more until it is opened again.
        const Status& late = s.physical->file->late_failure();
        line += " [file failed after a commit point: " + std::to_string(late.code) +
                (late.is_fault() ? " fault " + std::to_string(late.fault) : std::string()) +
                "; later writes refused]";
    }
    runtime::WriteTraceLine(d.trace.file, "PELMAR", line);
}

}  // namespace
}  // namespace pelmar

PelmarTrace ReadPelmarTraceSettings() {
    PelmarTrace trace;
    trace.enabled = runtime::ProfileNumber(runtime::kUserProfile, "VXPELMAR", "Profile", 0) != 0;
    trace.file = runtime::ProfileText(runtime::kUserProfile, "VXPELMAR", "TraceFile", "");
    if (trace.file.empty()) trace.file = "PELMAR.LOG";
    trace.details = runtime::ProfileNumber(runtime::kUserProfile, "VXPELMAR", "Details", 0) != 0;
    return trace;
}

PelmarDriver::PelmarDriver(std::string name)
    : name_(std::move(name)), driver_(std::make_unique<Driver>()) {
    driver_->name = name_;
}
PelmarDriver::~PelmarDriver() = default;

bool PelmarDriver::Supports(FileOp op) const {
    return pelmar::OperationOf(op).run != nullptr;
}

bool PelmarDriver::SupportsFieldType(std::uint8_t t) const {
    return (t >= 1 && t <= 10) || t == 18 || t == 19 || t == 20 || t == 21 || t == 27 || t == 22 ||
           t == 24;
}

ErrorCode PelmarDriver::Call(FileOp op, runtime::Table& table, DriverArgs& args) {
    using pelmar::Needs;
    const pelmar::Operation& entry = pelmar::OperationOf(op);
    if (entry.needs == Needs::Nothing) return err::NoError;
    auto& s = pelmar::StateOf(table);
    if (entry.needs == Needs::Disposal) return entry.run(*driver_, op, table, s, args);
    // The clock is read only for the trace.
    const auto started = driver_->trace.enabled ? std::chrono::steady_clock::now()
                                                : std::chrono::steady_clock::time_point{};
    ErrorCode code = err::NoError;
    try {
        if (entry.needs != Needs::Unattached) {
            const bool names_file =
                (entry.effects & pelmar::kNamesNoFile) == 0 || driver_->trace.enabled;
            code = pelmar::Attach(*driver_, table, s, names_file);
        }
        if (code == err::NoError) {
            if (entry.needs == Needs::OpenTable && !s.table)
                code = err::FileNotOpen;
            else
                code = entry.run != nullptr ? entry.run(*driver_, op, table, s, args)
                                            : err::UnsupportedFunction;
        }
        if ((entry.effects & pelmar::kStalesDynamic) != 0) s.complete_dynamic.clear();
    } catch (const std::bad_alloc&) {
        code = err::InsufficientMemory;
    }
    if (code == err::FileSystemError && (op == FileOp::Close || op == FileOp::Name))
        code = err::NoError;
    if (driver_->trace.enabled)
        pelmar::WriteTrace(
            *driver_, op, entry, table, s, code,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
    return code;
}

void RegisterPelmarDriver() {
    static std::once_flag once;
    std::call_once(once, [] { runtime::RegisterDriver(std::make_shared<PelmarDriver>()); });
}

}  // namespace zelt::storage
