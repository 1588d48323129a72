#include "runtime/text/stored_text.hpp"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace zelt::runtime {
namespace {

constexpr const char* kStoredSet = "WINDOWS-1252";

// One iconv descriptor, opened once per thread and direction.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (Open()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts from `in` onwards into `out` until the input ends (0) or a byte sequence
    // cannot be converted (its errno; `in` and `left` then point at it).
    int Convert(const char*& in, std::size_t& left, std::string& out) {
        if (!Open()) return EBADF;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::array<char, 512> buffer{};
        while (left > 0) {
            char* to = buffer.data();
            std::size_t room = buffer.size();
            char* from = const_cast<char*>(in);  // iconv's signature; it only reads
            const std::size_t result = ::iconv(cd_, &from, &left, &to, &room);
            out.append(buffer.data(), static_cast<std::size_t>(to - buffer.data()));
            in = from;
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return errno;
        }
        return 0;
    }

    // The first character of `utf8` as a code point and its length in bytes; nothing when
    // no well-formed UTF-8 character starts there. (A descriptor to UTF-32LE only.)
    std::optional<std::pair<char32_t, std::size_t>> FirstCharacter(std::string_view utf8) {
        if (!Open() || utf8.empty()) return std::nullopt;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::array<unsigned char, 4> code{};
        char* to = reinterpret_cast<char*>(code.data());
        std::size_t room = code.size();
        char* from = const_cast<char*>(utf8.data());
        std::size_t left = std::min<std::size_t>(utf8.size(), 4);
        ::iconv(cd_, &from, &left, &to, &room);  // stops after one character: no more room
        if (room != 0) return std::nullopt;
        const char32_t value = code[0] | (char32_t{code[1]} << 8) | (char32_t{code[2]} << 16) |
                               (char32_t{code[3]} << 24);
        return std::pair{value, static_cast<std::size_t>(from - utf8.data())};
    }

  private:
    bool Open() const { return cd_ != reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)); }
    iconv_t cd_;
};

Converter& StoredToUnicode() {
    thread_local Converter converter("UTF-8", kStoredSet);
    return converter;
}
Converter& UnicodeToStored() {
    thread_local Converter converter(kStoredSet, "UTF-8");
    return converter;
}
Converter& CodePoints() {
    thread_local Converter converter("UTF-32LE", "UTF-8");
    return converter;
}

// The five bytes without a character, which stand for the C1 controls of their number.
bool IsEmptyByte(std::uint32_t b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

std::string Hex(std::uint32_t value, int digits) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%0*X", digits, static_cast<unsigned>(value));
    return text.data();
}

// UTF-8 to stored text. At a character that cannot be stored, `unstorable` is told the
// character's bytes and code point (0 and one byte for a byte that is no UTF-8) and either
// appends a stand-in and answers true, or answers false to give up.
template <typename Unstorable>
std::optional<std::string> ToStored(std::string_view utf8, Unstorable unstorable) {
    std::string out;
    out.reserve(utf8.size());
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (UnicodeToStored().Convert(in, left, out) != 0) {
        const std::string_view rest(in, left);
        const auto character = CodePoints().FirstCharacter(rest);
        const std::size_t length = character ? character->second : 1;
        if (character && IsEmptyByte(character->first)) {
            out.push_back(static_cast<char>(character->first));
        } else if (!unstorable(rest.substr(0, length), character ? character->first : 0,
                               static_cast<std::size_t>(in - utf8.data()), out)) {
            return std::nullopt;
        }
        in += length;
        left -= length;
    }
    return out;
}

}  // namespace

std::string StoredToUtf8(std::string_view stored) {
    std::string out;
    out.reserve(stored.size() + stored.size() / 4);
    const char* in = stored.data();
    std::size_t left = stored.size();
    while (StoredToUnicode().Convert(in, left, out) != 0) {
        const auto byte = static_cast<unsigned char>(*in);
        if (IsEmptyByte(byte)) {
            out.push_back(static_cast<char>(0xC2));  // U+0081 and its kind in UTF-8
            out.push_back(static_cast<char>(byte));
        } else {
            out += "\xEF\xBF\xBD";  // only where the C library has no Windows-1252 at all
        }
        ++in;
        --left;
    }
    return out;
}

std::optional<std::string> Utf8ToStored(std::string_view utf8, std::string* refusal) {
    return ToStored(
        utf8, [refusal](std::string_view bytes, char32_t code, std::size_t at, std::string&) {
            if (!refusal) return false;
            if (code == 0) {
                *refusal = "byte " + std::to_string(at + 1) + " (\\x" +
                           Hex(static_cast<unsigned char>(bytes[0]), 2) + ") is not UTF-8 text";
            } else {
                *refusal = "the character \"" + std::string(bytes) + "\" (U+" + Hex(code, 4) +
                           ") cannot be stored; the catalogue holds the characters of "
                           "Windows-1252 only";
            }
            return false;
        });
}

std::optional<std::string> StoredTextRefusal(std::string_view utf8) {
    std::string refusal;
    if (Utf8ToStored(utf8, &refusal)) return std::nullopt;
    return refusal;
}

std::string Utf8ToStoredMarked(std::string_view utf8) {
    return ToStored(utf8,
                    [](std::string_view bytes, char32_t code, std::size_t, std::string& out) {
                        out += code == 0 ? "<" + Hex(static_cast<unsigned char>(bytes[0]), 2) + ">"
                                         : "<U+" + Hex(code, 4) + ">";
                        return true;
                    })
        .value_or(std::string());
}

}  // namespace zelt::runtime
