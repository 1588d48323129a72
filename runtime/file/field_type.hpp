// The runtime's field type codes, their names and element sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelt::runtime {

enum class FieldType : std::uint8_t {
    Byte = 1,
    Short = 2,
    UShort = 3,
    Date = 4,
    Time = 5,
    Long = 6,
    ULong = 7,
    SReal = 8,
    Real = 9,
    Decimal = 10,
    PDecimal = 11,
    BFloat4 = 13,
    BFloat8 = 14,
    String = 18,
    CString = 19,
    PString = 20,
    Memo = 21,
    Group = 22,
    Array = 24,
    Blob = 27,
};

// "BYTE", "SHORT", ... as the runtime writes them; empty for an unknown code.
std::string_view FieldTypeName(FieldType type);
std::optional<FieldType> FieldTypeFromName(std::string_view name);
// True for a code that names one of the types above.
bool IsKnownFieldType(std::uint8_t code);
// Bytes of one element for the fixed-size numeric types (BYTE 1, SHORT 2, DATE 4 ...); 0 for
// the types whose size is declared (texts, decimals, groups).
std::uint32_t FixedElementSize(FieldType type);
// STRING, CSTRING, PSTRING.
bool IsTextType(FieldType type);

}  // namespace zelt::runtime
