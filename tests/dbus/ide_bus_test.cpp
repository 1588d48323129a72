// The conversation over a real session bus with real vxide servers: every path of the
// channel as ZELT's batches meet it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/ide/ide_channel.hpp"
#include "app/ide/ide_commands.hpp"
#include "platform/dbus/dbus_transport.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "runtime/errors/error_state.hpp"
#include "tests/app/ide_test_support.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::testing {
namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

class IdeOverBus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.ready()) << "no private bus";
        std::string reason;
        transport = platform::DbusConversationTransport::ConnectSessionBus(&reason);
        ASSERT_TRUE(transport) << reason;
        client = std::make_unique<runtime::ConversationClient>(transport);
        runtime::ClearError();
    }
    void TearDown() override {
        ide.reset();
        client.reset();
        transport.reset();
    }
    // An IDE channel on this client, reporting to `window`.
    app::IdeChannel& Channel(std::string run_string = {}, app::IdeStartLimits limits = {}) {
        ide = std::make_unique<app::IdeChannel>(
            *client, window, starter, [run_string] { return run_string; }, limits);
        return *ide;
    }
    // Lets the transport handle what arrives until the condition holds (at most 5 s).
    bool PumpUntil(const std::function<bool()>& condition) {
        const std::int64_t deadline = SteadyMs() + 5000;
        while (!condition()) {
            const std::int64_t left = deadline - SteadyMs();
            if (left <= 0) return false;
            client->Transport().WaitForActivity(left);
        }
        return true;
    }

    PrivateBus bus;
    TempFolder folder;
    std::shared_ptr<platform::DbusConversationTransport> transport;
    std::unique_ptr<runtime::ConversationClient> client;
    RecordingWindow window;
    platform::SpawnServerStarter starter;
    std::unique_ptr<app::IdeChannel> ide;
};

TEST_F(IdeOverBus, TheFirstServerIsThePartnerAndASecondOneIsTerminated) {
    // Started in reverse name order, and the bus lists these two names in reverse order as
    // well: only the order of the names may decide.
    Vxide second({"--instance", "b_two", "--log", folder / "second.log"});
    Vxide first({"--instance", "a_one", "--log", folder / "first.log"});
    ASSERT_TRUE(first.ready() && second.ready());

    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    ASSERT_NE(channel, 0);
    EXPECT_EQ(client->ExecuteCommand(channel, "[ExecuteProject(\"/none.APP\")]"), 603);
    EXPECT_EQ(Lines(folder / "first.log").size(), 1u);
    EXPECT_FALSE(FileExists(folder / "second.log"));

    // The second server holds no conversation: once the first is gone, a new one is opened
    // with it, and it is the only one it has.
    first.process().End();
    EXPECT_TRUE(PumpUntil([&] { return !client->IsOpen(channel); }));
    const runtime::ChannelHandle next = client->OpenConversation("VextorWin", "");
    ASSERT_NE(next, 0);
    std::string open_conversations;
    EXPECT_EQ(client->RequestItem(next, "Conversations", open_conversations), 0);
    EXPECT_EQ(open_conversations, "1");
    EXPECT_EQ(client->ExecuteCommand(next, "[X]"), 603);
    EXPECT_EQ(Lines(folder / "second.log").size(), 1u);
}

TEST_F(IdeOverBus, TopicsAndServicesAreMatchedAsOffered) {
    Vxide server({"--instance", "topics", "--topic", "Main"});
    ASSERT_TRUE(server.ready());
    auto link = transport->Initiate("vextorwin", "", {});
    ASSERT_TRUE(link);  // an empty topic means any, the service ignores case
    EXPECT_EQ(link->Service(), "VextorWin");
    EXPECT_EQ(link->Topic(), "Main");
    link->Terminate();
    EXPECT_FALSE(transport->Initiate("VextorWin", "Other", {}));
    EXPECT_FALSE(transport->Initiate("Elsewhere", "", {}));
    runtime::PostError(runtime::err::AccessDenied);
    EXPECT_EQ(client->OpenConversation("Elsewhere", ""), 0);
    EXPECT_EQ(runtime::CurrentErrorCode(), runtime::err::AccessDenied);  // no code for no answer
}

TEST_F(IdeOverBus, CommandsArriveCutAndPaddedTo255) {
    Vxide server({"--instance", "padding", "--log", folder / "log"});
    ASSERT_TRUE(server.ready());
    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    client->ExecuteCommand(channel, "[ExecuteProject(\"/w/A.APP\")]");
    client->ExecuteCommand(channel, std::string(300, 'y'));
    client->ExecuteCommand(channel, std::string(254, 'y') + "\xC3\xA9");  // the cut would split "é"
    const auto lines = Lines(folder / "log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], runtime::PadCommand("[ExecuteProject(\"/w/A.APP\")]"));
    EXPECT_EQ(lines[0].size(), 255u);
    EXPECT_EQ(lines[1], std::string(255, 'y'));
    EXPECT_EQ(lines[2], std::string(254, 'y') + " ");
}

// Servers that are stopped (SIGSTOP) take the offer but never answer it.
TEST_F(IdeOverBus, OffersGoToEveryServerAtOnceAndLateAcceptancesAreEnded) {
    Vxide healthy({"--instance", "c_healthy", "--log", folder / "healthy.log"});
    Vxide stopped2({"--instance", "a_stopped2"});
    Vxide stopped1({"--instance", "a_stopped1"});
    ASSERT_TRUE(healthy.ready() && stopped1.ready() && stopped2.ready());
    ::kill(stopped1.process().pid(), SIGSTOP);
    ::kill(stopped2.process().pid(), SIGSTOP);
    transport->SetInitiateTimeOut(1000);
    const std::int64_t start = SteadyMs();
    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    const std::int64_t waited = SteadyMs() - start;
    ASSERT_NE(channel, 0);
    EXPECT_GE(waited, 1000);  // the servers named first had their time to answer
    EXPECT_LT(waited, 1900);  // but one round costs one limit, not one per server
    EXPECT_EQ(client->ExecuteCommand(channel, "[A]"), 603);
    EXPECT_EQ(Lines(folder / "healthy.log").size(), 1u);

    // Woken up, the stopped servers accept the old offer; the client ends those at once.
    ::kill(stopped1.process().pid(), SIGCONT);
    ::kill(stopped2.process().pid(), SIGCONT);
    EXPECT_TRUE(WaitUntil([&] {
        transport->ProcessPending();
        auto link = transport->Initiate("VextorWin", "", {});  // the first by name: a_stopped1
        if (!link) return false;
        const runtime::RequestOutcome held = link->Request("Conversations", 2000);
        link->Terminate();
        return held.text == "1";  // only this one
    }));
}

TEST_F(IdeOverBus, AServerThatDoesNotAnswerIsReportedAndNoSecondIdeStarted) {
    Vxide stopped({"--instance", "a_stopped"});
    ASSERT_TRUE(stopped.ready());
    ::kill(stopped.process().pid(), SIGSTOP);
    transport->SetInitiateTimeOut(500);
    app::IdeChannel& channel = Channel("'" + kVxidePath + "' --instance b_started");
    const std::int64_t start = SteadyMs();
    EXPECT_FALSE(channel.ConnectToIde());
    EXPECT_LT(SteadyMs() - start, 1500);
    EXPECT_EQ(starter.LastProcess(), -1);
    EXPECT_EQ(window.messages,
              std::vector<std::string>{
                  "Vextor is running but does not answer: org.zelt.Dde.Server.a_stopped"});
    EXPECT_EQ(channel.StatusMsg, "Not Connected to Vextor");
    EndProcess(starter.LastProcess());
    ::kill(stopped.process().pid(), SIGCONT);
}

TEST_F(IdeOverBus, ATimeOutIs605AndShowsDdeTimeout) {
    Vxide server({"--instance", "silent", "--never-ack"});
    ASSERT_TRUE(server.ready());
    app::IdeChannel& channel = Channel();
    ASSERT_TRUE(channel.ConnectToIde());
    client->SetChannelTimeOut(20);  // 0.2 s
    const std::int64_t start = SteadyMs();
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, app::MakeCommand("/w/A.APP")), 605);
    const std::int64_t waited = SteadyMs() - start;
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 3000);
    channel.CheckChannelResult();
    EXPECT_EQ(window.messages, std::vector<std::string>{"DDE timeout"});
    EXPECT_EQ(channel.ErrCode, 605);
}

TEST_F(IdeOverBus, AZeroTimeOutSendsTheCommandAndFailsAtOnce) {
    Vxide server({"--instance", "quick", "--ack-delay", "1500", "--log", folder / "log"});
    ASSERT_TRUE(server.ready());
    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    client->SetChannelTimeOut(0);
    const std::int64_t start = SteadyMs();
    EXPECT_EQ(client->ExecuteCommand(channel, "[First]"), 605);
    EXPECT_LT(SteadyMs() - start, 1000);  // did not wait for the acknowledgement
    client->SetChannelTimeOut(2000);
    EXPECT_EQ(client->ExecuteCommand(channel, "[Second]"), 603);
    const auto lines = Lines(folder / "log");
    ASSERT_EQ(lines.size(), 2u);  // the first command was delivered all the same
    EXPECT_TRUE(lines[0].starts_with("[First]"));
}

TEST_F(IdeOverBus, ARejectedCommandShowsTheIdesOwnError) {
    Vxide server({"--instance", "strict"});
    ASSERT_TRUE(server.ready());
    app::IdeChannel& channel = Channel();
    ASSERT_TRUE(channel.ConnectToIde());
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, app::MakeCommand(folder / "MISSING.APP")),
              603);
    channel.CheckChannelResult();
    EXPECT_EQ(window.messages, std::vector<std::string>{"Error 3 : Source file not found: " +
                                                        (folder / "MISSING.APP")});
    EXPECT_EQ(channel.ErrNum, 3);
    EXPECT_EQ(runtime::CurrentErrorCode(), 603);

    Vxide rejecting({"--instance", "a_rejecting", "--reject-all"});  // sorts first
    ASSERT_TRUE(rejecting.ready());
    ASSERT_TRUE(channel.ConnectToIde());
    client->ExecuteCommand(channel.Channel, app::ExportApplicationCommand(folder / "A"));
    channel.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Error 6 : Command rejected: this IDE rejects every command");
}

TEST_F(IdeOverBus, AServerVanishingMidCommandGivesNoHangAndThen602) {
    Vxide server({"--instance", "vanishing", "--never-ack", "--exit-after", "1"});
    ASSERT_TRUE(server.ready());
    app::IdeChannel& channel = Channel();
    ASSERT_TRUE(channel.ConnectToIde());
    client->SetChannelTimeOut(3000);  // 30 s: the answer must come long before
    const std::int64_t start = SteadyMs();
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[A]"), 603);
    EXPECT_LT(SteadyMs() - start, 10000);
    EXPECT_TRUE(server.process().AwaitExit());
    EXPECT_TRUE(PumpUntil([&] { return !window.events.empty(); }));
    EXPECT_EQ(window.events, std::vector<runtime::EventCode>{runtime::event::DDEclosed});
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[A]"), 602);
    channel.CheckChannelResult();
    EXPECT_EQ(window.messages.back(), "Unexpected Error: 602");
}

TEST_F(IdeOverBus, AKilledServerIsNotOpenAtTheNextCommand) {
    Vxide server({"--instance", "killed"});
    ASSERT_TRUE(server.ready());
    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    ASSERT_NE(channel, 0);
    ::kill(server.process().pid(), SIGKILL);
    ASSERT_TRUE(server.process().AwaitExit());
    // Whether or not the bus has told us yet, the partner is found gone.
    EXPECT_TRUE(WaitUntil([&] { return client->ExecuteCommand(channel, "[A]") == 602; }));
    std::string text = "kept";
    EXPECT_EQ(client->RequestItem(channel, "GetErrorMsg", text), 602);
    EXPECT_EQ(text, "kept");
}

TEST_F(IdeOverBus, AServerEndingTheConversationRaisesDdeClosed) {
    Vxide server({"--instance", "ending", "--end-after", "1"});
    ASSERT_TRUE(server.ready());
    app::IdeChannel& channel = Channel();
    ASSERT_TRUE(channel.ConnectToIde());
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[A]"), 603);
    EXPECT_TRUE(PumpUntil([&] { return !window.events.empty(); }));
    EXPECT_EQ(window.events, std::vector<runtime::EventCode>{runtime::event::DDEclosed});
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[A]"), 602);
    // The server still runs and answers a new conversation.
    ASSERT_TRUE(channel.ConnectToIde());
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[A]"), 603);
}

TEST_F(IdeOverBus, RequestsAnswerTextOrNothing) {
    Vxide server({"--instance", "items"});
    ASSERT_TRUE(server.ready());
    const runtime::ChannelHandle channel = client->OpenConversation("VextorWin", "");
    std::uint16_t number = 77;
    std::string text;
    EXPECT_EQ(client->RequestItem(channel, "GetErrorNum", number), 0);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(client->RequestItem(channel, "GetErrorMsg", text), 0);
    EXPECT_EQ(text, "No error");
    text = "kept";
    EXPECT_EQ(client->RequestItem(channel, "NoSuchItem", text), 0);
    EXPECT_EQ(text, "kept");
}

TEST_F(IdeOverBus, DisconnectWithNoIdeRunning) {
    app::IdeChannel& channel = Channel();
    channel.DisconnectButton();
    EXPECT_EQ(channel.StatusMsg, "Vextor disconnected");
    EXPECT_EQ(channel.Channel, 0);
    EXPECT_EQ(channel.Connected, 0);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(IdeOverBus, ConnectToIdeStartsVxideFromAQuotedCommandLine) {
    const std::string log = folder / "log of started ide";
    app::IdeChannel& channel =
        Channel("'" + kVxidePath + "' --instance started --log '" + log + "'");
    ASSERT_TRUE(channel.ConnectToIde());
    const pid_t started = starter.LastProcess();
    ASSERT_GT(started, 0);
    EXPECT_EQ(channel.Connected, 1);
    EXPECT_EQ(channel.StatusMsg, "Connected to Vextor");
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(client->ExecuteCommand(channel.Channel, "[Hello]"), 603);
    EXPECT_EQ(Lines(log).size(), 1u);  // the quoted path with blanks reached vxide whole
    client->CloseConversation(channel.Channel);
    EndProcess(started);
}

TEST_F(IdeOverBus, ConnectToIdeGivesUpCleanlyWhenNothingAnswers) {
    app::IdeStartLimits limits;
    limits.answer_limit_ms = 2000;
    app::IdeChannel& channel = Channel("sleep 30", limits);
    const std::int64_t start = SteadyMs();
    EXPECT_FALSE(channel.ConnectToIde());
    const std::int64_t waited = SteadyMs() - start;
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 6000);
    EXPECT_EQ(channel.Channel, 0);
    EXPECT_EQ(channel.Connected, 0);
    EXPECT_EQ(window.messages,
              std::vector<std::string>{
                  "Vextor could not be started: it did not answer within 2 seconds."});
    EndProcess(starter.LastProcess());

    // A command that fails at once is reported at once.
    app::IdeChannel& failing = Channel("sh -c 'exit 4'", limits);
    EXPECT_FALSE(failing.ConnectToIde());
    EXPECT_EQ(window.messages.back(),
              "Vextor could not be started: the command ended with exit status 4");
    app::IdeChannel& missing = Channel("/nonexistent/vextor", limits);
    EXPECT_FALSE(missing.ConnectToIde());
    EXPECT_EQ(window.messages.back(),
              "Vextor could not be started: /nonexistent/vextor: No such file or directory");
}

}  // namespace
}  // namespace zelt::testing
