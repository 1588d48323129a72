// The demonstration window driven headless: every kind of control, a nested loop on
// virtual time, message boxes, a popup and the report preview.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/window/headless_backend.hpp"
#include "runtime/window/key_codes.hpp"
#include "tools/window_demo/demo_window.hpp"

namespace zelt::tools {
namespace {

using namespace zelt::runtime;

class WindowDemoTest : public ::testing::Test {
  protected:
    WindowDemoTest() {
        s_.script.SetFailureHandler([](const std::string& f) { ADD_FAILURE() << f; });
    }
    Window& Demo() { return *s_.system.FindWindow("ZELT Window Demonstration"); }
    void Add(const std::string& name, const std::string& priority, bool tagged) {
        s_.script.Type(NameEntry, name);
        s_.script.Type(PrioritySpin, priority);
        if (tagged) s_.script.Press(TaggedCheck);
        s_.script.Press(AddItem);
    }
    HeadlessSession s_;
    DemoState state_;
};

TEST_F(WindowDemoTest, ItemsAreAddedCheckedRemovedAndTagged) {
    // A blank name is refused with a message and the focus goes back to the entry.
    s_.script.Press(AddItem);
    s_.script.AnswerMessage(button::Ok).Expecting("Please enter a name.");
    s_.script.Run([this] { EXPECT_EQ(Demo().Focus(), NameEntry); });
    Add("Zeta", "3", true);
    Add("Alpha", "300", false);  // the byte holds 255 at most
    s_.script.Run([this] {
        Window& w = Demo();
        EXPECT_EQ(w.RowCount(ItemList), 2);
        EXPECT_EQ(w.Choice(ItemList), 2);  // the new row is selected
        EXPECT_EQ(w.CellText(ItemList, 2, 3), "255");
        EXPECT_EQ(w.Value(NameEntry), "");     // cleared for the next one
        EXPECT_EQ(w.Value(TaggedCheck), "1");  // the tick stays for the next item
    });
    s_.script.Press(TaggedCheck);
    s_.script.DoubleClick(ItemList, 1);    // double click tags and untags
    s_.script.Key(ItemList, key::Delete);  // Delete asks first
    s_.script.AnswerMessage(button::No).Expecting("Remove \"Zeta\"?");
    s_.script.Key(ItemList, key::Delete);
    s_.script.AnswerMessage(button::Yes);
    s_.script.Press(CloseButton);
    s_.script.AnswerMessage(button::Yes).Expecting("Close the demonstration?");
    RunDemoWindow(state_);

    ASSERT_EQ(state_.items.size(), 1u);
    EXPECT_EQ(state_.items[0].name, "Alpha");
    EXPECT_EQ(state_.items[0].priority, 255);
    EXPECT_EQ(state_.log, (std::vector<std::string>{"open", "add Zeta", "add Alpha", "untag Zeta",
                                                    "remove Zeta", "close"}));
    EXPECT_EQ(s_.script.StepsLeft(), 0u);
}

TEST_F(WindowDemoTest, TheTreeExpandsAndContractsOverItsQueue) {
    state_.items = {{"One", 1, true}, {"Two", 2, false}, {"Three", 3, true}};
    s_.script.Press(TabTree);
    s_.script.Run([this] {
        Window& w = Demo();
        EXPECT_EQ(w.Choice(Sheet), 2);
        EXPECT_EQ(w.RowCount(ItemTree), 6);  // root, Tagged, 2 items, Untagged, 1 item
        EXPECT_FALSE(w.IsReachable(AddItem));
    });
    s_.script.Contract(ItemTree, 2);  // the user folds "Tagged"
    s_.script.Run([this] {
        EXPECT_EQ(Demo().RowCount(ItemTree), 4);
        EXPECT_EQ(state_.tree[1].level, -2);  // collapsed with children
        EXPECT_EQ(Demo().Choice(ItemTree), 2);
    });
    s_.script.Key(ItemTree, key::Right);  // right arrow opens it again
    s_.script.Press(ContractAll);
    s_.script.Run([this] { EXPECT_EQ(Demo().RowCount(ItemTree), 3); });
    s_.script.Press(ExpandAll);
    s_.script.CloseBox();
    RunDemoWindow(state_);
    EXPECT_EQ(state_.tree.size(), 6u);
    EXPECT_EQ(state_.log, (std::vector<std::string>{"open", "tab 2", "contract Tagged",
                                                    "expand Tagged", "close"}));
}

TEST_F(WindowDemoTest, TheTimerRunsOnVirtualTimeAndTheWaitNestsALoop) {
    // Four ticks of half a second. Time passing in one step gives one tick, not several.
    for (int i = 0; i < 4; ++i) s_.script.AdvanceMs(500);
    s_.script.Press(WaitButton);  // a nested loop for three more ticks
    s_.script.Run([this] {        // played by the nested loop
        EXPECT_TRUE(Demo().IsDisabled(WaitButton));
        EXPECT_EQ(state_.nested_waits, 0);
    });
    for (int i = 0; i < 3; ++i) s_.script.AdvanceMs(500);
    s_.script.Run([this] {  // played by the outer loop again
        EXPECT_EQ(state_.nested_waits, 1);
        EXPECT_FALSE(Demo().IsDisabled(WaitButton));
        EXPECT_EQ(Demo().Value(Ticks), "Ticks: " + std::to_string(state_.ticks));
    });
    s_.script.CloseBox();
    RunDemoWindow(state_);
    EXPECT_EQ(state_.ticks, 7);
    EXPECT_EQ(state_.log[1], "wait begins");
    EXPECT_EQ(state_.log[2], "wait ends after 3");
}

TEST_F(WindowDemoTest, APopupSortsAndTheReportIsPreviewedOnTwoPages) {
    state_.items = {{"Beta", 9, false}, {"Alpha", 5, true}, {"Gamma", 1, false}};
    s_.script.Press(MenuButton);
    s_.script.ChoosePopup("Sort by Name");
    s_.script.Press(MenuButton);
    s_.script.ChoosePopup("Print Report");
    s_.script.AnswerPreview(true);
    s_.script.CloseBox();
    RunDemoWindow(state_);
    EXPECT_EQ(state_.items[0].name, "Alpha");
    EXPECT_EQ(state_.items[2].name, "Gamma");
    ASSERT_EQ(s_.script.Popups().size(), 2u);
    EXPECT_EQ(s_.script.Popups()[0][3], "~&Export");
    ASSERT_EQ(s_.script.Previews().size(), 1u);
    const auto& pages = s_.script.Previews()[0];
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0][0], "ZELT Demonstration Report");
    EXPECT_EQ(pages[1].back(), "Page   2");
    EXPECT_EQ(s_.script.Printed().size(), 1u);
    EXPECT_FALSE(s_.script.Busy());
    EXPECT_EQ(state_.log.back(), "close");
}

}  // namespace
}  // namespace zelt::tools
