#include "storage/tree/read_window.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "storage/io/file_handle.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

// A walk's reads, wherever the window stands, give the file's own bytes: forwards,
// backwards a little out of order, a stray page far off and back, and up to the end.
TEST(ReadWindowTest, EveryReadGivesTheFilesBytesWhereverTheWindowMoves) {
    testing::ScratchDir dir;
    constexpr std::size_t kFile = 512 * 1024 + 512;
    std::string file(kFile, '\0');
    for (std::size_t i = 0; i < kFile; ++i) file[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    std::ofstream(dir / "w.bin", std::ios::binary).write(file.data(), kFile);
    std::unique_ptr<io::FileHandle> handle;
    ASSERT_EQ(io::FileHandle::Open(dir / "w.bin", false, io::CreateMode::OpenExisting,
                                   io::ShareMode::DenyNone, handle),
              0);
    ReadWindow window(*handle);

    std::vector<std::pair<std::uint64_t, std::size_t>> reads;
    for (std::uint64_t at = 512; at < 200 * 1024; at += 768) reads.emplace_back(at, 768);
    // Backwards from near the end, every third pair of pages swapped.
    std::vector<std::uint64_t> down;
    for (std::uint64_t at = kFile - 1024; at > 300 * 1024; at -= 768) down.push_back(at);
    for (std::size_t i = 0; i + 1 < down.size(); i += 3) std::swap(down[i], down[i + 1]);
    for (std::uint64_t at : down) reads.emplace_back(at, 768);
    reads.emplace_back(1024, 1280);  // a stray read far off, then back to the walk
    reads.emplace_back(down.back() - 768, 768);
    reads.emplace_back(kFile - 256, 256);
    reads.emplace_back(512, 15104);

    for (const auto& [at, length] : reads) {
        std::string bytes(length, '\0');
        window.Read(at, bytes);
        ASSERT_EQ(bytes, file.substr(at, length)) << "read at " << at;
    }
}

}  // namespace
}  // namespace zelt::storage
