// The keys of the items that make up a table.
//
// Every item of a table starts with the table identifier (four bytes, big-endian) and an
// item type byte; record numbers are four bytes big-endian. The table directory item
// (0xFE + table name) and the transaction marker (0xFF) belong to the file.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "storage/item_file.hpp"
#include "storage/pagefile/key_order.hpp"

namespace zelt::storage {

using TableId = std::array<std::uint8_t, 4>;

namespace item_type {
inline constexpr std::uint8_t Record = 0xF3;
inline constexpr std::uint8_t Counter = 0xF6;
inline constexpr std::uint8_t Definition = 0xFA;
inline constexpr std::uint8_t Collation = 0xFB;
inline constexpr std::uint8_t Memo = 0xFC;
inline constexpr std::uint8_t Directory = 0xFE;
inline constexpr std::uint8_t Marker = 0xFF;
}  // namespace item_type

// Index number of the records' counter item.
inline constexpr std::uint8_t kRecordCounter = 0xF3;
// Key numbers run from 0x00 to 0xEF.
inline constexpr std::size_t kMaxKeys = 240;
inline constexpr std::size_t kMaxMemos = 255;
inline constexpr std::uint32_t kMaxMemoSize = 64000;
inline constexpr std::size_t kMemoChunk = 256;
inline constexpr std::size_t kDefinitionChunk = 512;

void AppendU32BigEndian(Bytes& out, std::uint32_t value);
std::uint32_t ReadU32BigEndian(BytesView bytes, std::size_t at);
void AppendU32LittleEndian(Bytes& out, std::uint32_t value);
std::uint32_t ReadU32LittleEndian(BytesView bytes, std::size_t at);
std::uint32_t TableIdValue(const TableId& id);
TableId TableIdFromValue(std::uint32_t value);

Bytes TablePrefix(const TableId& id);                          // id
Bytes TypePrefix(const TableId& id, std::uint8_t type);        // id, type
Bytes DirectoryItemKey(std::string_view table_name);           // FE, name
Bytes RecordItemKey(const TableId& id, std::uint32_t record);  // id, F3, record
Bytes CounterItemKey(const TableId& id, std::uint8_t index);   // id, F6, index
Bytes DefinitionChunkKey(const TableId& id, std::uint16_t chunk);
Bytes CollationItemKey(const TableId& id);                  // id, FB, 01
Bytes MemoPrefix(const TableId& id, std::uint32_t record);  // id, FC, record
Bytes MemoChunkKey(const TableId& id, std::uint32_t record, std::uint8_t memo, std::uint16_t chunk);

// The record number of a record item key (the last four bytes).
std::uint32_t RecordNumberOfItem(BytesView key);
// True when `key` starts with `prefix`.
inline bool HasPrefix(BytesView key, BytesView prefix) {
    return key.size() >= prefix.size() && KeyEqual(key.substr(0, prefix.size()), prefix);
}

}  // namespace zelt::storage
