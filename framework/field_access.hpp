// Reading and writing single fields of a table's record buffer by their declaration.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "runtime/file/table.hpp"

namespace zelt::framework {

// The bytes of field `field` of the table's record buffer (empty when out of range).
std::span<char> FieldBytes(runtime::Table& table, int field);
// The value of an integer field (BYTE, SHORT, USHORT, LONG, ULONG, DATE, TIME); nothing for
// other types.
std::optional<std::int64_t> FieldNumber(runtime::Table& table, int field);
// Stores an integer into an integer field; false for other types.
bool SetFieldNumber(runtime::Table& table, int field, std::int64_t value);
// The highest value the field's type can hold (its bytes all 0xFF for other types).
void SetFieldHighest(runtime::Table& table, int field);
// Blanks a text field, zeroes any other.
void ClearField(runtime::Table& table, int field);

}  // namespace zelt::framework
