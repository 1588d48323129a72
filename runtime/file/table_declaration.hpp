// A table as the program declares it: label, prefix, driver, file name, record layout,
// memos and blobs, keys and attributes.
//
// Declarations are written with chained calls, in the order of the record's fields:
//
//   TableDeclaration("APPS", "APP", "PELMAR")
//       .NameVariable(AppsFileName.Span())
//       .Record(AsBytes(APP))
//       .String("APP:DrivenPath", 0, 80)
//       .Short("APP:Tag", 130)
//       .Key("APP:DriveKey", key_attr::Opt | key_attr::NoCase,
//            {"APP:Application", "APP:DrivenPath"});
//
// Field, memo and key numbers count from 0 in declaration order. A key component written
// with a leading "-" is descending. The record buffer and the name variable belong to the
// program (globals that live as long as the table); the declaration only refers to them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file/field_type.hpp"

namespace zelt::runtime {

// Key attribute bits as stored in a key's attribute byte.
namespace key_attr {
inline constexpr std::uint8_t Dup = 0x01;
inline constexpr std::uint8_t Opt = 0x02;
inline constexpr std::uint8_t NoCase = 0x04;
inline constexpr std::uint8_t Reserved = 0x08;
inline constexpr std::uint8_t Primary = 0x10;
inline constexpr std::uint8_t Index = 0x20;    // not maintained on writes
inline constexpr std::uint8_t Dynamic = 0x40;  // built on demand, kept in memory
}  // namespace key_attr

// Upper-cases the Latin-1 letters of a label (the runtime's upper-case map).
std::string UpperLabel(std::string_view label);

struct FieldDeclaration {
    std::string label;          // "APP:DrivenPath"
    std::string external_name;  // NAME attribute; empty when none
    FieldType type = FieldType::String;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;           // whole size in bytes (element size × element count)
    std::vector<std::uint32_t> dims;  // array dimensions; empty for a scalar
    std::string picture;              // texts only
    std::uint8_t places = 0;          // DECIMAL and PDECIMAL
    int overlays = -1;                // number of the field whose storage it shares, or -1
    int group = -1;                   // number of the enclosing GROUP, or -1

    std::uint32_t ElementCount() const;
    std::uint32_t ElementSize() const;
    // The name the storage keeps: the external name, else the label in upper case.
    std::string StoredName() const;
};

struct MemoDeclaration {
    std::string label;
    std::string external_name;
    std::string stored_label;  // set for an alias that stores another table's labels
    std::uint32_t size = 0;    // MEMO: declared size; BLOB: 0
    bool binary = false;
    bool blob = false;

    std::string StoredName() const;
};

struct KeyComponent {
    int field = 0;  // field number
    bool descending = false;
};

struct KeyDeclaration {
    std::string label;
    std::string external_name;
    std::string stored_label;  // set for an alias that stores another table's labels
    std::uint8_t attributes = 0;
    std::vector<KeyComponent> components;

    bool Dup() const { return (attributes & key_attr::Dup) != 0; }
    bool Opt() const { return (attributes & key_attr::Opt) != 0; }
    bool NoCase() const { return (attributes & key_attr::NoCase) != 0; }
    bool Primary() const { return (attributes & key_attr::Primary) != 0; }
    bool IsIndex() const { return (attributes & (key_attr::Index | key_attr::Dynamic)) != 0; }
    bool IsDynamic() const { return (attributes & key_attr::Dynamic) != 0; }
    std::string StoredLabel() const;
};

// Extra properties of a field beyond its label, type, offset and size, written as
// `FieldOptions().Dims({3}).Over("ORD:Number")`.
struct FieldOptions {
    std::vector<std::uint32_t> dims;
    std::string picture;
    std::uint8_t places = 0;
    std::string external_name;
    std::string overlays;  // label of the field it overlays

    FieldOptions& Dims(std::vector<std::uint32_t> d) {
        dims = std::move(d);
        return *this;
    }
    FieldOptions& Picture(std::string p) {
        picture = std::move(p);
        return *this;
    }
    FieldOptions& Places(std::uint8_t p) {
        places = p;
        return *this;
    }
    FieldOptions& Named(std::string n) {
        external_name = std::move(n);
        return *this;
    }
    FieldOptions& Over(std::string label) {
        overlays = std::move(label);
        return *this;
    }
};

class TableDeclaration {
  public:
    TableDeclaration(std::string label, std::string prefix, std::string driver);

    // The declared file name (used when there is no name variable).
    TableDeclaration& FileName(std::string name);
    // A text variable of the program that holds the file name at run time; it is read
    // (clipped) at every open, so changing it re-targets the table.
    TableDeclaration& NameVariable(std::span<char> variable);
    TableDeclaration& Record(std::span<char> buffer);
    TableDeclaration& DriverOptions(std::string options);
    TableDeclaration& Oem(bool on = true);
    TableDeclaration& Owner(std::string owner, bool encrypt);
    TableDeclaration& Create(bool on = true);
    TableDeclaration& Threaded(bool on = true);

    TableDeclaration& Field(std::string label, FieldType type, std::uint32_t offset,
                            std::uint32_t size, FieldOptions options = {});
    TableDeclaration& String(std::string label, std::uint32_t offset, std::uint32_t length);
    TableDeclaration& CString(std::string label, std::uint32_t offset, std::uint32_t length);
    TableDeclaration& PString(std::string label, std::uint32_t offset, std::uint32_t length);
    TableDeclaration& Byte(std::string label, std::uint32_t offset);
    TableDeclaration& Short(std::string label, std::uint32_t offset);
    TableDeclaration& UShort(std::string label, std::uint32_t offset);
    TableDeclaration& Long(std::string label, std::uint32_t offset);
    TableDeclaration& ULong(std::string label, std::uint32_t offset);
    TableDeclaration& Date(std::string label, std::uint32_t offset);
    TableDeclaration& Time(std::string label, std::uint32_t offset);
    TableDeclaration& SReal(std::string label, std::uint32_t offset);
    TableDeclaration& Real(std::string label, std::uint32_t offset);
    TableDeclaration& Decimal(std::string label, std::uint32_t offset, std::uint32_t size,
                              std::uint8_t places);
    // A GROUP; the fields declared until EndGroup() are its members.
    TableDeclaration& Group(std::string label, std::uint32_t offset, std::uint32_t size);
    TableDeclaration& EndGroup();

    TableDeclaration& Memo(std::string label, std::uint32_t size, bool binary = false);
    TableDeclaration& Blob(std::string label, bool binary = true);
    TableDeclaration& Key(std::string label, std::uint8_t attributes,
                          std::initializer_list<std::string_view> components);
    TableDeclaration& Key(std::string label, std::uint8_t attributes,
                          const std::vector<std::string>& components);
    // For an alias of another table over the same file: takes over the stored names of
    // the original's fields, memos and keys (position by position), so that both describe
    // the file with the same definition while each keeps its own labels.
    TableDeclaration& StoredLike(const TableDeclaration& original);

    const std::string& Label() const { return label_; }
    const std::string& Prefix() const { return prefix_; }
    const std::string& Driver() const { return driver_; }
    const std::string& DriverOptionText() const { return driver_options_; }
    const std::string& DeclaredFileName() const { return file_name_; }
    std::span<char> NameVariableBytes() const { return name_variable_; }
    bool HasNameVariable() const { return name_variable_.data() != nullptr; }
    std::span<char> RecordBuffer() const { return record_; }
    std::uint32_t RecordLength() const { return static_cast<std::uint32_t>(record_.size()); }
    bool IsOem() const { return oem_; }
    const std::string& OwnerText() const { return owner_; }
    bool Encrypted() const { return encrypt_; }
    bool CreateAttribute() const { return create_; }
    bool IsThreaded() const { return threaded_; }

    const std::vector<FieldDeclaration>& Fields() const { return fields_; }
    const std::vector<MemoDeclaration>& Memos() const { return memos_; }
    const std::vector<KeyDeclaration>& Keys() const { return keys_; }
    // Field or key number by label (case ignored), or -1.
    int FieldNumber(std::string_view label) const;
    int KeyNumber(std::string_view label) const;
    int MemoNumber(std::string_view label) const;
    // True when every key component named an existing field (a typo in a declaration
    // shows up here rather than as a wrong key order).
    bool ComponentsResolved() const { return components_resolved_; }

  private:
    std::string label_;
    std::string prefix_;
    std::string driver_;
    std::string driver_options_;
    std::string file_name_;
    std::span<char> name_variable_;
    std::span<char> record_;
    bool oem_ = false;
    std::string owner_;
    bool encrypt_ = false;
    bool create_ = false;
    bool threaded_ = false;
    bool components_resolved_ = true;
    int open_group_ = -1;
    template <typename Names>
    TableDeclaration& AddKey(std::string label, std::uint8_t attributes, const Names& components);
    std::vector<FieldDeclaration> fields_;
    std::vector<MemoDeclaration> memos_;
    std::vector<KeyDeclaration> keys_;
};

// The bytes of a record struct, for TableDeclaration::Record.
template <typename RecordType>
std::span<char> AsBytes(RecordType& record) {
    return {reinterpret_cast<char*>(&record), sizeof(RecordType)};
}

}  // namespace zelt::runtime
