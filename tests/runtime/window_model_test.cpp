// The window model on its own: declarations, bindings, control state, focus and lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/values/day_number.hpp"
#include "runtime/values/pictures.hpp"
#include "runtime/window/headless_backend.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/message_box.hpp"
#include "runtime/window/popup_menu.hpp"
#include "runtime/window/window.hpp"

namespace zelt::runtime {
namespace {

// Drains the events queued so far (the window must be open) without waiting.
std::vector<QueuedEvent> Drain(Window& w) {
    std::vector<QueuedEvent> out(w.Pending().begin(), w.Pending().end());
    while (!w.Pending().empty()) {
        w.Accept();
        w.Cycle();
    }
    return out;
}

std::vector<EventCode> Codes(const std::vector<QueuedEvent>& events) {
    std::vector<EventCode> codes;
    for (const auto& e : events) codes.push_back(e.code);
    return codes;
}

TEST(WindowDeclarationTest, ControlsAreNumberedInOrderAndNestInTheirContainers) {
    WindowDeclaration w("Main");
    w.Sheet("?Sheet1");                        // 1
    w.Tab("?Tab1", "&Applications");           // 2
    w.List("?List", {});                       // 3
    w.Button("?Insert", "&Insert");            // 4
    w.Tab("?Tab2", "&Projects");               // 5: closes ?Tab1
    w.Tree("?RelTree", {});                    // 6
    w.End();                                   // closes ?Tab2 and the sheet
    w.Group("?GROUP3");                        // 7
    w.String("?StatusMsg:2").Width(30);        // 8
    w.Button("?ConnectToVX", "Start Vextor");  // 9
    w.End();
    w.Button("?BUTTON7", "Close").Tip("Bye bye");  // 10

    ASSERT_EQ(w.ControlCount(), 10);
    EXPECT_EQ(w.Find("?Insert"), 4);
    EXPECT_EQ(w.Find("?BUTTON7"), 10);
    EXPECT_EQ(w.Find("?Nothing"), 0);
    EXPECT_EQ(w.Control(2)->parent, 1);
    EXPECT_EQ(w.Control(4)->parent, 2);
    EXPECT_EQ(w.Control(5)->parent, 1);  // a tab is never nested in the tab before it
    EXPECT_EQ(w.Control(6)->parent, 5);
    EXPECT_EQ(w.Control(7)->parent, 0);
    EXPECT_EQ(w.Control(9)->parent, 7);
    EXPECT_EQ(w.Control(10)->parent, 0);
    EXPECT_EQ(w.Control(10)->tip, "Bye bye");
    EXPECT_EQ(w.Children(1), (std::vector<ControlNumber>{2, 5}));
    EXPECT_EQ(w.Children(7), (std::vector<ControlNumber>{8, 9}));
    EXPECT_EQ(w.Control(0), nullptr);
    EXPECT_EQ(w.Control(11), nullptr);
}

TEST(BindingTest, NumbersAreReadForgivinglyAndHeldInTheirRange) {
    EXPECT_EQ(ParseBoundNumber(" 42 "), 42);
    EXPECT_EQ(ParseBoundNumber("+7"), 7);
    EXPECT_EQ(ParseBoundNumber(""), 0);
    EXPECT_EQ(ParseBoundNumber("abc"), 0);
    std::uint8_t byte = 5;
    Binding b = Use(byte);
    b.Write("300");
    EXPECT_EQ(byte, 255);
    b.Write("-3");
    EXPECT_EQ(byte, 0);
    b.Write("17");
    EXPECT_EQ(b.Read(), "17");
    std::int16_t small = 0;
    Use(small).Write("99999999999999999999999");
    EXPECT_EQ(small, 32767);
}

class WindowModelTest : public ::testing::Test {
  protected:
    HeadlessSession session_;
};

TEST_F(WindowModelTest, DisplayAndUpdateMoveValuesBetweenControlsAndVariables) {
    std::string run = "vx.exe";
    std::string log = "N";
    std::uint8_t retain = 1;
    std::string dir = "/data/";
    int minutes = 3;
    WindowDeclaration d("Settings");
    d.Option("?GLO:UseNewLog").Use(Use(log));  // 1
    d.Radio("?No", "No").Value("N");           // 2
    d.Radio("?Yes", "Yes").Value("Y");         // 3
    d.End();
    d.Entry("?GLO:RunString", 10).Use(Use(run));            // 4
    d.Check("?GLO:RetainTags", "Retain").Use(Use(retain));  // 5
    d.Entry("?GLO:FilePath", 64).Use(Use(dir)).ReadOnly();  // 6
    d.Spin("?Timeout", 1, 999).Use(Use(minutes));           // 7
    Window w(d);
    ASSERT_TRUE(w.Open());
    EXPECT_EQ(w.Value(4), "vx.exe");
    EXPECT_EQ(w.Choice(1), 1);
    EXPECT_EQ(w.Value(5), "1");

    // What the user does goes into the variables at once.
    EXPECT_TRUE(w.UserPress(3));
    EXPECT_EQ(log, "Y");
    EXPECT_EQ(w.Choice(1), 2);
    EXPECT_TRUE(w.UserPress(5));
    EXPECT_EQ(retain, 0);
    EXPECT_TRUE(w.UserType(4, "a-command-line-longer-than-ten"));
    EXPECT_EQ(run, "a-command-");  // cut to the entry's width
    EXPECT_TRUE(w.UserChange(7, "12"));
    EXPECT_EQ(minutes, 12);
    EXPECT_FALSE(w.UserType(6, "/elsewhere/"));  // read-only
    EXPECT_EQ(dir, "/data/");

    // The program's values reach the controls only through Display.
    run = "other";
    minutes = 5;
    EXPECT_EQ(w.Value(4), "a-command-");
    w.Display(4);
    EXPECT_EQ(w.Value(4), "other");
    EXPECT_EQ(w.Value(7), "12");
    w.Display();
    EXPECT_EQ(w.Value(7), "5");

    // Update takes every editable control back, but never a read-only one.
    w.SetValue(6, "/typed/");
    w.SetValue(4, "edited");
    w.Update();
    EXPECT_EQ(run, "edited");
    EXPECT_EQ(dir, "/data/");

    // The accept-all pass updates and then posts Completed.
    w.SetValue(7, "9");
    Drain(w);
    w.AcceptAll();
    EXPECT_EQ(minutes, 9);
    ASSERT_EQ(w.Pending().size(), 1u);
    EXPECT_EQ(w.Pending().front().code, event::Completed);
}

TEST_F(WindowModelTest, ControlsOnHiddenTabsDisabledGroupsOrHiddenAreOutOfReach) {
    WindowDeclaration d("Tabs");
    d.Sheet("?Sheet");      // 1
    d.Tab("?Tab1", "One");  // 2
    d.Button("?A", "A");    // 3
    d.Tab("?Tab2", "Two");  // 4
    d.Group("?G");          // 5
    d.Button("?B", "B");    // 6
    d.End();
    d.End();
    d.Button("?C", "C").Disabled();  // 7
    Window w(d);
    w.Open();
    EXPECT_TRUE(w.IsReachable(3));
    EXPECT_FALSE(w.IsReachable(6));  // on the tab not shown
    EXPECT_FALSE(w.UserPress(6));
    EXPECT_FALSE(w.UserPress(7));
    EXPECT_TRUE(w.UserPress(4));  // the user clicks the second tab
    EXPECT_EQ(w.Choice(1), 2);
    EXPECT_FALSE(w.IsReachable(3));
    EXPECT_TRUE(w.IsReachable(6));
    w.Disable(5);
    EXPECT_FALSE(w.UserPress(6));  // inside a disabled group
    w.Enable(5);
    w.Hide(6);
    EXPECT_FALSE(w.UserPress(6));
    w.Unhide(6);
    w.Enable(7);
    EXPECT_TRUE(w.UserPress(7));
}

TEST_F(WindowModelTest, SelectMovesTheFocusBringsTabsForwardAndReportsSelected) {
    WindowDeclaration d("Focus");
    d.Sheet("?Sheet1");         // 1
    d.Tab("?Tab1", "One");      // 2
    d.Entry("?E", 10);          // 3
    d.Tab("?Tab4", "Subsets");  // 4
    d.List("?List:3", {});      // 5
    d.End();
    d.Group("?GROUP3");                 // 6
    d.String("?StatusMsg:2");           // 7
    d.Button("?ConnectToVX", "Start");  // 8
    d.End();
    Window w(d);
    w.Open();
    Drain(w);
    EXPECT_EQ(w.Focus(), 3);  // the first control that takes the focus

    w.Select(6, 2);  // a group with a position: its second control
    EXPECT_EQ(w.Focus(), 8);
    w.Select(5);  // a list on the tab not shown: the tab comes forward
    EXPECT_EQ(w.Choice(1), 2);
    EXPECT_EQ(w.Focus(), 5);
    w.Select(5);  // no move, no event
    auto events = Drain(w);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].code, event::Selected);
    EXPECT_EQ(events[0].field, 8);
    // The sheet hears of its new page as if the user had clicked the tab.
    EXPECT_EQ(events[1].code, event::TabChanging);
    EXPECT_EQ(events[2].code, event::NewSelection);
    EXPECT_EQ(events[2].field, 1);
    EXPECT_EQ(events[3].code, event::Selected);
    EXPECT_EQ(events[3].field, 5);
    w.Select(4);  // a tab: its page in front, the focus on the sheet
    w.Select(2);
    EXPECT_EQ(w.Choice(1), 1);
    EXPECT_EQ(w.Focus(), 1);
}

struct Row {
    std::string name;
    int level = 1;
};

TEST_F(WindowModelTest, ListsFollowTheirQueueAndTurnKeysIntoEvents) {
    std::vector<Row> rows{{"a"}, {"b"}, {"c"}};
    QueueList<Row> source(rows, {[](const Row& r) { return ListCell(r.name); }});
    WindowDeclaration d("Lists");
    d.List("?Browse", {}).Immediate();  // 1: the program scrolls it
    d.List("?Plain", {});               // 2: the list scrolls itself
    Window w(d);
    w.Open();
    w.SetListSource(1, &source);
    w.SetListSource(2, &source);
    EXPECT_EQ(w.RowCount(1), 3);
    EXPECT_EQ(w.Choice(1), 1);  // a list with rows starts on the first
    EXPECT_EQ(w.CellText(2, 3, 1), "c");
    Drain(w);

    // Immediate lists hear every scroll key and move nothing themselves.
    w.UserKey(1, key::Down);
    w.UserKey(1, key::PageDown);
    w.UserKey(1, key::Up);
    w.UserKey(1, key::PageUp);
    w.UserKey(1, key::CtrlHome);
    w.UserKey(1, key::End);
    auto events = Drain(w);
    EXPECT_EQ(Codes(events),
              (std::vector<EventCode>{event::ScrollDown, event::PageDown, event::ScrollUp,
                                      event::PageUp, event::ScrollTop, event::ScrollBottom}));
    EXPECT_EQ(w.Choice(1), 1);

    // A plain list moves its highlight and reports a new selection, never past its ends.
    w.UserKey(2, key::End);
    w.UserKey(2, key::Down);
    EXPECT_EQ(w.Choice(2), 3);
    EXPECT_EQ(Codes(Drain(w)), (std::vector<EventCode>{event::Selected, event::NewSelection}));

    // Alert keys, characters for the locator, double click, thumb.
    w.Alert(1, key::Insert);
    w.Alert(1, key::MouseLeft2);
    w.UserKey(1, key::Insert);
    w.UserKey(1, key::Delete);  // not alerted: nothing
    w.UserChar(1, U'S');
    w.UserDoubleClick(1, 2);
    w.UserDoubleClick(2, 1);  // no double-click alert: accepted
    w.UserThumb(1, 250);
    events = Drain(w);
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[0].code, event::Selected);
    EXPECT_EQ(events[1].code, event::AlertKey);
    EXPECT_EQ(events[1].keycode, key::Insert);
    EXPECT_EQ(events[2].code, event::Locate);
    EXPECT_EQ(events[2].key_char, U'S');
    EXPECT_EQ(events[3].code, event::NewSelection);
    EXPECT_EQ(events[4].code, event::AlertKey);
    EXPECT_EQ(events[4].keycode, key::MouseLeft2);
    EXPECT_EQ(events[7].code, event::Accepted);
    EXPECT_EQ(events[9].code, event::ScrollDrag);
    EXPECT_EQ(session_.system.LastKeycode(), key::MouseLeft2);  // the last key delivered
    EXPECT_EQ(w.Control(1).thumb, 100);

    // When the queue shrinks the highlight stays on a row that exists.
    rows.resize(1);
    w.Display(1);
    w.Display(2);
    EXPECT_EQ(w.Choice(1), 1);
    EXPECT_EQ(w.Choice(2), 1);
    EXPECT_FALSE(w.UserSelectRow(2, 2));
    rows.clear();
    w.RowsChanged(2);
    EXPECT_EQ(w.Choice(2), 0);
}

TEST_F(WindowModelTest, PostingChecksItsAddressee) {
    WindowDeclaration d("Post");
    d.Button("?B", "B");
    Window w(d);
    EXPECT_FALSE(w.Post(event::Accepted, 1));  // not open
    w.Open();
    Drain(w);
    EXPECT_FALSE(w.Post(event::Accepted, 0));  // a field event needs a control
    EXPECT_FALSE(w.Post(event::ScrollDown, 2));
    EXPECT_TRUE(w.Post(event::Timer, 1));  // a window event ignores the field
    ASSERT_EQ(w.Pending().size(), 1u);
    EXPECT_EQ(w.Pending().front().field, 0);
}

TEST(MessageBoxTest, ButtonsDefaultsAndLines) {
    EXPECT_EQ(ButtonsOf(button::Yes | button::No), (std::vector<int>{button::Yes, button::No}));
    EXPECT_EQ(ButtonsOf(0), (std::vector<int>{button::Ok}));
    EXPECT_EQ(ButtonLabel(button::Ok), "O&k");
    EXPECT_EQ(ButtonLabel(button::Help), "&Help");
    MessageRequest r;
    r.buttons = button::Yes | button::No | button::Cancel;
    r.default_button = button::Cancel;
    EXPECT_EQ(EffectiveDefaultButton(r), button::Cancel);
    r.default_button = button::Ok;  // not shown: the first shown one
    EXPECT_EQ(EffectiveDefaultButton(r), button::Yes);
    EXPECT_EQ(MessageLines("a||b"), "a\n\nb");
}

TEST(PopupMenuTest, SeparatorsAreNotCountedAndDisabledEntriesAreMarked) {
    const PopupMenu m = ParsePopupMenu("&Insert|Chan&ge|&Delete|-|&Expand All|~Co&ntract All");
    ASSERT_EQ(m.entries.size(), 6u);
    EXPECT_EQ(m.ChoiceCount(), 5);
    EXPECT_TRUE(m.entries[3].separator);
    EXPECT_EQ(m.entries[4].number, 4);
    EXPECT_FALSE(m.Entry(5)->enabled);
    EXPECT_EQ(m.Entry(5)->text, "Co&ntract All");
    EXPECT_EQ(m.NumberOf("expand all"), 4);
    EXPECT_EQ(m.NumberOf("Contract All"), 0);  // disabled
    EXPECT_EQ(StripAccelerator("Gen && &Make"), "Gen & Make");
    EXPECT_TRUE(ParsePopupMenu("").entries.empty());
}

}  // namespace
}  // namespace zelt::runtime

namespace zelt::runtime {
namespace {

TEST_F(WindowModelTest, DateAndTimePicturesShowAndReadStoredValues) {
    std::int32_t date = DateToDayNumber({2026, 12, 7});
    std::int32_t time = TimeToClock({9, 30, 0, 0});
    WindowDeclaration d("Pictures");
    d.Entry("?Date", 10, "@D2").Use(Use(date));  // 1
    d.Entry("?Time", 8, "@T4").Use(Use(time));   // 2
    Window w(d);
    w.Open();
    EXPECT_EQ(w.Value(1), FormatDate(date, 2));
    EXPECT_FALSE(w.Value(1).empty());
    EXPECT_EQ(w.Value(2), FormatTime(time, 4));
    const std::int32_t before = date;
    EXPECT_TRUE(w.UserType(1, "not a date"));
    EXPECT_EQ(date, before);              // nothing stored from text that is no date
    EXPECT_EQ(w.Value(1), "not a date");  // and nothing typed is lost
    EXPECT_TRUE(w.UserType(1, FormatDate(before + 1, 2)));
    EXPECT_EQ(date, before + 1);
}

}  // namespace
}  // namespace zelt::runtime

namespace zelt::runtime {
namespace {

TEST_F(WindowModelTest, MovingAndSizingAreReportedOnceUntilTaken) {
    WindowDeclaration d("Sized");
    d.List("?List", {}).Hint(40, 6);  // 1
    d.List("?Other", {});             // 2
    Window w(d);
    WindowGeometry placed;
    placed.x = 10;
    placed.width = 300;
    placed.height = 200;
    w.SetGeometry(placed);
    w.Open();
    Drain(w);
    WindowGeometry g = placed;
    g.width = 320;
    w.UserGeometry(g);
    g.width = 340;
    w.UserGeometry(g);  // still one Sized waiting
    g.x = 20;
    w.UserGeometry(g);
    g.maximised = true;
    w.UserGeometry(g);
    EXPECT_EQ(Codes(Drain(w)), (std::vector<EventCode>{event::Sized, event::Moved}));
    EXPECT_TRUE(w.Geometry().maximised);
    g.x = 30;
    w.UserGeometry(g, false);  // only noted
    EXPECT_TRUE(w.Pending().empty());
    EXPECT_EQ(w.Geometry().x, 30);

    // Rows in sight: measured, else declared, else ten.
    EXPECT_EQ(w.VisibleRows(1), 6);
    EXPECT_EQ(w.VisibleRows(2), 10);
    w.UserVisibleRows(2, 17);
    w.UserVisibleRows(1, 0);  // nothing measured
    EXPECT_EQ(w.VisibleRows(2), 17);
    EXPECT_EQ(w.VisibleRows(1), 6);
    w.SetThumb(1, 0);
    EXPECT_EQ(w.Thumb(1), 1);
    w.SetThumb(1, 55);
    EXPECT_EQ(w.Thumb(1), 55);
    w.SetVisible(false);
    EXPECT_FALSE(w.IsVisible());
}

}  // namespace
}  // namespace zelt::runtime
