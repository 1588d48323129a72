// The browse's record actions: the update form for insert, change, delete and view from
// buttons, alert keys and the popup; a list limited to a parent; selecting a record.
#include <gtest/gtest.h>

#include "runtime/window/key_codes.hpp"
#include "tests/framework/browse_support.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::FakeRecord;
using testing::ListWindow;
using testing::MemoryView;
using testing::Person;
using Names = std::vector<std::string>;
namespace btn = runtime::button;

class BrowseActionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rec.stored = {{1, {1, "Ada", "Rome"}},
                      {2, {2, "Bob", "Oslo"}},
                      {3, {3, "Cyd", "Rome"}},
                      {4, {4, "Dan", "Rome"}},
                      {5, {5, "Eve", "Oslo"}}};
        rec.next_id = 10;
    }
    // Limits the list to the people of `parent_city`, as a child list of a city browse.
    void LimitToParent() {
        w.setup = [this](BrowseController& b) {
            b.AddRange(ViewField{"PEO:City", runtime::Use(rec.buffer.city), true, false},
                       runtime::Use(parent_city), LimitType::Related);
        };
        view.passes = [this](const Person& p) { return p.city == parent_city; };
    }

    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    FakeRecord rec;
    MemoryView view{rec};
    ListWindow w{s.errors, rec, view};
    std::string parent_city = "Rome";
};

TEST_F(BrowseActionsTest, InsertPrimesTheRangeAndShowsTheNewRecord) {
    LimitToParent();
    w.form = [&](RequestCode) {
        EXPECT_EQ(rec.buffer, (Person{10, "", "Rome"})) << "a new record in the parent's range";
        EXPECT_EQ(rec.reserves, 1) << "numbered after the range was primed";
        rec.buffer = Person{10, "Bea", "Rome"};
        rec.stored[10] = rec.buffer;
        return ResponseCompleted;
    };
    script.Run([&] {
        EXPECT_EQ(view.filter, "PEO:City = 'Rome'");
        EXPECT_EQ(w.Names(), (Names{"Ada", "Cyd", "Dan"}));
    });
    script.Press(ListWindow::Insert);
    script.Run([&] {
        EXPECT_EQ(w.Names(), (Names{"Bea", "Cyd", "Dan"}))
            << "the new record on the highlighted row";
        EXPECT_EQ(w.Highlighted(), "Bea");
    });
    script.Run([&] {
        w.form = [&](RequestCode) {
            rec.ReleaseAutoNumber();  // as the cancelled form does
            return ResponseCancelled;
        };
    });
    script.Key(ListWindow::List,
               runtime::key::Insert);  // the Insert key: the form again, cancelled
    script.Run([&] {
        EXPECT_EQ(w.Highlighted(), "Bea") << "a cancelled form leaves the list as it was";
        EXPECT_EQ(w.Names(), (Names{"Bea", "Cyd", "Dan"}));
    });
    script.Press(ListWindow::Close);
    w.Run();
    EXPECT_EQ(w.form_requests, (std::vector<RequestCode>{RequestInsert, RequestInsert}));
}

TEST_F(BrowseActionsTest, ChangeWorksOnTheWholeRecordAndFollowsItsNewPlace) {
    w.setup = [](BrowseController& b) { b.AddField(runtime::Binding()); };
    w.form = [&](RequestCode request) {
        EXPECT_EQ(request, RequestChange);
        EXPECT_EQ(rec.buffer, (Person{2, "Bob", "Oslo"})) << "the record is read again whole";
        rec.buffer.name = "Dora";
        rec.stored[2] = rec.buffer;
        return ResponseCompleted;
    };
    script.SelectRow(ListWindow::List, 2);
    script.Key(ListWindow::List, runtime::key::CtrlEnter);
    script.Run([&] {
        EXPECT_EQ(view.regets, 1);
        EXPECT_EQ(w.Names(), (Names{"Dan", "Dora", "Eve"}));
        EXPECT_EQ(w.Highlighted(), "Dora");
        EXPECT_EQ(w.browse.CurrentChoice, 2);
    });
    script.Press(ListWindow::Close);
    w.Run();
}

TEST_F(BrowseActionsTest, DeleteHighlightsTheNeighbour) {
    w.form = [&](RequestCode request) {
        EXPECT_EQ(request, RequestDelete);
        rec.stored.erase(rec.buffer.id);
        return ResponseCompleted;
    };
    script.SelectRow(ListWindow::List, 2);
    script.Press(ListWindow::Delete);
    script.Run([&] {
        EXPECT_EQ(w.Names(), (Names{"Ada", "Cyd", "Dan"}));
        EXPECT_EQ(w.Highlighted(), "Cyd");
    });
    script.Press(ListWindow::Close);
    w.Run();
}

TEST_F(BrowseActionsTest, AChangedParentReloadsTheChildListFromItsTop) {
    LimitToParent();
    script.Key(ListWindow::List, runtime::key::Down);
    script.Run([&] {
        EXPECT_EQ(w.Highlighted(), "Cyd");
        parent_city = "Oslo";
        EXPECT_TRUE(w.browse.NeedsReset());
        w.Window().Post(runtime::event::Timer);
    });
    script.Run([&] {
        EXPECT_EQ(view.filter, "PEO:City = 'Oslo'");
        EXPECT_EQ(w.Names(), (Names{"Bob", "Eve"}));
        EXPECT_EQ(w.Highlighted(), "Bob");
        EXPECT_FALSE(w.browse.NeedsReset());
    });
    script.Press(ListWindow::Close);
    w.Run();
}

TEST_F(BrowseActionsTest, ThePopupStandsForTheButtons) {
    w.form = [](RequestCode) { return ResponseCancelled; };
    script.Run([&] { w.Window().Disable(ListWindow::Delete); });
    script.Key(ListWindow::List, runtime::key::MouseRight);
    script.ChoosePopup("View");
    script.Key(ListWindow::List, runtime::key::Delete);  // a disabled button does not act
    script.DoubleClick(ListWindow::List, 3);             // a double click changes
    script.Press(ListWindow::Close);
    w.Run();
    ASSERT_EQ(script.Popups().size(), 1u);
    EXPECT_EQ(script.Popups()[0], (Names{"&Insert", "&Change", "~&Delete", "&View"}));
    EXPECT_EQ(w.form_requests, (std::vector<RequestCode>{RequestView, RequestChange}));
}

TEST_F(BrowseActionsTest, SelectingLeavesTheChosenRecordAndCancellingLeavesTheBufferAlone) {
    rec.buffer = Person{42, "Before", "Anywhere"};
    script.Key(ListWindow::List, runtime::key::MouseRight);
    script.ChoosePopup(0);
    script.DoubleClick(ListWindow::List, 2);
    EXPECT_EQ(CallWithRequest(RequestSelect, [&] { w.Run(); }), ResponseCompleted);
    EXPECT_EQ(script.Popups().at(0),
              (Names{"&Insert", "&Change", "&Delete", "&View", "-", "&Select"}));
    EXPECT_EQ(rec.buffer, (Person{2, "Bob", "Oslo"}));
    EXPECT_TRUE(w.form_requests.empty());

    ListWindow again(s.errors, rec, view);
    rec.buffer = Person{42, "Before", "Anywhere"};
    script.Key(ListWindow::List, runtime::key::Down);
    script.Press(ListWindow::Close);
    EXPECT_EQ(CallWithRequest(RequestSelect, [&] { again.Run(); }), ResponseCancelled);
    EXPECT_EQ(rec.buffer, (Person{42, "Before", "Anywhere"}));
    EXPECT_EQ(rec.LiveSnapshots(), 0u);
}

// A toolbar whose navigation the update form sets, as a form's next-record button does.
struct NavigatingToolbar final : ToolbarTarget {
    NavigationRequest pending = NavigationRequest::None;
    Level TakeAccepted(runtime::ControlNumber) override { return LevelOk; }
    NavigationRequest PendingNavigation() const override { return pending; }
    void ClearNavigation() override { pending = NavigationRequest::None; }
};

TEST_F(BrowseActionsTest, AFormThatMovesToTheNextRecordRunsAgainOnIt) {
    NavigatingToolbar toolbar;
    w.SetToolbar(&toolbar);
    std::vector<std::string> seen;
    w.form = [&](RequestCode) {
        seen.push_back(rec.buffer.name);
        if (seen.size() < 3) toolbar.pending = NavigationRequest::Next;
        return ResponseCancelled;
    };
    script.Press(ListWindow::Change);
    script.Run([&] { EXPECT_EQ(w.Highlighted(), "Cyd"); });
    script.Press(ListWindow::Close);
    w.Run();
    EXPECT_EQ(seen, (Names{"Ada", "Bob", "Cyd"}));
}

// A filter that fails never widens the list: the range limits stay, and so does every
// other filter that applies beside them.
TEST_F(BrowseActionsTest, AFilterThatFailsIsReportedAndTheRangeLimitsStay) {
    LimitToParent();
    w.setup = [this, limit = w.setup](BrowseController& b) {
        limit(b);
        b.SetFilter("PEO:Id > 1", "kept");
        b.SetFilter("BROKEN(", "broken");
    };
    view.fails_filter = [](std::string_view f) {
        return f.find("BROKEN(") != std::string_view::npos;
    };
    script.AnswerMessage(btn::Ok).Expecting("The range limits are kept");
    script.Press(ListWindow::Close);
    w.Run();
    EXPECT_EQ(s.Captions(), Names{"View Open Error"});
    EXPECT_EQ(view.filter, "PEO:City = 'Rome' AND (PEO:Id > 1)");
    EXPECT_EQ(w.browse.FilterExpression(), view.filter);
}

}  // namespace
}  // namespace zelt::framework
