// Browses and forms on real tables through their file managers and relation trackers: the
// view over a table by key with a filter, a child list limited to its parent, and an
// insert form whose cancelled record gives its number back.
#include <gtest/gtest.h>

#include "framework/browse/browse_controller.hpp"
#include "framework/browse/parent_range.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/window/tracked_record.hpp"
#include "manager_fixture.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::MemoryDriver;
using testing::Tables;
using Names = std::vector<std::string>;
namespace btn = runtime::button;

class TrackedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MemoryDriver::Reset();
        parent_fm.Init(t->Parent, s.errors);
        parent_fm.AddKey(0, "Parent name");
        parent_fm.AddKey(1, "Parent number", 1);
        child_fm.Init(t->Child, s.errors);
        child_fm.AddKey(0, "Child name");
        child_fm.AddKey(1, "Child parent");
        parent.Init(parent_fm);
        child.Init(child_fm);
        parent.AddRelation(child, ModeCascade, ModeRestrict, 1);
        ASSERT_TRUE(parent.AddLink("PAR:Ref", "CHI:Ref"));
        child.AddRelation(parent);
        ASSERT_TRUE(child.AddLink("CHI:Ref", "PAR:Ref"));
        ASSERT_EQ(parent.OpenAll(), LevelOk);
        for (const char* name : {"P1", "P2"}) {
            t->PAR.Name = name;
            t->PAR.Ref = 0;
            ASSERT_EQ(parent_fm.Insert(), LevelOk);
        }
        for (auto [name, ref] : {std::pair{"b", 1}, {"a", 1}, {"c", 2}, {"B2", 2}}) {
            t->CHI.Name = name;
            t->CHI.Ref = ref;
            ASSERT_EQ(child_fm.Insert(), LevelOk);
        }
    }
    void TearDown() override {
        parent.CloseAll();
        for (RelationTracker* r : {&parent, &child}) {
            r->Me->Kill();
            r->Kill();
        }
    }
    // Every name the view reads forward from the start.
    Names ReadAll(TableView& view) {
        Names names;
        EXPECT_EQ(view.SetStart(), runtime::err::NoError);
        while (view.Next() == runtime::err::NoError) names.push_back(t->CHI.Name.Clip());
        return names;
    }

    ControllerSession s;
    std::unique_ptr<Tables> t = std::make_unique<Tables>();
    FileManager parent_fm, child_fm;
    RelationTracker parent, child;
};

TEST_F(TrackedTest, ATableViewReadsByKeyThroughItsFilter) {
    TableView view(t->Child);
    EXPECT_EQ(view.SetOrder("+CHI:Name"), runtime::err::NoError);
    EXPECT_EQ(view.Key(), 0);
    EXPECT_EQ(ReadAll(view), (Names{"a", "b", "B2", "c"})) << "the name key ignores case";
    EXPECT_EQ(view.SetOrder("CHI:RefKey"), runtime::err::NoError);
    EXPECT_EQ(view.Key(), 1);
    EXPECT_EQ(view.SetFilter("CHI:Ref = 2 OR UPPER(CHI:Name) = 'A'"), runtime::err::NoError);
    EXPECT_EQ(ReadAll(view).size(), 3u);

    EXPECT_EQ(view.SetOrder("+CHI:Name"), runtime::err::NoError);
    EXPECT_EQ(view.SetFilter("NOT (CHI:Ref = 2) AND CHI:Name <> 'zz'"), runtime::err::NoError);
    EXPECT_EQ(ReadAll(view), (Names{"a", "b"}));
    // Backwards from the end, and back from a remembered position.
    ASSERT_EQ(view.SetStart(), runtime::err::NoError);
    ASSERT_EQ(view.Previous(), runtime::err::NoError);
    EXPECT_EQ(t->CHI.Name.Clip(), "b");
    const std::string b = view.Position();
    ASSERT_EQ(view.Previous(), runtime::err::NoError);
    EXPECT_EQ(t->CHI.Name.Clip(), "a");
    EXPECT_EQ(view.Previous(), runtime::err::RecordNotAvailable);
    ASSERT_EQ(view.Reget(b), runtime::err::NoError);
    EXPECT_EQ(t->CHI.Name.Clip(), "b");

    EXPECT_EQ(view.SetOrder("+CHI:Nothing"), runtime::err::InvalidExpression);
    EXPECT_EQ(view.SetOrder("-CHI:Name"), runtime::err::InvalidExpression) << "no descending key";
    EXPECT_EQ(view.SetFilter("CHI:Ref ="), runtime::err::InvalidExpression);
    EXPECT_FALSE(view.FilterError().empty());
    EXPECT_EQ(view.SetFilter("CHI:Colour = 1"), runtime::err::InvalidExpression);
}

TEST(FilterExpressionTest, PrecedenceQuotesAndErrors) {
    std::map<std::string, FilterValue> fields{{"A:Name", {true, "O'Brien  ", 0}},
                                              {"A:N", {false, {}, 7}}};
    FilterExpression::Resolver resolve =
        [&](std::string_view label) -> std::optional<std::function<FilterValue()>> {
        auto it = fields.find(std::string(label));
        if (it == fields.end()) return std::nullopt;
        return std::function<FilterValue()>([&fields, key = it->first] { return fields.at(key); });
    };
    auto eval = [&](std::string_view text) {
        std::string error;
        auto e = FilterExpression::Parse(text, resolve, &error);
        EXPECT_TRUE(e) << text << ": " << error;
        return e && e->Evaluate();
    };
    EXPECT_TRUE(eval(""));
    EXPECT_TRUE(eval("A:Name = 'O''Brien'")) << "padding is ignored and '' is one quote";
    EXPECT_TRUE(eval("UPPER(A:Name) = 'O''BRIEN'"));
    EXPECT_FALSE(eval("A:Name = 'o''brien'"));
    EXPECT_TRUE(eval("A:N = 1 OR A:N > 5 AND A:N <= 7")) << "AND binds closer";
    EXPECT_FALSE(eval("(A:N = 1 OR A:N > 5) AND A:N < 7"));
    EXPECT_TRUE(eval("not A:N <> 7 and A:N >= -2.5")) << "keywords in any case";
    EXPECT_TRUE(eval("A:N < 10")) << "numbers compare as numbers, not as texts";
    for (const char* bad :
         {"A:N", "A:N = ", "(A:N = 1", "A:N = 'x", "B:X = 1", "A:N = 1 AND", "A:N = 1 )"}) {
        std::string error;
        EXPECT_FALSE(FilterExpression::Parse(bad, resolve, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// A window with a list of one parent's children.
class ChildList : public WindowController {
  public:
    ChildList(ErrorReporter& errors, Tables& t, RelationTracker& child, RelationTracker& parent)
        : WindowController(errors, Declaration(), "ChildList"),
          t_(t),
          record_(child),
          view_(t.Child),
          child_(child),
          parent_(parent) {}
    BrowseController browse;
    std::function<ResponseCode(RequestCode)> form;

    static runtime::WindowDeclaration Declaration() {
        runtime::WindowDeclaration w("Children");
        w.List("?List", runtime::ListFormat{{{"Name", 20}}, {}, true}).Immediate().Hint(20, 5);
        w.Button("?Insert", "&Insert");
        w.Button("?Close", "Close");
        return w;
    }
    Level Init() override {
        WindowController::Init();
        browse.Init(*this, 1, view_, record_, Errors);
        browse.ActiveOrder().Order = "+CHI:Name";
        EXPECT_TRUE(LimitToParent(browse, child_, parent_));
        browse.AddField(FieldBinding(t_.Child, 0));
        browse.AddField(FieldBinding(t_.Child, 1));
        browse.InsertControl = 2;
        browse.AskProcedure = 1;
        AddButton(3, ResponseCancelled);
        OpenWindow();
        return LevelOk;
    }
    ResponseCode RunForm(std::uint16_t, RequestCode request) override { return form(request); }
    Names Rows() const {
        Names out;
        for (const auto& r : browse.ListQueue()) out.push_back(r.values.at(0));
        return out;
    }

  private:
    Tables& t_;
    TrackedRecord record_;
    TableView view_;
    RelationTracker& child_;
    RelationTracker& parent_;
};

TEST_F(TrackedTest, AChildListFollowsItsParentAndNewChildrenJoinIt) {
    ChildList w(s.errors, *t, child, parent);
    auto& script = s.session.script;
    t->PAR.Ref = 1;
    w.form = [&](RequestCode request) {
        EXPECT_EQ(request, RequestInsert);
        EXPECT_EQ(t->CHI.Ref, 2) << "the new child belongs to the parent shown";
        EXPECT_EQ(t->CHI.Name.Clip(), "");
        t->CHI.Name = "d";
        EXPECT_EQ(child_fm.Insert(), LevelOk);
        return ResponseCompleted;
    };
    script.Run([&] {
        EXPECT_EQ(w.Rows(), (Names{"a", "b"}));
        EXPECT_EQ(w.browse.FilterExpression(), "CHI:Ref = 1");
        t->PAR.Ref = 2;
        w.Window().Post(runtime::event::Timer);
    });
    script.Run([&] { EXPECT_EQ(w.Rows(), (Names{"B2", "c"})); });
    script.Press(2);
    script.Run([&] {
        EXPECT_EQ(w.Rows(), (Names{"B2", "c", "d"}));
        EXPECT_EQ(t->CHI.Name.Clip(), "d") << "the new record is highlighted";
    });
    script.Press(3);
    w.Run();
}

// An insert form over the parent table.
class ParentForm : public WindowController {
  public:
    ParentForm(ErrorReporter& errors, Tables& t, RelationTracker& parent)
        : WindowController(errors, Declaration(t), "UpdateParent"), record(parent) {}
    TrackedRecord record;

    static runtime::WindowDeclaration Declaration(Tables& t) {
        runtime::WindowDeclaration w("Update Parent");
        w.Entry("?Name", 20).Use(FieldBinding(t.Parent, 0));
        w.Button("?OK", "&OK");
        return w;
    }
    Level Init() override {
        WindowController::Init();
        Primary = &record;
        OKControl = 2;
        FirstField = 1;
        if (Level l = PrimeForm(); l != LevelOk) return l;
        OpenWindow();
        return LevelOk;
    }
};

TEST_F(TrackedTest, ACancelledInsertGivesItsReservedRecordBack) {
    auto& script = s.session.script;
    auto& file = MemoryDriver::FileNamed("parent.mem");
    ParentForm cancelled(s.errors, *t, parent);
    ASSERT_EQ(cancelled.record.PrepareRecord(false), LevelOk);
    EXPECT_EQ(t->PAR.Ref, 3);
    EXPECT_EQ(file.records.size(), 3u) << "the number is held by a reserved record";
    script.Type(1, "P3");
    script.CloseBox();
    script.AnswerMessage(btn::No).Expecting("save the changes");
    EXPECT_EQ(CallWithRequest(RequestInsert, [&] { cancelled.Run(); }), ResponseCancelled);
    EXPECT_EQ(file.records.size(), 2u);

    ParentForm saved(s.errors, *t, parent);
    ASSERT_EQ(saved.record.PrepareRecord(false), LevelOk);
    script.Type(1, "P3");
    script.Press(2);
    EXPECT_EQ(CallWithRequest(RequestInsert, [&] { saved.Run(); }), ResponseCompleted);
    EXPECT_EQ(file.records.size(), 3u);
    t->PAR.Name = "P3";
    EXPECT_EQ(parent_fm.Fetch(0), LevelOk) << "the saved record is found by its name";
    EXPECT_EQ(s.Captions(), Names{"Save Record"});
}

}  // namespace
}  // namespace zelt::framework
