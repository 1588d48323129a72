// Page placement in the size-class sections: rotations at section ends, freeing, compaction,
// and the clean-node trimming rule of the page cache.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/section_allocator.hpp"
#include "storage/tree/page_cache.hpp"

namespace zelt::storage {
namespace {

// Keeps a page label per address, as the tree keeps nodes, and checks every move.
class RecordingMover : public PageMover {
  public:
    void MovePage(std::int32_t from, std::int32_t to) override {
        auto it = pages.find(from);
        ASSERT_NE(it, pages.end()) << "moved a page that is not there: " << from;
        int label = it->second;
        pages.erase(it);
        pages[to] = label;
        moves.emplace_back(from, to);
    }
    std::map<std::int32_t, int> pages;
    std::vector<std::pair<std::int32_t, std::int32_t>> moves;
};

FileHeader EmptySections() {
    return FileHeader::Fresh();
}

// Every page lies in the section of its class, sections ascend and hold whole pages.
void ExpectLayout(const FileHeader& h, const RecordingMover& mover,
                  const std::map<int, int>& class_of_label) {
    EXPECT_TRUE(h.SectionsSane());
    std::size_t counted = 0;
    for (int k = 1; k <= kMaxClass; ++k) counted += static_cast<std::size_t>(h.pages(k));
    EXPECT_EQ(counted, mover.pages.size());
    for (auto [address, label] : mover.pages) {
        int k = class_of_label.at(label);
        EXPECT_EQ(h.ClassOf(address), k) << "page " << label << " at " << address;
        EXPECT_EQ((address - h.start(k)) % k, 0);
    }
}

TEST(SectionAllocatorTest, FirstPagesOfANewFileAndRoomMadeByRotation) {
    FileHeader h = EmptySections();
    RecordingMover mover;
    std::map<int, int> classes;
    // The first page of class 1 goes to address 0; the sections above move up behind it.
    std::int32_t a = AllocateSlot(h, 1, mover);
    EXPECT_EQ(a, 0);
    mover.pages[a] = 1;
    classes[1] = 1;
    EXPECT_EQ(h.end(1), 1);
    EXPECT_EQ(h.start(2), 1);
    EXPECT_EQ(h.start(59), 1);
    // Two pages of class 3, then another class 1 page: section 3 rotates its first page to
    // its end to make room above section 1.
    for (int label = 2; label <= 3; ++label) {
        std::int32_t at = AllocateSlot(h, 3, mover);
        mover.pages[at] = label;
        classes[label] = 3;
    }
    EXPECT_EQ(h.start(3), 1);
    EXPECT_EQ(h.end(3), 7);
    std::int32_t b = AllocateSlot(h, 1, mover);
    mover.pages[b] = 4;
    classes[4] = 1;
    EXPECT_EQ(b, 1);
    ASSERT_EQ(mover.moves.size(), 1u);
    EXPECT_EQ(mover.moves[0], (std::pair<std::int32_t, std::int32_t>{1, 7}));
    ExpectLayout(h, mover, classes);
}

TEST(SectionAllocatorTest, MixedWorkloadKeepsEveryPageInItsSection) {
    FileHeader h = EmptySections();
    RecordingMover mover;
    std::map<int, int> classes;
    std::vector<std::pair<std::int32_t, int>> live;  // (address at allocation, label)
    int label = 0;
    unsigned seed = 12345;
    auto next = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 400; ++round) {
        if (mover.pages.empty() || next() % 3 != 0) {
            int k = 1 + static_cast<int>(next() % 8) * (next() % 4 == 0 ? 7 : 1);
            if (k > kMaxClass) k = kMaxClass;
            std::int32_t at = AllocateSlot(h, k, mover);
            ASSERT_EQ(mover.pages.count(at), 0u) << "slot handed out twice";
            mover.pages[at] = ++label;
            classes[label] = k;
        } else {
            auto it = mover.pages.begin();
            std::advance(it, static_cast<long>(next() % mover.pages.size()));
            std::int32_t at = it->first;
            int k = classes[it->second];
            mover.pages.erase(it);
            FreeSlot(h, at, k, mover);
        }
        ExpectLayout(h, mover, classes);
        if (::testing::Test::HasFailure()) return;
    }
    CompactSections(h, mover);
    ExpectLayout(h, mover, classes);
    // After compaction no gap below a section is a whole page of it.
    for (int k = 2; k <= kMaxClass; ++k) {
        if (h.pages(k) > 1) {
            EXPECT_LT(h.start(k) - h.end(k - 1), k);
        } else {
            EXPECT_EQ(h.start(k), h.end(k - 1));
        }
    }
}

TEST(SectionAllocatorTest, RoomAboveLargerThanTheClassIsAFault) {
    FileHeader h = EmptySections();
    for (int k = 1; k <= kMaxClass; ++k) {
        h.set_start(k, 10);
        h.set_end(k, 10);
    }
    h.set_start(1, 0);
    h.set_end(1, 2);
    h.set_start(2, 1);  // overlapping sections: the gap above section 1 is negative
    h.set_end(2, 1);
    RecordingMover mover;
    mover.pages[0] = 1;
    mover.pages[1] = 2;
    int fault_number = 0;
    try {
        AllocateSlot(h, 1, mover);
    } catch (const StorageFailure& failure) {
        fault_number = failure.fault;
    }
    EXPECT_EQ(fault_number, fault::RoomAboveTooLarge);
}

TEST(PageCacheTest, TrimKeepsTwentyEvictsAboveAHundredAndNeverDirtyNodes) {
    PageCache cache;
    for (int i = 0; i < 150; ++i) {
        auto node = std::make_unique<Node>();
        node->address = i;
        node->dirty = i < 10;
        cache.Add(std::move(node));
    }
    EXPECT_EQ(cache.clean_count(), 140u);
    cache.Trim();
    EXPECT_LT(cache.clean_count(), 100u);
    EXPECT_GE(cache.clean_count(), 19u);  // trimming runs while twenty or more are held
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(cache.Find(i), nullptr) << "dirty node " << i << " evicted";
    // Long-idle nodes go while at least twenty stay; the most recently used survive.
    for (int round = 0; round < 500; ++round) cache.Find(149);
    cache.Trim();
    EXPECT_GE(cache.clean_count(), 19u);
    EXPECT_NE(cache.Find(149), nullptr);
    EXPECT_EQ(cache.DirtyNodes().size(), 10u);
}

// A node filed over another at the same address (by Add or Refile) takes its place in every
// list: the lists never keep the one destroyed (ASan reports a use after free otherwise).
TEST(PageCacheTest, ANodeFiledOverAnotherReplacesItInTheLists) {
    PageCache cache;
    auto make = [](int address, bool dirty) {
        auto node = std::make_unique<Node>();
        node->address = address;
        node->dirty = dirty;
        return node;
    };
    cache.Add(make(1, false));
    cache.Add(make(2, true));
    Node* moved = cache.Add(make(3, false));
    Node* clean_over = cache.Add(make(1, true));
    Node* dirty_over = cache.Add(make(2, false));
    cache.Refile(moved, 2);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.Find(1), clean_over);
    EXPECT_EQ(cache.Find(2), moved);
    EXPECT_NE(moved, dirty_over);
    EXPECT_EQ(cache.clean_count(), 1u);
    ASSERT_EQ(cache.DirtyNodes().size(), 1u);
    EXPECT_EQ(cache.DirtyNodes()[0], clean_over);
    cache.MarkAllClean();
    cache.Trim();
    EXPECT_EQ(cache.clean_count(), 2u);
}

TEST(PageCacheTest, IndexPagesStayWithinTheirBudgetAndWhatLeavesIsParked) {
    PageCache cache;
    auto add = [](PageCache& to, int address, std::uint8_t level, std::uint32_t bytes) {
        auto node = std::make_unique<Node>();
        node->address = address;
        node->page.level = level;
        node->page.accounted = bytes;
        to.Add(std::move(node));
    };
    for (int i = 0; i < 30; ++i) add(cache, i, 1, 13);
    for (int i = 30; i < 110; ++i) add(cache, i, 0, 13);
    // Index pages long idle while a leaf is busy: the idle leaves go, the index pages stay.
    for (int round = 0; round < 2000; ++round) cache.Find(109);
    cache.Trim();
    EXPECT_LT(cache.clean_count(), 100u);
    EXPECT_GT(cache.parked_count(), 0u);
    for (int i = 0; i < 30; ++i)
        EXPECT_NE(cache.Find(i), nullptr) << "index page " << i << " evicted";
    // A parked leaf is found as it was, and counts as held again.
    const std::size_t parked = cache.parked_count();
    const std::size_t held = cache.clean_count();
    EXPECT_EQ(cache.Find(30) != nullptr ? cache.Find(30)->address : -1, 30);
    EXPECT_EQ(cache.parked_count(), parked - 1);
    EXPECT_EQ(cache.clean_count(), held + 1);

    // Index pages beyond their budget leave, least recently used first; with no room to
    // park, they are dropped.
    PageCache index_only;
    index_only.set_parked_budget(0);
    constexpr std::uint32_t kPage = 64 * 1024;
    constexpr std::size_t kFit = PageCache::kIndexBytes / (kPage + sizeof(Node));
    for (int i = 0; i < 150; ++i) add(index_only, i, 2, kPage);
    index_only.Trim();
    EXPECT_EQ(index_only.clean_count(), kFit);
    EXPECT_EQ(index_only.parked_count(), 0u);
    EXPECT_EQ(index_only.Find(0), nullptr);
    EXPECT_NE(index_only.Find(149), nullptr);
    // Parked nodes stay within the parking budget, the longest parked dropped first.
    PageCache small;
    small.set_parked_budget(5 * (sizeof(Node) + 13));
    for (int i = 0; i < 200; ++i) add(small, i, 0, 13);
    small.Trim();
    EXPECT_LT(small.clean_count(), 100u);
    EXPECT_EQ(small.parked_count(), 5u);
    EXPECT_EQ(small.Find(0), nullptr);
}

}  // namespace
}  // namespace zelt::storage
