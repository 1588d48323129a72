#include "runtime/report/report_picture.hpp"

#include <charconv>
#include <cstdlib>

#include "runtime/window/binding.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

namespace {

// "@n03" -> zero fill, width 3; "@n-5" -> signed, width 5.
std::string FormatNumber(std::string_view value, std::string_view format) {
    bool zeros = false;
    if (!format.empty() && format.front() == '-') format.remove_prefix(1);
    if (!format.empty() && format.front() == '0') {
        zeros = true;
        format.remove_prefix(1);
    }
    int width = 0;
    std::from_chars(format.data(), format.data() + format.size(), width);
    const long long n = ParseBoundNumber(value);
    std::string digits = std::to_string(std::llabs(n));
    const std::string sign = n < 0 ? "-" : "";
    if (width <= 0) return sign + digits;
    const auto w = static_cast<std::size_t>(width);
    if (sign.size() + digits.size() > w) return std::string(w, '#');
    if (zeros) return sign + std::string(w - sign.size() - digits.size(), '0') + digits;
    return std::string(w - sign.size() - digits.size(), ' ') + sign + digits;
}

}  // namespace

std::string FormatReportValue(std::string_view value, std::string_view picture) {
    if (picture.size() >= 2 && picture.front() == '@') {
        const char kind = picture[1];
        const std::string_view format = picture.substr(2);
        if (kind == 'n' || kind == 'N') return FormatNumber(value, format);
        if (kind == 's' || kind == 'S') {
            std::size_t width = 0;
            std::from_chars(format.data(), format.data() + format.size(), width);
            return std::string(width > 0 && value.size() > width ? value.substr(0, width) : value);
        }
    }
    if (picture.empty()) return std::string(value);
    return FormatByPicture(value, picture);
}

}  // namespace zelt::runtime
