#include "runtime/conversation/conversation_text.hpp"

#include <cstdint>

namespace zelt::runtime {

namespace {

bool IsContinuation(char c) {
    return (static_cast<std::uint8_t>(c) & 0xC0u) == 0x80u;
}

// The length of the well-formed character at `at`, or 0 when the bytes there are none.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    const auto b = static_cast<std::uint8_t>(text[at]);
    if (b < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;  // the range the second byte must lie in
    std::uint8_t high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;   // overlong
        if (b == 0xED) high = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;   // overlong
        if (b == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    const auto second = static_cast<std::uint8_t>(text[at + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(text[at + i])) return 0;
    }
    return length;
}

}  // namespace

std::size_t CharacterBoundary(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t cut = limit;
    // A character has at most three bytes after its first.
    for (int step = 0; step < 3 && cut > 0 && IsContinuation(text[cut]); ++step) --cut;
    return IsContinuation(text[cut]) ? limit : cut;
}

std::optional<std::size_t> FirstNonUtf8Byte(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = CharacterLength(text, at);
        if (length == 0) return at;
        at += length;
    }
    return std::nullopt;
}

std::string ShowableText(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = CharacterLength(text, at);
        const auto b = static_cast<std::uint8_t>(text[at]);
        if (length == 0 || b < 0x20 || b == 0x7F) {
            shown += "\\x";
            shown += kDigits[b >> 4];
            shown += kDigits[b & 0xF];
            ++at;
        } else {
            shown.append(text.substr(at, length));
            at += length;
        }
    }
    return shown;
}

}  // namespace zelt::runtime
