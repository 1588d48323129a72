// Waits, aborts, unsafe names and log failures, on an in-process IDE and virtual time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/batches/file_services.hpp"
#include "app/batches/window_batch_view.hpp"
#include "app/ide/ide_channel.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/values/day_number.hpp"
#include "runtime/window/headless_backend.hpp"
#include "storage/io/io_fault_seam.hpp"
#include "tests/app/ide_test_support.hpp"
#include "tests/batches/batch_test_support.hpp"

namespace zelt::app::testing {
namespace {

using ::testing::ElementsAre;

// An IDE that acknowledges every command and leaves the results to the test.
class FakeIde : public zelt::testing::ScriptedServer {
  public:
    std::function<void(const std::string& command)> on_command;
    void Execute(runtime::ConversationId id, std::string command,
                 runtime::ExecuteReply reply) override {
        const std::string clipped(runtime::ClipText(command));
        if (on_command) on_command(clipped);
        ScriptedServer::Execute(id, clipped, std::move(reply));
    }
};

class LocalBatches : public BatchCatalogue {
  protected:
    LocalBatches()
        : clock(std::make_shared<runtime::VirtualClockSource>(
              runtime::LocalDateTime{2026, 12, 31, 23, 58, 0, 0})),
          scoped_clock(clock) {}
    void SetUp() override {
        BatchCatalogue::SetUp();
        transport->AddServer("vx", ide_server);
        window.clock = clock;
        window.ide = &ide;
    }
    void TearDown() override {
        storage::io::IoFaultSeam::Disarm();
        BatchCatalogue::TearDown();
    }
    // The IDE writes the target of a make when it acknowledges it, except for `never`.
    void WriteTargetsAtOnce(const std::string& never = "") {
        ide_server.on_command = [this, never](const std::string& command) {
            const auto start = command.find(apps_dir);
            const auto point = command.find('.', start);
            const std::string base =
                command.substr(start + apps_dir.size(), point - start - apps_dir.size());
            if (command.starts_with("[ExecuteProject") && base != never)
                Write(apps_dir + base + ".EXE", "made");
        };
    }

    std::shared_ptr<runtime::VirtualClockSource> clock;
    runtime::ScopedClockSource scoped_clock;
    FakeIde ide_server;
    RecordingBatchWindow window;
    zelt::testing::FakeStarter starter;
    std::shared_ptr<runtime::InProcessTransport> transport =
        std::make_shared<runtime::InProcessTransport>();
    runtime::ConversationClient client{transport};
    IdeChannel ide{client, window, starter, [] { return std::string(); }};
    BatchEngine engine{ide, window};
};

TEST_F(LocalBatches, ALongMakeFinishesAndOnlyAnErrorOrTheHardLimitEndsItsWait) {
    Add("A.APP", 1);
    Add("B.APP", 2);
    WriteTargetsAtOnce("A");
    const runtime::DayNumber today = runtime::Today();
    // A's target comes after 20 minutes, across midnight, with no error set.
    window.on_wait = [this](int n) {
        if (n == 20 * 60000 / kResultTickMs) Write(apps_dir + "A.EXE", "made");
    };
    BatchSummary done = engine.MakeTagged();
    EXPECT_THAT(LogLines(), ElementsAre("A.APP: Begin Make", "A.APP: Make Finished",
                                        "B.APP: Begin Make", "B.APP: Make Finished"));
    EXPECT_EQ(done.made, 2);
    EXPECT_EQ(done.ExitStatus(), 0);
    EXPECT_EQ(TMP.Date, 0);  // the buffer is cleared at the end
    EXPECT_EQ(runtime::Today(), today + 1);

    // With an error code set the wait gives up after five minutes, and the batch goes on.
    struct Case {
        std::uint8_t minutes;
        std::int64_t seconds;
        bool error;
        int waits;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {0, 0, true, 5 * 60000 / kResultTickMs, {"A.APP: Error 5 Access Denied"}},
        {2, 0, false, 2 * 60000 / kResultTickMs, {"A.APP: Wait limit reached"}},
        {2,
         3,
         true,
         3000 / kResultTickMs,
         {"A.APP: Error 5 Access Denied", "A.APP: Wait limit reached"}},
    };
    for (const Case& c : cases) {
        window.waits = 0;
        engine.WaitMinutes = c.minutes;
        engine.WaitLimitSeconds = c.seconds;
        window.on_wait = [&c](int n) {
            if (n == 1 && c.error) runtime::PostError(runtime::err::AccessDenied);
        };
        const std::size_t before = LogLines().size();
        done = engine.MakeTagged();
        EXPECT_EQ(window.waits, c.waits) << int{c.minutes};
        std::vector<std::string> expected{"A.APP: Begin Make"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        expected.insert(expected.end(), {"B.APP: Begin Make", "B.APP: Make Finished"});
        const auto lines = LogLines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  expected);
        EXPECT_EQ(done.failed, 1);
        EXPECT_EQ(ide.StatusMsg, "Processing Complete");
    }
}

TEST_F(LocalBatches, OnSeveralIdesEachItemInFlightKeepsItsOwnWait) {
    zelt::testing::ScriptedServer rejecting;
    rejecting.answer = zelt::testing::ScriptedServer::Answer::Negative;
    transport->AddServer("vy", rejecting);  // after "vx" by name: the second IDE
    for (const char* name : {"A.APP", "B.APP", "C.APP"}) Add(name, 1);
    WriteTargetsAtOnce("A");
    engine.ParallelIDEs = 2;
    // B's rejection on the other IDE ends the batch, but A's make still takes its 20 minutes:
    // the error was B's, not A's.
    window.on_wait = [this](int n) {
        if (n == 20 * 60000 / kResultTickMs) Write(apps_dir + "A.EXE", "made");
    };
    BatchSummary done = engine.MakeTagged();
    EXPECT_THAT(LogLines(), ElementsAre("A.APP: Begin Make", "B.APP: Begin Make",
                                        "B.APP: Error 603 DDEexecute - invalid command",
                                        "A.APP: Make Finished"));
    EXPECT_EQ(done.made, 1);
    EXPECT_EQ(done.not_attempted, 1);
    EXPECT_TRUE(transport->OpenConversations("vx").empty());
    EXPECT_TRUE(transport->OpenConversations("vy").empty());

    // The hard limit counts for each item from its own command: C, sent to B's IDE once B
    // has ended after half a minute, reaches it at two and a half.
    rejecting.answer = zelt::testing::ScriptedServer::Answer::Positive;
    ide_server.on_command = nullptr;
    engine.WaitMinutes = 2;
    window.waits = 0;
    window.on_wait = [this](int n) {
        if (n == 30000 / kResultTickMs) Write(apps_dir + "B.EXE", "made");
        if (n == 60000 / kResultTickMs) Write(apps_dir + "A.EXE", "made");
    };
    const std::size_t before = LogLines().size();
    done = engine.MakeTagged();
    const auto lines = LogLines();
    EXPECT_THAT(
        std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
        ElementsAre("A.APP: Begin Make", "B.APP: Begin Make", "B.APP: Make Finished",
                    "C.APP: Begin Make", "A.APP: Make Finished", "C.APP: Wait limit reached"));
    EXPECT_NEAR(window.waits, 150000 / kResultTickMs, 2);
}

TEST_F(LocalBatches, EveryItemClosesTheConversationItOpened) {
    Add("A.APP", 1);
    Add("B.APP", 2, "*", 0, true, false);  // no file
    Add("C.APP", 3, "");                   // no target
    Add("D\"Q.APP", 4);                    // unsafe name
    Add("E.APP", 5);
    WriteTargetsAtOnce();
    const BatchSummary done = engine.MakeTagged();
    EXPECT_EQ(done.made, 2);
    EXPECT_EQ(done.skipped, 3);
    EXPECT_TRUE(transport->OpenConversations("vx").empty());
}

TEST_F(LocalBatches, AnyBatchIsAbortedDuringItsWait) {
    Add("A.APP", 1);
    Add("B.APP", 2);
    Write(apps_dir + "A.TXD", "text");
    Write(apps_dir + "B.TXD", "text");
    window.on_wait = [this](int n) {
        if (n == 3) engine.RequestAbort();
    };
    BatchSummary done = engine.MakeTagged();
    EXPECT_TRUE(done.aborted);
    EXPECT_EQ(done.ExitStatus(), 1);
    EXPECT_THAT(LogLines(),
                ElementsAre("A.APP: Begin Make", "A.APP: Aborted: the batch was cancelled"));
    EXPECT_EQ(ide.StatusMsg, "Processing Aborted");
    EXPECT_TRUE(transport->OpenConversations("vx").empty());

    window.waits = 0;
    done = engine.ImportDictionaries();
    EXPECT_TRUE(done.aborted);
    EXPECT_THAT(LogLines(),
                ElementsAre("A.APP: Begin Make", "A.APP: Aborted: the batch was cancelled",
                            "A.APP: Begin DCT Import", "A.APP: Aborted: the batch was cancelled"));
    EXPECT_EQ(ide.StatusMsg, "Processing Aborted");
    EXPECT_EQ(ide_server.commands.size(), 2u);
}

TEST_F(LocalBatches, NamesThatWouldBreakACommandAreSkippedWithTheReason) {
    Add("Q\"T.APP", 1);
    Add("B[1].APP", 2);
    Add("C\tX.APP", 3);
    Add("D,E.APP", 4);
    Add("OK.APP", 5);
    WriteTargetsAtOnce();
    for (const char* name : {"Q\"T", "B[1]", "C\tX", "D,E", "OK"})
        Write(apps_dir + name + ".TXD", "text");

    EXPECT_EQ(engine.MakeTagged().skipped, 3);
    EXPECT_THAT(LogLines(), ::testing::IsSupersetOf(
                                {"Q\"T.APP: Skipped: path or name holds a double quote",
                                 "B[1].APP: Skipped: path or name holds a square bracket",
                                 "C\tX.APP: Skipped: path or name holds a control character",
                                 "D,E.APP: Make Finished", "OK.APP: Make Finished"}));
    ide_server.commands.clear();
    // The imports name their destination unquoted, where a comma would end it.
    engine.WaitLimitSeconds = 1;  // no dictionary is made here
    engine.ImportDictionaries();
    EXPECT_THAT(LogLines(), ::testing::Contains("D,E.APP: Skipped: path or name holds a comma"));
    EXPECT_EQ(ide_server.commands.size(), 1u);
}

TEST_F(LocalBatches, ATargetNameLongerThan80IsDeletedAndWatchedWhole) {
    const std::string target = apps_dir + std::string(80, 'T') + ".EXE";
    const std::string cut = target.substr(0, 80);
    Add("A.APP", 1, target);
    Write(target, "old");
    Write(cut, "another file");
    ide_server.on_command = [&](const std::string&) {
        EXPECT_FALSE(FileExists(target)) << "the old target goes before the command";
        Write(target, "new");
    };
    EXPECT_EQ(engine.MakeTagged().made, 1);
    EXPECT_EQ(Read(cut), "another file");
    EXPECT_EQ(Read(target), "new");
}

TEST_F(LocalBatches, EventsAreOnDiskBeforeEachCommandAndARefusedWriteIsTriedAgain) {
    Add("A.APP", 1);
    Add("B.APP", 2);
    std::vector<std::vector<std::string>> logged_at_commands;
    ide_server.on_command = [&](const std::string& command) {
        EXPECT_FALSE(runtime::TransactionActive()) << "the log is held while the IDE works";
        logged_at_commands.push_back(window.logged);
        Write(apps_dir + command.substr(command.find(apps_dir) + apps_dir.size(), 1) + ".EXE", "");
    };
    EXPECT_TRUE(LogLines().empty());  // the log exists: its next write is the batch's
    // The first write is refused once, as while another ZELT commits. (The first mutating
    // call is the flush of the header the open read; a failed flush would end the handle.)
    storage::io::IoFaultSeam::Arm(storage::io::SeamAction::Fail, 2);
    const BatchSummary done = engine.MakeTagged();
    EXPECT_GE(storage::io::IoFaultSeam::Count(), 2);
    storage::io::IoFaultSeam::Disarm();
    EXPECT_EQ(done.ExitStatus(), 0);
    EXPECT_TRUE(window.not_logged.empty());
    EXPECT_THAT(
        logged_at_commands,
        ElementsAre(ElementsAre("A.APP: Begin Make"),
                    ElementsAre("A.APP: Begin Make", "A.APP: Make Finished", "B.APP: Begin Make")));
    EXPECT_EQ(window.logged, LogLines());
}

TEST_F(LocalBatches, ALogThatCanOnlyBeReadKeepsTheBatchFromRunning) {
    Add("A.APP", 1);
    TempFileManager.Settings.OpenMode = runtime::access::ReadOnly | runtime::access::DenyNone;
    const BatchSummary done = engine.MakeTagged();
    TempFileManager.Settings.OpenMode = framework::kDefaultOpenMode;
    EXPECT_EQ(done.ExitStatus(), 2);
    EXPECT_THAT(done.reason, ::testing::HasSubstr("TEMPFILE.PLM can only be read"));
    EXPECT_TRUE(ide_server.commands.empty());
}

TEST_F(LocalBatches, EachExportWaitsForAFileOfSteadySizeAfresh) {
    Add("A.APP", 1);
    Add("B.APP", 2);
    // A's text is written at once; B's in two steps, its first step as long as all of A's,
    // its second after a pause of many ticks but less than the main window's timer interval.
    ide_server.on_command = [this](const std::string& command) {
        if (command.find(apps_dir + "A.TXA") != std::string::npos)
            Write(apps_dir + "A.TXA", "12345678");
    };
    int b_waits = 0;
    window.on_wait = [&](int) {
        if (ide_server.commands.size() < 2) return;
        ++b_waits;
        if (b_waits == 1) Write(apps_dir + "B.TXA", "12345678");
        if (b_waits == kSteadyResultMs / kResultTickMs)
            Write(apps_dir + "B.TXA", "12345678 and the rest");
    };
    std::vector<std::string> sizes_when_finished;
    window.on_logged = [&](const TempFileRecord& event) {
        if (event.Event.Clip() == "Export APP Finished")
            sizes_when_finished.push_back(Read(apps_dir + event.Apps.Clip().substr(0, 1) + ".TXA"));
    };
    EXPECT_EQ(engine.ExportApplications().made, 2);
    EXPECT_THAT(sizes_when_finished, ElementsAre("12345678", "12345678 and the rest"));
}

// The batches in a window of the window model: the wait runs the window's own loop, where the
// Close button ends the batch.
TEST_F(BatchCatalogue, TheCloseButtonEndsABatchWaitingInTheWindow) {
    runtime::HeadlessSession session;
    session.script.SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    runtime::WindowDeclaration declaration("Main");
    declaration.Sheet("?Sheet1");
    declaration.Tab("?Tab1", "&Applications");
    declaration.List("?List", runtime::ListFormat{{{"Application", 20}}, {}, true});
    declaration.Tab("?Tab4", "Project &Subsets");
    declaration.End();
    declaration.Button("?BUTTON7", "Close");
    runtime::Window main(declaration);
    main.Open();
    FakeIde ide_server;
    auto transport = std::make_shared<runtime::InProcessTransport>();
    transport->AddServer("vx", ide_server);
    runtime::ConversationClient client(transport);
    BatchEngine* engine = nullptr;
    WindowBatchView view(main, {3, 4, 5}, [&] { engine->CloseButton(); });
    zelt::testing::FakeStarter starter;
    IdeChannel ide(client, view, starter, [] { return std::string("vextor"); });
    BatchEngine batches(ide, view);
    engine = &batches;
    Add("A.APP", 1);
    Add("B.APP", 2);
    batches.ToggleSubsetTag(Entry("A.APP", 1));
    batches.ToggleSubsetTag(Entry("B.APP", 2));

    session.script.Run([&] { EXPECT_EQ(ide.StatusMsg, "A.APP DDE Ack. "); });
    session.script.Press(5);
    const BatchSummary done = batches.MakeSubset();
    EXPECT_TRUE(done.aborted);
    EXPECT_TRUE(main.IsOpen());
    EXPECT_EQ(ide.StatusMsg, "Processing Aborted");
    EXPECT_TRUE(batches.SubsetTagQueue.empty());
    EXPECT_EQ(ide_server.commands.size(), 1u);
    EXPECT_EQ(session.script.Beeps(), 2);
    EXPECT_EQ(main.Choice(1), 2);  // the Project Subsets tab is in front
    EXPECT_EQ(session.script.StepsLeft(), 0u);

    // The same button gives up waiting for an IDE that was started and does not answer.
    transport->RemoveServer("vx");
    transport->SetWaitHook([&](std::int64_t ms) { session.clock->AdvanceMs(ms); });
    starter.result = {true, {}};
    batches.SubsetTagQueue = {Entry("A.APP", 1)};
    session.script.Press(5).In("Main");  // taken while the program works: polled
    const BatchSummary given_up = batches.MakeSubset();
    EXPECT_TRUE(given_up.aborted);
    EXPECT_FALSE(given_up.could_not_run);
    EXPECT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(session.script.StepsLeft(), 0u);
    main.Close();
}

}  // namespace
}  // namespace zelt::app::testing
