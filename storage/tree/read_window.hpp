// Reads of neighbouring pages served from one larger read.
//
// A walk over the leaves of a tree reads page after page that lie side by side in the
// file (forwards or backwards), each a few hundred bytes: one system call apiece costs
// more than the bytes. Once a read lies right beside the one before, the window takes in
// the next 64 KiB in that direction, and the reads that fall inside it are copied from
// there. A read in the 64 KiB beside the window moves it on: the new window reaches on in
// that direction and keeps a quarter behind the read, so that a walk whose pages lie a
// little out of order keeps to the window. Scattered reads go to the file one by one and
// leave the window as it is.
//
// The window holds the file's bytes as they were read. It is good exactly as long as the
// tree's cached pages are: its owner drops it whenever it drops them (a new header, pages
// read from a journal) and whenever this open is about to write the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/io/file_handle.hpp"

namespace zelt::storage {

class ReadWindow {
  public:
    static constexpr std::size_t kSize = 64 * 1024;

    explicit ReadWindow(io::FileHandle& handle) : handle_(&handle) {}

    // Fills `bytes` (its size says how many) from `position`; faults as the handle's
    // ReadExact does.
    void Read(std::uint64_t position, std::string& bytes);
    // The same `length` bytes seen where they lie in the window, or read into `spare` when
    // the window does not hold them; the view lasts until the next read or Drop.
    std::string_view View(std::uint64_t position, std::size_t length, std::string& spare);
    void Drop() {
        bytes_.clear();
        last_from_ = last_to_ = 0;
    }

  private:
    bool Holds(std::uint64_t from, std::uint64_t to) const {
        return !bytes_.empty() && from >= start_ && to <= start_ + bytes_.size();
    }
    // Moves the window over [from, to) when that read goes on a walk; false when it does not.
    bool Refill(std::uint64_t from, std::uint64_t to);
    // Reads the window from `start`; false when it does not cover [from, to).
    bool Fill(std::uint64_t start, std::uint64_t from, std::uint64_t to);

    io::FileHandle* handle_;
    std::uint64_t start_ = 0;
    std::string bytes_;
    std::uint64_t last_from_ = 0;  // the read before
    std::uint64_t last_to_ = 0;
};

}  // namespace zelt::storage
