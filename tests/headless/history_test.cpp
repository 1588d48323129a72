// The build history of a log written by real batches (zelt against vxide on a private bus):
// finished, skipped, aborted, killed, failed and two makes of one application at once, read
// back by zelt --history.
#include <signal.h>

#include <nlohmann/json.hpp>

#include "tests/headless/headless_fixture.hpp"

namespace zelt::app {
namespace {

class HistoryTest : public HeadlessTest {
  protected:
    // Starts a make of project Tools and waits until its "Begin Make" is out.
    pid_t StartMake(const std::string& run = "") {
        const pid_t zelt = Start({"--make", "project", "Tools"}, true, run);
        EXPECT_TRUE(WaitUntil(
            [&] {
                return Slurp(dir_ + "out" + run + ".txt").find("Begin Make") != std::string::npos;
            },
            30000));
        return zelt;
    }
};

TEST_F(HistoryTest, RunsOfRealBatchesAreReadBackWhateverBecameOfThem) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    // A is the one application of project Tools; M has no file, N no target.
    Catalogue({{"A.APP", 1, dir_ + "A.OUT", true, 1, 1},
               {"M.APP", 2, dir_ + "M.OUT", false},
               {"N.APP", 3, ""}});
    {
        // A build that takes a moment, so that A's finished run has a duration to go by.
        Vxide ide({"--instance", "history_ok", "--result-delay", "300"});
        ASSERT_TRUE(ide.ready());
        EXPECT_EQ(Zelt({"--make", "tagged"}).status, 1);  // finished, skipped, skipped
    }
    {
        Vxide ide({"--instance", "history_slow", "--result-delay", "600000"});
        ASSERT_TRUE(ide.ready());
        pid_t zelt = StartMake();
        ::kill(zelt, SIGTERM);  // aborted
        EXPECT_EQ(Finish(zelt, 30000).status, 1);
        zelt = StartMake();
        ::kill(zelt, SIGKILL);  // no end at all
        Finish(zelt, 30000);
    }
    {
        Vxide ide({"--instance", "history_reject", "--reject-all"});
        ASSERT_TRUE(ide.ready());
        EXPECT_EQ(Zelt({"--make", "project", "Tools"}).status, 1);  // failed
    }
    {
        // Two makes of A at once: both see the first target written.
        Vxide ide({"--instance", "history_two", "--result-delay", "8000"});
        ASSERT_TRUE(ide.ready());
        const pid_t one = StartMake("-one");
        const pid_t two = StartMake("-two");
        EXPECT_EQ(Finish(one, 60000, "-one").status, 0);
        EXPECT_EQ(Finish(two, 60000, "-two").status, 0);
    }
    {
        Vxide ide({"--instance", "history_again"});
        ASSERT_TRUE(ide.ready());
        const Outcome again = Zelt({"--make", "project", "Tools"});
        EXPECT_EQ(again.status, 0);
        // A has a finished run now: the make says how long it has left.
        EXPECT_NE(again.err.find("zelt: about "), std::string::npos) << again.err;
    }

    // A listing reads to the end of the log and stops there, without waiting for more.
    const auto started = std::chrono::steady_clock::now();
    const Outcome run = Zelt({"--history", "--json"});
    EXPECT_EQ(Zelt({"--log"}).status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json apps = nlohmann::json::parse(run.out);
    ASSERT_EQ(apps.size(), 3u) << run.out;
    const nlohmann::json& a = apps[0];
    EXPECT_EQ(a["application"], "A.APP");
    EXPECT_EQ(a["runs"], 7) << Zelt({"--log"}).out;
    EXPECT_EQ(a["finished"], 2);
    EXPECT_EQ(a["failed"], 1);
    EXPECT_EQ(a["aborted"], 1);
    EXPECT_EQ(a["unfinished"], 3);  // the killed one, and the two at once
    EXPECT_DOUBLE_EQ(a["success_rate"].get<double>(), 2.0 / 3.0);
    EXPECT_EQ(a["last_run"]["outcome"], "finished");
    EXPECT_EQ(apps[1]["application"], "M.APP");
    EXPECT_EQ(apps[1]["last_run"]["event"], ".APP not found");
    EXPECT_EQ(apps[2]["last_run"]["event"], "Make Aborted: Target name or type not specified");
    EXPECT_EQ(apps[2]["skipped"], 1);

    // The failed run kept its error; named applications only, one without a run said.
    const Outcome named = Zelt({"--history", "--csv", "a.app", "X.APP"});
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.out.find("\"A.APP\",7,2,1,0,1,3,0.667,"), std::string::npos) << named.out;
    EXPECT_EQ(named.out.find("M.APP"), std::string::npos) << named.out;
    EXPECT_NE(named.err.find("no make of X.APP in the activity log"), std::string::npos)
        << named.err;
}

}  // namespace
}  // namespace zelt::app
