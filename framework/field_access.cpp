#include "framework/field_access.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zelt::framework {
namespace {

using runtime::FieldType;

const runtime::FieldDeclaration* Declared(runtime::Table& table, int field) {
    const auto& fields = table.Declaration().Fields();
    if (field < 0 || static_cast<std::size_t>(field) >= fields.size()) return nullptr;
    const auto& f = fields[static_cast<std::size_t>(field)];
    if (f.offset + f.size > table.Record().size()) return nullptr;
    return &f;
}

template <typename T>
T Load(std::span<const char> bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), sizeof(T));
    return value;
}

template <typename T>
void Store(std::span<char> bytes, T value) {
    std::memcpy(bytes.data(), &value, sizeof(T));
}

}  // namespace

std::span<char> FieldBytes(runtime::Table& table, int field) {
    const auto* f = Declared(table, field);
    if (!f) return {};
    return table.Record().subspan(f->offset, f->size);
}

std::optional<std::int64_t> FieldNumber(runtime::Table& table, int field) {
    const auto* f = Declared(table, field);
    if (!f) return std::nullopt;
    auto bytes = table.Record().subspan(f->offset, f->size);
    switch (f->type) {
        case FieldType::Byte:
            return Load<std::uint8_t>(bytes);
        case FieldType::Short:
            return Load<std::int16_t>(bytes);
        case FieldType::UShort:
            return Load<std::uint16_t>(bytes);
        case FieldType::Long:
        case FieldType::Date:
        case FieldType::Time:
            return Load<std::int32_t>(bytes);
        case FieldType::ULong:
            return Load<std::uint32_t>(bytes);
        default:
            return std::nullopt;
    }
}

bool SetFieldNumber(runtime::Table& table, int field, std::int64_t value) {
    const auto* f = Declared(table, field);
    if (!f) return false;
    auto bytes = table.Record().subspan(f->offset, f->size);
    switch (f->type) {
        case FieldType::Byte:
            Store(bytes, static_cast<std::uint8_t>(value));
            return true;
        case FieldType::Short:
            Store(bytes, static_cast<std::int16_t>(value));
            return true;
        case FieldType::UShort:
            Store(bytes, static_cast<std::uint16_t>(value));
            return true;
        case FieldType::Long:
        case FieldType::Date:
        case FieldType::Time:
            Store(bytes, static_cast<std::int32_t>(value));
            return true;
        case FieldType::ULong:
            Store(bytes, static_cast<std::uint32_t>(value));
            return true;
        default:
            return false;
    }
}

void SetFieldHighest(runtime::Table& table, int field) {
    const auto* f = Declared(table, field);
    if (!f) return;
    switch (f->type) {
        case FieldType::Short:
            SetFieldNumber(table, field, std::numeric_limits<std::int16_t>::max());
            return;
        case FieldType::Long:
        case FieldType::Date:
        case FieldType::Time:
            SetFieldNumber(table, field, std::numeric_limits<std::int32_t>::max());
            return;
        default: {
            auto bytes = table.Record().subspan(f->offset, f->size);
            std::fill(bytes.begin(), bytes.end(), static_cast<char>(0xFF));
        }
    }
}

void ClearField(runtime::Table& table, int field) {
    const auto* f = Declared(table, field);
    if (!f) return;
    auto bytes = table.Record().subspan(f->offset, f->size);
    std::fill(bytes.begin(), bytes.end(), f->type == FieldType::String ? ' ' : '\0');
}

}  // namespace zelt::framework
