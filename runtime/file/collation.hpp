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
// gives each OEM byte the weight of its ANSI counterpart. Both are permutations.
//
// Multi-character rules (the two 64-byte tables), written in ANSI characters:
//   rules1[0]      0: no rules at all; anything else: the rules below apply.
//   rules1[1..63]  up to 21 expansions of three bytes: character, first, second. The
//                  character weighs as the two characters first and second. A 0 character
//                  ends the list.
//   rules2[0..62]  up to 21 contractions of three bytes: first, second, anchor. The pair of
//                  characters weighs as the anchor followed by the highest weight (255), so
//                  it files after every other text that starts with the anchor. A 0 first
//                  character ends the list.
// The current tables expand the ligatures and the sharp s (Æ as AE, æ as ae, Œ as OE, œ as
// oe, ß as ss), so that in a case-blind key "Æble" files between "Adam" and "Afrika". A
// text and its expanded spelling weigh the same: a unique key takes "Straße" and "Strasse"
// as one value, as a case-blind key takes "abc" and "ABC". There are no contractions in the
// current tables. A table keeps the tables it was created with (its collation item), so
// changing the current tables never reorders the keys of an existing table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

// Turns the bytes of a text component into sort weights, in place and keeping its length:
// case-folded first when `nocase` (every byte of class Lower through the upper-case map),
// then weighed through the OEM sequence (after the ANSI to OEM conversion) when `oem`, else
// through the ANSI sequence, applying the multi-character rules when rules1[0] is not 0.
// Expansions make a text longer; what passes the original length is cut off.
void WeighText(const CollationTables& tables, bool oem, bool nocase, std::string& bytes);

// The tables in effect for this process.
const CollationTables& CurrentCollation();

std::uint8_t AnsiToOem(std::uint8_t ansi);
std::uint8_t OemToAnsi(std::uint8_t oem);
void AnsiToOemInPlace(char* bytes, std::size_t length);
void OemToAnsiInPlace(char* bytes, std::size_t length);

// ANSI text and Unicode. Every byte has a character: the five bytes that Windows-1252 leaves
// empty (81, 8D, 8F, 90, 9D) stand for the C1 controls of the same number, so that any
// stored text goes to Unicode and back unchanged. A character outside the set has no byte.
char32_t AnsiToUnicode(std::uint8_t ansi);
std::optional<std::uint8_t> UnicodeToAnsi(char32_t character);

// Upper-cases text with the current upper-case map (for table names and labels).
std::string UpperText(std::string_view text);

}  // namespace zelt::runtime
