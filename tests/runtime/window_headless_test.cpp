// The scripted backend: answers, records, and fails fast with a clear reason instead of
// hanging.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/window/headless_backend.hpp"
#include "runtime/window/window.hpp"

namespace zelt::runtime {
namespace {

WindowDeclaration Form() {
    WindowDeclaration d("Form");
    d.Button("?Ask", "&Ask");            // 1
    d.Button("?Off", "Off").Disabled();  // 2
    d.Entry("?Name", 20);                // 3
    return d;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs the form: ?Ask shows a Yes/No question and records the answer.
std::vector<int> RunForm(int buttons = button::Yes | button::No) {
    std::vector<int> answers;
    Window w(Form());
    w.Open();
    while (w.Accept()) {
        if (w.Event() == event::Accepted && w.Field() == 1)
            answers.push_back(Message("Are you entirely sure?", "Best be sure",
                                      StockIcon::Exclamation, buttons, button::No));
    }
    return answers;
}

TEST(HeadlessBackendTest, MessagesAreAnsweredAndRecorded) {
    HeadlessSession s;
    s.script.Press("?Ask");
    s.script.AnswerMessage(button::Yes).Expecting("entirely");
    s.script.Press("?Ask");
    s.script.AnswerMessage(button::No);
    s.script.CloseBox();
    EXPECT_EQ(RunForm(), (std::vector<int>{button::Yes, button::No}));
    EXPECT_TRUE(s.script.Failures().empty());
    ASSERT_EQ(s.script.Messages().size(), 2u);
    EXPECT_EQ(s.script.Messages()[0].request.caption, "Best be sure");
    EXPECT_EQ(s.script.Messages()[0].request.icon, StockIcon::Exclamation);
    EXPECT_EQ(s.script.Messages()[1].answer, button::No);
}

TEST(HeadlessBackendTest, AnUnexpectedMessageBoxFailsWithItsTextAndEndsTheRun) {
    HeadlessSession s;
    s.script.Press("?Ask");
    s.script.CloseBox();                                   // the script did not expect the question
    EXPECT_EQ(RunForm(), (std::vector<int>{button::No}));  // the default answers
    ASSERT_EQ(s.script.Failures().size(), 1u);
    EXPECT_TRUE(Contains(s.script.Failures()[0],
                         "Unexpected message box \"Best be sure\": Are you entirely sure?"))
        << s.script.Failures()[0];
    EXPECT_TRUE(s.system.IsHalted());
}

TEST(HeadlessBackendTest, WrongAnswersFail) {
    {
        HeadlessSession s;
        s.script.Press("?Ask");
        s.script.AnswerMessage(button::Yes).Expecting("not in the text");
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "does not contain")) << s.script.Failures()[0];
    }
    {
        HeadlessSession s;
        s.script.Press("?Ask");
        s.script.AnswerMessage(button::Cancel);  // not among Yes and No
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "does not show")) << s.script.Failures()[0];
    }
    {
        HeadlessSession s;
        s.script.AnswerMessage(button::Yes);  // but the window waits for the user
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "expects a message answer next"))
            << s.script.Failures()[0];
    }
}

TEST(HeadlessBackendTest, UserStepsThatCannotHappenFail) {
    {
        HeadlessSession s;
        s.script.Press("?Off");
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0],
                             "press ?Off in the window \"Form\", but it is disabled"))
            << s.script.Failures()[0];
    }
    {
        HeadlessSession s;
        s.script.Press("?Missing");
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "no such control"));
    }
    {
        HeadlessSession s;
        s.script.Type("?Name", "x").In("Other window");
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "\"Other window\", which is not open"));
    }
    {
        HeadlessSession s;  // nothing scripted and no timer: the run cannot go on
        RunForm();
        ASSERT_EQ(s.script.Failures().size(), 1u);
        EXPECT_TRUE(Contains(s.script.Failures()[0], "ran out while the window \"Form\" waits"));
    }
}

TEST(HeadlessBackendTest, AWaitThatNeverEndsFailsAtTheVirtualTimeLimit) {
    HeadlessSession s;
    s.script.SetIdleLimitMs(60 * 1000);
    WindowDeclaration d("Waiter");
    d.Timer(100);
    Window w(d);
    w.Open();
    int ticks = 0;
    while (w.Accept()) {
        if (w.Event() == event::Timer) ++ticks;
    }
    EXPECT_EQ(ticks, 60);
    ASSERT_EQ(s.script.Failures().size(), 1u);
    EXPECT_TRUE(Contains(s.script.Failures()[0], "still waits after 60 seconds"))
        << s.script.Failures()[0];
}

TEST(HeadlessBackendTest, PopupsAndChoosersAreAnsweredByTheScript) {
    HeadlessSession s;
    s.script.SetFailureHandler([](const std::string& f) { ADD_FAILURE() << f; });
    s.script.ChoosePopup("Expand All");
    s.script.ChoosePopup(2);
    s.script.ChoosePopup(0);
    s.script.ChooseFile("/home/dev/app/main.app");
    s.script.CancelChooser();
    s.script.ChooseDirectory("/srv/zelt/");
    const std::string menu = "&Insert|Chan&ge|&Delete|-|&Expand All|Co&ntract All";
    EXPECT_EQ(Popup(menu), 4);
    EXPECT_EQ(Popup(menu), 2);
    EXPECT_EQ(Popup(menu), 0);
    FileChooserRequest file;
    file.title = "Choose a File";
    file.filters = {{"Application files", "*.app"}, {"Projects", "*.prj"}};
    EXPECT_EQ(ChooseFile(file), "/home/dev/app/main.app");
    EXPECT_EQ(ChooseFile(file), std::nullopt);
    EXPECT_EQ(ChooseDirectory({"Select FPT Directory", "", true}), "/srv/zelt/");
    EXPECT_EQ(s.script.StepsLeft(), 0u);
    ASSERT_EQ(s.script.Popups().size(), 3u);
    EXPECT_EQ(s.script.Popups()[0][3], "-");
    ASSERT_EQ(s.script.Choosers().size(), 3u);
    EXPECT_EQ(s.script.Choosers()[2].title, "Select FPT Directory");
    EXPECT_TRUE(s.script.Choosers()[2].directory);
}

TEST(HeadlessBackendTest, ADisabledPopupEntryCannotBeChosen) {
    HeadlessSession s;
    s.script.ChoosePopup(2);
    EXPECT_EQ(Popup("&Insert|~&Change"), 0);
    ASSERT_EQ(s.script.Failures().size(), 1u);
    EXPECT_TRUE(Contains(s.script.Failures()[0], "not there or disabled"));
}

TEST(HeadlessBackendTest, BeepsSoundsBusyCursorAndActivationAreRecorded) {
    HeadlessSession s;
    Window w(Form());
    w.Open();
    Beep();
    Beep();
    PlaySoundFile("ir_inter.wav");
    {
        BusyCursor busy;
        BusyCursor nested;
        EXPECT_TRUE(s.script.Busy());
    }
    EXPECT_FALSE(s.script.Busy());
    s.system.Activate(w);
    EXPECT_EQ(s.script.Beeps(), 2);
    EXPECT_EQ(s.script.Sounds(), (std::vector<std::string>{"ir_inter.wav"}));
    EXPECT_EQ(s.script.Activations(), (std::vector<std::string>{"Form"}));
    const std::string state = DescribeWindow(w);
    EXPECT_TRUE(Contains(state, "2 button ?Off text=\"Off\" disabled")) << state;
}

}  // namespace
}  // namespace zelt::runtime

namespace zelt::runtime {
namespace {

struct Node {
    std::string name;
    int level;
};

TEST(HeadlessBackendTest, ResizingAndTheDescribedStateOfLists) {
    HeadlessSession s;
    s.script.SetFailureHandler([](const std::string& f) { ADD_FAILURE() << f; });
    std::vector<Node> nodes{{"PROJECTS", 0}, {"Tools", -1}, {"Main", 1}, {"MAIN.APP", 2}};
    QueueList<Node> tree(nodes, {[](const Node& n) { return ListCell(n.name); }},
                         [](const Node& n) { return n.level; });
    WindowDeclaration d("Tree");
    d.Tree("?RelTree", {});
    Window w(d);
    std::vector<EventCode> seen;
    std::string state;
    s.script.Resize(640, 480);
    s.script.Run([&] { state = DescribeWindow(w); });
    s.script.CloseBox();
    w.Open();
    w.SetListSource(1, &tree);
    while (w.Accept()) seen.push_back(w.Event());
    EXPECT_EQ(seen, (std::vector<EventCode>{event::OpenWindow, event::GainFocus, event::Sized,
                                            event::CloseWindow}));
    EXPECT_EQ(w.Geometry().width, 640);
    EXPECT_TRUE(Contains(
        state, "1 tree ?RelTree choice=1 rows=4\n    1: [0] |PROJECTS\n    2: [-1] |Tools\n"))
        << state;
}

}  // namespace
}  // namespace zelt::runtime
