// The program's IDE routines: connecting and starting the IDE, the check after a command,
// the connection buttons and the command texts.
#include <gtest/gtest.h>

#include <memory>

#include "app/ide/ide_channel.hpp"
#include "app/ide/ide_commands.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/clock_source.hpp"
#include "tests/app/ide_test_support.hpp"

namespace zelt::app {
namespace {

using testing::FakeStarter;
using testing::RecordingWindow;
using testing::ScriptedServer;

class IdeRoutines : public ::testing::Test {
  protected:
    IdeRoutines()
        : clock(std::make_shared<runtime::VirtualClockSource>(
              runtime::LocalDateTime{2026, 12, 7, 9, 0, 0, 0})),
          scoped_clock(clock),
          transport(std::make_shared<runtime::InProcessTransport>()),
          client(transport),
          ide(client, window, starter, [this] { return run_string; }) {
        // Waiting for the IDE moves the virtual clock on by the pause asked for.
        transport->SetWaitHook([this](std::int64_t ms) {
            ++waits;
            clock->AdvanceMs(ms);
            if (waits == appear_after_waits) transport->AddServer("vx", server);
        });
        runtime::ClearError();
    }
    void Run() { transport->AddServer("vx", server); }

    std::shared_ptr<runtime::VirtualClockSource> clock;
    runtime::ScopedClockSource scoped_clock;
    // The servers and the window outlive the client, which ends its conversations last.
    ScriptedServer server;
    RecordingWindow window;
    FakeStarter starter;
    std::string run_string = "  /opt/vextor/bin/vxide --instance 'My IDE'  ";
    std::shared_ptr<runtime::InProcessTransport> transport;
    runtime::ConversationClient client;
    IdeChannel ide;
    int waits = 0;
    int appear_after_waits = -1;
};

TEST_F(IdeRoutines, ConnectingToARunningIde) {
    Run();
    EXPECT_TRUE(ide.ConnectToIde());
    EXPECT_NE(ide.Channel, 0);
    EXPECT_EQ(ide.Connected, 1);
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor");
    EXPECT_GE(window.redisplays, 1);
    EXPECT_TRUE(starter.started.empty());
    EXPECT_EQ(server.offers.back(), std::make_pair(std::string("VextorWin"), std::string()));

    // A code left by an earlier operation keeps the status as it was.
    ide.SetStatus("before");
    runtime::PostError(runtime::err::FileNotFound);
    EXPECT_TRUE(ide.ConnectToIde());
    EXPECT_EQ(ide.StatusMsg, "before");
}

TEST_F(IdeRoutines, OpeningTheWindowTriesOnceWithoutStarting) {
    EXPECT_FALSE(ide.ConnectAtOpening());
    EXPECT_EQ(ide.Connected, 0);
    EXPECT_EQ(ide.StatusMsg, "Not Connected to Vextor");
    EXPECT_TRUE(starter.started.empty());
    Run();
    EXPECT_TRUE(ide.ConnectAtOpening());
    EXPECT_EQ(ide.Connected, 1);
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor");
}

TEST_F(IdeRoutines, ConnectingStartsTheIdeWithTheRunString) {
    starter.on_start = [this] { Run(); };
    EXPECT_TRUE(ide.ConnectToIde());
    EXPECT_EQ(starter.started,
              std::vector<std::string>{"/opt/vextor/bin/vxide --instance 'My IDE'"});
    EXPECT_NE(ide.Channel, 0);
    EXPECT_EQ(ide.Connected, 1);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(IdeRoutines, AStartingIdeIsWaitedForWithGrowingPauses) {
    appear_after_waits = 4;
    std::vector<std::string> statuses;
    window.on_redisplay = [&] { statuses.push_back(ide.StatusMsg); };
    EXPECT_TRUE(ide.ConnectToIde());
    EXPECT_EQ(waits, 4);
    EXPECT_EQ(clock->MonotonicMs(), 50 + 100 + 200 + 400);
    EXPECT_EQ(statuses.front(), "Starting Vextor");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Waiting for Vextor: 30 s"),
              statuses.end());
    EXPECT_EQ(statuses.back(), "Connected to Vextor");
}

TEST_F(IdeRoutines, AnIdeThatNeverAnswersIsGivenUpAfterTheLimit) {
    EXPECT_FALSE(ide.ConnectToIde());
    EXPECT_EQ(ide.Channel, 0);
    EXPECT_EQ(ide.Connected, 0);
    EXPECT_EQ(ide.StatusMsg, "Not Connected to Vextor");
    EXPECT_EQ(window.messages,
              std::vector<std::string>{
                  "Vextor could not be started: it did not answer within 30 seconds."});
    EXPECT_GE(clock->MonotonicMs(), 30000);
    EXPECT_LT(waits, 45);                   // pauses of up to a second, not a spin
    EXPECT_EQ(starter.started.size(), 1u);  // started once, not again and again
}

TEST_F(IdeRoutines, StartFailuresAreReportedOnceWithTheirReason) {
    run_string = "   ";
    EXPECT_FALSE(ide.ConnectToIde());
    EXPECT_TRUE(starter.started.empty());
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "Vextor could not be started: no command string to start Vextor is set.");

    run_string = "/nowhere/vxide";
    starter.result = {false, "/nowhere/vxide: No such file or directory"};
    EXPECT_FALSE(ide.ConnectToIde());
    EXPECT_EQ(window.messages.back(),
              "Vextor could not be started: /nowhere/vxide: No such file or directory");

    starter.result = {true, {}};
    starter.failure = "the command ended with exit status 3";
    EXPECT_FALSE(ide.ConnectToIde());
    EXPECT_EQ(window.messages.back(),
              "Vextor could not be started: the command ended with exit status 3");
    EXPECT_EQ(window.messages.size(), 3u);
    EXPECT_LT(clock->MonotonicMs(), 1000);  // no waiting for the limit
}

TEST_F(IdeRoutines, TheUserCanStopWaitingForTheIde) {
    window.cancel_after_checks = 2;
    EXPECT_FALSE(ide.ConnectToIde());
    EXPECT_EQ(ide.Channel, 0);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(waits, 2);
}

TEST_F(IdeRoutines, ARejectedCommandShowsTheIdesErrorAndStaysAnError) {
    Run();
    ASSERT_TRUE(ide.ConnectToIde());
    server.answer = ScriptedServer::Answer::Negative;
    server.items = {{"GetErrorNum", "12"}, {"GetErrorMsg", "Source file not found   "}};
    client.ExecuteCommand(ide.Channel, MakeCommand("/w/A.APP"));
    ide.CheckChannelResult();
    EXPECT_EQ(ide.ErrCode, 603);
    EXPECT_EQ(ide.ErrNum, 12);
    EXPECT_EQ(window.messages, std::vector<std::string>{"Error 12 : Source file not found"});
    // The batch must take its error path: the runtime's code is still 603.
    EXPECT_EQ(runtime::CurrentErrorCode(), 603);

    // Unanswered items leave the number as it was and the message blank.
    server.items.clear();
    client.ExecuteCommand(ide.Channel, "[A]");
    ide.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Error 12 : ");
    EXPECT_EQ(ide.ErrMsg, "");

    // A long message is kept to 299 characters.
    server.items = {{"GetErrorNum", "1"}, {"GetErrorMsg", std::string(400, 'm')}};
    client.ExecuteCommand(ide.Channel, "[A]");
    ide.CheckChannelResult();
    EXPECT_EQ(ide.ErrMsg.size(), kErrMsgLength);
}

TEST_F(IdeRoutines, TheCheckReportsTimeOutsAndOtherConversationErrors) {
    Run();
    ASSERT_TRUE(ide.ConnectToIde());
    server.answer = ScriptedServer::Answer::Never;
    client.ExecuteCommand(ide.Channel, "[A]");
    ide.CheckChannelResult();
    EXPECT_EQ(ide.ErrCode, 605);
    EXPECT_EQ(window.messages.back(), "DDE timeout");
    EXPECT_TRUE(server.offers.size() == 1);

    transport->RemoveServer("vx");
    client.ExecuteCommand(ide.Channel, "[A]");
    ide.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Unexpected Error: 602");

    // Codes of 600 and less are the batch's to report.
    ide.ErrMsg = "old";
    runtime::PostError(runtime::err::AccessDenied);
    ide.CheckChannelResult();
    EXPECT_EQ(ide.ErrCode, 5);
    EXPECT_EQ(ide.ErrMsg, "");
    EXPECT_EQ(window.messages.size(), 2u);
}

TEST_F(IdeRoutines, ReplyTimeOutComesFromTheSpinInMinutes) {
    Run();
    ide.DDETimeOutMinutes = 2;
    ide.ApplyTimeOut();
    EXPECT_EQ(client.ChannelTimeOut(), 12000);
    ide.DDETimeOutMinutes = 0;
    ide.ApplyTimeOut();
    ASSERT_TRUE(ide.ConnectToIde());
    EXPECT_EQ(client.ExecuteCommand(ide.Channel, "[A]"), 605);
}

TEST_F(IdeRoutines, ConnectButtonShowsAFinalPointWhenAllWentWell) {
    Run();
    ide.ConnectButton();
    EXPECT_EQ(ide.Connected, 1);
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor.");
    EXPECT_EQ(window.list_selections, 1);

    runtime::PostError(runtime::err::FileNotFound);
    ide.ConnectButton();
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor");
}

TEST_F(IdeRoutines, DisconnectButtonWorksWithAndWithoutAnIde) {
    ide.DisconnectButton();  // no IDE running
    EXPECT_EQ(ide.StatusMsg, "Vextor disconnected");
    EXPECT_EQ(ide.Channel, 0);
    EXPECT_EQ(ide.Connected, 0);
    EXPECT_EQ(window.list_selections, 1);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(starter.started.empty());

    Run();
    ide.DisconnectButton();  // a new conversation, closed at once
    EXPECT_EQ(server.terminated.size(), 1u);
    EXPECT_EQ(ide.Channel, 0);
}

TEST_F(IdeRoutines, TheButtonsLeaveNoConversationOpenBehindThem) {
    Run();
    for (int click = 0; click < 3; ++click) ide.ConnectButton();
    EXPECT_EQ(transport->OpenConversations("vx").size(), 1u);  // each click replaced the last
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor.");
    runtime::PostError(runtime::err::FileNotFound);
    ide.ConnectButton();  // closing the replaced one does not hide the code
    EXPECT_EQ(ide.StatusMsg, "Connected to Vextor");
    ASSERT_TRUE(ide.ConnectToIde());  // a batch replaces it as well
    EXPECT_EQ(transport->OpenConversations("vx").size(), 1u);

    ide.DisconnectButton();
    EXPECT_TRUE(transport->OpenConversations("vx").empty());
    EXPECT_EQ(ide.StatusMsg, "Vextor disconnected");
    EXPECT_EQ(ide.Channel, 0);
    EXPECT_EQ(window.list_selections, 5);
}

TEST_F(IdeRoutines, ACommandThatNeverReachedTheIdeIsNotBlamedOnIt) {
    Run();
    ASSERT_TRUE(ide.ConnectToIde());
    server.answer = ScriptedServer::Answer::Negative;
    server.items = {{"GetErrorNum", "1"}, {"GetErrorMsg", "Unknown command: Frob"}};
    client.ExecuteCommand(ide.Channel, "[Frob()]");
    ide.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Error 1 : Unknown command: Frob");

    // Not UTF-8: refused before sending, with its own reason; the IDE is not asked.
    const std::size_t requests = server.requests.size();
    EXPECT_EQ(client.ExecuteCommand(ide.Channel, MakeCommand("/src/\xFF.APP")), 603);
    ide.CheckChannelResult();
    EXPECT_EQ(window.messages.back(),
              "Command not sent to Vextor: it is not UTF-8 text (byte 23 is \\xFF): "
              "[ExecuteProject(\"/src/\\xFF.APP\")]");
    EXPECT_EQ(server.requests.size(), requests);
    EXPECT_EQ(server.commands.size(), 1u);
    EXPECT_EQ(runtime::CurrentErrorCode(), 603);  // the batch still takes its error path

    // The IDE went away while it had the command.
    server.answer = ScriptedServer::Answer::Never;
    server.on_execute = [this] { transport->RemoveServer("vx"); };
    EXPECT_EQ(client.ExecuteCommand(ide.Channel, "[A]"), 603);
    ide.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Vextor went away before it answered the command");
    EXPECT_EQ(server.requests.size(), requests);
}

TEST_F(IdeRoutines, AServerEndingTheConversationPostsDdeClosed) {
    Run();
    ASSERT_TRUE(ide.ConnectToIde());
    transport->EndConversation("vx", transport->OpenConversations("vx").at(0));
    client.ProcessPending();
    EXPECT_EQ(window.events, std::vector<runtime::EventCode>{runtime::event::DDEclosed});
}

TEST(IdeCommands, TemplatesAreExactAndPadded) {
    EXPECT_EQ(ImportDictionaryCommand("/WORK/ORDERS  "),
              runtime::PadCommand("[ImportDCT(\"/WORK/ORDERS.TXD\",/WORK/ORDERS.DCT,0)]"));
    EXPECT_EQ(ImportApplicationCommand("/WORK/ORDERS"),
              runtime::PadCommand("[ImportApp(\"/WORK/ORDERS.TXA\",/WORK/ORDERS.APP,0,Replace)]"));
    EXPECT_EQ(MakeCommand("/WORK/ORDERS.APP"),
              runtime::PadCommand("[ExecuteProject(\"/WORK/ORDERS.APP\")]"));
    EXPECT_EQ(ExportApplicationCommand("/WORK/ORDERS"),
              runtime::PadCommand("[ExportApp(\"/WORK/ORDERS.App\",\"/WORK/ORDERS.TXA\",0)]"));
    EXPECT_EQ(ExportDictionaryCommand("/WORK/ORDERS"),
              runtime::PadCommand("[ExportDCT(\"/WORK/ORDERS.DCT\",\"/WORK/ORDERS.TXD\",0)]"));
    EXPECT_EQ(MakeCommand("/w/A.APP").size(), 255u);
    EXPECT_EQ(MakeCommand(std::string(300, 'n')).size(), 255u);
}

}  // namespace
}  // namespace zelt::app
