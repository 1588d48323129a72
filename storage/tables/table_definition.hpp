// A table's stored definition: field, memo and key descriptors, how they are derived from
// the program's declaration, and the definition stream in its three modes (write, read,
// verify against a declaration).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/errors/error_codes.hpp"
#include "runtime/file/table_declaration.hpp"
#include "storage/item_file.hpp"

namespace zelt::storage {

namespace memo_attr {
inline constexpr std::uint16_t Binary = 0x02;
inline constexpr std::uint16_t Blob = 0x04;
}  // namespace memo_attr

struct FieldDescriptor {
    std::uint8_t type = 0;
    std::uint32_t offset = 0;
    std::string name;
    std::uint32_t elements = 1;
    std::uint32_t size = 0;
    bool overlay = false;
    int overlays = -1;  // field it shares storage with (not stored)
    std::uint16_t number = 0;
    std::uint8_t places = 0;             // DECIMAL, PDECIMAL
    std::uint8_t element_size = 0;       // DECIMAL, PDECIMAL
    std::uint16_t element_length = 0;    // texts
    std::optional<std::string> picture;  // texts

    bool operator==(const FieldDescriptor& other) const;
};

struct MemoDescriptor {
    std::optional<std::string> external_name;
    std::optional<std::string> label;
    std::uint32_t size = 0;
    std::uint16_t attributes = 0;

    bool Binary() const { return (attributes & memo_attr::Binary) != 0; }
    bool Blob() const { return (attributes & memo_attr::Blob) != 0; }
};

struct KeyComponentDescriptor {
    std::uint16_t field = 0;
    bool descending = false;
};

struct KeyDescriptor {
    std::optional<std::string> external_name;
    std::optional<std::string> label;
    std::uint8_t attributes = 0;
    std::vector<KeyComponentDescriptor> components;

    bool Dup() const { return (attributes & runtime::key_attr::Dup) != 0; }
    bool Opt() const { return (attributes & runtime::key_attr::Opt) != 0; }
    bool NoCase() const { return (attributes & runtime::key_attr::NoCase) != 0; }
    bool Index() const { return (attributes & runtime::key_attr::Index) != 0; }
    bool Dynamic() const { return (attributes & runtime::key_attr::Dynamic) != 0; }
    // Keys kept up to date on every write.
    bool Maintained() const { return !Index() && !Dynamic(); }
};

struct TableDefinition {
    std::uint16_t version = 1;
    std::uint32_t record_length = 0;
    std::vector<FieldDescriptor> fields;
    std::vector<MemoDescriptor> memos;
    std::vector<KeyDescriptor> keys;

    // Sum of the component field sizes of key `k`.
    std::uint32_t KeyComponentsSize(std::size_t k) const;
    int FieldNumber(std::string_view stored_name) const;
    int KeyNumber(std::string_view label) const;
};

// Builds the descriptors of a declaration. Errors: 47 (more than 240 keys or 255 memos, a
// memo above 64000 bytes), 75 (an array as key component, a component that names no field,
// an overlay that does not fit the field it covers, a field outside the record), 79 (a
// field type the storage cannot keep, outside an overlay).
runtime::ErrorCode DefinitionFromDeclaration(const runtime::TableDeclaration& declaration,
                                             TableDefinition& out);

// The definition stream.
Bytes WriteDefinitionStream(const TableDefinition& definition);
// Rebuilds descriptors from a stream; false when the stream is not a sound definition.
bool ReadDefinitionStream(BytesView stream, TableDefinition& out);
// What no declaration could have stored, though each descriptor reads well on its own:
// a key attribute byte with an undefined bit or contradictory bits (PRIMARY with DUP,
// INDEX or dynamic), a field lying over another without the overlay flag (a group's
// members excepted), an overlay flag on a field that no field covers. Empty when the
// definition is consistent, else the failing field or key named (error 75).
std::string DefinitionInconsistency(const TableDefinition& definition);
// True when the stream describes exactly `declared` (texts absent/empty told apart, memo
// attribute words not compared, key attributes compared without the PRIMARY bit).
bool VerifyDefinitionStream(BytesView stream, const TableDefinition& declared);

// Cuts a stream into 512-byte chunks (the last one holding only the bytes used).
std::vector<Bytes> DefinitionChunks(BytesView stream);

}  // namespace zelt::storage
