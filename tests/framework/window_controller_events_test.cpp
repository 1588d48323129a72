// The window controller's life and event routing: components, refreshes, buttons, the
// procedure name, and the end of the loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/window/window_controller.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
namespace ev = runtime::event;

enum Ctl : int { Entry = 1, Close, Quit };

runtime::WindowDeclaration Declaration() {
    runtime::WindowDeclaration w("Events");
    w.Entry("?Entry", 10);
    w.Button("?Close", "&Close");
    w.Button("?Quit", "&Quit");
    return w;
}

// A component that records what it is asked and answers as told.
struct Probe final : WindowComponent {
    explicit Probe(std::vector<std::string>& log, std::string name)
        : log_(log), name_(std::move(name)) {}
    runtime::Window* window = nullptr;
    Level answer = LevelOk;
    runtime::EventCode answer_on = 0;
    bool needs_reset = false;
    int kills = 0;
    std::vector<bool> resets;
    std::vector<runtime::EventCode> events;

    void Kill() override { ++kills; }
    void Reset(bool force) override {
        resets.push_back(force);
        needs_reset = false;
    }
    bool NeedsReset() override { return needs_reset; }
    void Update() override { log_.push_back(name_ + ":update"); }
    Level HandleEvent() override {
        events.push_back(window->Event());
        return window->Event() == answer_on ? answer : LevelOk;
    }
    void SetAlerts() override { log_.push_back(name_ + ":alerts"); }
    void UpdateWindow() override { log_.push_back(name_ + ":show"); }

  private:
    std::vector<std::string>& log_;
    std::string name_;
};

class EventsWindow : public WindowController {
  public:
    EventsWindow(ErrorReporter& errors, std::vector<std::string>& log)
        : WindowController(errors, Declaration(), "EventsWindow"), a(log, "a"), b(log, "b") {
        a.window = b.window = &Window();
    }
    Probe a, b;
    std::string name_seen;
    int first_opens = 0;

    Level Init() override {
        WindowController::Init();
        AddComponent(a);
        AddComponent(b);
        AddButton(Ctl::Close, ResponseCompleted);
        OpenWindow();
        return LevelOk;
    }
    void OnFirstOpen() override {
        ++first_opens;
        name_seen = Errors.GetProcedureName();
        WindowController::OnFirstOpen();
    }
    Level OnFieldEvent() override {
        return Window().Field() == Ctl::Quit && Window().Event() == ev::Accepted ? LevelFatal
                                                                                 : LevelOk;
    }
};

class WindowEventsTest : public ::testing::Test {
  protected:
    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    std::vector<std::string> log;
    EventsWindow w{s.errors, log};
};

TEST_F(WindowEventsTest, OpeningRefreshesOnceAndButtonsAnswerTheirResponse) {
    script.Press(Ctl::Close);
    EXPECT_EQ(w.Run(), ResponseCompleted);
    EXPECT_EQ(w.first_opens, 1);
    EXPECT_EQ(w.name_seen, "EventsWindow") << "the name is pushed while the window runs";
    EXPECT_EQ(s.errors.GetProcedureName(), "") << "and popped after";
    EXPECT_TRUE(w.FirstOpenDone());
    // Open gives OpenWindow (first open: refresh) then GainFocus (refresh again).
    EXPECT_EQ(w.a.resets, (std::vector<bool>{false, false}));
    EXPECT_EQ(log[0], "a:show");
    EXPECT_EQ(log[1], "b:show");
    // A consumed button does not reach the components.
    EXPECT_EQ(std::count(w.a.events.begin(), w.a.events.end(), ev::Accepted), 0);
    EXPECT_EQ(w.a.kills, 1);
    EXPECT_EQ(w.b.kills, 1);
    EXPECT_EQ(w.Kill(), LevelNotify) << "a second kill does nothing";
    EXPECT_EQ(w.a.kills, 1);
    EXPECT_FALSE(w.Window().IsOpen());
}

TEST_F(WindowEventsTest, ComponentsSeeEventsInOrderAndTheFirstAnswerEndsTheRound) {
    w.a.answer_on = ev::NewSelection;
    w.a.answer = LevelNotify;
    script.Run([&] { w.Window().Post(ev::NewSelection, Ctl::Entry); });
    script.Run([&] { w.Window().Post(ev::Timer); });
    script.CloseBox();
    EXPECT_EQ(w.Run(), ResponseCancelled);
    EXPECT_EQ(std::count(w.a.events.begin(), w.a.events.end(), ev::NewSelection), 1);
    EXPECT_EQ(std::count(w.b.events.begin(), w.b.events.end(), ev::NewSelection), 0);
    EXPECT_EQ(std::count(w.b.events.begin(), w.b.events.end(), ev::Timer), 1);
}

TEST_F(WindowEventsTest, AComponentAskingForAResetRefreshesTheWindow) {
    script.Run([&] {
        w.a.resets.clear();
        w.b.resets.clear();
        w.b.needs_reset = true;
        w.Window().Post(ev::Timer);
    });
    script.Run([&] {
        EXPECT_EQ(w.a.resets, std::vector<bool>{false});
        EXPECT_EQ(w.b.resets, std::vector<bool>{false});
    });
    script.CloseBox();
    w.Run();
}

TEST_F(WindowEventsTest, LosingTheFocusForcesTheNextReset) {
    script.Run([&] {
        w.Settings.ResetOnGainFocus = true;
        w.a.resets.clear();
        w.Window().Post(ev::LoseFocus);
        w.Window().Post(ev::GainFocus);
        w.Window().Post(ev::GainFocus);
    });
    script.Run([&] { EXPECT_EQ(w.a.resets, (std::vector<bool>{true, false})); });
    script.CloseBox();
    w.Run();
}

TEST_F(WindowEventsTest, ALevelFatalEndsTheLoopAndUpdatesAndAlertsReachEveryComponent) {
    script.Run([&] {
        log.clear();
        w.UpdateComponents();
        w.SetAlerts();
        EXPECT_EQ(log, (std::vector<std::string>{"a:update", "b:update", "a:alerts", "b:alerts"}));
    });
    script.Press(Ctl::Quit);
    EXPECT_EQ(w.Run(), ResponseCancelled);
    EXPECT_FALSE(w.Window().IsOpen());
    EXPECT_EQ(script.StepsLeft(), 0u);
}

TEST_F(WindowEventsTest, TheGlobalRequestIsTakenOverOnce) {
    script.Press(Ctl::Close);
    EXPECT_EQ(CallWithRequest(RequestSelect, [&] { w.Run(); }), ResponseCompleted);
    EXPECT_EQ(w.Request, RequestSelect);
    EXPECT_EQ(w.OriginalRequest, RequestSelect);
    EXPECT_EQ(GlobalRequest(), RequestNone);
    EXPECT_EQ(CallWithRequest(RequestChange, {}), ResponseCancelled)
        << "no response reads as cancelled";
}

}  // namespace
}  // namespace zelt::framework
