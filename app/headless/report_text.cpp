#include "app/headless/report_text.hpp"

#include <iconv.h>

#include <array>

namespace zelt::app {
namespace {

// One byte of stored text as UTF-8. The bytes Windows-1252 leaves empty stand for the C1
// controls of the same number.
std::string StoredCharacter(unsigned char byte) {
    std::string out;
    if (byte < 0x80) return std::string(1, static_cast<char>(byte));
    iconv_t cd = ::iconv_open("UTF-8", "WINDOWS-1252");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        char in[1] = {static_cast<char>(byte)};
        std::array<char, 8> buffer{};
        char* in_at = in;
        char* out_at = buffer.data();
        std::size_t in_left = 1;
        std::size_t out_left = buffer.size();
        if (::iconv(cd, &in_at, &in_left, &out_at, &out_left) != static_cast<std::size_t>(-1))
            out.assign(buffer.data(), static_cast<std::size_t>(out_at - buffer.data()));
        ::iconv_close(cd);
    }
    if (out.empty()) {  // U+0080..U+00FF in two bytes
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
    return out;
}

}  // namespace

std::string ReportText(std::string_view stored) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(stored.size());
    for (const char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out.append("<").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]).append(">");
        } else {
            out += StoredCharacter(byte);
        }
    }
    return out;
}

}  // namespace zelt::app
