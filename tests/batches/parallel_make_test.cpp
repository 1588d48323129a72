// Makes over several stand-in IDEs at once, on a private session bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "tests/batches/bus_batches.hpp"

namespace zelt::app::testing {
namespace {

using ::testing::ElementsAre;

class ParallelMakes : public BusBatches {
  protected:
    // A stand-in IDE named `instance` that logs its commands to the shared log.
    std::unique_ptr<Vxide> Ide(const std::string& instance, std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--instance", instance, "--log", CommandLog()});
        auto started = std::make_unique<Vxide>(std::move(options));
        EXPECT_TRUE(started->ready()) << instance;
        return started;
    }
    // Where an event stands in the log (its first from line `from` on).
    std::size_t At(const std::string& line, std::size_t from = 0) {
        const std::vector<std::string> lines = LogLines();
        return static_cast<std::size_t>(
            std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), line) -
            lines.begin());
    }
    // Conversations each IDE holds, as it says itself (the asking one included).
    std::vector<std::string> OpenOnEachIde(int ides) {
        std::vector<std::string> counts;
        std::vector<runtime::ChannelHandle> asking;
        for (int i = 0; i < ides; ++i) {
            const runtime::ChannelHandle channel = client->OpenAnotherConversation(kIdeService, "");
            std::string count = "none";
            client->RequestItem(channel, "Conversations", count);
            counts.push_back(count);
            asking.push_back(channel);
        }
        for (const runtime::ChannelHandle channel : asking) client->CloseConversation(channel);
        return counts;
    }
};

TEST_F(ParallelMakes, EqualPrioritiesOverlapAndAHigherOneStartsOnlyWhenTheLowerHaveEnded) {
    auto a = Ide("p_a", {"--result-delay", "300"});
    auto b = Ide("p_b", {"--result-delay", "300"});
    auto c = Ide("p_c", {"--result-delay", "300"});
    Add("A.APP", 1);
    Add("B.APP", 1);
    Add("C.APP", 1);
    Add("D.APP", 2);
    Add("E.APP", 2, "*", 0, true, false);  // no file: skipped, and takes no IDE
    engine->ParallelIDEs = 3;

    const BatchSummary done = engine->MakeTagged();
    EXPECT_EQ(done.made, 4);
    EXPECT_EQ(done.skipped, 1);
    // All three of priority 1 were sent before the first ended.
    const std::size_t first_end = std::min(
        {At("A.APP: Make Finished"), At("B.APP: Make Finished"), At("C.APP: Make Finished")});
    EXPECT_LT(At("C.APP: Begin Make"), first_end);
    // Priority 2 began only after every item of priority 1 had ended.
    const std::size_t last_end = std::max(
        {At("A.APP: Make Finished"), At("B.APP: Make Finished"), At("C.APP: Make Finished")});
    EXPECT_GT(At("D.APP: Begin Make"), last_end);
    EXPECT_LT(last_end, LogLines().size());
    EXPECT_EQ(window.logged, LogLines());
    EXPECT_THAT(window.statuses, ::testing::Contains("3 building: A.APP, B.APP, C.APP"));
    EXPECT_EQ(window.statuses.back(), "Processing Complete");
    EXPECT_EQ(window.progress.back(), std::make_pair(5, 5));
    EXPECT_EQ(Commands().size(), 4u);
    EXPECT_EQ(ide->Connected, 0);
    EXPECT_THAT(OpenOnEachIde(3), ElementsAre("1", "1", "1"));  // every conversation closed
}

TEST_F(ParallelMakes, ProjectAndSubsetMakesKeepTheStagesToo) {
    auto a = Ide("p_a", {"--result-delay", "200"});
    auto b = Ide("p_b", {"--result-delay", "200"});
    const std::int32_t orders = AddProject("Orders");
    Add("Z.APP", 1, "*", orders, false);
    Add("Y.APP", 3, "*", orders);
    Add("X.APP", 1, "*", orders);
    engine->ParallelIDEs = 2;
    const auto stages_kept = [&](std::size_t from) {
        EXPECT_LT(At("Z.APP: Begin Make", from), At("X.APP: Make Finished", from));  // together
        EXPECT_GT(At("Y.APP: Begin Make", from),
                  std::max(At("X.APP: Make Finished", from), At("Z.APP: Make Finished", from)));
        EXPECT_LT(At("Y.APP: Make Finished", from), LogLines().size());
    };
    EXPECT_EQ(engine->MakeProject("Orders").made, 3);
    stages_kept(0);
    EXPECT_THAT(window.statuses, ::testing::Contains("2 building: X.APP, Z.APP"));

    engine->ParallelIDEs = 3;
    for (const char* name : {"Y.APP", "Z.APP", "X.APP"})
        engine->ToggleSubsetTag(Entry(name, name[0] == 'Y' ? 3 : 1));
    const std::size_t before = LogLines().size();
    EXPECT_EQ(engine->MakeSubset().made, 3);
    stages_kept(before);
    EXPECT_THAT(window.statuses, ::testing::Contains("X.APP Compiled & Made"));
}

TEST_F(ParallelMakes, MissingIdesAreStartedFromTheRunStringEachUnderItsOwnName) {
    auto a = Ide("p_a");
    run_string = kVxidePath + " --log " + CommandLog();  // vxide_<pid>: a name each
    for (const char* name : {"A.APP", "B.APP", "C.APP"}) Add(name, 1);
    engine->ParallelIDEs = 3;
    EXPECT_EQ(engine->MakeTagged().made, 3);
    EXPECT_THAT(window.statuses, ::testing::Contains("Starting Vextor"));
    EXPECT_THAT(LogLines(), ::testing::Each(::testing::Not(::testing::HasSubstr("Vextor:"))));
    EXPECT_THAT(OpenOnEachIde(3), ElementsAre("1", "1", "1"));  // three IDEs answer now
    // With no way to start more, the batch says on how many it runs and goes on.
    ClearCommands();
    run_string.clear();
    engine->ParallelIDEs = 5;
    EXPECT_EQ(engine->MakeTagged().made, 3);
    EXPECT_EQ(LogLines()[6],
              "Vextor: Making on 3 of 5 IDEs: no command string to start Vextor is set.");
}

TEST_F(ParallelMakes, AnIdeKilledMidItemFailsOnlyItsOwnItem) {
    auto a = Ide("p_a", {"--result-delay", "600000"});  // first by name: takes A.APP
    auto b = Ide("p_b", {"--result-delay", "200"});
    auto c = Ide("p_c", {"--result-delay", "200"});
    for (const char* name : {"A.APP", "B.APP", "C.APP", "D.APP"}) Add(name, 1);
    Add("E.APP", 2);
    engine->ParallelIDEs = 3;
    engine->WaitLimitSeconds = 0;
    std::int64_t killed_at = 0;
    std::int64_t ended_at = 0;
    window.on_wait = [&](int n) {
        if (n != 2) return;
        ::kill(a->process().pid(), SIGKILL);
        killed_at = zelt::testing::SteadyMs();
    };
    window.on_logged = [&](const TempFileRecord& event) {
        if (event.Event.Clip().starts_with("Error 602")) ended_at = zelt::testing::SteadyMs();
    };
    const BatchSummary done = engine->MakeTagged();
    EXPECT_EQ(done.made, 4);
    EXPECT_EQ(done.failed, 1);
    EXPECT_LT(ended_at - killed_at, 2000);
    std::vector<std::string> of_a;
    for (const std::string& line : LogLines())
        if (line.starts_with("A.APP")) of_a.push_back(line);
    EXPECT_THAT(of_a, ElementsAre("A.APP: Begin Make",
                                  "A.APP: Error 602 DDE channel is not open: Vextor went away"));
    EXPECT_LT(At("A.APP: Error 602 DDE channel is not open: Vextor went away"),
              At("E.APP: Begin Make"));  // the stage ends with the failed item too
    EXPECT_EQ(ide->StatusMsg, "Ended: Vextor went away");
}

TEST_F(ParallelMakes, ARejectedCommandSendsNothingMoreButWaitsForTheItemsInFlight) {
    auto a = Ide("p_a", {"--result-delay", "300"});
    auto b = Ide("p_b", {"--reject-all"});
    for (const char* name : {"A.APP", "B.APP", "C.APP"}) Add(name, 1);
    engine->ParallelIDEs = 2;
    const BatchSummary done = engine->MakeTagged();
    EXPECT_THAT(LogLines(), ElementsAre("A.APP: Begin Make", "B.APP: Begin Make",
                                        "B.APP: Error 603 DDEexecute - invalid command",
                                        "A.APP: Make Finished"));
    EXPECT_EQ(done.made, 1);
    EXPECT_EQ(done.failed, 1);
    EXPECT_EQ(done.not_attempted, 1);
    EXPECT_THAT(OpenOnEachIde(2), ElementsAre("1", "1"));
}

TEST_F(ParallelMakes, AbortEndsEveryItemInFlightAndClosesEveryConversation) {
    auto a = Ide("p_a", {"--result-delay", "600000"});
    auto b = Ide("p_b", {"--result-delay", "600000"});
    auto c = Ide("p_c", {"--result-delay", "600000"});
    for (const char* name : {"A.APP", "B.APP", "C.APP", "D.APP"}) Add(name, 1);
    engine->ParallelIDEs = 3;
    std::int64_t asked_at = 0;
    window.on_wait = [&](int n) {
        if (n != 3) return;
        engine->RequestAbort();
        asked_at = zelt::testing::SteadyMs();
    };
    const BatchSummary done = engine->MakeTagged();
    EXPECT_LT(zelt::testing::SteadyMs() - asked_at, 2000);
    EXPECT_TRUE(done.aborted);
    EXPECT_EQ(done.not_attempted, 1);
    EXPECT_THAT(LogLines(),
                ElementsAre("A.APP: Begin Make", "B.APP: Begin Make", "C.APP: Begin Make",
                            "A.APP: Aborted: the batch was cancelled",
                            "B.APP: Aborted: the batch was cancelled",
                            "C.APP: Aborted: the batch was cancelled"));
    EXPECT_EQ(ide->StatusMsg, "Processing Aborted");
    EXPECT_THAT(OpenOnEachIde(3), ElementsAre("1", "1", "1"));
}

TEST_F(ParallelMakes, OneIdeWritesTheEventsOfTheOneByOneMakeWhateverElseIsRunning) {
    auto a = Ide("p_a");
    Vxide b({"--instance", "p_b", "--log", Path("second.log")});  // never spoken to
    ASSERT_TRUE(b.ready());
    Add("C.APP", 2);
    Add("B.APP", 1);
    Add("GONE.APP", 1, "*", 0, true, false);
    Add("BLANK.APP", 1, "");
    engine->ParallelIDEs = 1;
    const BatchSummary done = engine->MakeTagged();
    EXPECT_EQ(done.made, 2);
    // As TaggedApplicationsAreMadeByPriorityThenName and the skips of make_batch_test.cpp.
    EXPECT_THAT(
        LogLines(),
        ElementsAre("B.APP: Begin Make", "B.APP: Make Finished", "BLANK.APP: Begin Make",
                    "BLANK.APP: Make Aborted: Target name or type not "
                    "specified",
                    "GONE.APP: .APP not found", "C.APP: Begin Make", "C.APP: Make Finished"));
    EXPECT_THAT(window.statuses,
                ::testing::IsSupersetOf({"B.APP DDE Ack. 1", "B.APP Compiled & Made 1"}));
    EXPECT_THAT(window.statuses, ::testing::Each(::testing::Not(::testing::HasSubstr("building"))));
    EXPECT_THAT(OpenOnEachIde(2), ElementsAre("1", "1"));
    EXPECT_FALSE(FileExists(Path("second.log")));
}

}  // namespace
}  // namespace zelt::app::testing
