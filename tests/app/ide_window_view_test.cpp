// The IDE routines on a window of the window model, as the main window will use them.
#include <gtest/gtest.h>

#include <memory>

#include "app/ide/ide_channel.hpp"
#include "app/ide/window_ide_view.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/window/headless_backend.hpp"
#include "tests/app/ide_test_support.hpp"

namespace zelt::app {
namespace {

class IdeOnWindow : public ::testing::Test {
  protected:
    IdeOnWindow() {
        runtime::WindowDeclaration d("Main");
        d.List("?List", {});                                                               // 1
        d.String("?StatusMsg").Use(runtime::Show([this] { return channel->StatusMsg; }));  // 2
        d.Button("?ConnectToVX", "Start Vextor");                                          // 3
        window = std::make_unique<runtime::Window>(d);
        view = std::make_unique<WindowIdeView>(*window, 1);
        channel =
            std::make_unique<IdeChannel>(client, *view, starter, [] { return std::string(); });
        runtime::ClearError();
    }

    runtime::HeadlessSession session;
    testing::ScriptedServer server;
    testing::FakeStarter starter;
    std::shared_ptr<runtime::InProcessTransport> transport =
        std::make_shared<runtime::InProcessTransport>();
    runtime::ConversationClient client{transport};
    std::unique_ptr<runtime::Window> window;
    std::unique_ptr<WindowIdeView> view;
    std::unique_ptr<IdeChannel> channel;
};

TEST_F(IdeOnWindow, StatusFocusMessagesAndClosedEventsReachTheWindow) {
    ASSERT_TRUE(window->Open());
    transport->AddServer("vx", server);

    channel->ConnectButton();
    EXPECT_EQ(window->Value(2), "Connected to Vextor.");  // redisplayed by the button
    EXPECT_EQ(window->Focus(), 1);

    // A rejected command: the modal box shows the IDE's error with no caption or icon.
    server.answer = testing::ScriptedServer::Answer::Negative;
    server.items = {{"GetErrorNum", "12"}, {"GetErrorMsg", "Bad"}};
    session.script.AnswerMessage(runtime::button::Ok).Expecting("Error 12 : Bad");
    client.ExecuteCommand(channel->Channel, "[A]");
    channel->CheckChannelResult();
    ASSERT_EQ(session.script.Messages().size(), 1u);
    EXPECT_EQ(session.script.Messages()[0].request.text, "Error 12 : Bad");
    EXPECT_EQ(session.script.Messages()[0].request.caption, "");
    EXPECT_EQ(session.script.Messages()[0].request.icon, runtime::StockIcon::None);
    EXPECT_EQ(session.script.Messages()[0].request.buttons, runtime::button::Ok);
    EXPECT_TRUE(session.script.Failures().empty());

    // The server ends the conversation: EVENT:DDEclosed is queued for the window.
    transport->EndConversation("vx", transport->OpenConversations("vx").at(0));
    client.ProcessPending();
    bool closed = false;
    for (const auto& event : window->Pending())
        closed = closed || event.code == runtime::event::DDEclosed;
    EXPECT_TRUE(closed);
    window->Close();
}

}  // namespace
}  // namespace zelt::app
