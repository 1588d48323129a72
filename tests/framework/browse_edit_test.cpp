// Edit in place on a browse over a real table file: rows changed and added in the list go
// through the file manager, whose refusals keep the row in edit with its message.
#include <gtest/gtest.h>

#include "runtime/window/key_codes.hpp"
#include "tests/framework/people_list.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::PeopleList;
using testing::PeopleTable;
using Rows = std::vector<std::string>;
namespace key = runtime::key;

class BrowseEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        people.Add("Ada", "Rome", 1);
        people.Add("Bob", "Oslo", 2);
        people.Add("Cyd", "Rome", 3);
        w.setup = [](BrowseController& b) { b.EditList = {1, 2}; };
    }
    // The cell in edit: "row,column=text", or "" when nothing is in edit.
    std::string Edited() const {
        const auto& c = w.Window().Control(PeopleList::List);
        if (c.edit_row == 0) return {};
        return std::to_string(c.edit_row) + "," + std::to_string(c.edit_column) + "=" + c.edit_text;
    }

    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    PeopleTable people{s.errors};
    PeopleList w{s.errors, people};
};

TEST_F(BrowseEditTest, ChangesAndNewRowsAreWrittenThroughTheFileManager) {
    script.SelectRow(PeopleList::List, 2);
    script.Press(PeopleList::Change);
    script.Run([&] { EXPECT_EQ(Edited(), "2,1=Bob"); });
    script.Type(PeopleList::List, "Bea");
    script.Key(PeopleList::List, key::Tab);
    script.Run([&] { EXPECT_EQ(Edited(), "2,2=2") << "Tab goes to the next column"; });
    script.Type(PeopleList::List, "20");
    script.Key(PeopleList::List, key::Enter);
    script.Run([&] {
        EXPECT_EQ(Edited(), "");
        EXPECT_EQ(people.Stored(), (Rows{"Ada/Rome/1", "Bea/Oslo/20", "Cyd/Rome/3"}))
            << "the city kept";
        EXPECT_EQ(w.Names(), (Rows{"Ada", "Bea", "Cyd"}));
    });
    // A new row: Tab from the last column saves it.
    script.Key(PeopleList::List, runtime::key::Insert);
    script.Run([&] { EXPECT_EQ(Edited(), "2,1="); });
    script.Type(PeopleList::List, "Dan");
    script.Key(PeopleList::List, key::Tab);
    script.Type(PeopleList::List, "4");
    script.Key(PeopleList::List, key::Tab);
    script.Run([&] {
        EXPECT_EQ(Edited(), "");
        EXPECT_EQ(people.Stored(), (Rows{"Ada/Rome/1", "Bea/Oslo/20", "Cyd/Rome/3", "Dan//4"}));
    });
    // Escape drops a change; Down saves and goes on editing the row below.
    script.SelectRow(PeopleList::List, 1);
    script.Key(PeopleList::List, runtime::key::CtrlEnter);
    script.Type(PeopleList::List, "Zed");
    script.Key(PeopleList::List, key::Escape);
    script.Key(PeopleList::List, runtime::key::CtrlEnter);
    script.Type(PeopleList::List, "Abe");
    script.Key(PeopleList::List, key::Down);
    script.Run([&] {
        EXPECT_EQ(Edited(), "2,1=Bea");
        EXPECT_EQ(people.Stored().front(), "Abe/Rome/1");
    });
    script.Key(PeopleList::List, key::Escape);
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_TRUE(s.Captions().empty());
}

TEST_F(BrowseEditTest, ADuplicateKeyIsRefusedWithTheManagersMessageAndTheRowStaysInEdit) {
    script.SelectRow(PeopleList::List, 3);
    script.Press(PeopleList::Change);
    script.Type(PeopleList::List, "Ada");
    script.Key(PeopleList::List, key::Enter);
    script.AnswerMessage(runtime::button::Ok).Expecting("Creates Duplicate Key");
    script.Run([&] { EXPECT_EQ(Edited(), "3,1=Ada") << "still in edit, with what was typed"; });
    script.Key(PeopleList::List, key::Escape);
    // A new row with a name taken: refused, then dropped.
    script.Press(PeopleList::Insert);
    script.Type(PeopleList::List, "Bob");
    script.Key(PeopleList::List, key::Enter);
    script.AnswerMessage(runtime::button::Ok).Expecting("duplicate entry");
    script.Key(PeopleList::List, key::Escape);
    script.Run([&] {
        EXPECT_EQ(Edited(), "");
        EXPECT_EQ(w.Names(), (Rows{"Ada", "Bob", "Cyd"}));
        EXPECT_EQ(people.Stored(), (Rows{"Ada/Rome/1", "Bob/Oslo/2", "Cyd/Rome/3"}));
    });
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_EQ(s.Captions(), (Rows{"Record was not updated", "Duplicate Key Error"}));
}

TEST_F(BrowseEditTest, PrintAndToolboxCallTheProgramsHooks) {
    std::vector<std::string> calls;
    w.setup = [&](BrowseController& b) {
        b.PrintProcedure = 7;
        b.SetPrintHook([&](BrowseController&, std::uint16_t procedure) {
            // The report starts from the highlighted record, read whole (the city is no column).
            calls.push_back("print " + std::to_string(procedure) + " " + people.rec.Name.Clip() +
                            "/" + people.rec.City.Clip());
        });
        b.SetToolboxHook([&](BrowseController&) { calls.push_back("toolbox"); });
    };
    script.SelectRow(PeopleList::List, 2);
    script.Key(PeopleList::List, runtime::key::MouseRight);
    script.ChoosePopup("Print");
    script.Press(PeopleList::Tools);
    script.Press(PeopleList::Close);
    w.Run();
    EXPECT_EQ(calls, (Rows{"print 7 Bob/Oslo", "toolbox"}));
}

}  // namespace
}  // namespace zelt::framework
