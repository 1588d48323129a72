// What the "PELMAR" driver keeps per table and per open file, and the frame every
// operation on a table's file runs in. Shared by the driver's operation files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "runtime/file/build_progress.hpp"
#include "runtime/file/file_driver.hpp"
#include "storage/driver/table_address.hpp"
#include "storage/item_file.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage::pelmar {

// One physical file open in the driver, shared by its tables.
struct PhysicalFile {
    std::string key;
    std::unique_ptr<ItemFile> file;
    std::unique_ptr<ItemFileStore> store;
    int users = 0;
};

// Where NEXT and PREVIOUS go from.
struct Sequence {
    bool active = false;
    int key = -1;  // -1: record order
    Bytes prefix;
    Bytes next_key;
    SeekMode next_mode = SeekMode::AtOrAfter;
    // When `on_item`, the sequence stands on the item `next_key` (a step read it): the
    // previous one lies before it, and `prev_key` is not kept.
    bool on_item = false;
    Bytes prev_key;
    SeekMode prev_mode = SeekMode::AtOrBefore;
};

struct SavedState {
    std::uint32_t current = 0;
    Sequence sequence;
    Bytes record;
    std::vector<Bytes> memos;
};

// Property values set by the caller, by upper-case name.
using PropertyValues = std::map<std::string, std::string>;

struct TableState final : runtime::DriverTableState {
    bool attached = false;
    bool trace_details = false;  // record contents in the trace (never for a ciphered table
                                 // unless its driver string allows it)
    TableDefinition declared;
    TableAddress address;
    std::string address_source;           // the name text `address` was worked out from
    bool address_has_table_part = false;  // that text names a table ("\\!"): read it each time
    std::shared_ptr<PhysicalFile> physical;
    std::unique_ptr<TableStore> table;
    // Held records and the table lock belong to this open table, not to the shared file.
    std::unique_ptr<RecordLocks> locks;
    int mode = 0;
    bool writable = false;
    bool exclusive = false;

    std::uint32_t current = 0;
    Bytes stored;  // the record as last read or written
    // Buffers a read fills before it succeeds, kept so that their storage is reused.
    Bytes read_record;
    Bytes step_item;
    Bytes step_data;
    ItemRun step_run;  // items read ahead of NEXT
    bool hold_requested = false;
    std::int64_t hold_seconds = -1;
    std::uint32_t held = 0;
    bool watch_requested = false;
    bool watching = false;
    Bytes watch_record;
    std::vector<Bytes> watch_memos;
    bool nomemo = false;
    bool nomemo_in_force = false;
    bool full_build = false;
    bool table_locked = false;
    bool quick_scan = false;  // "QUICKSCAN=ON": the table's reads share one read operation
    Sequence sequence;
    std::map<std::int64_t, SavedState> saved;
    std::int64_t next_state = 1;
    PropertyValues properties;
    std::map<int, PropertyValues> key_properties;
    // Dynamic indexes whose last build took every record, with no write through this
    // table since.
    std::set<int> complete_dynamic;
};

// The runtime's code for a storage status; a fault becomes 90 with the fault number and
// text filled in for the caller.
runtime::ErrorCode Result(const Status& status, runtime::DriverArgs& args, bool table_known);

// Runs `body` inside one read or write operation on the table's file.
template <typename Body>
Status InFrame(TableState& s, bool write, Body body) {
    ItemFile& file = *s.physical->file;
    Status status = write ? file.BeginWrite() : file.BeginRead();
    if (!status.ok()) return status;
    status = body();
    if (status.is_fault()) {
        file.Abandon(status);
        return status;
    }
    const Status finished = file.Finish();
    return status.ok() ? finished : status;
}

// Reports the building of key `k` to the runtime's build-progress hook.
inline TableStore::BuildProgressFn ProgressOf(const TableState& s, std::size_t k) {
    return [&s, k](std::uint32_t done, std::uint32_t total) {
        return runtime::ReportBuildProgress({s.address.display, static_cast<int>(k), done, total});
    };
}

}  // namespace zelt::storage::pelmar
