// Key entries: the encoding of key components into bytes whose plain unsigned comparison
// gives the declared order, the OPT emptiness rule, and the entry items themselves.
//
// Entry of a unique key: key = identifier, key number, components; data = record number.
// Entry of a DUP key: key = identifier, key number, components, record number; no data.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/file/collation.hpp"
#include "storage/item_file.hpp"
#include "storage/tables/item_keys.hpp"
#include "storage/tables/table_definition.hpp"

namespace zelt::storage {

// How a table's text components are weighed.
struct KeyCollation {
    runtime::CollationTables tables;
    bool oem = false;
};

// Encodes one component field of `record` into `out` (its storage reused), exactly the
// field's size.
void EncodeComponentInto(const FieldDescriptor& field, bool descending, bool nocase,
                         const KeyCollation& collation, BytesView record, Bytes& out);
// Identifier, key number and every component.
Bytes EncodeKeyPrefix(const TableDefinition& definition, std::size_t key, const TableId& id,
                      const KeyCollation& collation, BytesView record);
// The same into `out`, whose storage is reused.
void EncodeKeyPrefixInto(const TableDefinition& definition, std::size_t key, const TableId& id,
                         const KeyCollation& collation, BytesView record, Bytes& out);
// True when every component of the key is empty (spaces for STRING and GROUP, a first byte
// of 0 for CSTRING and PSTRING, all zero bytes otherwise).
bool KeyIsEmpty(const TableDefinition& definition, std::size_t key, BytesView record);

struct KeyEntry {
    Bytes key;
    Bytes data;
};
// The entry of `record` (numbered `number`) in key `key`, or none when an OPT key leaves
// the record out.
std::optional<KeyEntry> BuildKeyEntry(const TableDefinition& definition, std::size_t key,
                                      const TableId& id, const KeyCollation& collation,
                                      BytesView record, std::uint32_t number);
// The same into `entry`, whose storage is reused; false (and `entry` unspecified) when an
// OPT key leaves the record out.
bool BuildKeyEntryInto(const TableDefinition& definition, std::size_t key, const TableId& id,
                       const KeyCollation& collation, BytesView record, std::uint32_t number,
                       KeyEntry& entry);
// Whether records `a` and `b` hold the same bytes in every field of key `key`, so that
// their entries in it are the same (for one record number).
bool KeyFieldsSame(const TableDefinition& definition, std::size_t key, BytesView a, BytesView b);
// The record number an entry of key `key` points at.
std::uint32_t EntryRecordNumber(const KeyDescriptor& key, BytesView entry_key,
                                BytesView entry_data);

}  // namespace zelt::storage
