// The page cache kept across a close: taken up by the next open of an unchanged file, never
// by an open of a file changed since, however it was changed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using testing::Model;
using testing::OpenFile;
using testing::ReadAll;
using testing::ReadItems;
using testing::ScratchDir;
using testing::WriteAll;

std::string KeyOf(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "key%07d", n);
    return buf;
}

constexpr int kItems = 3000;

void Fill(const std::filesystem::path& path) {
    auto file = OpenFile(path);
    ASSERT_TRUE(file->BeginWrite().ok());
    for (int i = 0; i < kItems; ++i)
        ASSERT_TRUE(file->Insert(KeyOf(i), "value" + std::to_string(i * 7919)).ok());
    ASSERT_TRUE(file->Finish().ok());
}

// Opens the file, reads every item and closes it; answers the nodes held right after the
// open (those of a kept cache) and the items read.
std::pair<std::size_t, Model> Walk(const std::filesystem::path& path, Status* status) {
    auto file = OpenFile(path, Access::ReadOnly, Share::DenyNone, Creation::OpenExisting);
    if (!file) return {0, {}};
    const std::size_t held = file->state().tree->cache().size();
    Model items = ReadItems(*file, status);
    EXPECT_TRUE(file->Close().ok());
    return {held, items};
}

TEST(KeptPagesTest, AnUnchangedFileTakesUpItsCacheAndAChangedOneIsReadAfresh) {
    ScratchDir dir;
    const auto kept = dir / "kept.plm";
    const auto damaged = dir / "damaged.plm";
    Fill(kept);
    Fill(damaged);
    Status status;
    const Model model = Walk(kept, &status).second;
    ASSERT_EQ(model.size(), static_cast<std::size_t>(kItems));
    // Until then, the files are too fresh to keep: their times may not move for a change
    // made within the same step of the system's clock.
    EXPECT_EQ(Walk(kept, &status).first, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    EXPECT_EQ(Walk(kept, &status).first, 0u);
    auto [held, items] = Walk(kept, &status);
    EXPECT_GT(held, 0u);
    EXPECT_EQ(items, model);

    // Bytes of a page changed behind the driver's back, the header and the modification
    // time put back as they were: the damage is found, not hidden by the kept cache.
    EXPECT_EQ(Walk(damaged, &status).first, 0u);
    const auto modified = std::filesystem::last_write_time(damaged);
    std::string bytes = ReadAll(damaged);
    for (std::size_t at = 600; at < bytes.size(); at += 256) bytes[at] = '\x5a';
    WriteAll(damaged, bytes);
    std::filesystem::last_write_time(damaged, modified);
    auto [damaged_held, damaged_items] = Walk(damaged, &status);
    EXPECT_EQ(damaged_held, 0u);
    EXPECT_TRUE(!status.ok() || damaged_items != model);

    // A change committed through the driver: the next open sees it.
    {
        auto writer = OpenFile(kept);
        ASSERT_TRUE(writer->Replace(KeyOf(7), "changed").ok());
        ASSERT_TRUE(writer->Close().ok());
    }
    auto [after_held, after] = Walk(kept, &status);
    EXPECT_EQ(after_held, 0u);
    EXPECT_EQ(after.at(KeyOf(7)), "changed");
}

}  // namespace
}  // namespace zelt::storage
