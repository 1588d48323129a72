// Damaged table files through `plm`: each command ends (a forked child under a time limit
// tells a hang from an answer), reports a damaged file as damaged, and never prints records
// of a file it cannot vouch for.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "storage/pagefile/file_header.hpp"
#include "storage/pagefile/page_codec.hpp"
#include "storage/tables/item_keys.hpp"
#include "storage/tables/table_definition.hpp"
#include "storage_test_util.hpp"
#include "tools/plm/plm.hpp"

namespace zelt::storage {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;

struct Outcome {
    int code = 0;  // the exit code, or minus the signal that ended the command
    std::string out;
    std::string err;
};

// Runs `plm` commands one after another in a child process that may take `seconds` in all.
std::vector<Outcome> Bounded(const std::vector<std::vector<std::string>>& commands,
                             const std::string& input, const std::filesystem::path& scratch,
                             unsigned seconds = 10) {
    const auto results = scratch / "outcome";
    std::filesystem::remove(results);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(seconds);
        std::ofstream file(results, std::ios::binary);
        for (const auto& args : commands) {
            std::istringstream in(input);
            std::ostringstream out;
            std::ostringstream err;
            const int code = plm::RunPlm(args, in, out, err);
            file << code << '\n'
                 << out.str().size() << '\n'
                 << out.str() << err.str().size() << '\n'
                 << err.str();
            file.flush();
        }
        ::_exit(0);
    }
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    std::vector<Outcome> outcomes;
    std::ifstream file(results, std::ios::binary);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        Outcome o;
        std::size_t out_size = 0;
        std::size_t err_size = 0;
        if (!(file >> o.code >> out_size)) {
            o.code = WIFSIGNALED(wstatus) ? -WTERMSIG(wstatus) : -1;
            outcomes.push_back(o);
            continue;
        }
        file.get();
        o.out.resize(out_size);
        file.read(o.out.data(), static_cast<std::streamsize>(out_size));
        file >> err_size;
        file.get();
        o.err.resize(err_size);
        file.read(o.err.data(), static_cast<std::streamsize>(err_size));
        outcomes.push_back(o);
    }
    return outcomes;
}

Outcome Bounded(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                const std::string& input = {}) {
    return Bounded(std::vector<std::vector<std::string>>{args}, input, scratch).front();
}

constexpr const char* kSchema = R"({"oem": false,
  "fields": [{"name": "TMP:APPS", "type": "STRING", "size": 40},
             {"name": "TMP:DATE", "type": "LONG"},
             {"name": "TMP:CLOCK", "type": "LONG"},
             {"name": "TMP:EVENT", "type": "STRING", "size": 80}],
  "memos": [{"name": "TMP:NOTES", "size": 500}],
  "keys": [{"name": "TMP:CLOCKKEY", "attributes": 7, "components": ["TMP:DATE", "TMP:CLOCK"]},
           {"name": "TMP:NAMEKEY", "attributes": 6, "components": ["TMP:APPS"]}]})";

std::string Line(int i) {
    return R"({"TMP:APPS": "app)" + std::to_string(i) + R"(.APP", "TMP:DATE": )" +
           std::to_string(80000 + i % 7) + R"(, "TMP:CLOCK": )" + std::to_string(1 + i) +
           R"(, "TMP:EVENT": "Make Finished", "TMP:NOTES": "note )" + std::to_string(i) + "\"}\n";
}

constexpr int kRecords = 300;

// One sound file of 300 records with keys and memos, built once; each test damages a copy.
class PlmDamageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ScratchDir dir;
        std::ofstream(dir / "s.json") << kSchema;
        std::string input;
        for (int i = 0; i < kRecords; ++i) input += Line(i);
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        const auto path = (dir / "E.PLM").string();
        ASSERT_EQ(plm::RunPlm({"load", path, "--schema", (dir / "s.json").string()}, in, out, err),
                  0)
            << err.str();
        sound_ = new std::string(ReadAll(path));
    }
    static void TearDownTestSuite() {
        delete sound_;
        sound_ = nullptr;
    }

    void SetUp() override {
        path_ = (dir_ / "E.PLM").string();
        WriteAll(path_, *sound_);
    }

    // Pages of the file as (offset, size class, level), by address.
    static std::vector<std::tuple<std::size_t, int, int>> Pages(const std::string& bytes) {
        const FileHeader header =
            FileHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
        std::vector<std::tuple<std::size_t, int, int>> pages;
        for (int k = 1; k <= kMaxClass; ++k) {
            for (std::int32_t a = header.start(k); a < header.end(k); a += k) {
                const auto offset = static_cast<std::size_t>(AddressToOffset(a));
                pages.emplace_back(offset, k, static_cast<std::uint8_t>(bytes[offset + 12]));
            }
        }
        return pages;
    }

    static TableId Table(ItemFile& file) {
        Bytes id;
        bool found = false;
        EXPECT_TRUE(file.Find(DirectoryItemKey("UNNAMED"), &id, &found).ok());
        EXPECT_TRUE(found);
        return TableIdFromValue(ReadU32BigEndian(id, 0));
    }

    static std::string SoundSummary() {
        return "sound: 1 table(s), " + std::to_string(kRecords) + " record(s), 1206 item(s)";
    }

    static std::string* sound_;
    ScratchDir dir_;
    std::string path_;
};

std::string* PlmDamageTest::sound_ = nullptr;

TEST_F(PlmDamageTest, TheSoundFileChecksAndDumpsWhole) {
    const auto runs =
        Bounded({{"check", path_}, {"dump", path_}, {"tables", path_}}, {}, dir_.path());
    EXPECT_NE(runs[0].out.find(SoundSummary()), std::string::npos) << runs[0].out;
    EXPECT_EQ(runs[1].code, 0) << runs[1].err;
    EXPECT_EQ(std::count(runs[1].out.begin(), runs[1].out.end(), '\n'), kRecords);
    EXPECT_EQ(runs[2].out, "UNNAMED\n");
}

// A byte of an item stream changed so that an item sorts before the one it follows: the
// walk must move on (or stop with a fault), and check reports the damage once.
TEST_F(PlmDamageTest, CheckOfAPageOutOfOrderEndsWithEachFaultOnce) {
    int leaves = 0;
    for (const auto& [offset, k, level] : Pages(*sound_)) {
        if (level != 0 || ++leaves > 3) continue;
        std::string bytes = *sound_;
        bytes[offset + 22] = static_cast<char>(bytes[offset + 22] ^ 0x10);
        WriteAll(path_, bytes);
        const auto runs = Bounded({{"check", path_}, {"dump", path_}}, {}, dir_.path());
        EXPECT_EQ(runs[0].code, 1) << "page at " << offset;
        EXPECT_LT(std::count(runs[0].out.begin(), runs[0].out.end(), '\n'), 12)
            << runs[0].out.substr(0, 2000);
        EXPECT_EQ(runs[1].code, 1);
        EXPECT_TRUE(runs[1].out.empty());
    }
}

// The last memo chunk of one leaf renamed to a chunk in the middle of the next leaf: the
// items between are out of the walk's reach, so records lose their memos without any other
// sign. The tree check must see a key at or above its parent's next entry.
TEST_F(PlmDamageTest, CheckFindsAKeyBeyondItsParentsNextEntry) {
    struct Leaf {
        std::size_t offset;
        std::size_t size;
        PageContent page;
    };
    std::vector<Leaf> leaves;
    for (const auto& [offset, k, level] : Pages(*sound_)) {
        const auto size = static_cast<std::size_t>(k) * kUnit;
        if (level == 0)
            leaves.push_back(
                {offset, size, DecodePage(std::string_view(*sound_).substr(offset, size))});
    }
    std::sort(leaves.begin(), leaves.end(), [](const Leaf& a, const Leaf& b) {
        return a.page.items.front().key() < b.page.items.front().key();
    });
    bool damaged = false;
    for (std::size_t i = 0; i + 1 < leaves.size() && !damaged; ++i) {
        PageContent page = leaves[i].page;
        const auto& next = leaves[i + 1].page.items;
        Bytes later(next[next.size() / 2].key());
        if (static_cast<std::uint8_t>(page.items.back().key()[4]) != item_type::Memo ||
            later.size() != 12 || static_cast<std::uint8_t>(later[4]) != item_type::Memo)
            continue;
        later[11] = static_cast<char>(later[11] + 1);  // a chunk number that record does not have
        const Bytes data(page.items.back().data());
        page.items.Erase(page.items.size() - 1);
        page.items.PushBack(later, data);
        const std::string stored = EncodePage(page, static_cast<std::uint32_t>(leaves[i].offset));
        if (stored.size() != leaves[i].size) continue;
        std::string bytes = *sound_;
        bytes.replace(leaves[i].offset, stored.size(), stored);
        WriteAll(path_, bytes);
        damaged = true;
    }
    ASSERT_TRUE(damaged);
    const auto runs = Bounded({{"check", path_}, {"dump", path_}}, {}, dir_.path());
    EXPECT_EQ(runs[0].code, 1) << runs[0].out;
    EXPECT_EQ(runs[1].code, 1);
}

TEST_F(PlmDamageTest, ABrokenDefinitionIsReportedAndNothingIsDumped) {
    {
        auto file = testing::OpenFile(path_);
        const TableId id = Table(*file);
        Bytes stream;
        bool found = false;
        ASSERT_TRUE(file->Find(DefinitionChunkKey(id, 0), &stream, &found).ok());
        TableDefinition d;
        ASSERT_TRUE(ReadDefinitionStream(stream, d));
        d.fields[1].elements = 58625;  // a LONG with 58,625 elements in 0 bytes
        d.fields[1].size = 0;
        ASSERT_TRUE(file->Replace(DefinitionChunkKey(id, 0), WriteDefinitionStream(d)).ok());
        ASSERT_TRUE(file->Close().ok());
    }
    const auto runs =
        Bounded({{"check", path_}, {"dump", path_}, {"schema", path_}}, {}, dir_.path());
    EXPECT_EQ(runs[0].code, 1);
    EXPECT_NE(runs[0].out.find("definition"), std::string::npos) << runs[0].out;
    EXPECT_EQ(runs[1].code, 1);
    EXPECT_TRUE(runs[1].out.empty()) << runs[1].out.size() << " bytes dumped";
    EXPECT_EQ(runs[2].code, 1);
}

// Definitions whose descriptors read well one by one but that no declaration could have
// stored: error 75 with the key or field named.
TEST_F(PlmDamageTest, InconsistentDefinitionsGiveError75WithTheFieldOrKey) {
    const std::vector<std::pair<std::function<void(TableDefinition&)>, std::string>> cases = {
        {[](TableDefinition& d) { d.keys[0].attributes |= 0x80; }, "TMP:CLOCKKEY"},
        {[](TableDefinition& d) { d.keys[1].attributes |= 0x10 | 0x01; }, "TMP:NAMEKEY"},
        {[](TableDefinition& d) { d.fields[2].offset = d.fields[1].offset; }, "TMP:CLOCK"},
        {[](TableDefinition& d) { d.fields[3].overlay = true; }, "TMP:EVENT"},
    };
    for (const auto& [damage, named] : cases) {
        SCOPED_TRACE(named);
        WriteAll(path_, *sound_);
        {
            auto file = testing::OpenFile(path_);
            const TableId id = Table(*file);
            Bytes stream;
            bool found = false;
            ASSERT_TRUE(file->Find(DefinitionChunkKey(id, 0), &stream, &found).ok());
            TableDefinition d;
            ASSERT_TRUE(ReadDefinitionStream(stream, d));
            damage(d);
            ASSERT_TRUE(file->Replace(DefinitionChunkKey(id, 0), WriteDefinitionStream(d)).ok());
            ASSERT_TRUE(file->Close().ok());
        }
        const Outcome run = Bounded({"check", path_}, dir_.path());
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find("error 75"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(named), std::string::npos) << run.out;
    }
}

// The file's identifier counter set back below the record numbers in use: every add
// would collide with a stored record.
TEST_F(PlmDamageTest, AnIdentifierCounterBelowTheRecordsInUseIsReported) {
    std::string bytes = *sound_;
    bytes[22] = 0;
    bytes[23] = 5;
    WriteAll(path_, bytes);
    const Outcome check = Bounded({"check", path_}, dir_.path());
    EXPECT_EQ(check.code, 1);
    EXPECT_NE(check.out.find("identifier counter"), std::string::npos) << check.out;
    std::ofstream(dir_ / "s.json") << kSchema;
    const Outcome load =
        Bounded({"load", path_, "--schema", (dir_ / "s.json").string()}, dir_.path(), Line(9999));
    EXPECT_EQ(load.code, 1);
    EXPECT_NE(load.err.find("File System Error (90)"), std::string::npos) << load.err;
    EXPECT_NE(load.err.find("(fault 706)"), std::string::npos) << load.err;
}

TEST_F(PlmDamageTest, DumpFailsWhenRecordsAreMissingAgainstTheCounter) {
    {
        auto file = testing::OpenFile(path_);
        const TableId id = Table(*file);
        bool found = false;
        ASSERT_TRUE(file->Erase(RecordItemKey(id, 16), &found).ok());
        ASSERT_TRUE(found);
        ASSERT_TRUE(file->Close().ok());
    }
    const Outcome dump = Bounded({"dump", path_}, dir_.path());
    EXPECT_EQ(dump.code, 1);
    EXPECT_TRUE(dump.out.empty());
    EXPECT_NE(dump.err.find("(90)"), std::string::npos) << dump.err;
}

TEST_F(PlmDamageTest, AnEmptyFileAndADirectoryAreNotTableFiles) {
    WriteAll(path_, {});
    std::ofstream(dir_ / "s.json") << kSchema;
    const auto empty = Bounded({{"check", path_},
                                {"tables", path_},
                                {"load", path_, "--schema", (dir_ / "s.json").string()}},
                               Line(1), dir_.path());
    for (const auto& run : empty) {
        EXPECT_EQ(run.code, 1);
        EXPECT_NE((run.out + run.err).find("Invalid Data File (36)"), std::string::npos)
            << run.out << run.err;
    }
    EXPECT_EQ(std::filesystem::file_size(path_), 0U);
    const auto folder = (dir_ / "FOLDER.PLM").string();
    std::filesystem::create_directory(folder);
    const auto runs = Bounded({{"check", folder},
                               {"dump", folder},
                               {"load", folder, "--schema", (dir_ / "s.json").string()}},
                              Line(1), dir_.path());
    for (const auto& run : runs) {
        EXPECT_EQ(run.code, 1);
        EXPECT_NE((run.out + run.err).find("directory"), std::string::npos) << run.out << run.err;
        EXPECT_EQ((run.out + run.err).find("fault 90"), std::string::npos) << run.out << run.err;
    }
}

// The damaged-file run: seeded flips, runs of garbage and truncations of the small file.
// check, dump and tables each answer within the limit, without a crash; a file check calls
// damaged is never dumped or listed with success; and a file check calls sound lost nothing.
TEST_F(PlmDamageTest, SeededDamageNeverHangsCrashesOrPassesForSound) {
    std::mt19937 random(20240617);
    const std::size_t size = sound_->size();
    int damaged = 0;
    for (int round = 0; round < 120; ++round) {
        std::string bytes = *sound_;
        const int kind = round % 8;
        if (kind == 7) {
            bytes.resize(std::uniform_int_distribution<std::size_t>(1, size - 1)(random));
        } else if (kind == 6) {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, size - 64)(random);
            for (std::size_t i = 0; i < 64; ++i) bytes[at + i] = static_cast<char>(random());
        } else {
            for (int flips = 0; flips <= kind % 3; ++flips) {
                const std::size_t at =
                    std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
            }
        }
        WriteAll(path_, bytes);
        const auto runs =
            Bounded({{"check", path_}, {"dump", path_}, {"tables", path_}}, {}, dir_.path());
        const std::string what = "round " + std::to_string(round);
        for (const auto& run : runs) {
            ASSERT_TRUE(run.code == 0 || run.code == 1) << what << ": ended by " << run.code;
            if (run.code == 1 && &run != &runs[0]) {
                EXPECT_TRUE(run.out.empty()) << what;
            }
        }
        if (runs[0].code == 1) {
            ++damaged;
            EXPECT_EQ(runs[1].code, 1) << what << " dumped a damaged file";
            EXPECT_EQ(runs[2].code, 1) << what << " listed a damaged file";
        } else {
            EXPECT_NE(runs[0].out.find(SoundSummary()), std::string::npos)
                << what << ": " << runs[0].out;
            EXPECT_EQ(std::count(runs[1].out.begin(), runs[1].out.end(), '\n'), kRecords) << what;
        }
    }
    EXPECT_GT(damaged, 45);
    std::printf("damaged-file run: 120 cases, %d called damaged by check\n", damaged);
}

}  // namespace
}  // namespace zelt::storage
