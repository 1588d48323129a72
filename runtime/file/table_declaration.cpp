#include "runtime/file/table_declaration.hpp"

#include <utility>

#include "runtime/file/collation.hpp"

namespace zelt::runtime {
namespace {

char UpperChar(char c) {
    return static_cast<char>(CurrentCollation().upper[static_cast<unsigned char>(c)]);
}

bool SameLabel(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i])) return false;
    return true;
}

FieldOptions TextOptions(std::uint32_t length) {
    FieldOptions options;
    options.picture = "@s" + std::to_string(length);
    return options;
}

}  // namespace

std::string UpperLabel(std::string_view label) {
    return UpperText(label);
}

std::uint32_t FieldDeclaration::ElementCount() const {
    std::uint32_t count = 1;
    for (auto d : dims) count *= d;
    return count;
}

std::uint32_t FieldDeclaration::ElementSize() const {
    const auto count = ElementCount();
    return count == 0 ? size : size / count;
}

std::string FieldDeclaration::StoredName() const {
    return external_name.empty() ? UpperLabel(label) : external_name;
}

std::string MemoDeclaration::StoredName() const {
    if (!stored_label.empty()) return stored_label;
    return external_name.empty() ? UpperLabel(label) : external_name;
}

std::string KeyDeclaration::StoredLabel() const {
    return stored_label.empty() ? UpperLabel(label) : stored_label;
}

TableDeclaration& TableDeclaration::StoredLike(const TableDeclaration& original) {
    for (std::size_t i = 0; i < fields_.size() && i < original.fields_.size(); ++i)
        fields_[i].external_name = original.fields_[i].StoredName();
    for (std::size_t i = 0; i < memos_.size() && i < original.memos_.size(); ++i) {
        memos_[i].external_name = original.memos_[i].external_name;
        memos_[i].stored_label = UpperLabel(original.memos_[i].label);
    }
    for (std::size_t i = 0; i < keys_.size() && i < original.keys_.size(); ++i) {
        keys_[i].external_name = original.keys_[i].external_name;
        keys_[i].stored_label = original.keys_[i].StoredLabel();
    }
    return *this;
}

TableDeclaration::TableDeclaration(std::string label, std::string prefix, std::string driver)
    : label_(std::move(label)), prefix_(std::move(prefix)), driver_(std::move(driver)) {}

TableDeclaration& TableDeclaration::FileName(std::string name) {
    file_name_ = std::move(name);
    return *this;
}
TableDeclaration& TableDeclaration::NameVariable(std::span<char> variable) {
    name_variable_ = variable;
    return *this;
}
TableDeclaration& TableDeclaration::Record(std::span<char> buffer) {
    record_ = buffer;
    return *this;
}
TableDeclaration& TableDeclaration::DriverOptions(std::string options) {
    driver_options_ = std::move(options);
    return *this;
}
TableDeclaration& TableDeclaration::Oem(bool on) {
    oem_ = on;
    return *this;
}
TableDeclaration& TableDeclaration::Owner(std::string owner, bool encrypt) {
    owner_ = std::move(owner);
    encrypt_ = encrypt;
    return *this;
}
TableDeclaration& TableDeclaration::Create(bool on) {
    create_ = on;
    return *this;
}
TableDeclaration& TableDeclaration::Threaded(bool on) {
    threaded_ = on;
    return *this;
}

TableDeclaration& TableDeclaration::Field(std::string label, FieldType type, std::uint32_t offset,
                                          std::uint32_t size, FieldOptions options) {
    FieldDeclaration field;
    field.label = std::move(label);
    field.external_name = std::move(options.external_name);
    field.type = type;
    field.offset = offset;
    field.size = size;
    field.dims = std::move(options.dims);
    field.picture = std::move(options.picture);
    field.places = options.places;
    field.group = open_group_;
    if (!options.overlays.empty()) field.overlays = FieldNumber(options.overlays);
    fields_.push_back(std::move(field));
    return *this;
}

TableDeclaration& TableDeclaration::String(std::string label, std::uint32_t offset,
                                           std::uint32_t length) {
    return Field(std::move(label), FieldType::String, offset, length, TextOptions(length));
}
TableDeclaration& TableDeclaration::CString(std::string label, std::uint32_t offset,
                                            std::uint32_t length) {
    return Field(std::move(label), FieldType::CString, offset, length, TextOptions(length));
}
TableDeclaration& TableDeclaration::PString(std::string label, std::uint32_t offset,
                                            std::uint32_t length) {
    return Field(std::move(label), FieldType::PString, offset, length, TextOptions(length));
}
TableDeclaration& TableDeclaration::Byte(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Byte, offset, 1);
}
TableDeclaration& TableDeclaration::Short(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Short, offset, 2);
}
TableDeclaration& TableDeclaration::UShort(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::UShort, offset, 2);
}
TableDeclaration& TableDeclaration::Long(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Long, offset, 4);
}
TableDeclaration& TableDeclaration::ULong(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::ULong, offset, 4);
}
TableDeclaration& TableDeclaration::Date(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Date, offset, 4);
}
TableDeclaration& TableDeclaration::Time(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Time, offset, 4);
}
TableDeclaration& TableDeclaration::SReal(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::SReal, offset, 4);
}
TableDeclaration& TableDeclaration::Real(std::string label, std::uint32_t offset) {
    return Field(std::move(label), FieldType::Real, offset, 8);
}
TableDeclaration& TableDeclaration::Decimal(std::string label, std::uint32_t offset,
                                            std::uint32_t size, std::uint8_t places) {
    FieldOptions options;
    options.places = places;
    return Field(std::move(label), FieldType::Decimal, offset, size, std::move(options));
}
TableDeclaration& TableDeclaration::Group(std::string label, std::uint32_t offset,
                                          std::uint32_t size) {
    Field(std::move(label), FieldType::Group, offset, size);
    open_group_ = static_cast<int>(fields_.size()) - 1;
    return *this;
}
TableDeclaration& TableDeclaration::EndGroup() {
    if (open_group_ >= 0) open_group_ = fields_[static_cast<std::size_t>(open_group_)].group;
    return *this;
}

TableDeclaration& TableDeclaration::Memo(std::string label, std::uint32_t size, bool binary) {
    memos_.push_back({std::move(label), {}, {}, size, binary, false});
    return *this;
}
TableDeclaration& TableDeclaration::Blob(std::string label, bool binary) {
    memos_.push_back({std::move(label), {}, {}, 0, binary, true});
    return *this;
}

TableDeclaration& TableDeclaration::Key(std::string label, std::uint8_t attributes,
                                        std::initializer_list<std::string_view> components) {
    return AddKey(std::move(label), attributes, components);
}

TableDeclaration& TableDeclaration::Key(std::string label, std::uint8_t attributes,
                                        const std::vector<std::string>& components) {
    return AddKey(std::move(label), attributes, components);
}

template <typename Names>
TableDeclaration& TableDeclaration::AddKey(std::string label, std::uint8_t attributes,
                                           const Names& components) {
    KeyDeclaration key;
    key.label = std::move(label);
    key.attributes = attributes;
    for (const auto& each : components) {
        std::string_view name = each;
        KeyComponent component;
        if (!name.empty() && name.front() == '-') {
            component.descending = true;
            name.remove_prefix(1);
        }
        component.field = FieldNumber(name);
        if (component.field < 0) components_resolved_ = false;
        key.components.push_back(component);
    }
    keys_.push_back(std::move(key));
    return *this;
}

int TableDeclaration::FieldNumber(std::string_view label) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (SameLabel(fields_[i].label, label)) return static_cast<int>(i);
    return -1;
}
int TableDeclaration::KeyNumber(std::string_view label) const {
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (SameLabel(keys_[i].label, label)) return static_cast<int>(i);
    return -1;
}
int TableDeclaration::MemoNumber(std::string_view label) const {
    for (std::size_t i = 0; i < memos_.size(); ++i)
        if (SameLabel(memos_[i].label, label)) return static_cast<int>(i);
    return -1;
}

}  // namespace zelt::runtime
