// The accept loop: event order, default handling, nested loops, posting between windows,
// timers on virtual time and halting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/values/day_number.hpp"
#include "runtime/window/headless_backend.hpp"
#include "runtime/window/window.hpp"

namespace zelt::runtime {
namespace {

class WindowLoopTest : public ::testing::Test {
  protected:
    WindowLoopTest() {
        session_.script.SetFailureHandler([](const std::string& f) { ADD_FAILURE() << f; });
    }
    static WindowDeclaration Small(std::string title, int timer = 0) {
        WindowDeclaration d(std::move(title));
        d.Timer(timer);
        d.Button("?One", "One");  // 1
        d.Button("?Two", "Two");  // 2
        return d;
    }
    HeadlessSession session_;
};

std::string Name(const Window& w) {
    std::string s(EventNameOf(w.Event()));
    if (w.Field()) s += "#" + std::to_string(w.Field());
    return s;
}

TEST_F(WindowLoopTest, OpeningFocusAndClosingComeInOrder) {
    Window main(Small("Main"));
    std::vector<std::string> seen;
    session_.script.Press(2);
    session_.script.Press(1);
    session_.script.CloseBox();
    main.Open();
    while (main.Accept()) seen.push_back(Name(main));
    EXPECT_EQ(seen,
              (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:GainFocus", "EVENT:Selected#2",
                                        "EVENT:Accepted#2", "EVENT:Selected#1", "EVENT:Accepted#1",
                                        "EVENT:CloseWindow"}));
    EXPECT_FALSE(main.IsOpen());
    EXPECT_FALSE(main.Accept());
}

TEST_F(WindowLoopTest, CycleKeepsTheWindowOpenAfterACloseEvent) {
    Window w(Small("Main"));
    int closes = 0;
    session_.script.CloseBox();
    session_.script.CloseBox();
    w.Open();
    while (w.Accept()) {
        if (w.Event() == event::CloseWindow && ++closes == 1) w.Cycle();  // "not yet"
    }
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(session_.script.StepsLeft(), 0u);
}

TEST_F(WindowLoopTest, AModalWindowCoversItsOwnerAndHandsTheFocusBack) {
    Window main(Small("Main"));
    std::vector<std::string> main_seen;
    std::vector<std::string> form_seen;
    session_.script.Press(1);    // main opens the form
    session_.script.Press(2);    // in the form: posts an event to the main window
    session_.script.CloseBox();  // closes the form
    session_.script.CloseBox();  // closes main
    main.Open();
    while (main.Accept()) {
        main_seen.push_back(Name(main));
        if (main.Event() == event::Accepted && main.Field() == 1) {
            Window form(Small("Form"));
            form.Open();
            while (form.Accept()) {
                form_seen.push_back(Name(form));
                if (form.Event() == event::Accepted) main.Post(event::Accepted, 2);
            }
        }
    }
    EXPECT_EQ(form_seen,
              (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:GainFocus", "EVENT:Selected#2",
                                        "EVENT:Accepted#2", "EVENT:CloseWindow"}));
    // The event posted from the form's loop waits for the main window's loop, after the
    // focus events of opening and closing the form.
    EXPECT_EQ(main_seen,
              (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:GainFocus", "EVENT:Accepted#1",
                                        "EVENT:LoseFocus", "EVENT:Accepted#2", "EVENT:GainFocus",
                                        "EVENT:CloseWindow"}));
}

TEST_F(WindowLoopTest, ANestedLoopTakesTheWindowsEventsUntilItBreaks) {
    Window w(Small("Main"));
    std::vector<std::string> outer;
    std::vector<std::string> inner;
    session_.script.Press(1);  // starts the nested loop
    session_.script.Press(2);  // seen by the nested loop, which posts two events and stops
    session_.script.CloseBox();
    w.Open();
    while (w.Accept()) {
        outer.push_back(Name(w));
        if (w.Event() == event::Accepted && w.Field() == 1) {
            while (w.Accept()) {
                inner.push_back(Name(w));
                if (w.Event() == event::Accepted && w.Field() == 2) {
                    w.Post(event::ScrollDown, 1);
                    w.Post(event::Timer);
                    w.Post(event::PageDown, 2);
                } else if (w.Event() == event::ScrollDown) {
                    break;  // the rest stays queued for the outer loop
                }
            }
        }
    }
    EXPECT_EQ(inner, (std::vector<std::string>{"EVENT:Selected#2", "EVENT:Accepted#2",
                                               "EVENT:ScrollDown#1"}));
    // ?One has the focus from the start: pressing it selects nothing new.
    EXPECT_EQ(outer,
              (std::vector<std::string>{"EVENT:OpenWindow", "EVENT:GainFocus", "EVENT:Accepted#1",
                                        "EVENT:Timer", "EVENT:PageDown#2", "EVENT:CloseWindow"}));
}

TEST_F(WindowLoopTest, ACloseSeenByANestedLoopEndsTheOuterLoopToo) {
    Window w(Small("Main", 100));
    int outer_events = 0;
    session_.script.Press(1);
    session_.script.CloseBox();
    w.Open();
    while (w.Accept()) {
        ++outer_events;
        if (w.Event() == event::Accepted) {
            while (w.Accept()) {
                if (w.Event() == event::CloseWindow) break;  // leaves without Cycle
            }
        }
    }
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(outer_events, 3);  // open, gain focus, accepted
}

TEST_F(WindowLoopTest, TimersFireOnVirtualTimeAndDoNotPileUp) {
    Window w(Small("Main", 100));  // one second
    std::vector<std::int64_t> fired;
    const ClockValue start = Clock();
    session_.script.AdvanceMs(999);
    session_.script.AdvanceMs(1);      // first tick due
    session_.script.AdvanceMs(10000);  // ten seconds pass in one go: one tick, not ten
    session_.script.Run([] {});
    w.Open();
    while (w.Accept()) {
        if (w.Event() == event::Timer) {
            fired.push_back(session_.clock->MonotonicMs());
            if (fired.size() == 3) break;
        }
    }
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0], 1000);
    EXPECT_EQ(fired[1], 11000);
    // With no step left the clock jumps to the next tick.
    EXPECT_EQ(fired[2], 12000);
    EXPECT_EQ(Clock() - start, 1200);  // the runtime's clock follows the virtual one
}

TEST_F(WindowLoopTest, AFiveMinuteWaitRunsInNoTime) {
    Window w(Small("Main", 100));
    int ticks = 0;
    const DayNumber today = Today();
    w.Open();
    const std::int64_t begin = session_.clock->MonotonicMs();
    while (w.Accept()) {
        if (w.Event() == event::Timer && session_.clock->MonotonicMs() - begin >= 5 * 60 * 1000)
            break;
        if (w.Event() == event::Timer) ++ticks;
    }
    EXPECT_EQ(ticks, 299);
    EXPECT_EQ(Today(), today);
    w.Close();
}

TEST_F(WindowLoopTest, HaltingEndsEveryLoop) {
    Window main(Small("Main"));
    bool inner_ended = false;
    session_.script.Press(1);
    session_.script.Run([this] { session_.system.Halt("stop"); });
    main.Open();
    while (main.Accept()) {
        if (main.Event() == event::Accepted) {
            Window form(Small("Form"));
            form.Open();
            while (form.Accept()) {
            }
            inner_ended = true;
        }
    }
    EXPECT_TRUE(inner_ended);
    EXPECT_FALSE(main.IsOpen());
    EXPECT_EQ(session_.system.HaltReason(), "stop");
    Window late(Small("Late"));
    EXPECT_FALSE(late.Open());
    EXPECT_EQ(
        session_.system.Message("x", "y", StockIcon::None, button::Yes | button::No, button::No),
        button::No);
}

}  // namespace
}  // namespace zelt::runtime
