// Byte-exact checks of the page body coding, the item stream and the page layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/file_header.hpp"
#include "storage/pagefile/key_order.hpp"
#include "storage/pagefile/page_codec.hpp"
#include "storage/pagefile/run_length.hpp"

namespace zelt::storage {
namespace {

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

int FaultOf(auto&& body) {
    try {
        body();
    } catch (const StorageFailure& failure) {
        return failure.fault;
    }
    return 0;
}

using KeyAndData = std::pair<std::string, std::string>;
KeyAndData MakeItem(std::string key, std::string data) {
    return {std::move(key), std::move(data)};
}
ItemList Items(const std::vector<KeyAndData>& pairs) {
    ItemList items;
    for (const auto& [key, data] : pairs) items.PushBack(key, data);
    return items;
}

TEST(RunLengthTest, CodesRunsExactlyAndExpandsBack) {
    // No run of four: stored uncoded.
    EXPECT_FALSE(RunLengthCode("abcaaabb").has_value());
    // A run of exactly four: literal count up to and including its first byte, repeat 3.
    EXPECT_EQ(Hex(*RunLengthCode("xyaaaaz")), "03 78 79 61 03 01 7A");
    // 200 equal bytes at the start: 01, the byte, C7 01, then the final (empty) literals.
    std::string body(200, 'Q');
    EXPECT_EQ(Hex(*RunLengthCode(body)), "01 51 C7 01 00");
    body += "tail";
    EXPECT_EQ(Hex(*RunLengthCode(body)), "01 51 C7 01 04 74 61 69 6C");
    for (std::string sample : {std::string(200, 'Q'), std::string("xyaaaaz"),
                               std::string(300, '\0') + "ab" + std::string(5, 'c')}) {
        auto coded = RunLengthCode(sample);
        ASSERT_TRUE(coded.has_value());
        EXPECT_EQ(RunLengthExpand(*coded, sample.size()), sample);
    }
}

TEST(RunLengthTest, CountsAreBase128LowGroupFirst) {
    std::string out;
    AppendCount(out, 0);
    AppendCount(out, 127);
    AppendCount(out, 128);
    AppendCount(out, 16384);
    EXPECT_EQ(Hex(out), "00 7F 80 01 80 80 01");
}

TEST(RunLengthTest, DamagedCountsAreFaultsNotCrashes) {
    EXPECT_EQ(FaultOf([] {
                  RunLengthExpand(
                      "\x05"
                      "ab",
                      10);
              }),
              fault::RunLiteralTooLong);
    EXPECT_EQ(FaultOf([] {
                  RunLengthExpand(
                      "\x0B"
                      "abcdefghijk",
                      10);
              }),
              fault::RunLiteralTooLong);
    EXPECT_EQ(FaultOf([] {
                  RunLengthExpand(
                      "\x01"
                      "a"
                      "\x20",
                      10);
              }),
              fault::RunRepeatTooLong);
    EXPECT_EQ(FaultOf([] {
                  RunLengthExpand(
                      "\x01"
                      "a",
                      10);
              }),
              fault::RunRepeatTooLong);
    EXPECT_EQ(FaultOf([] { RunLengthExpand(std::string("\x00\x00\x00", 3), 4); }),
              fault::RunRepeatTooLong);
    EXPECT_EQ(FaultOf([] { RunLengthExpand("\xFF\xFF\xFF\xFF\xFF\xFF", 4); }),
              fault::RunLiteralTooLong);
}

TEST(ItemStreamTest, LengthsAreCarriedAndPrefixesShared) {
    ItemList items = Items({MakeItem("abc", "12"), MakeItem("abd", "12"), MakeItem("abdz", "1")});
    std::string out;
    EncodeItems(items, out);
    // First item: both lengths, shared 0. Second: same lengths, shares "ab". Third: new key
    // length only (item length 5 equals), shares "abd".
    EXPECT_EQ(Hex(out),
              "C0 05 00 03 00 61 62 63 31 32 "
              "02 64 31 32 "
              "43 04 00 7A 31");
    auto back = DecodeItems(out, 3);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[2].key(), "abdz");
    EXPECT_EQ(back[2].data(), "1");
}

TEST(ItemStreamTest, SharedCountIsCappedAt63AndAtBothLengths) {
    std::string long_key(100, 'k');
    ItemList items = Items({MakeItem(long_key + "a", ""), MakeItem(long_key + "b", "")});
    std::string out;
    EncodeItems(items, out);
    EXPECT_EQ(static_cast<unsigned char>(out[5 + 101]), 63u);  // second flag: no lengths, 63 shared
    EXPECT_EQ(DecodeItems(out, 2)[1].key(), long_key + "b");

    ItemList shorter = Items({MakeItem("abcdef", ""), MakeItem("abcdefg", "")});
    out.clear();
    EncodeItems(shorter, out);
    EXPECT_EQ(static_cast<unsigned char>(out[11]), 0x80u | 0x40u | 6u);
}

TEST(ItemStreamTest, StreamThatDoesNotFillItsLengthIsAFault) {
    std::string out;
    EncodeItems(Items({MakeItem("a", "b")}), out);
    EXPECT_EQ(FaultOf([&] { DecodeItems(out + "x", 1); }), fault::StreamLength);
    EXPECT_EQ(FaultOf([&] { DecodeItems(out.substr(0, out.size() - 1), 1); }), fault::StreamLength);
    EXPECT_EQ(FaultOf([&] { DecodeItems(out, 2); }), fault::StreamLength);
    std::string unordered;
    EncodeItems(Items({MakeItem("b", ""), MakeItem("a", "")}), unordered);
    EXPECT_EQ(FaultOf([&] { DecodeItems(unordered, 2); }), fault::ItemTreeLinks);
}

// A lookup that searches the stream where it lies answers as a search over the decoded
// items does, and refuses the same damage.
TEST(ItemStreamTest, SearchingTheStreamMatchesSearchingTheItems) {
    std::vector<KeyAndData> items;
    for (int i = 0; i < 60; i += 3) {
        items.push_back(MakeItem("key" + std::to_string(100 + i),
                                 std::string(static_cast<std::size_t>(i % 7), 'd')));
    }
    std::string stream;
    EncodeItems(Items(items), stream);
    for (int probe = 95; probe < 165; ++probe) {
        const std::string key = "key" + std::to_string(probe);
        for (bool strict : {false, true}) {
            auto it = std::find_if(items.begin(), items.end(), [&](const KeyAndData& item) {
                return strict ? key < item.first : key <= item.first;
            });
            StreamHit hit = SearchItems(stream, items.size(), key, strict);
            ASSERT_EQ(hit.index, static_cast<std::size_t>(it - items.begin()))
                << key << (strict ? " strict" : "");
            if (it != items.end()) {
                EXPECT_EQ(hit.key, it->first);
                EXPECT_EQ(hit.data, it->second);
            }
        }
    }
    std::string unordered;
    EncodeItems(Items({MakeItem("b", ""), MakeItem("a", "")}), unordered);
    EXPECT_EQ(FaultOf([&] { SearchItems(unordered, 2, "a", false); }), fault::ItemTreeLinks);
    // Out of order after a shared prefix, a repeated key, a key before its own prefix.
    for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
             {"keyb", "keya"}, {"keyb", "keyb"}, {"keyab", "keya"}}) {
        std::string bad;
        EncodeItems(Items({MakeItem(first, "12"), MakeItem(second, "34")}), bad);
        EXPECT_EQ(FaultOf([&] { SearchItems(bad, 2, "a", false); }), fault::ItemTreeLinks)
            << second;
        EXPECT_EQ(FaultOf([&] { DecodeItems(bad, 2); }), fault::ItemTreeLinks) << second;
    }
    EXPECT_EQ(FaultOf([&] {
                  SearchItems(stream.substr(0, stream.size() - 1), items.size(), "a", false);
              }),
              fault::StreamLength);
}

// The inline key order against the standard one: unsigned bytes, shorter first on a tie,
// across the eight-byte steps (high bytes, shared prefixes, every length up to 20).
TEST(KeyOrderTest, AgreesWithTheStandardComparison) {
    std::mt19937 rng(5);
    auto random_key = [&] {
        std::string key(rng() % 21, '\0');
        for (char& c : key) c = static_cast<char>(rng() % 4 == 0 ? 0x80 + rng() % 128 : rng() % 3);
        return key;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = random_key();
        std::string b = i % 3 == 0 ? a.substr(0, rng() % (a.size() + 1)) : random_key();
        if (i % 5 == 0 && !b.empty()) b[rng() % b.size()] ^= static_cast<char>(0x80);
        const int expected = std::string_view(a).compare(b);
        ASSERT_EQ(CompareKeys(a, b) < 0, expected < 0) << i;
        ASSERT_EQ(CompareKeys(a, b) == 0, expected == 0) << i;
        ASSERT_EQ(KeyLess(a, b), a < b) << i;
        ASSERT_EQ(KeyEqual(a, b), a == b) << i;
    }
}

// The list against a plain vector through inserts that take their bytes from the list
// itself, erases and new keys that leave garbage to compact, and the move of a tail.
TEST(ItemListTest, KeepsEveryItemThroughGrowthCompactionAndSplits) {
    ItemList list;
    std::vector<KeyAndData> model;
    auto same = [&](const ItemList& l, const std::vector<KeyAndData>& m) {
        ASSERT_EQ(l.size(), m.size());
        for (std::size_t i = 0; i < m.size(); ++i) {
            ASSERT_EQ(l[i].key(), m[i].first) << i;
            ASSERT_EQ(l[i].data(), m[i].second) << i;
        }
    };
    for (int i = 0; i < 400; ++i) {
        const std::size_t at = static_cast<std::size_t>(i * 7919) % (model.size() + 1);
        if (i % 3 == 0 && !model.empty()) {
            // Key and data both viewed in the list's own buffer.
            const Item from = list[at % list.size()];
            KeyAndData copy{std::string(from.key()), std::string(from.data())};
            list.Insert(at, from.key(), from.data());
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), copy);
        } else {
            KeyAndData item{"k" + std::to_string(i),
                            std::string(static_cast<std::size_t>(i % 50), 'd')};
            list.Insert(at, item.first, item.second);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), item);
        }
        if (i % 5 == 4) {
            list.Erase(at % list.size());
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at % model.size()));
        }
        if (i % 11 == 10) {
            const std::size_t j = at % list.size();
            list.ReplaceWithKey(j, list[(j + 1) % list.size()].key());
            model[j] = {model[(j + 1) % model.size()].first, ""};
        }
    }
    same(list, model);
    list.OverwriteData(3, std::string(list[3].data().size(), 'o'));
    model[3].second = std::string(model[3].second.size(), 'o');
    ItemList right;
    list.MoveTailTo(list.size() / 2, right);
    std::vector<KeyAndData> model_right(
        model.begin() + static_cast<std::ptrdiff_t>(model.size() / 2), model.end());
    model.resize(model.size() / 2);
    same(list, model);
    same(right, model_right);
    for (std::size_t n = list.size(); n-- > 1;) list.Erase(0);  // garbage far above the live bytes
    model.erase(model.begin(), model.end() - 1);
    same(list, model);
    // A copy is a list of its own; a list moved from is empty and takes items again.
    ItemList copy = right;
    copy.OverwriteData(0, std::string(copy[0].data().size(), 'c'));
    same(right, model_right);
    ItemList moved = std::move(right);
    same(moved, model_right);
    right.PushBack("again", "x");  // NOLINT(bugprone-use-after-move): reuse is allowed
    same(right, {{"again", "x"}});
}

TEST(PageTest, LeafLayoutFillAndCodingChoice) {
    PageContent leaf;
    leaf.items = Items({MakeItem("k1", "v"), MakeItem("k2", "w")});
    leaf.accounted = AccountedSize(leaf);
    EXPECT_EQ(leaf.accounted, 13u + (3 + 5) + (3 + 5));
    std::string page = EncodePage(leaf, 768);
    ASSERT_EQ(page.size(), 256u);
    EXPECT_EQ(Hex(page.substr(0, 13)), "00 03 00 00 18 00 18 00 1D 00 02 00 00");
    // Item stream: both lengths on the first item; the second shares "k" and carries none.
    EXPECT_EQ(Hex(page.substr(13, 11)), "C0 03 00 02 00 6B 31 76 01 32 77");
    EXPECT_EQ(static_cast<unsigned char>(page[24]), kPageFill);
    EXPECT_EQ(static_cast<unsigned char>(page.back()), kPageFill);
    PageContent back = DecodePage(page);
    EXPECT_EQ(back.items.size(), 2u);
    EXPECT_EQ(back.accounted, leaf.accounted);

    // Coding that saves less than a unit is not used: stored length = expanded length.
    PageContent small;
    small.items = Items({MakeItem("key", std::string(40, 'z'))});
    small.accounted = AccountedSize(small);
    page = EncodePage(small, 512);
    EXPECT_EQ(page[4], page[6]);
    EXPECT_EQ(page[5], page[7]);

    // A body of long runs is coded when that saves a unit, and expands back.
    PageContent big;
    big.items =
        Items({MakeItem("a", std::string(3000, ' ')), MakeItem("b", std::string(3000, ' '))});
    big.accounted = AccountedSize(big);
    page = EncodePage(big, 512);
    EXPECT_EQ(page.size(), 256u);
    EXPECT_EQ(EncodedClass(big), 1);
    back = DecodePage(page);
    EXPECT_EQ(back.items[1].data(), std::string(3000, ' '));
}

TEST(PageTest, IndexPageCarriesChildAddresses) {
    PageContent index;
    index.level = 2;
    index.items = Items({MakeItem("a", ""), MakeItem("m", "")});
    index.children = {7, -3};
    index.accounted = AccountedSize(index);
    EXPECT_EQ(index.accounted, 13u + 6 + 6 + 8);
    std::string page = EncodePage(index, 512);
    EXPECT_EQ(Hex(page.substr(10, 11)), "02 00 02 07 00 00 00 FD FF FF FF");
    PageContent back = DecodePage(page);
    EXPECT_EQ(back.children, index.children);
    EXPECT_EQ(back.level, 2);
}

TEST(PageTest, DamagedPagesAreFaults) {
    PageContent leaf;
    leaf.items = Items({MakeItem("k", "v")});
    leaf.accounted = AccountedSize(leaf);
    std::string page = EncodePage(leaf, 512);
    EXPECT_EQ(FaultOf([&] { DecodePage(page + std::string(256, '\0')); }), fault::PageLengthClass);
    std::string wrong_count = page;
    wrong_count[10] = 2;
    EXPECT_EQ(FaultOf([&] { DecodePage(wrong_count); }), fault::StreamLength);
    PageContent lying = leaf;
    lying.accounted = 14;
    EXPECT_EQ(FaultOf([&] { EncodePage(lying, 512); }), fault::PageOverAccounted);
    PageContent huge;
    std::string bytes = "k" + std::string(15200, 'x');
    for (std::size_t i = 0; i < bytes.size(); i += 2) bytes[i] = static_cast<char>(i);
    bytes[0] = 'k';
    huge.items = Items({MakeItem("k", bytes.substr(1))});
    huge.accounted = 60000;
    EXPECT_EQ(FaultOf([&] { EncodePage(huge, 512); }), fault::PageTooLong);
}

TEST(FileHeaderTest, FreshHeaderSectionsAndComputedEnd) {
    FileHeader h = FileHeader::Fresh();
    EXPECT_TRUE(h.MagicOk());
    EXPECT_EQ(h.data()[4], 0x00);
    EXPECT_EQ(h.data()[5], 0x02);
    EXPECT_EQ(h.ComputedEnd(), 512u);
    h.set_start(1, 0);
    h.set_end(1, 3);
    h.set_start(3, 5);
    h.set_end(3, 11);
    for (int k = 4; k <= kMaxClass; ++k) {
        h.set_start(k, 11);
        h.set_end(k, 11);
    }
    EXPECT_EQ(h.ClassOf(2), 1);
    EXPECT_EQ(h.ClassOf(4), 0);
    EXPECT_EQ(h.ClassOf(8), 3);
    EXPECT_EQ(h.pages(3), 2);
    EXPECT_EQ(h.ComputedEnd(), 11u * 256 + 512);
}

}  // namespace
}  // namespace zelt::storage
