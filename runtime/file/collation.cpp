#include "runtime/file/collation.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace zelt::runtime {
namespace {

// Unicode code points of bytes 0x80..0xFF; 0 where the byte has no character.
constexpr std::array<std::uint16_t, 32> kWin1252Low{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr std::array<std::uint16_t, 128> kCp437High{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

std::uint16_t AnsiCodePoint(int b) {
    if (b < 0x80 || b >= 0xA0) return static_cast<std::uint16_t>(b);
    return kWin1252Low[static_cast<std::size_t>(b - 0x80)];
}
std::uint16_t OemCodePoint(int b) {
    if (b < 0x80) return static_cast<std::uint16_t>(b);
    return kCp437High[static_cast<std::size_t>(b - 0x80)];
}

struct ConversionMaps {
    std::array<std::uint8_t, 256> to_oem{};
    std::array<std::uint8_t, 256> to_ansi{};

    ConversionMaps() {
        std::array<bool, 256> ansi_done{};
        std::array<bool, 256> oem_done{};
        for (int a = 0; a < 256; ++a) {
            const auto cp = AnsiCodePoint(a);
            if (cp == 0 && a != 0) continue;
            for (int o = 0; o < 256; ++o) {
                if (!oem_done[static_cast<std::size_t>(o)] && OemCodePoint(o) == cp) {
                    Pair(a, o, ansi_done, oem_done);
                    break;
                }
            }
        }
        // A byte left over on both sides keeps its value.
        for (int b = 0; b < 256; ++b)
            if (!ansi_done[static_cast<std::size_t>(b)] && !oem_done[static_cast<std::size_t>(b)])
                Pair(b, b, ansi_done, oem_done);
        // The rest pair up in ascending order.
        std::vector<int> ansi_left;
        std::vector<int> oem_left;
        for (int b = 0; b < 256; ++b) {
            if (!ansi_done[static_cast<std::size_t>(b)]) ansi_left.push_back(b);
            if (!oem_done[static_cast<std::size_t>(b)]) oem_left.push_back(b);
        }
        for (std::size_t i = 0; i < ansi_left.size() && i < oem_left.size(); ++i)
            Pair(ansi_left[i], oem_left[i], ansi_done, oem_done);
    }

    void Pair(int a, int o, std::array<bool, 256>& ansi_done, std::array<bool, 256>& oem_done) {
        to_oem[static_cast<std::size_t>(a)] = static_cast<std::uint8_t>(o);
        to_ansi[static_cast<std::size_t>(o)] = static_cast<std::uint8_t>(a);
        ansi_done[static_cast<std::size_t>(a)] = true;
        oem_done[static_cast<std::size_t>(o)] = true;
    }
};

const ConversionMaps& Maps() {
    static const ConversionMaps maps;
    return maps;
}

// Base letter of a Latin-1 / Windows-1252 letter, or 0 for a byte that is not one.
char BaseLetter(int b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) return static_cast<char>(b);
    static const std::string_view upper_bases = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTS";  // C0..DF
    static const std::string_view lower_bases = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // E0..FF
    if (b >= 0xC0 && b <= 0xDF) {
        const char c = upper_bases[static_cast<std::size_t>(b - 0xC0)];
        return (c >= 'A' && c <= 'Z') ? c : 0;
    }
    if (b >= 0xE0) {
        const char c = lower_bases[static_cast<std::size_t>(b - 0xE0)];
        return (c >= 'a' && c <= 'z') ? c : 0;
    }
    switch (b) {
        case 0x8A:
            return 'S';  // Š
        case 0x8C:
            return 'O';  // Œ
        case 0x8E:
            return 'Z';  // Ž
        case 0x9F:
            return 'Y';  // Ÿ
        case 0x9A:
            return 's';  // š
        case 0x9C:
            return 'o';  // œ
        case 0x9E:
            return 'z';  // ž
        case 0x83:
            return 'f';  // ƒ
        case 0xAA:
            return 'a';  // ª
        case 0xBA:
            return 'o';  // º
        default:
            return 0;
    }
}

CollationTables BuildTables() {
    CollationTables t;
    // Upper-case map and classes.
    for (int b = 0; b < 256; ++b) {
        auto& up = t.upper[static_cast<std::size_t>(b)];
        auto& cls = t.classes[static_cast<std::size_t>(b)];
        up = static_cast<std::uint8_t>(b);
        if (b >= 'a' && b <= 'z') {
            up = static_cast<std::uint8_t>(b - 0x20);
            cls = char_class::Lower;
        } else if (b >= 'A' && b <= 'Z') {
            cls = char_class::Upper;
        } else if (b >= 0xE0 && b <= 0xFE && b != 0xF7) {
            up = static_cast<std::uint8_t>(b - 0x20);
            cls = char_class::Lower;
        } else if (b >= 0xC0 && b <= 0xDE && b != 0xD7) {
            cls = char_class::Upper;
        } else if (b == 0x9A || b == 0x9C || b == 0x9E) {
            up = static_cast<std::uint8_t>(b - 0x10);
            cls = char_class::Lower;
        } else if (b == 0xFF) {
            up = 0x9F;
            cls = char_class::Lower;
        } else if (b == 0x8A || b == 0x8C || b == 0x8E || b == 0x9F) {
            cls = char_class::Upper;
        } else if (b >= '0' && b <= '9') {
            cls = char_class::Digit;
        } else if (b == ' ' || (b >= 9 && b <= 13) || b == 0xA0) {
            cls = char_class::Space;
        } else if ((b > 32 && b < 127) || b >= 0x80) {
            cls = char_class::Punct;
        }
    }
    // ß has no capital form of its own.
    t.upper[0xDF] = 0xDF;
    t.classes[0xDF] = char_class::Lower;

    // ANSI sequence: walk the bytes in the order described in the header.
    std::vector<int> order;
    std::array<bool, 256> placed{};
    auto place = [&](int b) {
        if (!placed[static_cast<std::size_t>(b)]) {
            placed[static_cast<std::size_t>(b)] = true;
            order.push_back(b);
        }
    };
    for (int b = 0; b < 'A'; ++b) place(b);
    auto letters = [&](char first, char last) {
        for (char base = first; base <= last; ++base) {
            place(base);
            for (int b = 0x80; b < 256; ++b)
                if (BaseLetter(b) == base) place(b);
        }
    };
    letters('A', 'Z');
    for (int b = 'Z' + 1; b < 'a'; ++b) place(b);
    letters('a', 'z');
    for (int b = 'z' + 1; b < 256; ++b) place(b);
    for (std::size_t weight = 0; weight < order.size(); ++weight)
        t.ansi_sequence[static_cast<std::size_t>(order[weight])] =
            static_cast<std::uint8_t>(weight);

    // OEM sequence: the weight of the ANSI counterpart.
    for (int b = 0; b < 256; ++b)
        t.oem_sequence[static_cast<std::size_t>(b)] =
            t.ansi_sequence[Maps().to_ansi[static_cast<std::size_t>(b)]];

    // Ligatures and the sharp s expand to their two letters.
    constexpr std::array<std::uint8_t, 16> kExpansions{1,   0xC6, 'A',  'E', 0xE6, 'a',  'e', 0x8C,
                                                       'O', 'E',  0x9C, 'o', 'e',  0xDF, 's', 's'};
    std::copy(kExpansions.begin(), kExpansions.end(), t.rules1.begin());
    return t;
}

}  // namespace

std::string CollationTables::Serialize() const {
    std::string out;
    out.reserve(kStoredSize);
    for (const auto* table : {&ansi_sequence, &oem_sequence, &upper, &classes})
        out.append(reinterpret_cast<const char*>(table->data()), table->size());
    out.append(reinterpret_cast<const char*>(rules1.data()), rules1.size());
    out.append(reinterpret_cast<const char*>(rules2.data()), rules2.size());
    return out;
}

bool CollationTables::Deserialize(std::string_view bytes) {
    if (bytes.size() < kStoredSize) return false;
    std::size_t at = 0;
    auto take = [&](auto& table) {
        std::copy_n(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, table.size(),
                    table.begin());
        at += table.size();
    };
    take(ansi_sequence);
    take(oem_sequence);
    take(upper);
    take(classes);
    take(rules1);
    take(rules2);
    return true;
}

namespace {

// One way of weighing texts (tables, OEM or not, case-blind or not) worked out per byte:
// keys weigh the texts of every record written, and the folding, the weight and whether a
// rule may apply are one lookup each this way.
struct TextWeights {
    CollationTables tables;
    bool oem = false;
    bool nocase = false;
    std::array<std::uint8_t, 256> folded{};  // the byte as case folding leaves it
    std::array<std::uint8_t, 256> weight{};  // the weight of the byte, folded first
    std::array<bool, 256> ruled{};           // a rule may start with the byte (folded)
    bool rules = false;                      // rules1[0] is not 0

    TextWeights(const CollationTables& t, bool oem_text, bool nocase_text)
        : tables(t), oem(oem_text), nocase(nocase_text), rules(t.rules1[0] != 0) {
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            const std::uint8_t f =
                nocase && (t.classes[byte] & char_class::Lower) != 0 ? t.upper[byte] : byte;
            folded[byte] = f;
            weight[byte] = oem ? t.oem_sequence[AnsiToOem(f)] : t.ansi_sequence[f];
        }
        if (!rules) return;
        constexpr std::size_t kRuleSize = 3;
        std::array<bool, 256> starts{};
        for (std::size_t r = 0; r + kRuleSize <= t.rules2.size() && t.rules2[r] != 0;
             r += kRuleSize)
            starts[folded[t.rules2[r]]] = true;
        for (std::size_t r = 1; r + kRuleSize <= t.rules1.size() && t.rules1[r] != 0;
             r += kRuleSize)
            starts[folded[t.rules1[r]]] = true;
        for (int b = 0; b < 256; ++b)
            ruled[static_cast<std::size_t>(b)] = starts[folded[static_cast<std::size_t>(b)]];
    }
    bool For(const CollationTables& t, bool oem_text, bool nocase_text) const {
        return oem == oem_text && nocase == nocase_text && tables == t;
    }
};

// The weights last used on this thread (a table's keys mostly weigh one way or two).
const TextWeights& WeightsFor(const CollationTables& t, bool oem, bool nocase) {
    thread_local std::vector<std::unique_ptr<TextWeights>> kept;
    for (const auto& w : kept) {
        if (w->For(t, oem, nocase)) return *w;
    }
    constexpr std::size_t kKept = 4;
    if (kept.size() == kKept) kept.erase(kept.begin());
    kept.push_back(std::make_unique<TextWeights>(t, oem, nocase));
    return *kept.back();
}

// Where the text of `bytes` ends: past its last byte that is not a space. Padding is
// skipped a word at a time.
std::size_t TextEnd(std::string_view bytes) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
    std::size_t end = bytes.size();
    while (end >= sizeof kSpaces) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + end - sizeof word, sizeof word);
        if (word != kSpaces) break;
        end -= sizeof word;
    }
    while (end > 0 && bytes[end - 1] == ' ') --end;
    return end;
}

}  // namespace

void WeighText(const CollationTables& tables, bool oem, bool nocase, std::string& bytes) {
    const TextWeights& w = WeightsFor(tables, oem, nocase);
    const CollationTables& t = w.tables;
    const std::size_t length = bytes.size();
    // Text fields are mostly padding: the trailing spaces weigh alike, once.
    const std::size_t text_end = TextEnd(bytes);
    const auto space_weight = static_cast<char>(w.weight[static_cast<std::uint8_t>(' ')]);
    const auto weigh = [&w](char c) {
        return static_cast<char>(w.weight[static_cast<std::uint8_t>(c)]);
    };
    if (!w.rules) {
        for (std::size_t i = 0; i < text_end; ++i) bytes[i] = weigh(bytes[i]);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(text_end), bytes.end(), space_weight);
        return;
    }
    constexpr std::size_t kRuleSize = 3;
    // Spaces past the text weigh as themselves unless a rule starts with a space.
    const std::size_t weigh_end = w.ruled[static_cast<std::uint8_t>(' ')] ? length : text_end;
    // Up to the first byte a rule starts with, each byte weighs where it lies.
    std::size_t i = 0;
    while (i < weigh_end && !w.ruled[static_cast<std::uint8_t>(bytes[i])]) {
        bytes[i] = weigh(bytes[i]);
        ++i;
    }
    if (i == weigh_end) {
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(), space_weight);
        return;
    }
    // From there an expansion may run ahead of the input. Keys are weighed once per key of
    // every record written: the output buffer is kept.
    thread_local std::string out;
    out.assign(bytes, 0, i);
    out.reserve(length + 2);
    while (i < weigh_end && out.size() < length) {
        const auto raw = static_cast<std::uint8_t>(bytes[i]);
        if (!w.ruled[raw]) {
            out.push_back(weigh(bytes[i]));
            ++i;
            continue;
        }
        const std::uint8_t c = w.folded[raw];
        bool done = false;
        if (i + 1 < length) {
            const std::uint8_t next = w.folded[static_cast<std::uint8_t>(bytes[i + 1])];
            for (std::size_t r = 0; r + kRuleSize <= t.rules2.size() && t.rules2[r] != 0;
                 r += kRuleSize) {
                if (w.folded[t.rules2[r]] == c && w.folded[t.rules2[r + 1]] == next) {
                    out.push_back(static_cast<char>(w.weight[t.rules2[r + 2]]));
                    out.push_back(static_cast<char>(0xFF));
                    i += 2;
                    done = true;
                    break;
                }
            }
        }
        for (std::size_t r = 1; !done && r + kRuleSize <= t.rules1.size() && t.rules1[r] != 0;
             r += kRuleSize) {
            if (w.folded[t.rules1[r]] == c) {
                out.push_back(static_cast<char>(w.weight[t.rules1[r + 1]]));
                out.push_back(static_cast<char>(w.weight[t.rules1[r + 2]]));
                ++i;
                done = true;
            }
        }
        if (!done) {
            out.push_back(static_cast<char>(w.weight[c]));
            ++i;
        }
    }
    if (out.size() < length) out.append(length - i, space_weight);
    out.resize(length);
    bytes.swap(out);
}

const CollationTables& CurrentCollation() {
    static const CollationTables tables = BuildTables();
    return tables;
}

std::uint8_t AnsiToOem(std::uint8_t ansi) {
    return Maps().to_oem[ansi];
}
std::uint8_t OemToAnsi(std::uint8_t oem) {
    return Maps().to_ansi[oem];
}

void AnsiToOemInPlace(char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(AnsiToOem(static_cast<std::uint8_t>(bytes[i])));
}
void OemToAnsiInPlace(char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(OemToAnsi(static_cast<std::uint8_t>(bytes[i])));
}

char32_t AnsiToUnicode(std::uint8_t ansi) {
    const std::uint16_t character = AnsiCodePoint(ansi);
    return character != 0 || ansi == 0 ? character : ansi;
}

std::optional<std::uint8_t> UnicodeToAnsi(char32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<std::uint8_t>(character);
    for (int b = 0x80; b < 0xA0; ++b)
        if (AnsiToUnicode(static_cast<std::uint8_t>(b)) == character)
            return static_cast<std::uint8_t>(b);
    return std::nullopt;
}

std::string UpperText(std::string_view text) {
    const auto& upper = CurrentCollation().upper;
    std::string out(text);
    for (char& c : out) c = static_cast<char>(upper[static_cast<std::uint8_t>(c)]);
    return out;
}

}  // namespace zelt::runtime
