// Run-length coding of page bodies.
//
// A coded body is a sequence of groups: literal count L, L literal bytes, repeat count R
// (the last literal byte is written R more times). The last group has no repeat count.
// Counts are little-endian base-128 numbers, bit 7 set on every byte but the last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::storage {

// Codes `body`; nullopt when it holds no run of 4 or more equal bytes (stored uncoded).
std::optional<std::string> RunLengthCode(std::string_view body);
// The same into `out`, whose storage is reused; false (and `out` untouched) when uncoded.
bool RunLengthCodeInto(std::string_view body, std::string& out);

// Expands `coded` into exactly `expanded_length` bytes. Faults 522 (literal count beyond
// the rest) and 530 (repeat count beyond the rest).
std::string RunLengthExpand(std::string_view coded, std::size_t expanded_length);
// The same into `out`, whose storage is reused.
void RunLengthExpandInto(std::string_view coded, std::size_t expanded_length, std::string& out);

// Appends `value` as a base-128 count.
void AppendCount(std::string& out, std::uint32_t value);

}  // namespace zelt::storage
