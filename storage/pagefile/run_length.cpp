#include "storage/pagefile/run_length.hpp"

#include <bit>
#include <cstring>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/small_copy.hpp"

namespace zelt::storage {

void AppendCount(std::string& out, std::uint32_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

namespace {
std::uint64_t LoadWord(const char* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The first position at or after `from` where four equal bytes start; `size` when none.
std::size_t NextRun(const char* bytes, std::size_t from, std::size_t size) {
    constexpr std::uint64_t kLow = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::size_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight start positions at once: byte j of `differs` is 0 where the three bytes
        // after position i + j equal it; the lowest zero byte is the first run.
        for (; i + 11 <= size; i += 8) {
            const std::uint64_t word = LoadWord(bytes + i);
            const std::uint64_t differs = (word ^ LoadWord(bytes + i + 1)) |
                                          (word ^ LoadWord(bytes + i + 2)) |
                                          (word ^ LoadWord(bytes + i + 3));
            const std::uint64_t zero = (differs - kLow) & ~differs & kHigh;
            if (zero != 0) return i + static_cast<std::size_t>(std::countr_zero(zero)) / 8;
        }
    }
    for (; i + 3 < size; ++i) {
        if (bytes[i + 1] == bytes[i] && bytes[i + 2] == bytes[i] && bytes[i + 3] == bytes[i])
            return i;
    }
    return size;
}
// Where the run of bytes equal to bytes[at] that starts at `at` ends (it is known to be
// at least four long).
std::size_t RunEnd(const char* bytes, std::size_t at, std::size_t size) {
    std::size_t end = at + 4;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t pattern = 0x0101010101010101u * static_cast<std::uint8_t>(bytes[at]);
        for (; end + 8 <= size; end += 8) {
            const std::uint64_t differs = LoadWord(bytes + end) ^ pattern;
            if (differs != 0) return end + static_cast<std::size_t>(std::countr_zero(differs)) / 8;
        }
    }
    while (end < size && bytes[end] == bytes[at]) ++end;
    return end;
}
}  // namespace

bool RunLengthCodeInto(std::string_view body, std::string& out) {
    const char* bytes = body.data();
    const std::size_t size = body.size();
    std::size_t i = NextRun(bytes, 0, size);
    if (i == size) return false;
    out.clear();
    out.reserve(size + 16);
    std::size_t lit = 0;
    while (i < size) {
        const std::size_t run = RunEnd(bytes, i, size) - i;
        AppendCount(out, static_cast<std::uint32_t>(i + 1 - lit));
        out.append(body.substr(lit, i + 1 - lit));
        AppendCount(out, static_cast<std::uint32_t>(run - 1));
        lit = i + run;
        i = NextRun(bytes, lit, size);
    }
    AppendCount(out, static_cast<std::uint32_t>(size - lit));
    out.append(body.substr(lit));
    return true;
}

std::optional<std::string> RunLengthCode(std::string_view body) {
    std::string out;
    if (!RunLengthCodeInto(body, out)) return std::nullopt;
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

namespace {
// Runs of up to 64 bytes go as moves of 16 bytes instead of a call (small_copy.hpp).
void FillSmall(char* to, char byte, std::size_t n) {
    if (n < 16) {
        for (std::size_t i = 0; i < n; ++i) to[i] = byte;
        return;
    }
    if (n > 64) {
        std::memset(to, byte, n);
        return;
    }
    char block[16];
    std::memset(block, byte, 16);
    for (std::size_t done = 0; done + 16 < n; done += 16) std::memcpy(to + done, block, 16);
    std::memcpy(to + n - 16, block, 16);
}
}  // namespace

void RunLengthExpandInto(std::string_view coded, std::size_t expanded_length, std::string& out) {
    out.resize(expanded_length);
    char* to = out.data();
    std::size_t filled = 0;
    std::size_t pos = 0;
    while (filled < expanded_length) {
        std::uint64_t literal = 0;
        if (!ReadCount(coded, pos, literal)) RaiseFault(fault::RunLiteralTooLong);
        if (literal > expanded_length - filled || literal > coded.size() - pos) {
            RaiseFault(fault::RunLiteralTooLong);
        }
        CopySmall(to + filled, coded.data() + pos, static_cast<std::size_t>(literal));
        pos += static_cast<std::size_t>(literal);
        filled += static_cast<std::size_t>(literal);
        if (filled == expanded_length) break;
        std::uint64_t repeat = 0;
        if (!ReadCount(coded, pos, repeat) || repeat > expanded_length - filled || filled == 0) {
            RaiseFault(fault::RunRepeatTooLong);
        }
        FillSmall(to + filled, to[filled - 1], static_cast<std::size_t>(repeat));
        filled += static_cast<std::size_t>(repeat);
    }
}

std::string RunLengthExpand(std::string_view coded, std::size_t expanded_length) {
    std::string out;
    RunLengthExpandInto(coded, expanded_length, out);
    return out;
}

}  // namespace zelt::storage
