// The conversation layer over the in-process transport: handles, results and error codes.
#include <gtest/gtest.h>

#include <memory>

#include "runtime/conversation/conversation_client.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/errors/error_state.hpp"
#include "tests/app/ide_test_support.hpp"

namespace zelt::runtime {
namespace {

using testing::ScriptedServer;

class ConversationLayer : public ::testing::Test {
  protected:
    ConversationLayer() : transport(std::make_shared<InProcessTransport>()), client(transport) {
        transport->AddServer("b_second", second);
        transport->AddServer("a_first", first);
        ClearError();
    }
    ScriptedServer first;  // outlive the client, which ends its conversations last
    ScriptedServer second;
    std::shared_ptr<InProcessTransport> transport;
    ConversationClient client;
};

TEST_F(ConversationLayer, OpeningTakesTheFirstServerInNameOrderAndDeclinesTheOthers) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    ASSERT_NE(channel, 0);
    EXPECT_TRUE(first.terminated.empty());
    EXPECT_EQ(second.terminated.size(), 1u);  // the later acceptor is terminated at once
    EXPECT_TRUE(transport->OpenConversations("b_second").empty());

    ASSERT_EQ(client.ExecuteCommand(channel, "[X]"), 0);
    EXPECT_EQ(first.commands.size(), 1u);
    EXPECT_TRUE(second.commands.empty());
}

TEST_F(ConversationLayer, OpeningPassesAnEmptyTopicAndComparesServicesIgnoringCase) {
    EXPECT_NE(client.OpenConversation("vextorWIN", ""), 0);
    ASSERT_FALSE(first.offers.empty());
    EXPECT_EQ(first.offers.back().second, "");
    EXPECT_NE(client.OpenConversation("", ""), 0);  // empty service: any server

    const std::string long_name(100, 'S');
    client.OpenConversation(long_name, long_name);
    EXPECT_EQ(first.offers.back().first.size(), kConversationNameLength);
    EXPECT_EQ(first.offers.back().second.size(), kConversationNameLength);
}

TEST_F(ConversationLayer, NoAcceptanceGivesHandleZeroAndLeavesTheErrorCode) {
    first.accept = false;
    second.accept = false;
    PostError(err::FileNotFound);
    EXPECT_EQ(client.OpenConversation("VextorWin", ""), 0);
    EXPECT_EQ(CurrentErrorCode(), err::FileNotFound);
    EXPECT_EQ(client.OpenConversation("OtherService", ""), 0);  // nobody serves it
}

TEST_F(ConversationLayer, CommandsAreCutAndPaddedTo255Characters) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    client.ExecuteCommand(channel, "[ExecuteProject(\"/w/A.APP\")]");
    client.ExecuteCommand(channel, std::string(300, 'x'));
    ASSERT_EQ(first.commands.size(), 2u);
    EXPECT_EQ(first.commands[0], PadCommand("[ExecuteProject(\"/w/A.APP\")]"));
    EXPECT_EQ(first.commands[0].size(), 255u);
    EXPECT_EQ(first.commands[0].substr(28), std::string(255 - 28, ' '));
    EXPECT_EQ(first.commands[1], std::string(255, 'x'));
}

TEST_F(ConversationLayer, ExecuteResultsFollowTheAcknowledgement) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    PostError(err::FileNotFound);  // left by an earlier file operation: cleared first
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), 0);
    EXPECT_EQ(CurrentErrorCode(), 0);

    first.answer = ScriptedServer::Answer::Negative;
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeExecuteInvalid);
    EXPECT_EQ(CurrentErrorText(), "DDEexecute - invalid command");

    first.answer = ScriptedServer::Answer::Never;  // a time-out is 605, not 603
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeTimedOut);
    EXPECT_EQ(CurrentErrorText(), "DDE transaction timed out");
}

TEST_F(ConversationLayer, ZeroTimeOutSendsAndFailsAtOnce) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    client.SetChannelTimeOut(0);
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeTimedOut);
    EXPECT_EQ(first.commands.size(), 1u);  // it was sent all the same
    std::string text = "kept";
    first.items["GetErrorMsg"] = "msg";
    EXPECT_EQ(client.RequestItem(channel, "GetErrorMsg", text), err::DdeTimedOut);
    EXPECT_EQ(text, "kept");
}

TEST_F(ConversationLayer, HandleZeroDoesNothingAtAll) {
    PostError(err::AccessDenied);
    EXPECT_EQ(client.ExecuteCommand(0, "[A]"), err::AccessDenied);
    std::string text = "kept";
    client.RequestItem(0, "GetErrorMsg", text);
    EXPECT_EQ(CurrentErrorCode(), err::AccessDenied);
    EXPECT_EQ(text, "kept");
    client.CloseConversation(0);  // closing always clears
    EXPECT_EQ(CurrentErrorCode(), 0);
    EXPECT_TRUE(first.commands.empty());
}

TEST_F(ConversationLayer, AVanishedServerIsNotOpenAtTheNextExecute) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    transport->RemoveServer("a_first");
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeChannelNotOpen);
    EXPECT_EQ(CurrentErrorText(), "DDE channel is not open");
    std::string text = "kept";
    EXPECT_EQ(client.RequestItem(channel, "GetErrorNum", text), err::DdeChannelNotOpen);
    EXPECT_FALSE(client.IsOpen(channel));
}

TEST_F(ConversationLayer, AServerThatEndsTheConversationRaisesClosedOnce) {
    std::vector<ChannelHandle> closed;
    client.SetClosedHandler([&](ChannelHandle h) { closed.push_back(h); });
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    const ChannelHandle other = client.OpenConversation("VextorWin", "");
    auto ids = transport->OpenConversations("a_first");
    ASSERT_EQ(ids.size(), 2u);
    transport->EndConversation("a_first", ids[0]);
    client.ProcessPending();
    client.ProcessPending();
    EXPECT_EQ(closed, std::vector<ChannelHandle>{channel});
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeChannelNotOpen);
    EXPECT_EQ(client.ExecuteCommand(other, "[A]"), 0);
    // Closing a conversation whose partner left sends nothing more.
    client.CloseConversation(channel);
    EXPECT_TRUE(first.terminated.empty());
}

TEST_F(ConversationLayer, ClosedHandlesAreNotOpenAndNeverReused) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    client.CloseConversation(channel);
    EXPECT_EQ(first.terminated.size(), 1u);
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), err::DdeChannelNotOpen);
    const ChannelHandle next = client.OpenConversation("VextorWin", "");
    EXPECT_NE(next, channel);
    EXPECT_EQ(client.ExecuteCommand(next, "[A]"), 0);
}

TEST_F(ConversationLayer, RequestsFillTheVariableOnlyWhenAnswered) {
    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    first.items = {{"GetErrorNum", "42"},
                   {"GetErrorMsg", std::string("bad\0tail", 8)},
                   {"Blanks", "  7 apples"},
                   {"Word", "none"},
                   {"Big", "70000"}};
    std::uint16_t number = 9;
    std::string text = "kept";

    EXPECT_EQ(client.RequestItem(channel, "GetErrorNum", number), 0);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(client.RequestItem(channel, "GetErrorMsg", text), 0);
    EXPECT_EQ(text, "bad");  // text ends at its zero
    client.RequestItem(channel, "Blanks", number);
    EXPECT_EQ(number, 7);
    client.RequestItem(channel, "Word", number);
    EXPECT_EQ(number, 0);
    client.RequestItem(channel, "Big", number);
    EXPECT_EQ(number, 70000 % 65536);

    text = "kept";
    PostError(err::FileNotFound);
    EXPECT_EQ(client.RequestItem(channel, "Unknown", text), 0);  // negative: no code
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(client.RequestItem(channel, "", text), 0);  // an empty item does nothing
    EXPECT_EQ(text, "kept");
}

TEST_F(ConversationLayer, ACutNeverSplitsACharacterAndTextThatIsNotUtf8IsNotSent) {
    // "é" takes two bytes and "€" three: a character that would cross the 255th byte goes.
    EXPECT_EQ(PadCommand(std::string(254, 'a') + "\xC3\xA9"), std::string(254, 'a') + " ");
    EXPECT_EQ(PadCommand(std::string(253, 'a') + "\xE2\x82\xAC"), std::string(253, 'a') + "  ");
    EXPECT_EQ(PadCommand(std::string(252, 'a') + "\xE2\x82\xAC"),
              std::string(252, 'a') + "\xE2\x82\xAC");

    const ChannelHandle channel = client.OpenConversation("VextorWin", "");
    EXPECT_EQ(client.ExecuteCommand(channel, std::string(254, 'a') + "\xC3\xA9"), 0);
    EXPECT_EQ(client.ExecuteCommand(channel, "[ExecuteProject(\"/src/caf\xE9.APP\")]"),
              err::DdeExecuteInvalid);
    EXPECT_EQ(first.commands.size(), 1u);  // the second one never left
    const CommandFault& fault = client.LastCommandFault();
    EXPECT_EQ(fault.kind, CommandFault::Kind::NotSent);
    EXPECT_EQ(fault.reason,
              "it is not UTF-8 text (byte 26 is \\xE9): [ExecuteProject(\"/src/caf\\xE9.APP\")]");
    EXPECT_EQ(client.ExecuteCommand(channel, "[A]"), 0);
    EXPECT_EQ(client.LastCommandFault().kind, CommandFault::Kind::None);
}

}  // namespace
}  // namespace zelt::runtime
