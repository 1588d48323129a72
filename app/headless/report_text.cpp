#include "app/headless/report_text.hpp"

#include "runtime/text/stored_text.hpp"

namespace zelt::app {
namespace {

// One byte of stored text as UTF-8 (the runtime's one conversion).
std::string StoredCharacter(unsigned char byte) {
    const char c = static_cast<char>(byte);
    return runtime::StoredToUtf8(std::string_view(&c, 1));
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
