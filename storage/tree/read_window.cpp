#include "storage/tree/read_window.hpp"

#include <algorithm>
#include <cstring>

namespace zelt::storage {
namespace {
constexpr std::uint64_t kFloor = 512;  // the file header lies below
}  // namespace

bool ReadWindow::Fill(std::uint64_t start, std::uint64_t from, std::uint64_t to) {
    bytes_.resize(kSize);
    const std::size_t got =
        handle_->ReadBodyAt(start, reinterpret_cast<std::uint8_t*>(bytes_.data()), kSize);
    bytes_.resize(got);
    start_ = start;
    return Holds(from, to);
}

void ReadWindow::Read(std::uint64_t position, std::string& bytes) {
    const std::uint64_t from = position;
    const std::uint64_t to = position + bytes.size();
    const std::uint64_t window_end = start_ + bytes_.size();
    const bool forwards = from == last_to_ || (!bytes_.empty() && from == window_end);
    const bool backwards = to == last_from_ || (!bytes_.empty() && to == start_);
    last_from_ = from;
    last_to_ = to;
    if (!Holds(from, to)) {
        // The window keeps clear of the file header and on the handle's 64-byte grid.
        const bool in_run = (forwards || backwards) && bytes.size() < kSize && from >= kFloor &&
                            from % 64 == 0 && to % 64 == 0;
        const std::uint64_t start =
            forwards ? from : std::max<std::uint64_t>(to, kFloor + kSize) - kSize;
        if (!in_run || !Fill(start, from, to)) {
            bytes_.clear();
            handle_->ReadExact(position, reinterpret_cast<std::uint8_t*>(bytes.data()),
                               bytes.size());
            return;
        }
    }
    std::memcpy(bytes.data(), bytes_.data() + (from - start_), bytes.size());
}

}  // namespace zelt::storage
