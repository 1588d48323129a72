#include "framework/relation_tracker.hpp"

#include <cstring>

#include "manager_fixture.hpp"

namespace zelt::framework::testing {
namespace {

// Parent -(Ref)-> Child -(Name)-> Grand, with the modes chosen per test.
class RelationTrackerTest : public ManagerTest {
  protected:
    void Relate(std::uint8_t child_update, std::uint8_t child_delete, std::uint8_t grand_update,
                std::uint8_t grand_delete, bool use_logout = false) {
        parent_fm.Init(t->Parent, errors);
        parent_fm.AddKey(0, "Parent name");
        parent_fm.AddKey(1, "Parent number", 1);
        child_fm.Init(t->Child, errors);
        child_fm.AddKey(0, "Child name");
        child_fm.AddKey(1, "Child parent");
        grand_fm.Init(t->Grand, errors);
        grand_fm.AddKey(0, "Grand child");

        parent.Init(parent_fm, use_logout);
        child.Init(child_fm, use_logout);
        grand.Init(grand_fm, use_logout);
        parent.AddRelation(child, child_update, child_delete, 1);
        ASSERT_TRUE(parent.AddLink("PAR:Ref", "CHI:Ref"));
        child.AddRelation(parent);
        ASSERT_TRUE(child.AddLink("CHI:Ref", "PAR:Ref"));
        child.AddRelation(grand, grand_update, grand_delete, 0);
        ASSERT_TRUE(child.AddLink("CHI:Name", "GRA:ChildName"));
        grand.AddRelation(child);
        ASSERT_TRUE(grand.AddLink("GRA:ChildName", "CHI:Name"));
        EXPECT_FALSE(grand.AddLink("GRA:Nothing", "CHI:Name"));

        // Two parents; parent 1 has children a and b, parent 2 has c; a has two grand
        // children, c one.
        ASSERT_EQ(parent.OpenAll(), LevelOk);
        AddParent("P1");
        AddParent("P2");
        AddChild("a", 1);
        AddChild("b", 1);
        AddChild("c", 2);
        AddGrand("a", "x");
        AddGrand("a", "y");
        AddGrand("c", "z");
        ASSERT_EQ(parent.CloseAll(), LevelOk);
        presenter.shown.clear();
    }
    void TearDown() override {
        for (RelationTracker* r : {&parent, &child, &grand}) {
            if (r->Me) r->Me->Kill();
            r->Kill();
        }
    }
    void AddParent(const char* name) {
        t->PAR.Name = name;
        t->PAR.Ref = 0;
        ASSERT_EQ(parent_fm.Insert(), LevelOk);
    }
    void AddChild(const char* name, std::int32_t ref) {
        t->CHI.Name = name;
        t->CHI.Ref = ref;
        ASSERT_EQ(child_fm.Insert(), LevelOk);
    }
    void AddGrand(const char* child_name, const char* note) {
        t->GRA.ChildName = child_name;
        t->GRA.Note = note;
        ASSERT_EQ(grand_fm.Insert(), LevelOk);
    }
    // "name:ref" of every child, in name order.
    std::string Children() {
        std::string out;
        for (const auto& [n, image] : MemoryDriver::FileNamed("child.mem").records) {
            ChildRecord r;
            std::memcpy(&r, image.data(), sizeof r);
            out += r.Name.Clip() + ":" + std::to_string(r.Ref) + " ";
        }
        return out;
    }
    std::string Grands() {
        std::string out;
        for (const auto& [n, image] : MemoryDriver::FileNamed("grand.mem").records) {
            GrandRecord r;
            std::memcpy(&r, image.data(), sizeof r);
            out += r.ChildName.Clip() + "/" + r.Note.Clip() + " ";
        }
        return out;
    }
    // Loads a parent by name for change, the way a form does.
    void LoadParent(const char* name) {
        ASSERT_EQ(parent.OpenAll(), LevelOk);
        t->PAR.Name = name;
        ASSERT_EQ(parent_fm.Fetch(0), LevelOk);
        parent.SaveLinks();
    }
    void LoadChild(const char* name) {
        ASSERT_EQ(child.OpenAll(), LevelOk);
        t->CHI.Name = name;
        ASSERT_EQ(child_fm.Fetch(0), LevelOk);
        child.SaveLinks();
    }

    FileManager parent_fm, child_fm, grand_fm;
    RelationTracker parent, child, grand;
};

TEST_F(RelationTrackerTest, OpenAllReachesEveryTableOnceAcrossCycles) {
    Relate(ModeNone, ModeNone, ModeNone, ModeNone);
    ASSERT_EQ(grand.OpenAll(), LevelOk);
    EXPECT_EQ(parent_fm.State().Opened, 1);
    EXPECT_EQ(child_fm.State().Opened, 1);
    EXPECT_EQ(grand_fm.State().Opened, 1);
    EXPECT_TRUE(grand_fm.State().Used);    // the top is made usable at once
    EXPECT_FALSE(parent_fm.State().Used);  // the others open lazily
    ASSERT_EQ(grand.CloseAll(), LevelOk);
    EXPECT_EQ(parent_fm.State().Opened, 0);
    EXPECT_EQ(MemoryDriver::FileNamed("grand.mem").open_count, 0);

    parent.SetQuickScan(true, 2);
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").sends.back(), "QUICKSCAN=on");
    EXPECT_EQ(MemoryDriver::FileNamed("child.mem").sends.back(), "QUICKSCAN=on");
    // Propagation 2 goes only where this side holds the key: not from child back to parent.
    child.SetQuickScan(false, 2);
    EXPECT_EQ(MemoryDriver::FileNamed("grand.mem").sends.back(), "QUICKSCAN=off");
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").sends.back(), "QUICKSCAN=on");
}

TEST_F(RelationTrackerTest, CascadeUpdateReachesGrandChildren) {
    Relate(ModeCascade, ModeNone, ModeCascade, ModeNone);
    LoadChild("a");
    t->CHI.Name = "A2";
    EXPECT_EQ(child.Update(), LevelOk);
    EXPECT_EQ(Grands(), "A2/x A2/y c/z ");
    child.CloseAll();

    LoadParent("P1");
    t->PAR.Ref = 10;
    EXPECT_EQ(parent.Update(), LevelOk);
    EXPECT_EQ(Children(), "A2:10 b:10 c:2 ");
    EXPECT_EQ(t->PAR.Ref, 10);
    EXPECT_EQ(t->PAR.Name.Clip(), "P1");
    parent.CloseAll();
    EXPECT_TRUE(presenter.shown.empty());
}

// A cascade copies the parent's link into the child's: from a narrower field into a wider
// one the child's old tail is blanked, never left behind the new value.
TEST_F(ManagerTest, ANarrowerLinkCascadedIntoAWiderFieldBlanksTheOldTail) {
    LinkPairs links;
    links.Add(t->Lines, 0, t->Grand, 1);  // LIN:Order (4) into GRA:Note (10)
    std::memcpy(&t->GRA.Note, "LONGERNOTE", 10);
    std::memcpy(&t->LIN.Order, "AB  ", 4);
    links.LeftIntoRight();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&t->GRA.Note), 10), "AB        ");
    // The saved value, as a cascade looks for the children, is blanked the same way.
    links.LeftIntoSaved();
    std::memcpy(&t->GRA.Note, "LONGERNOTE", 10);
    links.SavedIntoRight();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&t->GRA.Note), 10), "AB        ");
    EXPECT_TRUE(links.RightEqualsSaved());
}

TEST_F(RelationTrackerTest, ClearOnUpdateAndUnchangedLinksTouchNothing) {
    Relate(ModeClear, ModeNone, ModeNone, ModeNone);
    LoadParent("P1");
    t->PAR.Name = "Renamed";  // not a linking field
    EXPECT_EQ(parent.Update(), LevelOk);
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    parent.CloseAll();

    LoadParent("Renamed");
    t->PAR.Ref = 7;
    EXPECT_EQ(parent.Update(), LevelOk);
    EXPECT_EQ(Children(), "a:0 b:0 c:2 ");
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, RestrictedUpdateRefusesNamingTheChildFile) {
    Relate(ModeRestrict, ModeNone, ModeNone, ModeNone);
    LoadParent("P2");
    t->PAR.Ref = 9;
    EXPECT_EQ(parent.Update(), LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "Referential Integrity Update Error");
    EXPECT_EQ(presenter.shown[0].text,
              "This record is referenced from the file child.mem. Linking field(s) have been "
              "restricted from change and have been reset to original values.");
    EXPECT_EQ(t->PAR.Ref, 2);  // the buffer shows the stored key again
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    // And the stored parent kept it: its children are not left pointing at nothing.
    t->PAR.Name = "P2";
    ASSERT_EQ(parent_fm.Fetch(0), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 2);
    parent.CloseAll();
    EXPECT_EQ(child_fm.State().Opened, 0);
}

TEST_F(RelationTrackerTest, RestrictedUpdateAllowsOtherFieldsWithChildren) {
    Relate(ModeRestrict, ModeNone, ModeNone, ModeNone);
    LoadParent("P2");
    t->PAR.Name = "P2 renamed";  // not a linking field
    EXPECT_EQ(parent.Update(), LevelOk);
    EXPECT_TRUE(presenter.shown.empty());
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    t->PAR.Name = "P2 renamed";
    EXPECT_EQ(parent_fm.Fetch(0), LevelOk);
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, CascadeDeleteGoesDownTheTree) {
    Relate(ModeNone, ModeCascade, ModeNone, ModeCascade);
    LoadParent("P1");
    EXPECT_EQ(parent.Delete(true), LevelOk);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Confirm Delete"}));
    EXPECT_EQ(Children(), "c:2 ");
    EXPECT_EQ(Grands(), "c/z ");
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 1u);
    parent.CloseAll();

    // Saying No to the confirmation deletes nothing.
    LoadParent("P2");
    presenter.answers = {button::No};
    EXPECT_EQ(parent.Delete(true), LevelNotify);
    EXPECT_EQ(Children(), "c:2 ");
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, ClearOnDeleteKeepsChildrenWithoutLinks) {
    Relate(ModeNone, ModeClear, ModeNone, ModeNone);
    LoadParent("P1");
    EXPECT_EQ(parent.Delete(false), LevelOk);
    EXPECT_EQ(Children(), "a:0 b:0 c:2 ");
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, RestrictedDeleteAsksToRetry) {
    Relate(ModeNone, ModeRestrict, ModeNone, ModeNone);
    LoadParent("P2");
    presenter.answers = {button::Yes, button::No};
    EXPECT_EQ(parent.Delete(false), LevelNotify);
    EXPECT_EQ(
        presenter.Captions(),
        (std::vector<std::string>{"Referential Integrity Delete Error", "Record Delete Error",
                                  "Referential Integrity Delete Error", "Record Delete Error"}));
    EXPECT_EQ(presenter.shown[0].text,
              "This record is referenced from the file child.mem. This record cannot be deleted "
              "while these references exist.");
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 2u);
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, FailureDeepInTheTreeLeavesNothingBehindUnderLogout) {
    // Deleting P1 cascades to a and b; a's grand children refuse. Under a transaction the
    // whole deletion is undone; without one the changes made before the refusal stay.
    Relate(ModeNone, ModeCascade, ModeNone, ModeRestrict, true);
    // a (read first) has no grand children and goes; b has one and refuses.
    auto& grands = MemoryDriver::FileNamed("grand.mem").records;
    grands.erase(1);
    grands.erase(2);
    ASSERT_EQ(grand.OpenAll(), LevelOk);
    AddGrand("b", "w");
    grand.CloseAll();
    LoadParent("P1");
    presenter.answers = {button::Yes, button::No};
    EXPECT_EQ(parent.Delete(false), LevelNotify);
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    EXPECT_EQ(Grands(), "c/z b/w ");
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 2u);
    parent.CloseAll();
    EXPECT_FALSE(runtime::TransactionActive());

    parent.UseLogout = false;
    LoadParent("P1");
    presenter.answers = {button::No};
    EXPECT_EQ(parent.Delete(false), LevelNotify);
    EXPECT_EQ(Children(), "b:1 c:2 ");
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, FailedCascadeUpdateRollsBackUnderLogoutOnly) {
    Relate(ModeCascade, ModeNone, ModeNone, ModeNone, true);
    MemoryDriver::FileNamed("child.mem").puts_before_failure = 1;  // b cannot be written
    LoadParent("P1");
    t->PAR.Ref = 5;
    EXPECT_EQ(parent.Update(), LevelNotify);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Record was not updated"}));
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    EXPECT_EQ(t->PAR.Ref, 1);
    t->PAR.Name = "P1";
    ASSERT_EQ(parent_fm.Fetch(0), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 1);  // the parent's own change went too
    parent.CloseAll();

    // Without a transaction what was changed before the failure stays.
    parent.UseLogout = false;
    MemoryDriver::FileNamed("child.mem").puts_before_failure = 1;
    LoadParent("P1");
    t->PAR.Ref = 5;
    EXPECT_EQ(parent.Update(), LevelNotify);
    EXPECT_EQ(Children(), "a:5 b:1 c:2 ");
    parent.CloseAll();
}

// A commit the driver refuses is a failure, never a success, and changes nothing.
TEST_F(RelationTrackerTest, RefusedCommitOfAnUpdateIsReported) {
    Relate(ModeCascade, ModeNone, ModeNone, ModeNone, true);
    MemoryDriver::SetCommitFails(true);
    LoadParent("P1");
    t->PAR.Ref = 5;
    EXPECT_EQ(parent.Update(), LevelNotify);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Transaction cancelled"}));
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    EXPECT_FALSE(runtime::TransactionActive());
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, RefusedCommitOfADeletionIsReported) {
    Relate(ModeNone, ModeCascade, ModeNone, ModeNone, true);
    MemoryDriver::SetCommitFails(true);
    LoadParent("P1");
    presenter.answers = {button::No};  // no retry
    EXPECT_EQ(parent.Delete(false), LevelNotify);
    EXPECT_EQ(presenter.Captions().front(), "Transaction cancelled");
    EXPECT_EQ(Children(), "a:1 b:1 c:2 ");
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 2u);
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, DriverWithoutTransactionsRunsWithoutOne) {
    MemoryDriver::SetTransactions(false);
    Relate(ModeNone, ModeCascade, ModeNone, ModeNone, true);
    LoadParent("P1");
    EXPECT_EQ(parent.Delete(false), LevelOk);
    EXPECT_FALSE(parent.UseLogout);
    EXPECT_EQ(Children(), "c:2 ");
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, TransactionLeftWithoutDecisionRollsBack) {
    Relate(ModeNone, ModeNone, ModeNone, ModeNone);
    ASSERT_EQ(parent.OpenAll(), LevelOk);
    runtime::Table* const tables[] = {&t->Parent};
    {
        TrackerTransaction tx;
        ASSERT_EQ(tx.Begin(tables), 0);
        AddParent("P3");
    }
    EXPECT_FALSE(runtime::TransactionActive());
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 2u);
    {
        TrackerTransaction tx;
        ASSERT_EQ(tx.Begin(tables), 0);
        AddParent("P3");
        tx.Commit();
    }
    EXPECT_EQ(MemoryDriver::FileNamed("parent.mem").records.size(), 3u);
    parent.CloseAll();
}

TEST_F(RelationTrackerTest, LinkEnumerationForChildLists) {
    Relate(ModeNone, ModeNone, ModeNone, ModeNone);
    t->PAR.Ref = 2;
    t->CHI.Ref = 0;
    int pairs = 0;
    EXPECT_TRUE(parent.ForEachLink(child, false, [&](std::span<char> mine, std::span<char> theirs) {
        std::copy(mine.begin(), mine.end(), theirs.begin());
        ++pairs;
    }));
    EXPECT_EQ(pairs, 1);
    EXPECT_EQ(t->CHI.Ref, 2);
    EXPECT_FALSE(parent.ForEachLink(grand, false, [](std::span<char>, std::span<char>) {}));
}

// One parent table and 32 child tables, each with one record linked to the parent, updates
// cascading to all of them: 33 tables in one transaction.
class WideCascadeTest : public ManagerTest {
  protected:
    static constexpr int kTables = 33;
    struct Linked {
        explicit Linked(const std::string& p)
            : table(runtime::TableDeclaration(p, p, "MEMORY")
                        .FileName(p + ".mem")
                        .Record(runtime::AsBytes(rec))
                        .String(p + ":Name", 0, 20)
                        .Long(p + ":Ref", 20)
                        .Key(p + ":NameKey", key_attr::NoCase, {p + ":Name"})
                        .Key(p + ":RefKey", key_attr::Dup | key_attr::Opt, {p + ":Ref"})) {}
        ChildRecord rec{};
        runtime::Table table;
        FileManager fm;
        RelationTracker tracker;
    };
    static std::string Prefix(int n) { return "T" + std::to_string(n); }
    void SetUp() override {
        for (int n = 0; n < kTables; ++n) {
            Linked& l = *tables.emplace_back(std::make_unique<Linked>(Prefix(n)));
            l.fm.Init(l.table, errors);
            l.fm.AddKey(0, "Name");
            l.fm.AddKey(1, "Ref");
            l.tracker.Init(l.fm, true);
            if (n == 0) continue;
            tables[0]->tracker.AddRelation(l.tracker, ModeCascade, ModeNone, 1);
            ASSERT_TRUE(tables[0]->tracker.AddLink("T0:Ref", Prefix(n) + ":Ref"));
        }
        ASSERT_EQ(tables[0]->tracker.OpenAll(), LevelOk);
        for (auto& l : tables) {
            l->rec.Name = "r";
            l->rec.Ref = 1;
            ASSERT_EQ(l->fm.Insert(), LevelOk);
        }
        ASSERT_EQ(tables[0]->tracker.CloseAll(), LevelOk);
    }
    void TearDown() override {
        for (auto& l : tables) {
            l->fm.Kill();
            l->tracker.Kill();
        }
    }
    // The Ref of every stored record, table by table.
    std::vector<std::int32_t> StoredRefs() {
        std::vector<std::int32_t> refs;
        for (int n = 0; n < kTables; ++n) {
            for (const auto& [number, image] :
                 MemoryDriver::FileNamed(Prefix(n) + ".mem").records) {
                ChildRecord r;
                std::memcpy(&r, image.data(), sizeof r);
                refs.push_back(r.Ref);
            }
        }
        return refs;
    }
    std::vector<std::unique_ptr<Linked>> tables;
};

TEST_F(WideCascadeTest, FailureAtTheLastTableRollsBackAllThirtyThree) {
    MemoryDriver::FileNamed(Prefix(kTables - 1) + ".mem").puts_before_failure = 0;
    Linked& root = *tables[0];
    ASSERT_EQ(root.tracker.OpenAll(), LevelOk);
    root.rec.Name = "r";
    ASSERT_EQ(root.fm.Fetch(0), LevelOk);
    root.tracker.SaveLinks();
    root.rec.Ref = 2;
    EXPECT_EQ(root.tracker.Update(), LevelNotify);
    EXPECT_TRUE(root.tracker.UseLogout);
    EXPECT_EQ(StoredRefs(), std::vector<std::int32_t>(kTables, 1));
    root.tracker.CloseAll();
    EXPECT_FALSE(runtime::TransactionActive());
}

}  // namespace
}  // namespace zelt::framework::testing
