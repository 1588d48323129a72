#include "framework/file_manager.hpp"

#include "manager_fixture.hpp"

namespace zelt::framework::testing {
namespace {

class FileManagerTest : public ManagerTest {
  protected:
    void SetUp() override {
        parent.Init(t->Parent, errors);
        parent.AddKey(0, "Parent name");
        parent.AddKey(1, "Parent number", 1);
        lines.Init(t->Lines, errors);
        lines.AddKey(0, "Order line", 2);
    }
    void TearDown() override {
        parent.Kill();
        lines.Kill();
    }
    // Stores a parent record directly, as another program would have.
    void StoreParent(std::uint32_t number, const std::string& name, std::int32_t ref) {
        ParentRecord r{};
        r.Name = name;
        r.Ref = ref;
        auto& f = MemoryDriver::FileNamed("parent.mem");
        f.records[number] = std::string(reinterpret_cast<const char*>(&r), sizeof r);
        f.next_record = std::max(f.next_record, number + 1);
    }

    FileManager parent;
    FileManager lines;
};

TEST_F(FileManagerTest, CountedOpenAndLazyOpen) {
    MemoryDriver::FileNamed("parent.mem");
    parent.Settings.LazyOpen = false;
    EXPECT_EQ(parent.Open(), LevelOk);
    EXPECT_EQ(parent.Open(), LevelOk);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").open_count, 1);
    parent.Close();
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").open_count, 1);
    parent.Close();
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").open_count, 0);
    parent.Close();  // one close too many is harmless
    EXPECT_EQ(parent.State().Opened, 0);

    // Lazy: the open touches nothing; the first record operation opens and keeps the buffer.
    parent.Settings.LazyOpen = true;
    EXPECT_EQ(parent.Open(), LevelOk);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").physical_opens, 1);
    t->PAR.Name = "Kept";
    EXPECT_EQ(parent.Insert(), LevelOk);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").physical_opens, 2);
    EXPECT_EQ(t->PAR.Name.Clip(), "Kept");
    EXPECT_EQ(t->PAR.Ref, 1);
    parent.Close();
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").open_count, 0);
    EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(FileManagerTest, UseBeforeOpenEndsTheProgram) {
    EXPECT_EQ(parent.Next(), LevelFatal);
    EXPECT_EQ(halts, (std::vector<std::string>{"3:File Usage Error"}));
    EXPECT_EQ(presenter.shown.at(0).text,
              "Attempt to use file (parent.mem) before it was opened  Press OK to end this "
              "application");
}

TEST_F(FileManagerTest, OpeningRecoversLocksFallsBackToReadingAndCreates) {
    // A locked file: "Recover=10" once, before the second open of the attempt.
    MemoryDriver::FileNamed("parent.mem").locked = true;
    ASSERT_EQ(parent.Open(true), LevelOk);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").sends,
              (std::vector<std::string>{"Recover=10"}));
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").open_modes.size(), 2u);
    parent.Close();

    // Read-only: "Access Denied" once, then the table works for reading.
    MemoryDriver::FileNamed("parent.mem").read_only = true;
    ASSERT_EQ(parent.Open(true), LevelOk);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Access Denied"}));
    EXPECT_EQ(presenter.shown[0].text,
              "Could not get write access to parent.mem so trying read-only.");
    EXPECT_EQ(parent.Settings.OpenMode, 0x40);
    parent.Close();
    ASSERT_EQ(parent.Open(true), LevelOk);
    EXPECT_EQ(presenter.shown.size(), 1u);
    parent.Close();

    // Missing: created, then opened.
    ASSERT_EQ(lines.Open(true), LevelOk);
    EXPECT_TRUE(MemoryDriver::Exists("lines.mem"));
    lines.Close();
    EXPECT_TRUE(halts.empty());
}

TEST_F(FileManagerTest, OpeningFailuresByCause) {
    // Missing with creation off: "File Access Error", fatal.
    lines.Settings.Create = false;
    EXPECT_EQ(lines.Open(true), LevelFatal);
    EXPECT_EQ(halts, (std::vector<std::string>{"3:File Access Error"}));
    EXPECT_EQ(lines.AttemptOpen(true), LevelNotify);
    EXPECT_EQ(lines.State().LastError, msg::OpenFailed);

    // Creation fails: "File Creation Error".
    lines.Settings.Create = true;
    MemoryDriver::FileNamed("lines.mem").exists = false;
    MemoryDriver::FileNamed("lines.mem").create_fails = true;
    EXPECT_EQ(lines.AttemptOpen(true), LevelNotify);
    EXPECT_EQ(lines.State().LastError, msg::CreateError);

    // Damaged keys: reported and rebuilt by Open, only noted by AttemptOpen.
    MemoryDriver::FileNamed("parent.mem").keys_damaged = true;
    EXPECT_EQ(parent.AttemptOpen(true), LevelNotify);
    EXPECT_EQ(parent.State().LastError, msg::RebuildKey);
    presenter.shown.clear();
    EXPECT_EQ(parent.Open(true), LevelOk);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Invalid Key"}));
    parent.Close();
    MemoryDriver::FileNamed("parent.mem").keys_damaged = true;
    MemoryDriver::FileNamed("parent.mem").build_fails = true;
    halts.clear();
    parent.Open(true);
    EXPECT_EQ(halts, (std::vector<std::string>{"3:Key was not built"}));
}

TEST_F(FileManagerTest, AutoNumbering) {
    ASSERT_EQ(parent.Open(), LevelOk);
    t->PAR.Name = "First";
    ASSERT_EQ(parent.Insert(), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 1);
    StoreParent(7, "Stored", 41);
    t->PAR.Name = "Second";
    t->PAR.Ref = 0;
    ASSERT_EQ(parent.Insert(), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 42);

    // Reserving at PrepareRecord adds the record at once; the insert then writes it.
    ASSERT_EQ(parent.PrepareRecord(), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 43);
    EXPECT_TRUE(parent.State().AutoIncDone);
    t->PAR.Name = "Third";
    ASSERT_EQ(parent.Insert(), LevelOk);
    EXPECT_FALSE(parent.State().AutoIncDone);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 4u);

    // A cancelled insert gives its number back.
    ASSERT_EQ(parent.PrepareRecord(), LevelOk);
    EXPECT_EQ(parent.ReleaseAutoNumber(), LevelOk);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 4u);
    parent.Close();

    // Within a prefix: each order numbers its own lines from 1.
    ASSERT_EQ(lines.Open(), LevelOk);
    for (const char* order : {"A", "B", "A", "A", "B"}) {
        t->LIN.Order = order;
        t->LIN.Line = 0;
        ASSERT_EQ(lines.Insert(), LevelOk);
    }
    EXPECT_EQ(t->LIN.Line, 2);
    t->LIN.Order = "A";
    ASSERT_EQ(lines.Insert(), LevelOk);
    EXPECT_EQ(t->LIN.Line, 4);
    t->LIN.Order = "0";  // below every other prefix
    ASSERT_EQ(lines.Insert(), LevelOk);
    EXPECT_EQ(t->LIN.Line, 1);
    lines.Close();
    EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(FileManagerTest, AutoNumberingGivesUpAfterThreeMissesUnlessToldToGoOn) {
    ASSERT_EQ(parent.Open(), LevelOk);
    MemoryDriver::FileNamed("parent.mem").adds_to_fail = 4;
    presenter.answers = {button::Yes, button::No};
    t->PAR.Name = "Busy";
    // Three misses, Yes, one more miss, then the add goes through.
    EXPECT_EQ(parent.Insert(), LevelOk);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Auto Increment Error"}));
    EXPECT_EQ(presenter.shown[0].text,
              "Attempts to automatically number this record have failed.|File: parent.mem|"
              "Error: Creates Duplicate Key (40).|Try Again?");

    MemoryDriver::FileNamed("parent.mem").adds_to_fail = 3;
    presenter.answers = {button::No};
    t->PAR.Name = "Busier";
    EXPECT_EQ(parent.Insert(), LevelNotify);
    EXPECT_EQ(presenter.shown.size(), 2u);

    MemoryDriver::FileNamed("parent.mem").adds_to_fail = 3;
    EXPECT_EQ(parent.AttemptInsert(), LevelNotify);
    EXPECT_EQ(parent.State().LastError, msg::RetryAutoInc);
    EXPECT_EQ(presenter.shown.size(), 2u);
    parent.Close();
}

TEST_F(FileManagerTest, DuplicateInsertNamesTheKeyDescription) {
    ASSERT_EQ(parent.Open(), LevelOk);
    t->PAR.Name = "Same";
    ASSERT_EQ(parent.Insert(), LevelOk);
    t->PAR.Name = "SAME";
    t->PAR.Ref = 0;
    EXPECT_EQ(parent.Insert(), LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "Duplicate Key Error");
    EXPECT_EQ(presenter.shown[0].text,
              "Adding this record creates a duplicate entry for the key: Parent name");
    EXPECT_EQ(parent.AttemptInsert(), LevelNotify);
    EXPECT_EQ(parent.State().LastError, msg::DuplicateKey);
    EXPECT_EQ(presenter.shown.size(), 1u);
    parent.Close();
}

TEST_F(FileManagerTest, UpdateAfterAnotherStationChangedTheRecord) {
    ASSERT_EQ(parent.Open(), LevelOk);
    t->PAR.Name = "Mine";
    ASSERT_EQ(parent.Insert(), LevelOk);
    t->Parent.Watch();
    ASSERT_EQ(parent.Fetch(0), LevelOk);
    StoreParent(1, "Theirs", 1);  // the other station's change
    t->PAR.Name = "Changed";
    EXPECT_EQ(parent.Update(), LevelNotify);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Record Was Not Updated"}));
    EXPECT_EQ(presenter.shown[0].text, "This record was changed by another station.");
    EXPECT_EQ(t->PAR.Name.Clip(), "Theirs");

    // The re-read armed the watch again: the next change is caught as well, from a form.
    StoreParent(1, "Theirs again", 1);
    t->PAR.Name = "Changed";
    EXPECT_EQ(parent.Update(UpdateReport::Form), LevelNotify);
    EXPECT_EQ(parent.State().LastError, msg::ChangedByOtherForm);
    EXPECT_EQ(t->PAR.Name.Clip(), "Theirs again");

    // Without a change in between the update goes through.
    t->PAR.Name = "Finally";
    EXPECT_EQ(parent.Update(), LevelOk);
    parent.Close();
}

TEST_F(FileManagerTest, ReadingInSequenceAndFetching) {
    ASSERT_EQ(parent.Open(), LevelOk);
    for (const char* name : {"b", "a", "c"}) {
        t->PAR.Name = name;
        t->PAR.Ref = 0;
        ASSERT_EQ(parent.Insert(), LevelOk);
    }
    t->Parent.SetKey(0);
    std::string order;
    while (parent.Next() == LevelOk) order += t->PAR.Name.Clip();
    EXPECT_EQ(order, "abc");
    EXPECT_TRUE(parent.State().AtEOF);
    EXPECT_TRUE(presenter.shown.empty());

    t->PAR.Name = "B";
    EXPECT_EQ(parent.Fetch(0), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 1);
    t->PAR.Name = "zz";
    EXPECT_EQ(parent.FetchOrClear(0), LevelNotify);
    EXPECT_EQ(t->PAR.Name.Clip(), "");
    parent.Close();
}

TEST_F(FileManagerTest, SnapshotsKeepBufferAndPosition) {
    ASSERT_EQ(parent.Open(), LevelOk);
    for (const char* name : {"one", "two"}) {
        t->PAR.Name = name;
        t->PAR.Ref = 0;
        ASSERT_EQ(parent.Insert(), LevelOk);
    }
    t->PAR.Name = "one";
    ASSERT_EQ(parent.Fetch(0), LevelOk);
    std::int32_t first = parent.SaveSnapshot();
    std::int32_t second = parent.SaveSnapshot();
    EXPECT_EQ(second, first + 2);  // buffer, position
    EXPECT_TRUE(parent.SameAsSnapshot(first));
    t->PAR.Name = "two";
    ASSERT_EQ(parent.Fetch(0), LevelOk);
    EXPECT_FALSE(parent.SameAsSnapshot(first));
    parent.RestoreSnapshot(first);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(t->PAR.Name.Clip(), "one");
    EXPECT_EQ(parent.GetPosition(), "1");  // the saved record is current again
    t->PAR.Name = "x";
    parent.RestoreSnapshot(second, false);
    EXPECT_EQ(t->PAR.Name.Clip(), "x");
    EXPECT_FALSE(parent.SameAsSnapshot(2));
    parent.Close();
}

}  // namespace
}  // namespace zelt::framework::testing
