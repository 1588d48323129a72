// The runtime's character tables: collating sequences for ANSI and OEM text, the
// upper-case map, character classes, and the ANSI/OEM conversion.
//
// ANSI text is Windows-1252 and OEM text is code page 437. The conversion between them is
// a one-to-one map of all 256 byte values: characters present in both sets map onto each
// other; the characters that exist in only one of the sets are paired with each other in
// ascending byte order (a byte whose character is missing on both sides maps onto itself),
// so that converting to OEM and back always gives the original bytes.
//
// The ANSI collating sequence keeps the order of the ASCII characters and files every
// accented Latin-1 letter just behind its plain letter of the same case (A, À, Á, Â, Ã, Ä,
// Å, Æ, B, ...); the remaining symbols follow the letters in byte order. The OEM sequence
// gives each OEM byte the weight of its ANSI counterpart. Both are permutations, so distinct
// texts never compare equal. The two 64-byte rule tables are empty (no multi-character
// rules).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelt::runtime {

// Character class bits.
namespace char_class {
inline constexpr std::uint8_t Lower = 0x01;  // folded to upper case by case-blind keys
inline constexpr std::uint8_t Upper = 0x02;
inline constexpr std::uint8_t Digit = 0x04;
inline constexpr std::uint8_t Space = 0x08;
inline constexpr std::uint8_t Punct = 0x10;
}  // namespace char_class

struct CollationTables {
    std::array<std::uint8_t, 256> ansi_sequence{};
    std::array<std::uint8_t, 256> oem_sequence{};
    std::array<std::uint8_t, 256> upper{};
    std::array<std::uint8_t, 256> classes{};
    std::array<std::uint8_t, 64> rules1{};
    std::array<std::uint8_t, 64> rules2{};

    static constexpr std::size_t kStoredSize = 1152;
    // The 1152 bytes in the order above, and back (false when `bytes` is too short).
    std::string Serialize() const;
    bool Deserialize(std::string_view bytes);
    bool operator==(const CollationTables&) const = default;
};

// The tables in effect for this process.
const CollationTables& CurrentCollation();

std::uint8_t AnsiToOem(std::uint8_t ansi);
std::uint8_t OemToAnsi(std::uint8_t oem);
void AnsiToOemInPlace(char* bytes, std::size_t length);
void OemToAnsiInPlace(char* bytes, std::size_t length);

// Upper-cases text with the current upper-case map (for table names and labels).
std::string UpperText(std::string_view text);

}  // namespace zelt::runtime
