// Enciphered item files: a salt of their own, a key derivation at today's strength, and
// tags that refuse changed, mixed or moved pages and headers instead of reading them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "storage/io/block_cipher.hpp"
#include "storage/io/io_fault_seam.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using io::BlockCipher;
using io::IoFaultSeam;
using testing::OpenFile;
using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;

constexpr const char* kOwner = "s3cret owner";

// Files made by this test program derive their keys with few iterations, so that opens
// stay quick under the sanitizers; the count is kept in each file.
const bool kQuickKeys = [] {
    BlockCipher::SetIterationsForNewFiles(1000);
    return true;
}();

std::string KeyOf(int i) {
    return "key" + std::to_string(1000 + i);
}
std::string DataOf(int i, char fill = 'd') {
    return std::string(40 + i % 7, fill) + std::to_string(i);
}

class CipherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        IoFaultSeam::SetDeviceSync(false);
        ASSERT_TRUE(kQuickKeys);
    }

    void Fill(const std::filesystem::path& path, int count, char fill = 'd') {
        auto file =
            OpenFile(path, Access::ReadWrite, Share::DenyNone, Creation::OpenOrCreate, kOwner);
        ASSERT_TRUE(file->BeginWrite().ok());
        for (int i = 0; i < count; ++i) ASSERT_TRUE(file->Replace(KeyOf(i), DataOf(i, fill)).ok());
        ASSERT_TRUE(file->Finish().ok());
    }

    // Opens with the owner and walks every item: the items, or the failing status.
    static testing::Model Walk(const std::filesystem::path& path, Status* status) {
        std::unique_ptr<ItemFile> file;
        *status = ItemFile::Open(
            path, {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner}, file);
        if (!status->ok()) return {};
        return testing::ReadItems(*file, status);
    }

    static bool Refused(const Status& status) {
        return status.code == runtime::err::InvalidDataFile ||
               (status.code == runtime::err::FileSystemError && status.fault != 0);
    }

    ScratchDir dir_;
};

TEST_F(CipherTest, EveryFileHasItsOwnSaltAndNewFilesAStrongDerivation) {
    Fill(dir_ / "a.plm", 30);
    Fill(dir_ / "b.plm", 30);
    const std::string a = ReadAll(dir_ / "a.plm");
    const std::string b = ReadAll(dir_ / "b.plm");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_NE(a.substr(0, 512), b.substr(0, 512));
    EXPECT_NE(a.substr(1024), b.substr(1024));

    const auto unit =
        BlockCipher::ParseKeyUnit(reinterpret_cast<const std::uint8_t*>(a.data()) + 512);
    ASSERT_TRUE(unit.has_value());
    EXPECT_EQ(unit->iterations, 1000U);
    BlockCipher::SetIterationsForNewFiles(0);
    const auto fresh = BlockCipher::NewKeyUnit();
    BlockCipher::SetIterationsForNewFiles(1000);
    ASSERT_TRUE(fresh.has_value());
    EXPECT_GE(fresh->iterations, 600000U);
}

// Growing, shrinking and rewriting a tree of several levels, in commits of one change and
// of many, with a second handle reading between them: every page keeps its tags right.
TEST_F(CipherTest, ATreeOfSeveralLevelsStaysReadableThroughChanges) {
    std::mt19937 random(7);
    testing::Model model;
    auto writer = OpenFile(dir_ / "t.plm", Access::ReadWrite, Share::DenyNone,
                           Creation::OpenOrCreate, kOwner);
    auto reader =
        OpenFile(dir_ / "t.plm", Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner);
    for (int round = 0; round < 8; ++round) {
        const bool batch = round % 2 == 0;
        if (batch) {
            ASSERT_TRUE(writer->BeginWrite().ok());
        }
        for (int i = 0; i < 250; ++i) {
            // Long keys make index pages split too.
            const std::string key =
                KeyOf(static_cast<int>(random() % 1200)) + std::string(180, 'k');
            if (random() % 4 == 0 && model.count(key) != 0) {
                ASSERT_TRUE(writer->Erase(key).ok());
                model.erase(key);
            } else {
                const std::string data(random() % 300, static_cast<char>('a' + random() % 26));
                ASSERT_TRUE(writer->Replace(key, data).ok());
                model[key] = data;
            }
        }
        if (batch) {
            ASSERT_TRUE(writer->Finish().ok());
        }
        Status status;
        const bool same = testing::ReadItems(*reader, &status) == model;
        ASSERT_TRUE(status.ok()) << "round " << round << ": " << status.code << "/" << status.fault;
        EXPECT_TRUE(same) << "round " << round;
    }
    writer.reset();
    reader.reset();
    Status status;
    EXPECT_TRUE(Walk(dir_ / "t.plm", &status) == model);
    EXPECT_TRUE(status.ok());
    auto file =
        OpenFile(dir_ / "t.plm", Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner);
    EXPECT_EQ(testing::VerifyTree(*file), model.size());
}

TEST_F(CipherTest, AWrongOwnerAndAPlainFileAreRefused) {
    Fill(dir_ / "e.plm", 20);
    std::unique_ptr<ItemFile> file;
    // A wrong owner string and a damaged header are both 36, told apart in words.
    std::string detail;
    EXPECT_EQ(ItemFile::Open(dir_ / "e.plm",
                             {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, "wrong"},
                             file, &detail)
                  .code,
              runtime::err::InvalidDataFile);
    EXPECT_NE(detail.find("wrong password"), std::string::npos) << detail;
    {
        std::string damaged = ReadAll(dir_ / "e.plm");
        damaged[100] = static_cast<char>(damaged[100] ^ 0x20);
        WriteAll(dir_ / "d.plm", damaged);
    }
    EXPECT_EQ(ItemFile::Open(dir_ / "d.plm",
                             {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner},
                             file, &detail)
                  .code,
              runtime::err::InvalidDataFile);
    EXPECT_NE(detail.find("damaged"), std::string::npos) << detail;
    EXPECT_EQ(detail.find("password"), std::string::npos) << detail;
    EXPECT_EQ(ItemFile::Open(
                  dir_ / "e.plm",
                  {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, "S3cret owner"}, file)
                  .code,
              runtime::err::InvalidDataFile);
    EXPECT_EQ(ItemFile::Open(dir_ / "e.plm",
                             {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, {}}, file)
                  .code,
              runtime::err::InvalidDataFile);
    {
        auto plain = OpenFile(dir_ / "p.plm");
        ASSERT_TRUE(plain->Insert("k", "v").ok());
    }
    EXPECT_EQ(
        ItemFile::Open(dir_ / "p.plm",
                       {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner}, file)
            .code,
        runtime::err::InvalidDataFile);
    // A blank header in front of pages is a lost header, not a new file.
    std::string bytes = ReadAll(dir_ / "e.plm");
    std::fill(bytes.begin(), bytes.begin() + 512, '\0');
    WriteAll(dir_ / "e.plm", bytes);
    EXPECT_EQ(
        ItemFile::Open(dir_ / "e.plm",
                       {Access::ReadWrite, Share::DenyNone, Creation::OpenExisting, kOwner}, file)
            .code,
        runtime::err::InvalidDataFile);
    EXPECT_EQ(ReadAll(dir_ / "e.plm"), bytes);
}

// The iteration count stands in the clear: a unit patched to ask for more than a few
// million is refused at once instead of keeping the open busy.
TEST_F(CipherTest, AKeyUnitAskingForTooManyIterationsIsRefusedAtOnce) {
    Fill(dir_ / "e.plm", 5);
    std::string bytes = ReadAll(dir_ / "e.plm");
    for (const std::uint32_t count : {BlockCipher::kMostIterations + 1, 100'000'000u}) {
        for (int i = 0; i < 4; ++i) bytes[512 + 8 + i] = static_cast<char>(count >> (8 * i));
        WriteAll(dir_ / "e.plm", bytes);
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<ItemFile> file;
        EXPECT_EQ(ItemFile::Open(
                      dir_ / "e.plm",
                      {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, kOwner}, file)
                      .code,
                  runtime::err::InvalidDataFile);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

// One changed item: old blocks put back, a few or every page's, must not read as data.
TEST_F(CipherTest, OldBlocksAndOldPagesPutBackAreRefused) {
    Fill(dir_ / "e.plm", 60);
    const std::string before = ReadAll(dir_ / "e.plm");
    {
        auto file = OpenFile(dir_ / "e.plm", Access::ReadWrite, Share::DenyNone,
                             Creation::OpenExisting, kOwner);
        ASSERT_TRUE(file->Replace(KeyOf(7), DataOf(7, 'x')).ok());
    }
    const std::string after = ReadAll(dir_ / "e.plm");
    for (int most : {3, 1000}) {
        std::string mixed = after;
        int put_back = 0;
        for (std::size_t at = 768;
             at + 64 <= std::min(before.size(), after.size()) && put_back < most; at += 64) {
            if (before.compare(at, 64, after, at, 64) == 0) continue;
            mixed.replace(at, 64, before, at, 64);
            ++put_back;
        }
        ASSERT_GT(put_back, 0);
        WriteAll(dir_ / "e.plm", mixed);
        Status status;
        const auto items = Walk(dir_ / "e.plm", &status);
        EXPECT_TRUE(Refused(status)) << most << ": " << status.code << "/" << status.fault;
        if (auto it = items.find(KeyOf(7)); it != items.end()) {
            EXPECT_EQ(it->second, DataOf(7, 'x'));
        }
    }
}

// A bit flipped in any 64-byte block of a file, its journal included (a commit stopped
// before its pages went home), gives the committed items, the journaled items or a clear
// error, never other data.
TEST_F(CipherTest, AFlippedBitAnywhereNeverReadsAsData) {
    Fill(dir_ / "e.plm", 40);
    const std::string committed = ReadAll(dir_ / "e.plm");
    Status status;
    const testing::Model old_items = Walk(dir_ / "e.plm", &status);
    ASSERT_TRUE(status.ok());
    testing::Model new_items = old_items;
    for (int i = 0; i < 40; i += 3) new_items[KeyOf(i)] = DataOf(i, 'n');
    // The first stop at which the header points to a whole journal and no page went home.
    bool journaled = false;
    for (int point = 1; point < 40 && !journaled; ++point) {
        WriteAll(dir_ / "e.plm", committed);
        auto file = OpenFile(dir_ / "e.plm", Access::ReadWrite, Share::DenyAll,
                             Creation::OpenExisting, kOwner);
        ASSERT_TRUE(file->BeginWrite().ok());
        for (int i = 0; i < 40; i += 3) ASSERT_TRUE(file->Replace(KeyOf(i), DataOf(i, 'n')).ok());
        IoFaultSeam::Arm(io::SeamAction::Stop, point);
        file->Finish();
        file.reset();
        IoFaultSeam::Disarm();
        const std::string stopped = ReadAll(dir_ / "e.plm");
        journaled =
            stopped.size() > committed.size() && stopped.compare(0, 512, committed, 0, 512) != 0 &&
            stopped.compare(512, committed.size() - 512, committed, 512, committed.size() - 512) ==
                0;
    }
    ASSERT_TRUE(journaled);
    EXPECT_EQ(Walk(dir_ / "e.plm", &status), new_items);
    const std::string sound = ReadAll(dir_ / "e.plm");
    int refused = 0;
    for (std::size_t at = 0; at + 64 <= sound.size(); at += 64) {
        if (at >= 512 && at < 768) continue;  // the key unit: a change there is a wrong key
        std::string bytes = sound;
        bytes[at + 17] = static_cast<char>(bytes[at + 17] ^ 0x04);
        WriteAll(dir_ / "e.plm", bytes);
        const auto items = Walk(dir_ / "e.plm", &status);
        if (!status.ok()) {
            EXPECT_TRUE(Refused(status)) << "block at " << at << ": " << status.code;
            ++refused;
            continue;
        }
        EXPECT_TRUE(items == old_items || items == new_items)
            << "block at " << at << " read as other data";
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace zelt::storage
