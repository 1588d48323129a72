// The activity log as the user meets it: the browse with its names shown once a run, the
// word on an empty log, and Empty Log.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/batches/batch_engine.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "runtime/values/day_number.hpp"
#include "runtime/window/key_codes.hpp"
#include "tests/forms/forms_fixture.hpp"

namespace zelt::app::testing {
namespace {

class EventLogTest : public FormsTest {
  protected:
    void Log(const std::vector<std::pair<std::string, std::string>>& events) {
        ASSERT_EQ(TempFileRelations.OpenAll(), framework::LevelOk);
        for (const auto& [name, text] : events) {
            session.clock->AdvanceMs(1000);
            ASSERT_EQ(AppendEvent(name, text), runtime::err::NoError);
        }
        TempFileRelations.CloseAll();
    }
    std::int64_t Events() {
        TempFileRelations.OpenAll();
        const std::int64_t n = TempFile.Records();
        TempFileRelations.CloseAll();
        return n;
    }
};

TEST_F(EventLogTest, AnEmptyLogSaysGoAwayAndTheBrowseClosesByItself) {
    script.AnswerMessage(runtime::button::Ok);
    ViewEvents(errors);
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0].request.caption, "Go Away");
    EXPECT_EQ(script.Messages()[0].request.text,
              "If there was something to show you, I'd show it.");
    EXPECT_EQ(session.system.FindWindow("Activity Log"), nullptr);
}

TEST_F(EventLogTest, EachApplicationIsNamedOnceARun) {
    Log({{"A.APP", "Begin Make"},
         {"A.APP", "Make Finished"},
         {"B.APP", ".APP not found"},
         {"A.APP", "Begin Make"}});
    script.Run([this] {
        const runtime::Window* w = session.system.FindWindow("Activity Log");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Column(*w, ViewEventsCtl::List, 1), (Texts{"A.APP", "", "B.APP", "A.APP"}));
        EXPECT_EQ(Column(*w, ViewEventsCtl::List, 4),
                  (Texts{"Begin Make", "Make Finished", ".APP not found", "Begin Make"}));
    });
    script.Press(ViewEventsCtl::Close);
    ViewEvents(errors);
    EXPECT_TRUE(script.Messages().empty());
}

TEST_F(EventLogTest, CtrlFOrThePopupSearchesTheLogAndTheListKeepsTheKeyboard) {
    Log({{"A.APP", "Begin Make"}, {"B.APP", "Begin Make"}, {"A.APP", "Make Finished"}});
    auto listed = [this](Texts expected) {
        script.Run([this, expected] {
            const runtime::Window* w = session.system.FindWindow("Activity Log");
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(Column(*w, ViewEventsCtl::List, 4), expected);
            EXPECT_EQ(w->Focus(), ViewEventsCtl::List);
        });
    };
    script.Key(ViewEventsCtl::List, runtime::key::Ctrl + 'F');
    script.Type("?Value1", "B*");
    script.Press("?Ok");
    listed({"Begin Make"});
    script.Key(ViewEventsCtl::List, runtime::key::MouseRight);
    script.ChoosePopup("Clear Query");
    listed({"Begin Make", "Begin Make", "Make Finished"});
    script.Key(ViewEventsCtl::List, runtime::key::MouseRight);
    script.ChoosePopup("Query");
    script.Type("?Value4", "*Finished");
    script.Press("?Ok");
    listed({"Make Finished"});
    // A form opened from the list gives the keyboard back to the list.
    script.Focus(ViewEventsCtl::PrintLog);
    script.Press(ViewEventsCtl::Change);
    script.Press("?Cancel");
    listed({"Make Finished"});
    script.Press(ViewEventsCtl::Close);
    ViewEvents(errors);
    ASSERT_FALSE(script.Popups().empty());
    const auto& popup = script.Popups().front();
    EXPECT_NE(std::find(popup.begin(), popup.end(), "&Query"), popup.end());
    EXPECT_TRUE(script.Messages().empty());
}

TEST_F(EventLogTest, EmptyLogAsksFirstAndEmptiesOnYes) {
    Log({{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}});
    script.AnswerMessage(runtime::button::No);
    EXPECT_FALSE(EmptyLogButton(errors));
    EXPECT_EQ(Events(), 2);
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0].request.caption, "Best be sure, chaver");
    EXPECT_EQ(script.Messages()[0].request.text, "Are you entirely sure?");
    script.AnswerMessage(runtime::button::Yes);
    EXPECT_TRUE(EmptyLogButton(errors));
    EXPECT_EQ(Events(), 0);
}

TEST_F(EventLogTest, ThePrintedLogNamesEachApplicationOnceARun) {
    script.AnswerMessage(runtime::button::Ok);
    PrintLog(errors);
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0].request.caption, "Go Away");
    EXPECT_EQ(script.Messages()[0].request.text,
              "If there was something to print, I'd print it.||There isn't.");

    Log({{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}, {"B.APP", ".APP not found"}});
    script.AnswerPreview(false);
    PrintLog(errors);
    ASSERT_EQ(script.Previews().size(), 1u);
    const auto& page = script.Previews()[0].at(0);
    const std::string text = ::testing::PrintToString(page);
    EXPECT_NE(page.front().find("ZELT5.5 Activity Log"), std::string::npos) << text;
    std::vector<std::string> named;
    for (const std::string& line : page) {
        if (line.find("Make") != std::string::npos || line.find("not found") != std::string::npos)
            named.push_back(line.substr(0, 5));
    }
    EXPECT_EQ(named, (Texts{"A.APP", "     ", "B.APP"})) << text;
    EXPECT_NE(page.back().find("Page   1"), std::string::npos) << text;
}

TEST_F(EventLogTest, TheEventFormWritesBackWhatWasNotEditedAsItWasRead) {
    const std::int32_t four_one_24 = runtime::TimeToClock({4, 1, 24, 0});
    ASSERT_EQ(TempFileRelations.OpenAll(), framework::LevelOk);
    TMP.Apps = "A.APP";
    TMP.Date = 82000;
    TMP.Clock = four_one_24;
    TMP.Event = "Begin Make";
    ASSERT_EQ(TempFile.Add(), runtime::err::NoError);
    script.Type(UpdateEventsCtl::Event, "Begin Make (checked)");
    script.Press(UpdateEventsCtl::Ok);
    EXPECT_EQ(
        framework::CallWithRequest(framework::RequestChange, [this] { UpdateEvents(errors); }),
        framework::ResponseCompleted);
    TempFile.SetFile();
    ASSERT_EQ(TempFile.Next(), runtime::err::NoError);
    EXPECT_EQ(TMP.Clock, four_one_24);  // the form shows 4:01AM, and the seconds stay
    EXPECT_EQ(TMP.Date, 82000);
    EXPECT_EQ(TMP.Event.Clip(), "Begin Make (checked)");
    TempFileRelations.CloseAll();
}

TEST(RepeatedNames, BlankOnlyWithinARun) {
    RepeatedNameBlanker names;
    EXPECT_EQ(names.Shown("A.APP  "), "A.APP");
    EXPECT_EQ(names.Shown("A.APP"), "");
    EXPECT_EQ(names.Shown("B.APP"), "B.APP");
    EXPECT_EQ(names.Shown("A.APP"), "A.APP");
}

}  // namespace
}  // namespace zelt::app::testing
