// Operations of the "PELMAR" driver kept apart from its entry point: dynamic index builds,
// table and key properties, and blobs. Each returns the runtime's error code and fills
// the results into the call's arguments.
#pragma once

#include <string_view>

#include "runtime/file/file_driver.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_state.hpp"
#include "storage/tables/item_keys.hpp"

namespace zelt::storage::pelmar {

// "BUILDdyn" and, with `filtered`, "BUILDdynfilter" on an open table: `args.key` the
// index, `args.text` its components (empty: as before), `args.text2` the filter.
runtime::ErrorCode BuildDynamicIndex(runtime::Table& table, TableState& s,
                                     runtime::DriverArgs& args, bool filtered);

// The driver's own answers for property questions.
struct DriverIdentity {
    std::string_view name;
    std::string_view description;
};

// A property name as compared: blanks around it dropped, upper case.
std::string PropertyName(std::string_view text);

// "SET_PROPERTY", "GET_PROPERTY", "SETPROPERTYkey" and "GETPROPERTYkey": `args.text` the
// name, `args.text2` the value to set, `args.key` the key; answers in `args.result_text`.
runtime::ErrorCode PropertyOperation(runtime::FileOp op, runtime::Table& table, TableState& s,
                                     runtime::DriverArgs& args, const DriverIdentity& driver);

// The most a BLOB can hold: its chunks are numbered with 16 bits, the first carrying the
// length besides its share of the bytes.
inline constexpr std::size_t kMaxBlobBytes = kMemoChunk * 65536;

// False when a BLOB buffer of the table holds more than can be stored (an add or put of
// the record is then refused with 80 before anything is written).
bool BlobsFit(const runtime::Table& table);

// "BLOB_TAKE", "BLOB_YIELD", "BLOB_SIZE", "BLOB_GET_PROP" and "BLOB_SET_PROP":
// `args.number` the memo, `args.text` the bytes taken or the property name, `args.text2`
// the value set.
runtime::ErrorCode BlobOperation(runtime::FileOp op, runtime::Table& table,
                                 runtime::DriverArgs& args);

}  // namespace zelt::storage::pelmar
