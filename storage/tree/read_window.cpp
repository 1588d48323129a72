#include "storage/tree/read_window.hpp"

#include <algorithm>
#include <cstring>

namespace zelt::storage {
namespace {
constexpr std::uint64_t kFloor = 512;  // the file header lies below
}  // namespace

bool ReadWindow::Fill(std::uint64_t start, std::uint64_t from, std::uint64_t to) {
    bytes_.resize(kSize);
    std::size_t got = 0;
    try {
        got = handle_->ReadBodyAt(start, reinterpret_cast<std::uint8_t*>(bytes_.data()), kSize);
    } catch (...) {
        Drop();  // what the buffer holds now is no file's bytes
        throw;
    }
    bytes_.resize(got);
    start_ = start;
    return Holds(from, to);
}

bool ReadWindow::Refill(std::uint64_t from, std::uint64_t to) {
    // The window keeps clear of the file header and on the handle's 64-byte grid.
    if (to - from >= kSize || from < kFloor || from % 64 != 0 || to % 64 != 0) return false;
    if (!bytes_.empty()) {
        // A walk goes on past the window's edge, not always page by page and not always
        // in order: the next window reaches on in the walk's direction and keeps a quarter
        // behind the read, which pages a little out of order still find.
        const std::uint64_t end = start_ + bytes_.size();
        if (from >= end && to <= end + kSize)
            return Fill(std::max<std::uint64_t>(from, kFloor + kSize / 4) - kSize / 4, from, to);
        if (to <= start_ && from + kSize >= start_)
            return Fill(std::max<std::uint64_t>(from + kSize / 4, kFloor + kSize) - kSize, from,
                        to);
    }
    // Else a run starts right beside the read before.
    if (from == last_to_) return Fill(from, from, to);
    if (to == last_from_)
        return Fill(std::max<std::uint64_t>(to, kFloor + kSize) - kSize, from, to);
    return false;
}

std::string_view ReadWindow::View(std::uint64_t position, std::size_t length, std::string& spare) {
    const std::uint64_t from = position;
    const std::uint64_t to = position + length;
    const bool held = Holds(from, to) || Refill(from, to);
    last_from_ = from;
    last_to_ = to;
    if (held) return std::string_view(bytes_).substr(from - start_, length);
    // The window stays: a walk that strays for a page mostly comes back to it.
    spare.resize(length);
    handle_->ReadExact(position, reinterpret_cast<std::uint8_t*>(spare.data()), length);
    return spare;
}

void ReadWindow::Read(std::uint64_t position, std::string& bytes) {
    const std::string_view seen = View(position, bytes.size(), bytes);
    if (seen.data() != bytes.data()) std::memcpy(bytes.data(), seen.data(), seen.size());
}

}  // namespace zelt::storage
