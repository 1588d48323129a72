#include "runtime/trace/trace_log.hpp"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "runtime/values/clock_source.hpp"

namespace zelt::runtime {
namespace {

std::mutex& TraceMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

void WriteTraceLine(const std::string& file, std::string_view component, std::string_view text) {
    const LocalDateTime now = CurrentClockSource().Now();
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond);
    std::string line = stamp;
    line.append(component);
    line.push_back(' ');
    line.append(text);
    line.push_back('\n');
    const std::lock_guard lock(TraceMutex());
    std::ofstream out(file, std::ios::app | std::ios::binary);
    if (out) out << line;
}

std::string TraceBytes(std::string_view bytes, std::size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(std::min(bytes.size(), limit) + 8);
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            out.push_back(static_cast<char>(b));
        } else {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    if (bytes.size() > limit) out += "...";
    return out;
}

}  // namespace zelt::runtime
