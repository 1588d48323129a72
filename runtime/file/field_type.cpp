#include "runtime/file/field_type.hpp"

#include <array>
#include <utility>

namespace zelt::runtime {
namespace {
constexpr std::array<std::pair<FieldType, std::string_view>, 20> kNames{{
    {FieldType::Byte, "BYTE"},         {FieldType::Short, "SHORT"},
    {FieldType::UShort, "USHORT"},     {FieldType::Date, "DATE"},
    {FieldType::Time, "TIME"},         {FieldType::Long, "LONG"},
    {FieldType::ULong, "ULONG"},       {FieldType::SReal, "SREAL"},
    {FieldType::Real, "REAL"},         {FieldType::Decimal, "DECIMAL"},
    {FieldType::PDecimal, "PDECIMAL"}, {FieldType::BFloat4, "BFLOAT4"},
    {FieldType::BFloat8, "BFLOAT8"},   {FieldType::String, "STRING"},
    {FieldType::CString, "CSTRING"},   {FieldType::PString, "PSTRING"},
    {FieldType::Memo, "MEMO"},         {FieldType::Group, "GROUP"},
    {FieldType::Array, "ARRAY"},       {FieldType::Blob, "BLOB"},
}};
}  // namespace

std::string_view FieldTypeName(FieldType type) {
    for (const auto& [t, name] : kNames)
        if (t == type) return name;
    return {};
}

std::optional<FieldType> FieldTypeFromName(std::string_view name) {
    for (const auto& [t, n] : kNames)
        if (n == name) return t;
    return std::nullopt;
}

bool IsKnownFieldType(std::uint8_t code) {
    for (const auto& entry : kNames)
        if (static_cast<std::uint8_t>(entry.first) == code) return true;
    return false;
}

std::uint32_t FixedElementSize(FieldType type) {
    switch (type) {
        case FieldType::Byte:
            return 1;
        case FieldType::Short:
        case FieldType::UShort:
            return 2;
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Long:
        case FieldType::ULong:
        case FieldType::SReal:
        case FieldType::BFloat4:
            return 4;
        case FieldType::Real:
        case FieldType::BFloat8:
            return 8;
        default:
            return 0;
    }
}

bool IsTextType(FieldType type) {
    return type == FieldType::String || type == FieldType::CString || type == FieldType::PString;
}

}  // namespace zelt::runtime
