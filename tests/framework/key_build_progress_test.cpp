#include "framework/window/key_build_progress.hpp"

#include <algorithm>

#include "manager_fixture.hpp"
#include "runtime/window/headless_backend.hpp"

namespace zelt::framework::testing {
namespace {

class KeyBuildProgressTest : public ManagerTest {
  protected:
    void SetUp() override {
        parent.Init(t->Parent, errors);
        auto& f = MemoryDriver::FileNamed("parent.mem");
        for (std::uint32_t n = 1; n <= 50; ++n)
            f.records[n] = std::string(sizeof(ParentRecord), ' ');
        f.keys_damaged = true;
        // Every record takes 100 ms of (virtual) time to index.
        f.during_build = [this] {
            session.clock->AdvanceMs(100);
            if (runtime::Window* w = session.system.FindWindow("Building Keys"))
                bars.push_back(w->Value(KeyBuildProgress::Bar));
        };
    }
    void TearDown() override { parent.Kill(); }

    runtime::HeadlessSession session;
    FileManager parent;
    std::vector<std::string> bars;
};

TEST_F(KeyBuildProgressTest, LongRebuildShowsItsProgressAndCloses) {
    EXPECT_EQ(parent.Open(true), LevelOk);
    EXPECT_FALSE(MemoryDriver::FileNamed("parent.mem").keys_damaged);
    EXPECT_TRUE(halts.empty());
    // Hidden for the first second, then the bar climbs to the end.
    ASSERT_FALSE(bars.empty());
    EXPECT_LT(bars.size(), 50u);
    EXPECT_TRUE(std::is_sorted(
        bars.begin(), bars.end(),
        [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); }));
    EXPECT_EQ(bars.back(), "96");  // the 49th of 50 records
    EXPECT_EQ(session.system.FindWindow("Building Keys"), nullptr);
    EXPECT_TRUE(session.script.Failures().empty());
    parent.Close();
}

TEST_F(KeyBuildProgressTest, CancelStopsTheBuild) {
    session.script.Press(KeyBuildProgress::Cancel).In("Building Keys");
    parent.Open(true);
    // The keys stay damaged and the table cannot be used: the rebuild failure is fatal.
    EXPECT_TRUE(MemoryDriver::FileNamed("parent.mem").keys_damaged);
    EXPECT_EQ(halts, (std::vector<std::string>{"3:Key was not built"}));
    EXPECT_EQ(session.script.StepsLeft(), 0u);
    EXPECT_EQ(session.system.FindWindow("Building Keys"), nullptr);
}

TEST_F(KeyBuildProgressTest, QuickBuildsAndStepsForOtherWindowsAreLeftAlone) {
    // A step meant for another window is not taken by the progress window's polling.
    session.script.Press(1).In("Somewhere Else");
    {
        KeyBuildProgress progress(KeyBuildProgress::kDefaultDeferMs);
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(runtime::ReportBuildProgress({"T", 0, i, 5}));
        EXPECT_FALSE(progress.WindowShown());
    }
    {
        KeyBuildProgress progress(0);
        EXPECT_TRUE(runtime::ReportBuildProgress({"T", 0, 0, 5}));
        EXPECT_TRUE(progress.WindowShown());
    }
    EXPECT_EQ(session.script.StepsLeft(), 1u);
    // Outside any progress object nothing listens.
    EXPECT_TRUE(runtime::ReportBuildProgress({"T", 0, 0, 5}));
}

}  // namespace
}  // namespace zelt::framework::testing
