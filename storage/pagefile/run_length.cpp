#include "storage/pagefile/run_length.hpp"

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"

namespace zelt::storage {

void AppendCount(std::string& out, std::uint32_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::optional<std::string> RunLengthCode(std::string_view body) {
    std::string out;
    out.reserve(body.size() + 16);
    std::size_t lit = 0;
    std::size_t i = 0;
    bool coded_a_run = false;
    const char* bytes = body.data();
    const std::size_t size = body.size();
    while (i < size) {
        // Most positions start no run of 4: look three bytes ahead first.
        if (i + 3 >= size || bytes[i + 3] != bytes[i] || bytes[i + 1] != bytes[i] ||
            bytes[i + 2] != bytes[i]) {
            std::size_t run = 1;
            while (run < 3 && i + run < size && bytes[i + run] == bytes[i]) ++run;
            i += run;
            continue;
        }
        std::size_t run = 4;
        while (i + run < size && bytes[i + run] == bytes[i]) ++run;
        AppendCount(out, static_cast<std::uint32_t>(i + 1 - lit));
        out.append(body.substr(lit, i + 1 - lit));
        AppendCount(out, static_cast<std::uint32_t>(run - 1));
        lit = i + run;
        i += run;
        coded_a_run = true;
    }
    if (!coded_a_run) return std::nullopt;
    AppendCount(out, static_cast<std::uint32_t>(body.size() - lit));
    out.append(body.substr(lit));
    return out;
}

namespace {
// Reads one count; false when the input ends inside it or it does not fit 32 bits.
bool ReadCount(std::string_view in, std::size_t& pos, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (pos >= in.size()) return false;
        auto byte = static_cast<std::uint8_t>(in[pos++]);
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}
}  // namespace

std::string RunLengthExpand(std::string_view coded, std::size_t expanded_length) {
    std::string out;
    out.reserve(expanded_length);
    std::size_t pos = 0;
    while (out.size() < expanded_length) {
        std::uint64_t literal = 0;
        if (!ReadCount(coded, pos, literal)) RaiseFault(fault::RunLiteralTooLong);
        if (literal > expanded_length - out.size() || literal > coded.size() - pos) {
            RaiseFault(fault::RunLiteralTooLong);
        }
        out.append(coded.substr(pos, static_cast<std::size_t>(literal)));
        pos += static_cast<std::size_t>(literal);
        if (out.size() == expanded_length) break;
        std::uint64_t repeat = 0;
        if (!ReadCount(coded, pos, repeat) || repeat > expanded_length - out.size() ||
            out.empty()) {
            RaiseFault(fault::RunRepeatTooLong);
        }
        out.append(static_cast<std::size_t>(repeat), out.back());
    }
    return out;
}

}  // namespace zelt::storage
