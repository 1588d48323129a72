// Query by example on a browse over a real table file: the query form filled by the user,
// the terms the builder writes, the rows the view then shows, the recently used queries in
// the popup, and a saved query naming a column that is gone.
#include <gtest/gtest.h>

#include "framework/ini_store.hpp"
#include "framework/query/query_form.hpp"
#include "framework/query/query_history.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "runtime/values/pictures.hpp"
#include "runtime/window/key_codes.hpp"
#include "tests/framework/people_list.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::PeopleList;
using testing::PeopleTable;
using Names = std::vector<std::string>;
namespace btn = runtime::button;

class QueryBrowseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& [name, amount] :
             std::vector<std::pair<const char*, int>>{{"smith", 50},
                                                      {"smithers", 150},
                                                      {"Smith", 100},
                                                      {"Ashton", 300},
                                                      {"Clayton", 99},
                                                      {"O'Brien", 100},
                                                      {"jones", 200}})
            people.Add(name, "Rome", amount);
        ini.Init(dir.File("ZELT.INI"));
        query.Init(s.errors);
        query.AddItem("PEO:Name", "Name", "@S20");
        query.AddItem("PEO:Amount", "Amount");
        query.SetHistory(&history);
        w.setup = [this](BrowseController& b) { b.Query = &query; };
    }
    // Opens the query form from the Query button and fills it: the name, the amount.
    void Ask(const std::string& name, const std::string& amount,
             const std::string& name_word = {}) {
        script.Press(PeopleList::Query);
        if (!name_word.empty()) {
            script.Press("?Operator1").In(QueryForm::kTitle);
            script.ChoosePopup(name_word);
        }
        script.Type("?Value1", name).In(QueryForm::kTitle);
        script.Type("?Value2", amount).In(QueryForm::kTitle);
        script.Press("?Ok").In(QueryForm::kTitle);
    }
    void Expect(const std::string& filter, const Names& names) {
        script.Run([this, filter, names] {
            EXPECT_EQ(w.browse.FilterExpression(), filter.empty() ? "" : "(" + filter + ")");
            EXPECT_EQ(w.Names(), names) << filter;
        });
    }

    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    PeopleTable people{s.errors};
    testing_support::TestDir dir;
    runtime::ScopedProfileService service{
        std::make_shared<platform::IniFileService>(dir.File("user.ini"))};
    IniStore ini;
    QueryHistory history{ini};
    QueryBuilder query;
    PeopleList w{s.errors, people};
};

TEST_F(QueryBrowseTest, TheFormsExamplesFilterTheList) {
    Ask("smith*", "");
    Expect("SUB(PEO:Name,1,5) = 'smith'", {"smith", "smithers"});
    Ask("*ton", "");
    Expect("INSTRING('ton',PEO:Name,1,1) <> 0", {"Ashton", "Clayton"});
    Ask("", ">=100");
    Expect("(PEO:Amount >= 100)", {"Ashton", "O'Brien", "Smith", "jones", "smithers"});
    Ask("O'Brien", "");
    Expect("(PEO:Name = 'O''Brien')", {"O'Brien"});
    Ask("^smith", "100..150");
    Expect("(UPPER(PEO:Name) = 'SMITH') AND (PEO:Amount >= 100 AND PEO:Amount <= 150)", {"Smith"});
    // The operator word adds to what was typed.
    Ask("mit", "", "Contains");
    Expect("INSTRING('mit',PEO:Name,1,1) <> 0", {"Smith", "smith", "smithers"});
    // Cancel leaves the query as it was; Clear empties the form, and nothing typed is no filter.
    script.Press(PeopleList::Query);
    script.Type("?Value1", "x*").In(QueryForm::kTitle);
    script.Press("?Cancel").In(QueryForm::kTitle);
    Expect("INSTRING('mit',PEO:Name,1,1) <> 0", {"Smith", "smith", "smithers"});
    script.Press(PeopleList::Query);
    script.Press("?Clear").In(QueryForm::kTitle);
    script.Press("?Ok").In(QueryForm::kTitle);
    Expect("", {"Ashton", "Clayton", "O'Brien", "Smith", "jones", "smith", "smithers"});
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_TRUE(s.Captions().empty()) << "no view error on the way";
}

TEST_F(QueryBrowseTest, TermsOfTypedValues) {
    // Operators as typed, a display picture, and values that must not change the shape of
    // the expression.
    EXPECT_EQ(NormaliseOperator("=<"), "<=");
    EXPECT_EQ(NormaliseOperator("<>"), "<>");
    EXPECT_EQ(NormaliseOperator("<>="), "<>");
    EXPECT_EQ(NormaliseOperator("="), "=");
    EXPECT_EQ(NormaliseOperator("~=="), "~=");
    query.AddItem("PEO:When", "Date", "@D6");
    query.AddItem("PEO:At", "Time", "@T1");
    const auto day = [](const char* text) {
        return std::to_string(runtime::ParseDate(text, 6).value_or(-1));
    };
    struct Case {
        const char* column;
        const char* typed;
        const char* word;
        std::string term;
    };
    const std::string refused(kRefusedTerm);
    for (const Case& c : std::vector<Case>{
             // Negated wildcards leave out what the wildcard finds.
             {"PEO:Name", "<>smith*", "", "SUB(PEO:Name,1,5) <> 'smith'"},
             {"PEO:Name", "smith*", "NOT =", "SUB(PEO:Name,1,5) <> 'smith'"},
             {"PEO:Name", "~=*ton", "", "INSTRING('ton',PEO:Name,1,1) = 0"},
             {"PEO:Name", "ton", "Contains", "INSTRING('ton',PEO:Name,1,1) <> 0"},
             // Dates and times are ordered by their stored values; equality by the display.
             {"PEO:When", ">=01/01/26", "", "(PEO:When >= " + day("01/01/26") + ")"},
             {"PEO:When", "01/01/1999..31/12/1999", "",
              "(PEO:When >= " + day("01/01/1999") + " AND PEO:When <= " + day("31/12/1999") + ")"},
             {"PEO:When", "=12/07/26", "", "(UPPER(FORMAT(PEO:When,@D6)) = '12/07/26')"},
             {"PEO:At", "<12:00", "", "(PEO:At < 4320001)"},
             {"PEO:When", ">=31/02/26", "", refused},
             // A number column takes numbers only.
             {"PEO:Amount", "7", "NOT =", "(PEO:Amount <> 7)"},
             {"PEO:Amount", "", "NOT =", ""},  // an operator word alone is no entry
             {"PEO:Amount", ">=0 OR 1=1", "", refused},
             {"PEO:Amount", "1) OR (1 = 1", "", refused},
             {"PEO:Amount", "1..x", "", refused},
         }) {
        query.ClearQuery();
        ASSERT_TRUE(query.SetQuery(c.column, c.typed, c.word));
        EXPECT_EQ(query.Term(*query.Find(c.column)), c.term) << c.typed << " " << c.word;
        EXPECT_EQ(query.Problem().empty(), c.term != refused) << c.typed;
    }
    query.ClearQuery();
    query.SetQuery("PEO:Amount", ">=0 OR 1=1");
    EXPECT_EQ(query.Problem(), "Amount: \"0 OR 1=1\" is not a number");
    EXPECT_EQ(query.GetFilter(), refused) << "a refused entry passes no record";
    query.ClearQuery();
    query.SetQuery("PEO:When", "15/06/1999..31/02/26");
    EXPECT_EQ(query.Problem(), "Date: \"31/02/26\" is not a date as @D6 writes one");
}

// A query that would make the list's filter too long, or that names no number for a number
// column, is refused before it is applied: the list keeps its range and its last good query.
TEST_F(QueryBrowseTest, ARefusedQueryKeepsTheListsRangeAndItsLastGoodFilter) {
    people.Add("Olaf", "Oslo", 1);
    std::string city = "Rome";
    w.setup = [this, &city](BrowseController& b) {
        b.Query = &query;
        b.AddRange(ViewField{"PEO:City", FieldBinding(people.table, 1), true, false},
                   runtime::Use(city), LimitType::Related);
    };
    query.AddItem("PEO:City", "City", "@S20");
    const std::string rome = "PEO:City = 'Rome' AND ";
    Ask("smith*", "");
    script.Run(
        [&] { EXPECT_EQ(w.browse.FilterExpression(), rome + "(SUB(PEO:Name,1,5) = 'smith')"); });
    // Two columns of 1,500 apostrophes (each doubled inside its quotes), as a saved query
    // brings them back.
    script.Run([&] {
        w.browse.TakeSavedQuery("PEO:Name||" + std::string(1500, '\'') + "|PEO:City||" +
                                std::string(1500, '\''));
    });
    script.AnswerMessage(btn::Ok).Expecting("The query is too long");
    Ask("", ">=0 OR 1=1");
    script.AnswerMessage(btn::Ok).Expecting("Amount: \"0 OR 1=1\" is not a number");
    script.Run([&] {
        EXPECT_EQ(w.browse.FilterExpression(), rome + "(SUB(PEO:Name,1,5) = 'smith')");
        EXPECT_EQ(w.Names(), (Names{"smith", "smithers"}));
        EXPECT_TRUE(w.browse.QueryApplied());
        EXPECT_EQ(query.Fields()[0].QueryString, "smith*") << "the entries of the last good query";
    });
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_EQ(s.Captions(), (Names{"Query Not Applied", "Query Not Applied"}));
}

TEST_F(QueryBrowseTest, RecentQueriesAreOfferedAndASavedColumnThatIsGoneIsDropped) {
    Ask("smith*", "");
    Ask("", ">=200");
    Ask("smith*", "");  // again: to the front, kept once
    script.Run([&] {
        ASSERT_EQ(history.Queries().size(), 2u);
        EXPECT_EQ(history.Queries()[0], "PEO:Name||smith*");
        EXPECT_EQ(ini.Fetch("Query", "tsMRU2"), "PEO:Amount||>=200");
        // A query saved when the list still offered a City column.
        history.Remember("PEO:City||Rome|PEO:Amount||>=200");
    });
    script.Key(PeopleList::List, runtime::key::MouseRight);
    script.ChoosePopup("1 City: Rome / Amount: >=200");
    script.AnswerMessage(runtime::button::Ok).Expecting("PEO:City");
    Expect("(PEO:Amount >= 200)", {"Ashton", "jones"});
    script.Run([&] {
        const auto& popups = script.Popups();
        ASSERT_FALSE(popups.empty());
        EXPECT_EQ(
            popups.back(),
            (std::vector<std::string>{
                "&Insert", "&Change", "&Delete", "&Print", "&1 City: Rome / Amount: >=200",
                "&2 Name: smith*", "&3 Amount: >=200", "C&lear Query", "-", "&Query", "&Toolbox"}));
    });
    script.Key(PeopleList::List, runtime::key::MouseRight);
    script.ChoosePopup("Clear Query");
    Expect("", {"Ashton", "Clayton", "O'Brien", "Smith", "jones", "smith", "smithers"});
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_EQ(s.Captions(), std::vector<std::string>{"Unsupported QBE Column"});

    // At most ten, the most recent first.
    for (int i = 1; i <= 12; ++i) history.Remember("PEO:Amount||" + std::to_string(i));
    const auto queries = history.Queries();
    ASSERT_EQ(queries.size(), 10u);
    EXPECT_EQ(queries.front(), "PEO:Amount||12");
    EXPECT_EQ(queries.back(), "PEO:Amount||3");
}

}  // namespace
}  // namespace zelt::framework
