// Record and memo bytes as they are stored: the OEM conversion of text fields and memos,
// and the cutting of memos and blobs into chunks.
#pragma once

#include <vector>

#include "storage/item_file.hpp"
#include "storage/tables/table_definition.hpp"

namespace zelt::storage {

// The record item's data for `record` (converted to OEM when `oem`).
Bytes RecordForStore(const TableDefinition& definition, bool oem, BytesView record);
// Converts stored record bytes back to the program's character set, in place.
void RecordFromStore(const TableDefinition& definition, bool oem, Bytes& record);

// The chunks of one memo's contents: a MEMO is stored without its trailing blanks, a BLOB
// with a four-byte little-endian length before its first chunk. Empty contents have no
// chunks.
std::vector<Bytes> MemoChunks(const MemoDescriptor& memo, bool oem, BytesView contents);
// Reassembles memo contents from its chunks in order; a MEMO comes back blank-padded to its
// declared size. False when the chunks do not make a sound memo (a blob shorter or longer
// than its stated length).
bool MemoFromChunks(const MemoDescriptor& memo, bool oem, const std::vector<Bytes>& chunks,
                    Bytes& contents);
// The value a memo buffer holds when the record has none.
Bytes EmptyMemo(const MemoDescriptor& memo);

}  // namespace zelt::storage
