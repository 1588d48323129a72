// The make batches end to end: real table files, a private session bus and the stand-in IDE.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/dbus/dbus_transport.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "tests/batches/bus_batches.hpp"

namespace zelt::app::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(BusBatches, TaggedApplicationsAreMadeByPriorityThenName) {
    Add("C.APP", 2, "*");
    Add("B.APP", 1, "*");
    Add("a.APP", 1, "*");
    Add("D.APP", 1, "*", 0, false);
    auto vx = StartIde({});
    ASSERT_TRUE(vx->ready());

    const BatchSummary done = engine->MakeTagged();
    EXPECT_EQ(done.made, 3);
    EXPECT_EQ(done.ExitStatus(), 0);
    EXPECT_THAT(LogLines(),
                ElementsAre("a.APP: Begin Make", "a.APP: Make Finished", "B.APP: Begin Make",
                            "B.APP: Make Finished", "C.APP: Begin Make", "C.APP: Make Finished"));
    EXPECT_EQ(window.logged, LogLines());
    EXPECT_THAT(Commands(), ElementsAre(Make("a.APP"), Make("B.APP"), Make("C.APP")));
    EXPECT_TRUE(FileExists(apps_dir + "C.EXE"));
    EXPECT_FALSE(FileExists(apps_dir + "D.EXE"));
    EXPECT_THAT(window.statuses,
                ::testing::IsSupersetOf({"Connected to Vextor", "a.APP DDE Ack. 1",
                                         "a.APP Compiled & Made 1", "C.APP Compiled & Made 2"}));
    EXPECT_EQ(window.statuses.back(), "Processing Complete");
    EXPECT_THAT(window.trace, ElementsAre("beep", "activate", "beep", "focus:list"));
    EXPECT_EQ(window.progress.back(), std::make_pair(3, 3));
    EXPECT_EQ(ide->Connected, 0);
}

TEST_F(BusBatches, ProjectAndSubsetMakes) {
    const std::int32_t orders = AddProject("Orders");
    const std::int32_t other = AddProject("Other");
    Add("Z.APP", 1, "*", orders, false);
    Add("Y.APP", 3, "*", orders);
    Add("X.APP", 1, "*", orders);
    Add("W.APP", 1, "*", other);
    auto vx = StartIde({});
    ASSERT_TRUE(vx->ready());

    // Every application of the project, tagged or not; the focus stays where it is.
    EXPECT_EQ(engine->MakeProject("orders").made, 3);
    EXPECT_THAT(Commands(), ElementsAre(Make("X.APP"), Make("Z.APP"), Make("Y.APP")));
    EXPECT_THAT(window.trace, ElementsAre("beep", "activate", "beep"));
    EXPECT_EQ(engine->ProcessQueue.size(), 3u);

    // An unknown name (an application line of the tree) makes nothing.
    ClearCommands();
    window.trace.clear();
    EXPECT_EQ(engine->MakeProject("X.APP").made, 0);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(ide->StatusMsg, "Processing Complete");

    // The subset: by priority, then name; the focus goes to its tab before the second beep.
    window.trace.clear();
    for (const char* name : {"Y.APP", "Z.APP", "X.APP"}) {
        engine->ToggleSubsetTag(Entry(name, name[0] == 'Y' ? 2 : 1));
    }
    engine->ToggleSubsetTag(Entry("Q.APP", 1));
    engine->ToggleSubsetTag(Entry("Q.APP", 1));  // toggled off again
    EXPECT_TRUE(engine->IsSubsetTagged("Z.APP"));
    EXPECT_FALSE(engine->IsSubsetTagged("Q.APP"));
    window.statuses.clear();
    EXPECT_EQ(engine->MakeSubset().made, 3);
    EXPECT_THAT(Commands(), ElementsAre(Make("X.APP"), Make("Z.APP"), Make("Y.APP")));
    EXPECT_THAT(window.trace, ElementsAre("beep", "activate", "focus:tab4", "beep"));
    EXPECT_THAT(window.statuses,
                ::testing::IsSupersetOf({"X.APP DDE Ack. ", "X.APP Compiled & Made"}));
    EXPECT_EQ(engine->SubsetTagQueue.front().AppName.Clip(), "X.APP");  // still in name order
}

TEST_F(BusBatches, ApplicationsWithoutFileOrTargetAreSkippedAndCounted) {
    Add("GONE.APP", 1, "*", 0, true, false);
    Add("BLANK.APP", 2, "");
    Add("NOSLASH.APP", 3, "NOSLASH.EXE");
    Add("NOEXT.APP", 4, apps_dir + "NOEXT.");
    Add("BARE.APP", 5, apps_dir + "BARE");
    auto vx = StartIde({});
    ASSERT_TRUE(vx->ready());

    const BatchSummary done = engine->MakeTagged();
    const std::string aborted = "Make Aborted: Target name or type not specified";
    EXPECT_THAT(
        LogLines(),
        ElementsAre("GONE.APP: .APP not found", "BLANK.APP: Begin Make", "BLANK.APP: " + aborted,
                    "NOSLASH.APP: Begin Make", "NOSLASH.APP: " + aborted, "NOEXT.APP: Begin Make",
                    "NOEXT.APP: " + aborted, "BARE.APP: Begin Make", "BARE.APP: Make Finished"));
    EXPECT_TRUE(FileExists(apps_dir + "BARE"));
    EXPECT_EQ(engine->NoTargetCount, 3);
    EXPECT_EQ(done.skipped, 4);
    EXPECT_EQ(done.ExitStatus(), 1);
    ASSERT_EQ(window.Captioned().size(), 1u);
    EXPECT_EQ(window.Captioned()[0],
              "Warning: 3 Files with NO target specified were found and were not made.||Check log "
              "for details.");
    EXPECT_EQ(window.boxes.back().icon, runtime::StockIcon::Question);
}

TEST_F(BusBatches, ARejectedCommandEndsTheBatchAfterTheOldTargetWasDeleted) {
    Add("A.APP", 1, "*");
    Add("B.APP", 2, "*");
    Write(apps_dir + "A.EXE", "an old build");
    auto vx = StartIde({"--reject-all"});
    ASSERT_TRUE(vx->ready());

    const BatchSummary done = engine->MakeTagged();
    EXPECT_FALSE(FileExists(apps_dir + "A.EXE"));  // deleted before the command was sent
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_THAT(LogLines(),
                ElementsAre("A.APP: Begin Make", "A.APP: Error 603 DDEexecute - invalid command"));
    // The channel's check shows the IDE's own message; codes above 600 get no second box.
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "Error 6 : Command rejected: this IDE rejects every command");
    EXPECT_EQ(done.failed, 1);
    EXPECT_EQ(ide->StatusMsg, "Processing Complete");
}

TEST_F(BusBatches, AnIdeThatIsNotRunningIsStartedFromTheRunString) {
    Add("A.APP", 1, "*");
    run_string = kVxidePath + " --instance started_by_zelt --log " + CommandLog();
    EXPECT_EQ(engine->MakeTagged().made, 1);
    EXPECT_THAT(Commands(), ElementsAre(Make("A.APP")));
    EXPECT_THAT(window.statuses, ::testing::Contains("Starting Vextor"));
    zelt::testing::EndProcess(starter.LastProcess());
}

TEST_F(BusBatches, WithoutAnIdeOrARunStringTheBatchCannotRun) {
    Add("A.APP", 1, "*");
    const BatchSummary done = engine->MakeTagged();
    EXPECT_TRUE(done.could_not_run);
    EXPECT_EQ(done.ExitStatus(), 2);
    EXPECT_THAT(LogLines(), ElementsAre("Vextor: Not run: Vextor could not be started: no "
                                        "command string to start Vextor is set."));
}

TEST_F(BusBatches, AnIdeKilledDuringAWaitEndsTheItemAtOnceAndTheBatchGoesOn) {
    // Two IDEs: the first by name is the partner and takes its time; the second makes the rest.
    Vxide first({"--instance", "batches_a", "--result-delay", "600000"});
    Vxide second({"--instance", "batches_b"});
    ASSERT_TRUE(first.ready() && second.ready());
    Add("A.APP", 1);
    Add("B.APP", 2);
    engine->WaitLimitSeconds = 0;
    std::int64_t killed_at = 0;
    std::int64_t ended_at = 0;
    window.on_wait = [&](int n) {
        if (n != 2) return;
        ::kill(first.process().pid(), SIGKILL);
        killed_at = zelt::testing::SteadyMs();
    };
    window.on_logged = [&](const TempFileRecord& event) {
        if (event.Event.Clip().starts_with("Error 602")) ended_at = zelt::testing::SteadyMs();
    };
    const BatchSummary done = engine->MakeTagged();
    EXPECT_LT(ended_at - killed_at, 2000);
    EXPECT_THAT(LogLines(),
                ElementsAre("A.APP: Begin Make",
                            "A.APP: Error 602 DDE channel is not open: Vextor went away",
                            "B.APP: Begin Make", "B.APP: Make Finished"));
    EXPECT_EQ(done.made, 1);
    EXPECT_EQ(done.failed, 1);
    EXPECT_THAT(window.statuses, ::testing::Contains("Vextor went away"));
    EXPECT_EQ(ide->StatusMsg, "Ended: Vextor went away");
}

}  // namespace
}  // namespace zelt::app::testing
