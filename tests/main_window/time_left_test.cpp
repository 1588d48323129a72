// The time left of a make batch beside the main window's progress bar, on virtual time: with
// a known history the estimate after each item is the sum of the medians of the items not
// yet done; without any history there is none.
#include "app/history/time_left.hpp"
#include "app/log/event_log.hpp"
#include "runtime/values/day_number.hpp"
#include "tests/main_window/main_window_fixture.hpp"

namespace zelt::app::testing {
namespace {

class TimeLeftTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (const char* name : {"A", "B", "C"}) {
            MakeFile(std::string("src/") + name + ".APP");
            StoreApp(Path("src/"), std::string(name) + ".APP", 1, 0, 1,
                     Path(std::string("bin/") + name + ".EXE"));
        }
    }
    // A finished make of `name` that took `seconds`, yesterday.
    void Made(const std::string& name, int seconds) {
        SetTableNames();
        TempFileRelations.OpenAll();
        for (const auto& [clock, text] :
             {std::pair{1 + 100 * seconds_, "Begin Make"},
              std::pair{1 + 100 * (seconds_ + seconds), "Make Finished"}}) {
            TMP.Apps = name;
            TMP.Date = runtime::Today() - 1;
            TMP.Clock = clock;
            TMP.Event = text;
            EXPECT_EQ(TempFile.Add(), runtime::err::NoError);
        }
        TempFileRelations.CloseAll();
        seconds_ += seconds + 1;
    }
    void EmptyLog() {
        SetTableNames();
        TempFileRelations.OpenAll();
        EXPECT_EQ(EmptyEventLog(), runtime::err::NoError);
        TempFileRelations.CloseAll();
    }
    // Each item's target made a second after the last: the text beside the progress bar
    // while each of them waits.
    void MakeAll(std::vector<std::string>& seen) {
        script.Press(MainCtl::ExecuteApp);
        for (const char* name : {"A", "B", "C"}) {
            script.Run([this, name, &seen] {
                seen.push_back(W().Text(+MainCtl::STRING1));
                MakeFile(std::string("bin/") + name + ".EXE");
            });
            script.AdvanceMs(1000);
        }
        script.Run([this] { EXPECT_EQ(main->LastBatch()->made, 3); });
    }
    int seconds_ = 0;
};

TEST_F(TimeLeftTest, TheEstimateIsTheMediansOfTheItemsLeftAndNoneWithoutHistory) {
    std::vector<std::string> first, second, third;
    MakeAll(first);
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(first, (Texts{"0 of 3", "1 of 3", "2 of 3"}));  // no history at all

    // A took 60 and 120 s, B 30 s, C has no history: it counts as the median of A's 90 and
    // B's 30.
    EmptyLog();
    Made("A.APP", 60);
    Made("A.APP", 120);
    Made("B.APP", 30);
    MakeAll(second);
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(second, (Texts{"0 of 3, about 3 min left", "1 of 3, about 2 min left",
                             "2 of 3, about 1 min left"}));

    // The batch's own runs count in the next one: A's median is now 60 s, B's 15.5, C's 1.
    MakeAll(third);
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(third, (Texts{"0 of 3, about 1 min left", "1 of 3, about 20 s left",
                            "2 of 3, about 10 s left"}));
}

TEST(TimeLeft, TheTextRoundsSensibly) {
    const std::vector<std::pair<std::int64_t, std::string>> rows = {
        {0, "about 10 s left"},
        {1400, "about 10 s left"},
        {4400, "about 40 s left"},
        {5600, "about 1 min left"},
        {27000, "about 5 min left"},
        {56900, "about 9 min left"},
        {138000, "about 25 min left"},
        {57 * 60 * 100, "about 55 min left"},
        {58 * 60 * 100, "about 1 h left"},
        {(2 * 3600 + 20 * 60) * 100, "about 2 h 15 min left"},
    };
    for (const auto& [hundredths, text] : rows)
        EXPECT_EQ(TimeLeftText(hundredths), text) << hundredths;
    // The median of the items with history stands in for the others; none without any.
    const TimeLeft left({{"A.APP", 6000}, {"B.APP", 2000}}, {"A.APP", "X.APP", "B.APP"});
    EXPECT_EQ(left.After(0), 12000);
    EXPECT_EQ(left.After(2), 2000);
    EXPECT_EQ(left.After(3), 0);
    EXPECT_FALSE(TimeLeft({{"A.APP", 6000}}, {"X.APP"}).After(0).has_value());
    // Two IDEs share the items left, but no estimate is below the longest item left.
    EXPECT_EQ(left.After(0, 2), 6000);
    EXPECT_EQ(TimeLeft({{"A.APP", 3000}}, {"A.APP", "A.APP", "A.APP"}).After(0, 2), 4500);
    EXPECT_EQ(left.After(2, 4), 2000);
}

}  // namespace
}  // namespace zelt::app::testing
