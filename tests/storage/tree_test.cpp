// The item file's tree through its public interface: ordered items, cursors, splits,
// deletes that empty pages, section placement, limits and faults.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

#include <random>

#include "storage/pagefile/file_header.hpp"
#include "storage/tree/page_cache.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using testing::Model;
using testing::OpenFile;
using testing::ReadAll;
using testing::ReadItems;
using testing::ScratchDir;
using testing::VerifyTree;
using testing::WriteAll;

std::string KeyOf(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "key%07d", n);
    return buf;
}

TEST(ItemFileTest, EmptyFileIsValidAndFirstCommitLaysOutHeaderRootAndJournal) {
    ScratchDir dir;
    WriteAll(dir / "a.plm", "");
    auto file = OpenFile(dir / "a.plm");
    ASSERT_TRUE(file);
    Bytes data;
    bool found = true;
    ASSERT_TRUE(file->Find("x", &data, &found).ok());
    EXPECT_FALSE(found);
    EXPECT_EQ(std::filesystem::file_size(dir / "a.plm"), 0u);  // nothing written yet

    ASSERT_TRUE(file->Insert("k", "v").ok());
    std::string bytes = ReadAll(dir / "a.plm");
    // Header, the root leaf in section 1 at address 0, and a journal of the header image.
    ASSERT_EQ(bytes.size(), 512u + 256 + 512);
    FileHeader h = FileHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    EXPECT_TRUE(h.MagicOk());
    EXPECT_EQ(h.committed_end(), 768u);
    EXPECT_EQ(h.journal_end(), 768u);
    EXPECT_EQ(h.root(), 0);
    EXPECT_EQ(h.start(1), 0);
    EXPECT_EQ(h.end(1), 1);
    EXPECT_EQ(h.change_counter(), 2u);  // phase 1 and phase 2 each count one change
    FileHeader journal_copy =
        FileHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 768);
    EXPECT_EQ(journal_copy.journal_end(), 1280u);
    EXPECT_EQ(bytes.substr(512, 4), std::string("\x00\x02\x00\x00", 4));  // page home offset 512

    ASSERT_TRUE(file->Close().ok());
    EXPECT_EQ(std::filesystem::file_size(dir / "a.plm"), 768u);  // truncated to the computed end
}

TEST(ItemFileTest, ShortHeaderOrWrongMagicIsInvalidDataFile) {
    ScratchDir dir;
    WriteAll(dir / "short.plm", std::string(100, 'x'));
    WriteAll(dir / "magic.plm", std::string(512, '\0'));
    std::unique_ptr<ItemFile> file;
    EXPECT_EQ(ItemFile::Open(dir / "short.plm", {}, file).code, runtime::err::InvalidDataFile);
    EXPECT_EQ(ItemFile::Open(dir / "magic.plm", {}, file).code, runtime::err::InvalidDataFile);
    EXPECT_EQ(ItemFile::Open(dir / "missing.plm", {}, file).code, runtime::err::FileNotFound);
    EXPECT_EQ(ItemFile::Open("", {}, file).code, runtime::err::InvalidFilename);
}

TEST(ItemFileTest, RandomWorkloadMatchesModelAcrossSplitsDeletesAndReopen) {
    ScratchDir dir;
    std::mt19937 rng(7);
    Model model;
    {
        auto file = OpenFile(dir / "t.plm");
        // Mixed item sizes so pages change size class and sections rotate.
        for (int round = 0; round < 6; ++round) {
            ASSERT_TRUE(file->BeginWrite().ok());
            for (int i = 0; i < 700; ++i) {
                std::string key = KeyOf(static_cast<int>(rng() % 5000));
                if (model.count(key)) {
                    bool found = false;
                    ASSERT_TRUE(file->Erase(key, &found).ok());
                    EXPECT_TRUE(found);
                    model.erase(key);
                } else {
                    std::string data(rng() % (round % 2 ? 900 : 40),
                                     static_cast<char>('a' + rng() % 3));
                    ASSERT_TRUE(file->Insert(key, data).ok());
                    model[key] = data;
                }
            }
            ASSERT_TRUE(file->Finish().ok());
            ASSERT_EQ(VerifyTree(*file), model.size());
        }
        EXPECT_EQ(ReadItems(*file), model);
    }
    auto file = OpenFile(dir / "t.plm");
    EXPECT_EQ(ReadItems(*file), model);
    EXPECT_EQ(VerifyTree(*file), model.size());
    // Delete everything: emptied pages leave, the file shrinks back to a root leaf.
    ASSERT_TRUE(file->BeginWrite().ok());
    for (auto& [key, data] : model) ASSERT_TRUE(file->Erase(key).ok());
    ASSERT_TRUE(file->Finish().ok());
    EXPECT_TRUE(ReadItems(*file).empty());
    ASSERT_TRUE(file->Close().ok());
    EXPECT_EQ(std::filesystem::file_size(dir / "t.plm"), 768u);
}

TEST(ItemFileTest, CursorsSeekAndWalkBothWays) {
    ScratchDir dir;
    auto file = OpenFile(dir / "c.plm");
    ASSERT_TRUE(file->BeginWrite().ok());
    for (int i = 0; i < 3000; i += 2) ASSERT_TRUE(file->Insert(KeyOf(i), "d").ok());
    ASSERT_TRUE(file->Finish().ok());
    ItemCursor cursor(*file);
    ASSERT_TRUE(cursor.Seek(KeyOf(1001), SeekMode::AtOrAfter).ok());
    EXPECT_EQ(cursor.key(), KeyOf(1002));
    ASSERT_TRUE(cursor.Seek(KeyOf(1002), SeekMode::After).ok());
    EXPECT_EQ(cursor.key(), KeyOf(1004));
    ASSERT_TRUE(cursor.Seek(KeyOf(1001), SeekMode::AtOrBefore).ok());
    EXPECT_EQ(cursor.key(), KeyOf(1000));
    ASSERT_TRUE(cursor.Seek(KeyOf(1000), SeekMode::Before).ok());
    EXPECT_EQ(cursor.key(), KeyOf(998));
    int steps = 0;
    while (cursor.Valid()) {
        ASSERT_TRUE(cursor.Previous().ok());
        ++steps;
    }
    EXPECT_EQ(steps, 500);  // 998 down to 0, then off the start
    // Off the start the position stays on the item last read.
    ASSERT_TRUE(cursor.Next().ok());
    EXPECT_EQ(cursor.key(), KeyOf(2));
    ASSERT_TRUE(cursor.Last().ok());
    EXPECT_EQ(cursor.key(), KeyOf(2998));
    ASSERT_TRUE(cursor.Next().ok());
    EXPECT_FALSE(cursor.Valid());
    // A position survives changes made between the steps.
    ASSERT_TRUE(cursor.Seek(KeyOf(10), SeekMode::AtOrAfter).ok());
    ASSERT_TRUE(file->Erase(KeyOf(12)).ok());
    ASSERT_TRUE(cursor.Next().ok());
    EXPECT_EQ(cursor.key(), KeyOf(14));
}

// Runs of growing keys in several families at once (as a table's records and keys grow)
// go straight to the leaf the run last went into; splits, erases, rewrites, a dropped
// operation, commits and another handle's commits in between must never send an item
// to a leaf that no longer covers it.
TEST(ItemFileTest, RunsOfGrowingKeysInSeveralFamiliesStayOrderedThroughEveryChange) {
    ScratchDir dir;
    auto file = OpenFile(dir / "r.plm");
    auto other = OpenFile(dir / "r.plm");
    std::mt19937 rng(3);
    Model model;
    auto key_of = [](int family, int n) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%c%06d", 'a' + family, n);
        return std::string(buf);
    };
    // The root leaf takes keys below its first one too.
    ASSERT_TRUE(file->Insert("m", "root").ok());
    ASSERT_TRUE(file->Insert("c", "below").ok());
    model["m"] = "root";
    model["c"] = "below";
    std::vector<int> next(6, 100000);
    for (int round = 0; round < 12; ++round) {
        ASSERT_TRUE(file->BeginWrite().ok());
        for (int i = 0; i < 600; ++i) {
            const int family = static_cast<int>(rng() % next.size());
            const int n = next[static_cast<std::size_t>(family)] += 2;
            const std::string key = key_of(family, n);
            model[key] = std::string(rng() % 200, static_cast<char>('a' + family));
            ASSERT_TRUE(file->Insert(key, model[key]).ok()) << key;
            Bytes data;
            bool found = false;
            const std::string near = key_of(family, n - 2 * static_cast<int>(rng() % 40));
            switch (rng() % 10) {
                case 0:  // erase a recent item of the run, often the first of its leaf
                    ASSERT_TRUE(file->Erase(near, &found).ok());
                    ASSERT_EQ(found, model.erase(near) == 1);
                    break;
                case 1: {  // fill a gap in the run, or reach below every run of the family
                    const std::string gap = rng() % 4 ? near.substr(0, 6) + "1" : key_of(family, i);
                    model[gap] = "gap";
                    ASSERT_TRUE(file->Replace(gap, "gap").ok()) << gap;
                    break;
                }
                case 2:  // a longer replacement of the item just added
                    model[key] = std::string(400, 'z');
                    ASSERT_TRUE(file->Replace(key, model[key]).ok());
                    break;
                default:
                    ASSERT_TRUE(file->Find(key, &data, &found).ok());
                    ASSERT_TRUE(found);
                    ASSERT_EQ(data, model[key]);
            }
        }
        if (round % 4 == 3) {
            // The operation is dropped: its changes go and the model goes back.
            file->Abandon();
            model = ReadItems(*OpenFile(dir / "r.plm"));
            next.assign(next.size(), 100000 + 10000 * round);
        } else {
            ASSERT_TRUE(file->Finish().ok());
        }
        const std::string theirs = key_of(static_cast<int>(rng() % next.size()), 999000 + round);
        ASSERT_TRUE(other->Insert(theirs, "theirs").ok());
        model[theirs] = "theirs";
        ASSERT_EQ(VerifyTree(*file), model.size()) << round;
        ASSERT_EQ(ReadItems(*file), model) << round;
    }
}

// Seeks without a cursor fill the caller's buffers, whose old contents (longer or shorter,
// or the very key sought) must never show through; answers come from leaves held in the
// cache and from leaves read once and not kept alike.
TEST(ItemFileTest, CursorlessSeeksAndFindsFillReusedBuffersInEveryMode) {
    ScratchDir dir;
    auto file = OpenFile(dir / "s.plm");
    Model model;
    ASSERT_TRUE(file->BeginWrite().ok());
    for (int i = 0; i < 6000; i += 2) {
        model[KeyOf(i)] = std::string(1 + (i * 7) % 90, static_cast<char>('a' + i % 26));
        ASSERT_TRUE(file->Insert(KeyOf(i), model[KeyOf(i)]).ok());
    }
    ASSERT_TRUE(file->Finish().ok());
    file.reset();
    file = OpenFile(dir / "s.plm");  // nothing held: the first lookups read leaves once
    std::mt19937 rng(5);
    Bytes key(300, '#');
    Bytes data(500, '#');
    for (int round = 0; round < 2000; ++round) {
        const std::string at = KeyOf(static_cast<int>(rng() % 6100));
        const auto mode = static_cast<SeekMode>(rng() % 4);
        auto expected =
            mode == SeekMode::AtOrAfter ? model.lower_bound(at)
            : mode == SeekMode::After
                ? model.upper_bound(at)
                : (mode == SeekMode::AtOrBefore ? model.upper_bound(at) : model.lower_bound(at));
        if (mode == SeekMode::AtOrBefore || mode == SeekMode::Before)
            expected = expected == model.begin() ? model.end() : std::prev(expected);
        const Bytes before_key = key;
        const Bytes before_data = data;
        bool found = false;
        if (round % 3 == 0) {
            key = at;  // the key sought is the buffer filled
            ASSERT_TRUE(file->Seek(key, mode, &key, &data, &found).ok());
        } else {
            ASSERT_TRUE(file->Seek(at, mode, &key, &data, &found).ok());
        }
        ASSERT_EQ(found, expected != model.end()) << round;
        if (found) {
            ASSERT_EQ(key, expected->first) << round;
            ASSERT_EQ(data, expected->second) << round;
        } else if (round % 3 != 0) {
            ASSERT_EQ(key, before_key);
            ASSERT_EQ(data, before_data);
        }
        Bytes value(400, '#');
        ASSERT_TRUE(file->Find(at, &value, &found).ok());
        ASSERT_EQ(found, model.count(at) == 1) << round;
        ASSERT_EQ(value, found ? model[at] : Bytes(400, '#')) << round;
    }
    // A leaf read for one lookup is not what a second lookup there finds once another
    // handle has changed it, nor once this handle has.
    auto other = OpenFile(dir / "s.plm");
    for (int round = 0; round < 40; ++round) {
        const std::string at = KeyOf(2 * static_cast<int>(rng() % 3000));
        Bytes value;
        bool found = false;
        ASSERT_TRUE(file->Find(at, &value, &found).ok());
        ASSERT_EQ(value, model[at]);
        model[at] = "theirs" + std::to_string(round);
        ASSERT_TRUE((round % 2 ? file : other)->Replace(at, model[at]).ok());
        for (int twice = 0; twice < 2; ++twice) {
            ASSERT_TRUE(file->Find(at, &value, &found).ok());
            ASSERT_EQ(value, model[at]) << round;
        }
    }
}

// Walks step inside the leaf they last read while nothing changed; these interleave
// several walks with lookups, inserts, erases, rewrites of equal and other lengths,
// commits and another handle's commits, and check every step against a model.
TEST(ItemFileTest, WalksAndLookupsStayRightWhileItemsComeAndGoBetweenSteps) {
    ScratchDir dir;
    auto file = OpenFile(dir / "w.plm");
    auto other = OpenFile(dir / "w.plm");
    std::mt19937 rng(11);
    Model model;
    ASSERT_TRUE(file->BeginWrite().ok());
    for (int i = 0; i < 4000; i += 3) {
        model[KeyOf(i)] = std::string(1 + i % 50, 'v');
        ASSERT_TRUE(file->Insert(KeyOf(i), model[KeyOf(i)]).ok());
    }
    ASSERT_TRUE(file->Finish().ok());
    std::vector<ItemCursor> walks(3, ItemCursor(*file));
    std::vector<bool> forward = {true, false, true};
    for (std::size_t w = 0; w < walks.size(); ++w)
        ASSERT_TRUE(walks[w].Seek(KeyOf(static_cast<int>(rng() % 4000)), SeekMode::AtOrAfter).ok());
    // Exact lookups in key order too (a walk by key reading each entry's record): each
    // finds the item after the one found before it, often in the next leaf.
    std::string looked_up;
    for (int round = 0; round < 3000; ++round) {
        for (unsigned step = rng() % 24; step > 0; --step) {
            auto next = model.upper_bound(looked_up);
            if (next == model.end()) next = model.begin();
            looked_up = next->first;
            Bytes data;
            bool found = false;
            ASSERT_TRUE(file->Find(looked_up, &data, &found).ok());
            ASSERT_TRUE(found) << "round " << round << " " << looked_up;
            ASSERT_EQ(data, next->second) << "round " << round;
        }
        std::size_t w = rng() % walks.size();
        ItemCursor& walk = walks[w];
        if (walk.Valid()) {
            const std::string from = walk.key();
            ASSERT_TRUE((forward[w] ? walk.Next() : walk.Previous()).ok());
            auto expected = forward[w] ? model.upper_bound(from) : model.lower_bound(from);
            if (!forward[w])
                expected = expected == model.begin() ? model.end() : std::prev(expected);
            ASSERT_EQ(walk.Valid(), expected != model.end())
                << "round " << round << " from " << from;
            if (walk.Valid()) {
                ASSERT_EQ(walk.key(), expected->first) << "round " << round;
                ASSERT_EQ(walk.data(), expected->second) << "round " << round;
            }
        } else {
            forward[w] = !forward[w];
            ASSERT_TRUE(walk.Seek(KeyOf(static_cast<int>(rng() % 4000)), SeekMode::AtOrAfter).ok());
        }
        const std::string key = KeyOf(static_cast<int>(rng() % 4000));
        switch (rng() % 8) {
            case 0: {
                bool found = false;
                ASSERT_TRUE(file->Erase(key, &found).ok());
                ASSERT_EQ(found, model.erase(key) == 1);
                break;
            }
            case 1:
                if (!model.count(key)) {
                    model[key] = "new";
                    ASSERT_TRUE(file->Insert(key, "new").ok());
                }
                break;
            case 2: {  // same length: rewritten where it stands
                auto it = model.lower_bound(key);
                if (it == model.end()) break;
                std::string data(it->second.size(), static_cast<char>('a' + round % 26));
                ASSERT_TRUE(file->Replace(it->first, data).ok());
                it->second = data;
                break;
            }
            case 3: {  // another length
                model[key] = std::string(rng() % 300, 'r');
                ASSERT_TRUE(file->Replace(key, model[key]).ok());
                break;
            }
            case 4: {  // another handle commits (as another process would)
                const std::string theirs = key + "x";
                if (model.count(theirs)) break;
                model[theirs] = "theirs";
                ASSERT_TRUE(other->Insert(theirs, "theirs").ok());
                break;
            }
            default: {
                Bytes data;
                bool found = false;
                ASSERT_TRUE(file->Find(key, &data, &found).ok());
                ASSERT_EQ(found, model.count(key) == 1);
                if (found) {
                    ASSERT_EQ(data, model[key]);
                }
            }
        }
    }
    ASSERT_EQ(ReadItems(*file), model);
    ASSERT_EQ(VerifyTree(*file), model.size());
    file.reset();
    other.reset();
    EXPECT_EQ(ReadItems(*OpenFile(dir / "w.plm")), model);
}

TEST(ItemFileTest, LargeItemsAtTheLimitsAndRefusedOnesLeaveNothing) {
    ScratchDir dir;
    auto file = OpenFile(dir / "l.plm");
    ASSERT_TRUE(file->Insert("small", "x").ok());
    // The largest item that stands alone in a page: 13 + length + 5 = 15094.
    EXPECT_TRUE(file->Insert("big", std::string(15076 - 3, 'b')).ok());
    EXPECT_EQ(file->Insert("big2", std::string(15077 - 4, 'c')).fault, fault::SplitTooFewItems);
    EXPECT_EQ(file->Insert("huge", std::string(15094 - 4, 'c')).fault, fault::ItemTooLarge);
    EXPECT_EQ(file->Insert("small", "again").fault, fault::DuplicateItemKey);
    Model expected{{"small", "x"}, {"big", std::string(15073, 'b')}};
    EXPECT_EQ(ReadItems(*file), expected);
    EXPECT_EQ(VerifyTree(*file), 2u);
    file.reset();
    file = OpenFile(dir / "l.plm");
    EXPECT_EQ(ReadItems(*file), expected);
}

// Page addresses end a little below 2 GiB (file offsets are signed 32-bit). A file whose
// pages already reach that far (a sparse file here) refuses a commit that would need
// more room with "Handle Disk Full", before it writes anything; it still opens as it was
// and takes changes that fit.
TEST(ItemFileTest, GrowthPastTwoGibibytesIsRefusedBeforeAnythingIsWritten) {
    ScratchDir dir;
    const auto path = dir / "big.plm";
    {
        auto file = OpenFile(path);
        ASSERT_TRUE(file->Insert("a", "1").ok());
    }
    // Move the file's only page up to the last addresses a header can describe.
    std::string bytes = ReadAll(path);
    FileHeader h = FileHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    const int k = h.ClassOf(h.root());
    ASSERT_GT(k, 0);
    std::string page = bytes.substr(static_cast<std::size_t>(AddressToOffset(h.root())),
                                    static_cast<std::size_t>(k) * 256);
    const std::int32_t highest = (0x7FFFFFFF - kHeaderSize) / kUnit;
    const std::int32_t at = highest - k - 2;
    for (int j = 0; j <= kMaxClass; ++j) {
        h.set_start(j, j <= k ? at : at + k);
        h.set_end(j, j < k ? at : at + k);
    }
    h.set_root(at);
    h.set_committed_end(h.ComputedEnd());
    h.set_journal_end(h.ComputedEnd());
    const auto home = static_cast<std::uint32_t>(AddressToOffset(at));
    for (int i = 0; i < 4; ++i)
        page[static_cast<std::size_t>(i)] = static_cast<char>(home >> (8 * i));
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(h.data()), kHeaderSize);
        out.seekp(static_cast<std::streamoff>(home));
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
    }
    const auto head = [&] {
        std::string first(kHeaderSize, '\0');
        std::ifstream in(path, std::ios::binary);
        in.read(first.data(), kHeaderSize);
        return first;
    };
    const std::string header_before = head();
    const auto size_before = std::filesystem::file_size(path);
    {
        auto file = OpenFile(path);
        ASSERT_TRUE(file->BeginWrite().ok());
        std::mt19937 rng(3);
        for (int i = 0; i < 4; ++i) {
            std::string noise(5000, '\0');
            for (auto& c : noise) c = static_cast<char>(rng());
            ASSERT_TRUE(file->Insert("big" + std::to_string(i), noise).ok());
        }
        EXPECT_EQ(file->Finish().code, runtime::err::OsBase + 39);  // "Handle Disk Full"
        EXPECT_EQ(std::filesystem::file_size(path), size_before);
        EXPECT_EQ(head(), header_before);
    }
    auto file = OpenFile(path);
    ASSERT_TRUE(file);
    EXPECT_TRUE(ReadItems(*file) == (Model{{"a", "1"}}));
    ASSERT_TRUE(file->Replace("a", "2").ok());
    EXPECT_TRUE(ReadItems(*file) == (Model{{"a", "2"}}));
}

// An item records at most 63 bytes shared with the one before it. Keys that share far
// more (and keys that are each other's prefixes) must come back exactly after their pages
// were written, coded and read again.
TEST(ItemFileTest, KeysSharingLongPrefixesComeBackExactly) {
    ScratchDir dir;
    Model model;
    const std::string stem(100, 'p');
    for (int length : {62, 63, 64, 65, 100})
        model[stem.substr(0, static_cast<std::size_t>(length))] = "len";
    for (int i = 0; i < 300; ++i) {
        std::string key = stem + std::to_string(1000 + i);
        model[key] = stem.substr(0, static_cast<std::size_t>(i % 90)) + "#" + std::to_string(i);
    }
    {
        auto file = OpenFile(dir / "p.plm");
        ASSERT_TRUE(file->BeginWrite().ok());
        for (const auto& [key, data] : model) ASSERT_TRUE(file->Insert(key, data).ok());
        ASSERT_TRUE(file->Finish().ok());
    }
    auto file = OpenFile(dir / "p.plm", Access::ReadOnly);
    EXPECT_TRUE(ReadItems(*file) == model);
    EXPECT_EQ(VerifyTree(*file), model.size());
    for (const auto& [key, data] : model) {
        Bytes found;
        bool there = false;
        ASSERT_TRUE(file->Find(key, &found, &there).ok());
        EXPECT_TRUE(there && found == data) << key.size();
    }
}

TEST(ItemFileTest, ReadStateRefusesWritesWithTheirFaults) {
    ScratchDir dir;
    auto file = OpenFile(dir / "r.plm");
    ASSERT_TRUE(file->Insert("a", "1").ok());
    ASSERT_TRUE(file->BeginRead().ok());
    EXPECT_EQ(file->Insert("b", "2").fault, fault::InsertInReadState);
    EXPECT_EQ(file->Replace("a", "2").fault, fault::StoreInReadState);
    EXPECT_EQ(file->Erase("a").fault, fault::DeleteInReadState);
    std::array<std::uint8_t, 4> id{};
    EXPECT_EQ(file->IssueIdentifier(id).fault, fault::IdentifierInReadState);
    ASSERT_TRUE(file->Finish().ok());
    auto reader = OpenFile(dir / "r.plm", Access::ReadOnly);
    EXPECT_EQ(reader->Insert("b", "2").code, runtime::err::AccessDenied);
}

TEST(ItemFileTest, IdentifiersCountBigEndianAndStopBeforeReservedBytes) {
    ScratchDir dir;
    {
        auto file = OpenFile(dir / "i.plm");
        std::array<std::uint8_t, 4> id{};
        ASSERT_TRUE(file->IssueIdentifier(id).ok());
        EXPECT_EQ(id, (std::array<std::uint8_t, 4>{0, 0, 0, 1}));
        ASSERT_TRUE(file->IssueIdentifier(id).ok());
        EXPECT_EQ(id, (std::array<std::uint8_t, 4>{0, 0, 0, 2}));
    }
    {
        // Committed with identifiers only, the file has no tree yet; its first item makes one.
        auto file = OpenFile(dir / "i.plm");
        EXPECT_TRUE(testing::ReadItems(*file).empty());
        ASSERT_TRUE(file->Insert("a", "1").ok());
        ASSERT_TRUE(file->Erase("a").ok());
    }
    std::string bytes = ReadAll(dir / "i.plm");
    EXPECT_EQ(bytes.substr(20, 4), std::string("\x00\x00\x00\x02", 4));
    bytes.replace(20, 4, "\xFD\xFF\xFF\xFE");
    WriteAll(dir / "i.plm", bytes);
    auto file = OpenFile(dir / "i.plm");
    std::array<std::uint8_t, 4> id{};
    ASSERT_TRUE(file->IssueIdentifier(id).ok());
    EXPECT_EQ(id, (std::array<std::uint8_t, 4>{0xFD, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(file->IssueIdentifier(id).fault, fault::IdentifiersExhausted);
    EXPECT_EQ(file->IssueIdentifier(id).fault, fault::IdentifiersExhausted);  // nothing was counted
    file.reset();
    EXPECT_EQ(ReadAll(dir / "i.plm").substr(20, 4), std::string("\xFD\xFF\xFF\xFF"));
}

TEST(ItemFileTest, EncipheredFileRoundTripsAndRefusesAWrongOwner) {
    ScratchDir dir;
    {
        auto file = OpenFile(dir / "e.plm", Access::ReadWrite, Share::DenyNone,
                             Creation::OpenOrCreate, "secret");
        ASSERT_TRUE(file->BeginWrite().ok());
        for (int i = 0; i < 200; ++i) ASSERT_TRUE(file->Insert(KeyOf(i), "payload").ok());
        ASSERT_TRUE(file->Finish().ok());
    }
    std::string bytes = ReadAll(dir / "e.plm");
    EXPECT_EQ(bytes.find("payload"), std::string::npos);
    EXPECT_EQ(bytes.find("pLmR"), std::string::npos);
    auto file = OpenFile(dir / "e.plm", Access::ReadOnly, Share::DenyNone, Creation::OpenExisting,
                         "secret");
    EXPECT_EQ(ReadItems(*file).size(), 200u);
    std::unique_ptr<ItemFile> wrong;
    EXPECT_EQ(
        ItemFile::Open(dir / "e.plm",
                       {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, "Secret"}, wrong)
            .code,
        runtime::err::InvalidDataFile);
}

// A walk reads neighbouring leaves through one larger read; what it holds must not
// outlive a commit by another process, sealed or not. (Opens of one path within a process
// share their state, so the writer is a child process.)
TEST(ItemFileTest, AWalkSeesWhatAnotherProcessCommittedSinceTheLastWalk) {
    // Small enough that the whole file, root and all, lies in one window.
    constexpr int kItems = 400;
    for (const char* owner : {"", "secret"}) {
        ScratchDir dir;
        auto a = OpenFile(dir / "w.plm", Access::ReadWrite, Share::DenyNone, Creation::OpenOrCreate,
                          owner);
        ASSERT_TRUE(a->BeginWrite().ok());
        for (int i = 0; i < kItems; ++i)
            ASSERT_TRUE(a->Insert(KeyOf(i), std::string(60, 'a') + std::to_string(i)).ok());
        ASSERT_TRUE(a->Finish().ok());
        // Opened afresh, so that the walk reads its pages from the file.
        a.reset();
        a = OpenFile(dir / "w.plm", Access::ReadWrite, Share::DenyNone, Creation::OpenExisting,
                     owner);
        ASSERT_EQ(ReadItems(*a).size(), static_cast<std::size_t>(kItems));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::unique_ptr<ItemFile> b;
            if (!ItemFile::Open(dir / "w.plm",
                                {Access::ReadWrite, Share::DenyNone, Creation::OpenExisting, owner},
                                b)
                     .ok() ||
                !b->BeginWrite().ok())
                _exit(10);
            for (int i = 0; i < kItems; i += 2)
                if (!b->Replace(KeyOf(i), std::string(60, 'b') + std::to_string(i)).ok()) _exit(11);
            _exit(b->Finish().ok() ? 0 : 12);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        // The walk ended among the last leaves, where the window still lies.
        Bytes data;
        bool found = false;
        ASSERT_TRUE(a->Find(KeyOf(kItems - 2), &data, &found).ok());
        EXPECT_EQ(data, std::string(60, 'b') + std::to_string(kItems - 2)) << owner;
        const Model seen = ReadItems(*a);
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(kItems)) << owner;
        for (int i = 0; i < kItems; ++i)
            ASSERT_EQ(seen.at(KeyOf(i)), std::string(60, i % 2 ? 'a' : 'b') + std::to_string(i))
                << owner << " " << i;
    }
}

// The cache's table of nodes against a map, through growth and erases that shift probed
// entries back (page addresses, temporary negative ones among them).
TEST(NodeTableTest, FindsEveryNodeThroughPutsTakesAndGrowth) {
    NodeTable table;
    std::map<std::int32_t, Node*> model;
    std::mt19937 rng(7);
    for (int step = 0; step < 20000; ++step) {
        const auto address = static_cast<std::int32_t>(rng() % 2000) - 300;
        if (rng() % 3 != 0) {
            auto node = std::make_unique<Node>();
            node->address = address;
            model[address] = node.get();
            table.Put(std::move(node));
        } else {
            auto taken = table.Take(address);
            ASSERT_EQ(taken.get(), model.count(address) ? model[address] : nullptr);
            model.erase(address);
        }
        ASSERT_EQ(table.size(), model.size());
    }
    for (std::int32_t address = -300; address < 1700; ++address)
        ASSERT_EQ(table.Find(address), model.count(address) ? model[address] : nullptr);
}

}  // namespace
}  // namespace zelt::storage
