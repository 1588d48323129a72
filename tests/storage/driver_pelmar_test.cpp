#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "../runtime/file_test_dir.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/build_progress.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "runtime/values/clock_source.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "storage/driver/table_address.hpp"

namespace zelt::storage {
namespace {

using runtime::FixedString;
using runtime::Table;
using runtime::TableDeclaration;
using testing_support::TestDir;
namespace key_attr = runtime::key_attr;
namespace err = runtime::err;

#pragma pack(push, 1)
struct PersonRecord {
    FixedString<20> name;
    std::int32_t number;
    double score;
};
#pragma pack(pop)

// A table of people: a unique case-blind name key (OPT), a DUP key on the score
// (descending) and a unique number key.
class PelmarDriverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        RegisterPelmarDriver();
        runtime::RegisterDriver(std::make_shared<PelmarDriver>("PELMAR_B"));
    }

    TableDeclaration People(const std::string& driver = "PELMAR") {
        return TableDeclaration("PEOPLE", "PEO", driver)
            .NameVariable(name_.Span())
            .Record(runtime::AsBytes(rec_))
            .String("PEO:Name", 0, 20)
            .Long("PEO:Number", 20)
            .Real("PEO:Score", 24)
            .Memo("PEO:Notes", 600)
            .Key("PEO:NameKey", key_attr::Opt | key_attr::NoCase, {"PEO:Name"})
            .Key("PEO:ScoreKey", key_attr::Dup, {"-PEO:Score", "PEO:Name"})
            .Key("PEO:NumberKey", 0, {"PEO:Number"});
    }

    void Put(Table& t, const char* name, std::int32_t number, double score) {
        rec_.name = name;
        rec_.number = number;
        rec_.score = score;
        ASSERT_EQ(t.Add(), 0) << name << ": " << runtime::CurrentErrorText();
    }

    std::vector<std::string> NamesInOrder(Table& t, int key) {
        std::vector<std::string> names;
        if (key < 0)
            t.SetFile();
        else
            t.SetKey(key);
        while (t.Next() == 0) names.push_back(rec_.name.Clip());
        return names;
    }

    void SetUp() override { name_ = dir_.File("PEOPLE"); }

    TestDir dir_;
    FixedString<200> name_;
    PersonRecord rec_{};
};

TEST_F(PelmarDriverTest, CreateAddAndReadInEveryOrder) {
    Table t(People());
    EXPECT_EQ(t.Open(), err::FileNotFound);
    ASSERT_EQ(t.Create(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("PEOPLE.PLM")));
    ASSERT_EQ(t.Open(0x42), 0);
    Put(t, "carol", 3, 2.5);
    Put(t, "Alice", 1, -1.0);
    Put(t, "bob", 2, 2.5);
    Put(t, "dave", 4, 10.0);
    EXPECT_EQ(t.Records(), 4);
    EXPECT_EQ(NamesInOrder(t, -1), (std::vector<std::string>{"carol", "Alice", "bob", "dave"}));
    EXPECT_EQ(NamesInOrder(t, 0), (std::vector<std::string>{"Alice", "bob", "carol", "dave"}));
    // Descending score; equal scores by name.
    EXPECT_EQ(NamesInOrder(t, 1), (std::vector<std::string>{"dave", "bob", "carol", "Alice"}));

    // Backwards from the end, and from a key value.
    t.SetKey(0);
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(rec_.name.Clip(), "dave");
    rec_.name = "BOB";
    t.SetKeyKey(0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "bob");
    rec_.name = "c";
    t.SetKeyKey(0);
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(rec_.name.Clip(), "bob");
    // Turning back and forth: each step goes from the record read last, in key order and
    // in record order.
    auto steps = [&](const std::string& moves) {
        std::string names;
        for (char move : moves) {
            if ((move == 'n' ? t.Next() : t.Previous()) != 0) return names + "!";
            names += rec_.name.Clip() + " ";
        }
        return names;
    };
    t.SetKey(0);
    EXPECT_EQ(steps("nnpnnpp"), "Alice bob Alice bob carol bob Alice ");
    t.SetFile();
    EXPECT_EQ(steps("nnpnn"), "carol Alice carol Alice bob ");

    // Get by key value and by record number.
    rec_.number = 3;
    ASSERT_EQ(t.Get(2), 0);
    EXPECT_EQ(rec_.name.Clip(), "carol");
    const auto carol = t.Pointer();
    rec_.name = "nobody";
    rec_.number = 99;
    EXPECT_EQ(t.Get(2), err::RecordNotFound);
    ASSERT_EQ(t.GetByPointer(carol), 0);
    EXPECT_EQ(rec_.name.Clip(), "carol");
    EXPECT_EQ(t.Bytes(), 32);
    EXPECT_EQ(t.Close(), 0);
}

TEST_F(PelmarDriverTest, UniqueKeysRefuseDuplicatesAndOptLeavesBlanksOut) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x42), 0);
    Put(t, "Alice", 1, 1.0);
    rec_.name = "ALICE";
    rec_.number = 2;
    EXPECT_EQ(t.Add(), err::CreatesDuplicateKey);
    EXPECT_EQ(runtime::CurrentErrorText(), "Creates Duplicate Key");
    EXPECT_EQ(t.Records(), 1);
    EXPECT_EQ(t.RecordsKey(2), 1);  // nothing of the failed add remains
    rec_.name = "";
    rec_.number = 2;
    ASSERT_EQ(t.Add(), 0);
    rec_.number = 3;
    ASSERT_EQ(t.Add(), 0);  // a second blank name: OPT, so no clash
    EXPECT_EQ(t.Records(), 3);
    EXPECT_EQ(t.RecordsKey(0), 1);
    EXPECT_EQ(t.RecordsKey(1), 3);

    // Changing a record onto another's key is refused and changes nothing.
    rec_.number = 1;
    ASSERT_EQ(t.Get(2), 0);
    rec_.number = 2;
    EXPECT_TRUE(t.Duplicate());
    EXPECT_EQ(t.Put(), err::CreatesDuplicateKey);
    rec_.number = 7;
    rec_.name = "Alicia";
    ASSERT_EQ(t.Put(), 0);
    rec_.number = 1;
    EXPECT_EQ(t.Get(2), err::RecordNotFound);
    rec_.name = "alicia";
    ASSERT_EQ(t.Get(0), 0);
    EXPECT_EQ(rec_.number, 7);
    ASSERT_EQ(t.Delete(), 0);
    EXPECT_EQ(t.Records(), 2);
    EXPECT_EQ(t.RecordsKey(2), 2);
    EXPECT_EQ(t.RecordsKey(0), 0);
    EXPECT_EQ(t.Delete(), err::RecordNotAvailable);
}

TEST_F(PelmarDriverTest, MemosTravelWithTheirRecords) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x42), 0);
    std::string long_note(520, 'n');
    t.MemoBuffer(0) = long_note;
    Put(t, "Alice", 1, 1.0);
    t.MemoBuffer(0) = "short";
    Put(t, "Bob", 2, 1.0);
    t.ClearRecord();
    rec_.number = 1;
    ASSERT_EQ(t.Get(2), 0);
    EXPECT_EQ(t.MemoBuffer(0), long_note + std::string(80, ' '));
    t.NoMemo();
    rec_.number = 2;
    ASSERT_EQ(t.Get(2), 0);
    EXPECT_EQ(t.MemoBuffer(0).substr(0, 5), "nnnnn");  // not loaded
    ASSERT_EQ(t.Get(2), 0);
    EXPECT_EQ(t.MemoBuffer(0).substr(0, 6), "short ");
}

TEST_F(PelmarDriverTest, AddressesNameTablesInsideOneFile) {
    const auto plain = TableAddress::Parse("/x/DATA");
    EXPECT_EQ(plain.file, "/x/DATA.PLM");
    EXPECT_EQ(plain.table, "UNNAMED");
    EXPECT_EQ(plain.display, "/x/DATA.PLM");
    const auto named = TableAddress::Parse("/x/DATA.PLM\\!orders");
    EXPECT_EQ(named.file, "/x/DATA.PLM");
    EXPECT_EQ(named.table, "ORDERS");
    EXPECT_EQ(named.display, "/x/DATA.PLM\\!ORDERS");
    // A separator preceded by an existing directory does not split.
    std::filesystem::create_directory(dir_.File("sub"));
    const auto odd = TableAddress::Parse(dir_.File("sub") + "\\!x\\!t");
    EXPECT_EQ(odd.file, dir_.File("sub") + "\\!x.PLM");
    EXPECT_EQ(odd.table, "T");

    Table unnamed(People());
    ASSERT_EQ(unnamed.Create(), 0);
    FixedString<200> other_name(dir_.File("PEOPLE.PLM") + "\\!staff");
    Table staff(People().NameVariable(other_name.Span()));
    ASSERT_EQ(staff.Create(), 0);
    ASSERT_EQ(unnamed.Open(0x42), 0);
    ASSERT_EQ(staff.Open(0x42), 0);
    Put(unnamed, "in unnamed", 1, 0);
    Put(staff, "in staff", 1, 0);  // own identifier: no clash with the other table's key
    EXPECT_EQ(unnamed.Records(), 1);
    EXPECT_EQ(staff.Records(), 1);
    EXPECT_EQ(staff.Name(), dir_.File("PEOPLE.PLM") + "\\!STAFF");
    EXPECT_EQ(unnamed.Send("PNM="), "STAFF");
    EXPECT_EQ(unnamed.Send("PNM=STAFF"), "UNNAMED");
    EXPECT_EQ(NamesInOrder(staff, 0), std::vector<std::string>{"in staff"});
    // The name variable changed while the table is open: the records still come from the
    // open table, and the name follows the new text.
    other_name = dir_.File("OTHER");
    EXPECT_EQ(NamesInOrder(staff, 0), std::vector<std::string>{"in staff"});
    EXPECT_EQ(staff.Name(), dir_.File("OTHER.PLM"));
}

TEST_F(PelmarDriverTest, OpenFailuresGiveTheirCodes) {
    name_ = "";
    Table t(People());
    EXPECT_EQ(t.Open(), err::InvalidFilename);
    name_ = dir_.File("JUNK.PLM");
    std::ofstream(name_.Clip(), std::ios::binary) << std::string(600, 'x');
    EXPECT_EQ(t.Open(), err::InvalidDataFile);
    EXPECT_EQ(runtime::CurrentErrorText(), "Invalid Data File");
    name_ = dir_.File("PEOPLE.PLM\\!absent");
    Table absent(People());
    EXPECT_EQ(absent.Open(), err::FileNotFound);
    EXPECT_EQ(absent.Next(), err::FileNotOpen);
}

TEST_F(PelmarDriverTest, DefinitionIsVerifiedAtOpen) {
    {
        Table t(People());
        ASSERT_EQ(t.Create(), 0);
    }
    auto renamed = TableDeclaration("PEOPLE", "PEO", "PELMAR")
                       .NameVariable(name_.Span())
                       .Record(runtime::AsBytes(rec_))
                       .String("PEO:FullName", 0, 20)
                       .Long("PEO:Number", 20)
                       .Real("PEO:Score", 24)
                       .Memo("PEO:Notes", 600)
                       .Key("PEO:NameKey", key_attr::Opt | key_attr::NoCase, {"PEO:FullName"})
                       .Key("PEO:ScoreKey", key_attr::Dup, {"-PEO:Score", "PEO:FullName"})
                       .Key("PEO:NumberKey", 0, {"PEO:Number"});
    Table wrong(std::move(renamed));
    EXPECT_EQ(wrong.Open(), err::InvalidRecordDeclaration);

    Table extra_key(People().Key("PEO:Dummy", 0, {"PEO:Number"}));
    EXPECT_EQ(extra_key.Open(), err::InvalidRecordDeclaration);
}

TEST_F(PelmarDriverTest, PrimaryAttributeMayBeAddedLater) {
    auto plain = TableDeclaration("T", "T", "PELMAR")
                     .NameVariable(name_.Span())
                     .Record(runtime::AsBytes(rec_))
                     .Long("T:Number", 20)
                     .Key("T:NumberKey", key_attr::Opt, {"T:Number"});
    Table a(std::move(plain));
    ASSERT_EQ(a.Create(), 0);
    Table b(TableDeclaration("T", "T", "PELMAR")
                .NameVariable(name_.Span())
                .Record(runtime::AsBytes(rec_))
                .Long("T:Number", 20)
                .Key("T:NumberKey", key_attr::Opt | key_attr::Primary, {"T:Number"}));
    EXPECT_EQ(b.Open(), 0);
}

TEST_F(PelmarDriverTest, AppendDefersKeysUntilBuild) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x22), 0);
    Put(t, "first", 1, 1);
    for (int i = 0; i < 5; ++i) {
        rec_.name = "appended" + std::to_string(i);
        rec_.number = 10 + i;
        rec_.score = i;
        ASSERT_EQ(t.Append(), 0);
    }
    Put(t, "later", 20, 0);  // added after an append: its keys wait for the build too
    EXPECT_EQ(t.Records(), 7);
    EXPECT_EQ(t.RecordsKey(2), 1);
    EXPECT_EQ(NamesInOrder(t, 2), std::vector<std::string>{"first"});
    ASSERT_EQ(t.Build(), 0);
    EXPECT_EQ(t.RecordsKey(2), 7);
    EXPECT_EQ(t.RecordsKey(0), 7);
    EXPECT_EQ(NamesInOrder(t, 2).size(), 7u);
    EXPECT_EQ(NamesInOrder(t, 2).back(), "later");

    // A duplicate appended behind the key's back is found by the build.
    rec_.name = "FIRST";
    rec_.number = 30;
    ASSERT_EQ(t.Append(), 0);
    EXPECT_EQ(t.Build(), err::CreatesDuplicateKey);
    ASSERT_EQ(t.Pack(), err::CreatesDuplicateKey);
}

TEST_F(PelmarDriverTest, KeyBuildsReportProgressAndCanBeCancelled) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x22), 0);
    Put(t, "first", 1, 1);
    for (int i = 0; i < 5; ++i) {
        rec_.name = "appended" + std::to_string(i);
        rec_.number = 10 + i;
        ASSERT_EQ(t.Append(), 0);
    }
    std::vector<runtime::BuildProgress> seen;
    {
        runtime::ScopedBuildProgress watch([&](const runtime::BuildProgress& p) {
            seen.push_back(p);
            return p.done < 2;
        });
        EXPECT_EQ(t.BuildKey(2), err::BuildCancelled);
        EXPECT_EQ(runtime::CurrentErrorText(), "BUILD Cancelled");
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.back().key, 2);
    EXPECT_EQ(seen.back().total, 6);
    EXPECT_NE(seen.back().table.find("PEOPLE"), std::string::npos);
    // The entries made before the cancel stay; the rest wait for the next build.
    EXPECT_EQ(t.RecordsKey(2), 3);
    EXPECT_EQ(NamesInOrder(t, 2).size(), 3u);
    ASSERT_EQ(t.BuildKey(2), 0);
    EXPECT_EQ(t.RecordsKey(2), 6);
    EXPECT_EQ(NamesInOrder(t, 2).size(), 6u);

    // A whole-table build is cancelled the same way; a build started from the hook is
    // refused while the first runs.
    {
        runtime::ScopedBuildProgress cancel([](const runtime::BuildProgress&) { return false; });
        EXPECT_EQ(t.Build(), err::BuildCancelled);
    }
    EXPECT_EQ(t.RecordsKey(0), 1);
    runtime::ErrorCode nested = err::NoError;
    {
        runtime::ScopedBuildProgress reenter([&](const runtime::BuildProgress&) {
            if (nested == err::NoError) nested = t.BuildKey(0);
            return true;
        });
        EXPECT_EQ(t.Build(), 0);
    }
    EXPECT_EQ(nested, err::BuildInProgress);
    EXPECT_EQ(t.RecordsKey(0), 6);
    EXPECT_EQ(t.Build(), 0);  // nothing left running
}

TEST_F(PelmarDriverTest, DynamicIndexTakesItsComponentsFromTheBuildText) {
    Table t(
        People().Key("PEO:Dyn", key_attr::Index | key_attr::Dynamic, std::vector<std::string>{}));
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x22), 0);
    Put(t, "Alice", 3, 2);
    Put(t, "Bob", 1, 3);
    Put(t, "Cora", 2, 1);
    using Names = std::vector<std::string>;
    ASSERT_EQ(t.BuildDynamic(3, "PEO:Number"), 0);
    EXPECT_EQ(NamesInOrder(t, 3), (Names{"Bob", "Cora", "Alice"}));
    ASSERT_EQ(t.BuildDynamic(3, " - peo:score , +PEO:Name"), 0);
    EXPECT_EQ(NamesInOrder(t, 3), (Names{"Bob", "Alice", "Cora"}));

    // Bad texts are refused and leave the index as it was.
    EXPECT_EQ(t.BuildDynamic(3, "PEO:Nope"), err::InvalidIndexString);
    EXPECT_EQ(t.BuildDynamic(3, "PEO:Number,"), err::InvalidIndexString);
    EXPECT_EQ(t.BuildDynamic(3, "-"), err::InvalidIndexString);
    EXPECT_EQ(t.BuildDynamic(0, "PEO:Number"), err::UnsupportedFunction);
    EXPECT_EQ(NamesInOrder(t, 3), (Names{"Bob", "Alice", "Cora"}));
    EXPECT_EQ(NamesInOrder(t, 0), (Names{"Alice", "Bob", "Cora"}));
}

TEST_F(PelmarDriverTest, SendOptions) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    EXPECT_EQ(t.Send("FLAGS"), "");  // closed table
    ASSERT_EQ(t.Open(0x42), 0);
    EXPECT_EQ(t.Send("FULLBUILD"), "OFF");
    EXPECT_EQ(t.Send("fullbuild=ON"), "ON");
    EXPECT_EQ(t.Send("FULLBUILD"), "ON");
    EXPECT_EQ(t.Build(), 0);
    EXPECT_EQ(t.Send("FULLBUILD"), "OFF");
    EXPECT_EQ(t.Send("FULLBUILD=maybe"), "OFF");
    EXPECT_EQ(t.Send("FLAGS=7"), "7");
    EXPECT_EQ(t.Send("Flags"), "7");
    EXPECT_EQ(t.Send("TCF=" + dir_.File("my.tcf")), dir_.File("my.tcf"));
    EXPECT_EQ(t.Send("TCF"), dir_.File("my.tcf"));
    EXPECT_EQ(t.Send("TCF="), "");
    EXPECT_EQ(t.Send("Recover=10"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), 0);
    t.Close();
    // The flags value is stored with the table.
    ASSERT_EQ(t.Open(0x40), 0);
    EXPECT_EQ(t.Send("FLAGS"), "7");
    EXPECT_EQ(t.Send("PNMQ=" + dir_.File("PEOPLE.PLM")), "UNNAMED");
}

TEST_F(PelmarDriverTest, AWatchEndsWithTheRecordItWasTakenFor) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x42), 0);
    Put(t, "Alice", 1, 1);
    rec_.number = 1;
    t.Watch();
    ASSERT_EQ(t.Get(2), 0);
    rec_.score = 2;
    ASSERT_EQ(t.Put(), 0);
    // A record added afterwards was never read under the watch: changing it is fine.
    Put(t, "Bob", 2, 1);
    rec_.score = 3;
    EXPECT_EQ(t.Put(), 0) << runtime::CurrentErrorText();

    // Nor does a watch outlive the open table.
    rec_.number = 1;
    t.Watch();
    ASSERT_EQ(t.Get(2), 0);
    t.Close();
    ASSERT_EQ(t.Open(0x42), 0);
    Put(t, "Carol", 3, 1);
    rec_.score = 4;
    EXPECT_EQ(t.Put(), 0) << runtime::CurrentErrorText();
}

TEST_F(PelmarDriverTest, HoldingWatchingAndLockingBetweenStations) {
    Table mine(People());
    ASSERT_EQ(mine.Create(), 0);
    ASSERT_EQ(mine.Open(0x42), 0);
    Put(mine, "Alice", 1, 1);
    Put(mine, "Bob", 2, 1);
    Table theirs(People("PELMAR_B"));
    ASSERT_EQ(theirs.Open(0x42), 0);

    // Holding: different records both succeed, the same record gives 43 to the second.
    rec_.number = 1;
    mine.Hold();
    ASSERT_EQ(mine.Get(2), 0);
    rec_.number = 2;
    theirs.Hold();
    ASSERT_EQ(theirs.Get(2), 0);
    rec_.number = 1;
    theirs.Hold();
    EXPECT_EQ(theirs.Get(2), err::RecordIsAlreadyHeld);
    rec_.number = 1;
    ASSERT_EQ(theirs.Get(2), 0);  // reading without holding is fine
    EXPECT_EQ(theirs.Delete(), err::RecordNotAvailable);
    EXPECT_EQ(theirs.Put(), err::AccessDenied);
    ASSERT_EQ(mine.Release(), 0);
    ASSERT_EQ(theirs.Release(), 0);

    // Watching: a change by the other station in between gives 89.
    rec_.number = 1;
    mine.Watch();
    ASSERT_EQ(mine.Get(2), 0);
    rec_.number = 1;
    ASSERT_EQ(theirs.Get(2), 0);
    rec_.score = 5;
    ASSERT_EQ(theirs.Put(), 0);
    rec_.number = 1;
    mine.Watch();
    ASSERT_EQ(mine.Get(2), 0);
    rec_.score = 6;  // only my own buffer changed: fine
    EXPECT_EQ(mine.Put(), 0);
    rec_.number = 1;
    ASSERT_EQ(theirs.Get(2), 0);
    rec_.score = 7;
    ASSERT_EQ(theirs.Put(), 0);
    rec_.score = 8;
    EXPECT_EQ(mine.Put(), err::RecordChanged);
    EXPECT_EQ(runtime::CurrentErrorText(), "Record Changed By Another Station");

    // Table locks.
    ASSERT_EQ(mine.Lock(), 0);
    EXPECT_EQ(theirs.Lock(0), err::FileIsAlreadyLocked);
    EXPECT_EQ(runtime::CurrentErrorText(), "File Is Already Locked");
    ASSERT_EQ(mine.Unlock(), 0);
    EXPECT_EQ(theirs.Lock(0), 0);
    theirs.Unlock();
}

// Moves a virtual clock forward from a second thread while a timed wait runs, and runs
// `at` once the clock has passed `at_ms`.
class ClockMover {
  public:
    ClockMover(std::shared_ptr<runtime::VirtualClockSource> clock, std::int64_t at_ms,
               std::function<void()> at)
        : thread_([this, clock, at_ms, at = std::move(at)] {
              bool done = false;
              while (!stop_) {
                  clock->AdvanceMs(50);
                  if (!done && clock->MonotonicMs() >= at_ms) {
                      done = true;
                      if (at) at();
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~ClockMover() {
        stop_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(PelmarDriverTest, TimedHoldsAndLocksWaitOnTheRuntimeClock) {
    auto clock = std::make_shared<runtime::VirtualClockSource>(runtime::LocalDateTime{});
    runtime::ScopedClockSource scoped(clock);
    Table mine(People());
    ASSERT_EQ(mine.Create(), 0);
    ASSERT_EQ(mine.Open(0x42), 0);
    Put(mine, "Alice", 1, 1);
    Table theirs(People("PELMAR_B"));
    ASSERT_EQ(theirs.Open(0x42), 0);
    rec_.number = 1;
    theirs.Hold();
    ASSERT_EQ(theirs.Get(2), 0);

    // No time limit left: one try.
    rec_.number = 1;
    mine.Hold(0);
    EXPECT_EQ(mine.Get(2), err::RecordIsAlreadyHeld);

    // Held throughout: gives up once the limit has passed on the clock.
    {
        const std::int64_t start = clock->MonotonicMs();
        ClockMover mover(clock, 0, {});
        rec_.number = 1;
        mine.Hold(3);
        EXPECT_EQ(mine.Get(2), err::RecordIsAlreadyHeld);
        EXPECT_GE(clock->MonotonicMs() - start, 3000);
    }
    EXPECT_EQ(mine.Get(2), 0);  // the failed hold was not left requested

    // Released by the other station while waiting: the hold is had.
    {
        ClockMover mover(clock, clock->MonotonicMs() + 1500, [&] { theirs.Release(); });
        rec_.number = 1;
        mine.Hold(30);
        EXPECT_EQ(mine.Get(2), 0);
    }
    rec_.number = 1;
    theirs.Hold();
    EXPECT_EQ(theirs.Get(2), err::RecordIsAlreadyHeld);
    ASSERT_EQ(mine.Release(), 0);

    // Table locks with a limit wait the same way.
    ASSERT_EQ(mine.Lock(), 0);
    {
        const std::int64_t start = clock->MonotonicMs();
        ClockMover mover(clock, 0, {});
        EXPECT_EQ(theirs.Lock(2), err::FileIsAlreadyLocked);
        EXPECT_GE(clock->MonotonicMs() - start, 2000);
    }
    {
        ClockMover mover(clock, clock->MonotonicMs() + 1500, [&] { mine.Unlock(); });
        EXPECT_EQ(theirs.Lock(30), 0);
    }
    theirs.Unlock();
}

TEST_F(PelmarDriverTest, TransactionOverTwoFilesIsAllOrNothing) {
    Table a(People());
    FixedString<200> other(dir_.File("OTHER"));
    Table b(People().NameVariable(other.Span()));
    ASSERT_EQ(a.Create(), 0);
    ASSERT_EQ(b.Create(), 0);
    ASSERT_EQ(a.Open(0x42), 0);
    ASSERT_EQ(b.Open(0x42), 0);

    ASSERT_EQ(runtime::Logout(1, {&a, &b}), 0);
    Put(a, "a1", 1, 0);
    Put(b, "b1", 1, 0);
    ASSERT_EQ(runtime::Rollback(), 0);
    EXPECT_EQ(a.Records(), 0);
    EXPECT_EQ(b.Records(), 0);

    ASSERT_EQ(runtime::Logout(1, {&a, &b}), 0);
    Put(a, "a2", 2, 0);
    Put(b, "b2", 2, 0);
    ASSERT_EQ(runtime::Commit(), 0);
    a.Close();
    b.Close();
    ASSERT_EQ(a.Open(0x40), 0);
    ASSERT_EQ(b.Open(0x40), 0);
    EXPECT_EQ(NamesInOrder(a, 0), std::vector<std::string>{"a2"});
    EXPECT_EQ(NamesInOrder(b, 0), std::vector<std::string>{"b2"});
}

// CLOSE of an enlisted table is refused and loses nothing; a DESTROY that takes a file
// out of the transaction makes its COMMIT fail and commit nothing.
TEST_F(PelmarDriverTest, ClosingInsideATransactionNeverLosesOrCommitsSilently) {
    Table a(People());
    FixedString<200> other(dir_.File("OTHER"));
    Table b(People().NameVariable(other.Span()));
    ASSERT_EQ(a.Create(), 0);
    ASSERT_EQ(b.Create(), 0);
    ASSERT_EQ(a.Open(0x42), 0);
    ASSERT_EQ(b.Open(0x42), 0);
    ASSERT_EQ(runtime::Logout(1, {&a, &b}), 0);
    Put(a, "a1", 1, 0);
    Put(a, "a2", 2, 0);
    Put(b, "b1", 1, 0);
    Put(b, "b2", 2, 0);
    EXPECT_EQ(b.Close(), err::LogoutAlreadyActive);
    Put(a, "a3", 3, 0);
    ASSERT_EQ(runtime::Commit(), 0);
    EXPECT_EQ(a.Records(), 3);
    EXPECT_EQ(b.Records(), 2);
    EXPECT_EQ(b.Close(), 0);

    Table c(People().NameVariable(other.Span()));
    ASSERT_EQ(c.Open(0x42), 0);
    ASSERT_EQ(runtime::Logout(1, {&a, &c}), 0);
    Put(c, "c1", 5, 0);
    ASSERT_EQ(c.Destroy(), 0);
    Put(a, "a4", 4, 0);
    EXPECT_EQ(runtime::Commit(), err::UnableToLogTransaction);
    EXPECT_EQ(a.Records(), 3);
    ASSERT_EQ(b.Open(0x42), 0);
    EXPECT_EQ(b.Records(), 2);
}

TEST_F(PelmarDriverTest, PositionsResetAndRereadSequences) {
    Table t(People());
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x42), 0);
    for (int i = 0; i < 5; ++i) Put(t, ("p" + std::to_string(i)).c_str(), i, i);
    t.SetKey(0);
    t.Next();
    t.Next();
    const std::string at_p1 = t.PositionKey(0);
    const std::string file_pos = t.Position();
    t.Next();
    ASSERT_EQ(t.ResetKey(0, at_p1), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "p1");
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "p2");
    ASSERT_EQ(t.Reget(file_pos), 0);
    EXPECT_EQ(rec_.name.Clip(), "p1");
    const auto state = t.GetState();
    t.SetFile();
    t.Next();
    ASSERT_EQ(t.RestoreState(state), 0);
    EXPECT_EQ(rec_.name.Clip(), "p1");
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "p3");  // the sequence went on from p2
    t.FreeState(state);
    t.SetKey(0);
    ASSERT_EQ(t.Skip(5), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.Next(), err::RecordNotAvailable);
    ASSERT_EQ(t.Empty(), 0);
    EXPECT_EQ(t.Records(), 0);
    EXPECT_EQ(NamesInOrder(t, 1).size(), 0u);
}

TEST_F(PelmarDriverTest, DamagedFileGivesFileSystemErrorWithTheFault) {
    {
        Table t(People());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(0x42), 0);
        for (int i = 0; i < 30; ++i) Put(t, ("n" + std::to_string(i)).c_str(), i, i);
    }
    // Scribble over every page behind the header.
    const std::string path = dir_.File("PEOPLE.PLM");
    const auto size = std::filesystem::file_size(path);
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(512);
        f << std::string(size - 512, '\x5A');
    }
    Table t(People());
    const auto code = t.Open(0x42);
    EXPECT_EQ(code, err::FileSystemError);
    EXPECT_EQ(runtime::CurrentErrorText(), "File System Error");
    EXPECT_EQ(runtime::CurrentFileErrorText(), "Possible data corruption in file");
    EXPECT_FALSE(runtime::CurrentFileErrorCode().empty());
}

}  // namespace
}  // namespace zelt::storage

namespace zelt::storage {
namespace {

#pragma pack(push, 1)
struct SharedRecord {
    FixedString<10> name;
    std::int32_t number;
};
#pragma pack(pop)

// Another process holds a record and changes another one; this process sees both.
TEST(PelmarTwoProcessTest, HoldsAndChangesReachAnotherProcess) {
    RegisterPelmarDriver();
    testing_support::TestDir dir;
    FixedString<200> name(dir.File("SHARED"));
    SharedRecord rec{};
    auto declare = [&] {
        return TableDeclaration("SHARED", "SH", "PELMAR")
            .NameVariable(name.Span())
            .Record({reinterpret_cast<char*>(&rec), sizeof rec})
            .String("SH:Name", 0, 10)
            .Long("SH:Number", 10)
            .Key("SH:NumberKey", 0, {"SH:Number"});
    };
    Table table(declare());
    ASSERT_EQ(table.Create(), 0);
    ASSERT_EQ(table.Open(0x42), 0);
    for (int i = 1; i <= 2; ++i) {
        rec.name = "r" + std::to_string(i);
        rec.number = i;
        ASSERT_EQ(table.Add(), 0);
    }
    ASSERT_EQ(table.Close(), 0);  // each process opens the file on its own

    int to_parent[2];
    int to_child[2];
    ASSERT_EQ(::pipe(to_parent), 0);
    ASSERT_EQ(::pipe(to_child), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // The other station: hold record 1, change record 2, report, wait, leave.
        char signal = 'x';
        (void)!::read(to_child[0], &signal, 1);
        Table other(declare());
        int status = other.Open(0x42);
        rec.number = 1;
        other.Hold();
        if (status == 0) status = other.Get(0);
        rec.number = 2;
        if (status == 0) status = other.Get(0);
        rec.name = "theirs";
        if (status == 0) status = other.Put();
        signal = status == 0 ? 'k' : 'f';
        (void)!::write(to_parent[1], &signal, 1);
        (void)!::read(to_child[0], &signal, 1);
        other.Close();
        ::_exit(0);
    }
    ASSERT_EQ(table.Open(0x42), 0);
    rec.number = 2;
    table.Watch();
    ASSERT_EQ(table.Get(0), 0);
    char go = 'g';
    ASSERT_EQ(::write(to_child[1], &go, 1), 1);
    char reply = 0;
    ASSERT_EQ(::read(to_parent[0], &reply, 1), 1);
    EXPECT_EQ(reply, 'k');
    rec.number = 1;
    table.Hold();
    EXPECT_EQ(table.Get(0), err::RecordIsAlreadyHeld);
    // Record 2 (still current) was read and watched before the other process changed it.
    rec.number = 2;
    rec.name = "mine";
    EXPECT_EQ(table.Put(), err::RecordChanged);
    ASSERT_EQ(::write(to_child[1], &go, 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    rec.number = 1;
    table.Hold();
    EXPECT_EQ(table.Get(0), 0);  // released when the other process closed
    rec.number = 2;
    ASSERT_EQ(table.Get(0), 0);
    EXPECT_EQ(rec.name.Clip(), "theirs");
    for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(fd);
}

}  // namespace
}  // namespace zelt::storage

#include "runtime/profile/profile.hpp"

namespace zelt::storage {
namespace {

// A per-user profile holding only the driver's trace section.
class TraceProfile final : public runtime::ProfileService {
  public:
    TraceProfile(std::string file, bool details) : file_(std::move(file)), details_(details) {}
    std::optional<std::string> Read(std::string_view, std::string_view section,
                                    std::string_view key) override {
        if (section != "VXPELMAR") return std::nullopt;
        if (key == "Profile") return "1";
        if (key == "TraceFile") return file_;
        if (key == "Details" && details_) return "1";
        return std::nullopt;
    }
    bool Write(std::string_view, std::string_view, std::string_view,
               std::optional<std::string_view>) override {
        return false;
    }
    std::vector<std::string> Keys(std::string_view, std::string_view) override { return {}; }

  private:
    std::string file_;
    bool details_;
};

std::vector<std::string> TraceLines(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(PelmarTraceTest, TraceSettingsComeFromTheProfile) {
    EXPECT_FALSE(ReadPelmarTraceSettings().enabled);
    EXPECT_EQ(ReadPelmarTraceSettings().file, "PELMAR.LOG");
    testing_support::TestDir dir;
    runtime::ScopedProfileService profile(
        std::make_shared<TraceProfile>(dir.File("trace.log"), false));
    runtime::RegisterDriver(std::make_shared<PelmarDriver>("PELMAR_TRACED"));
    FixedString<200> name(dir.File("TRACED"));
    char record[4] = {};
    Table t(TableDeclaration("TRACED", "TR", "PELMAR_TRACED")
                .NameVariable(name.Span())
                .Record({record, sizeof record})
                .Long("TR:Number", 0));
    ASSERT_EQ(t.Create(), 0);
    ASSERT_EQ(t.Open(0x42), 0);
    ASSERT_EQ(t.Add(), 0);
    t.Close();
    const auto lines = TraceLines(dir.File("trace.log"));
    ASSERT_GE(lines.size(), 3u);
    // "yyyy-mm-dd hh:mm:ss.mmm PELMAR " and the operation.
    EXPECT_EQ(lines[0].substr(4, 1) + lines[0].substr(13, 1) + lines[0].substr(19, 1), "-:.");
    EXPECT_EQ(lines[0].substr(24).rfind("PELMAR CREATE " + dir.File("TRACED.PLM") + " -> 0", 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[1].substr(24).rfind("PELMAR OPEN ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].find("record"), std::string::npos) << "no details asked for";
}

TEST(PelmarTraceTest, DetailsShowRecordsExceptOfCipheredTablesThatDoNotAllowThem) {
    testing_support::TestDir dir;
    runtime::ScopedProfileService profile(
        std::make_shared<TraceProfile>(dir.File("details.log"), true));
    runtime::RegisterDriver(std::make_shared<PelmarDriver>("PELMAR_DETAILS"));
    const auto add_one = [&](const std::string& file, const std::string& options, bool ciphered) {
        FixedString<200> name(dir.File(file));
        char record[6] = {'a', 'b', '\\', '\x01', 'z', ' '};
        TableDeclaration d("T", "T", "PELMAR_DETAILS");
        d.NameVariable(name.Span()).Record({record, sizeof record}).String("T:Text", 0, 6);
        if (!options.empty()) d.DriverOptions(options);
        if (ciphered) d.Owner("secret", true);
        Table t(std::move(d));
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(0x42), 0);
        ASSERT_EQ(t.Add(), 0);
        t.Close();
    };
    add_one("PLAIN", "", false);
    add_one("HIDDEN", "", true);
    add_one("SHOWN", "/ALLOWDETAILS", true);
    std::vector<std::string> adds;
    for (const auto& line : TraceLines(dir.File("details.log")))
        if (line.find(" ADD ") != std::string::npos) adds.push_back(line);
    ASSERT_EQ(adds.size(), 3u);
    EXPECT_NE(adds[0].find(" [ab\\\\\\x01z ]"), std::string::npos) << adds[0];
    EXPECT_EQ(adds[1].find("record"), std::string::npos) << adds[1];
    EXPECT_NE(adds[2].find("[ab"), std::string::npos) << adds[2];
}

}  // namespace
}  // namespace zelt::storage
