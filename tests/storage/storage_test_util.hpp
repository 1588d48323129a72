// Helpers shared by the storage tests: scratch directories, raw file access and a
// whole-file check against an expected set of items.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "storage/item_file.hpp"
#include "storage/journal/file_state.hpp"

namespace zelt::storage::testing {

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelt-storage-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::unique_ptr<ItemFile> OpenFile(const std::filesystem::path& path,
                                          Access access = Access::ReadWrite,
                                          Share share = Share::DenyNone,
                                          Creation creation = Creation::OpenOrCreate,
                                          std::string owner = {}) {
    std::unique_ptr<ItemFile> file;
    OpenOptions options{access, share, creation, std::move(owner)};
    Status status = ItemFile::Open(path, options, file);
    EXPECT_TRUE(status.ok()) << "open " << path << ": " << status.code << "/" << status.fault;
    return file;
}

using Model = std::map<std::string, std::string>;

// All items of the file in key order, walked forwards with a cursor.
inline Model ReadItems(ItemFile& file, Status* status = nullptr) {
    Model items;
    ItemCursor cursor(file);
    Status s = cursor.First();
    while (s.ok() && cursor.Valid()) {
        items[cursor.key()] = cursor.data();
        s = cursor.Next();
    }
    if (status) *status = s;
    return items;
}

// The number of items the tree holds, after checking every structural rule.
inline std::size_t VerifyTree(ItemFile& file) {
    EXPECT_TRUE(file.BeginRead().ok());
    std::size_t count = 0;
    try {
        count = file.state().tree->Verify();
    } catch (...) {
        ADD_FAILURE() << "tree check failed";
    }
    EXPECT_TRUE(file.Finish().ok());
    return count;
}

}  // namespace zelt::storage::testing
