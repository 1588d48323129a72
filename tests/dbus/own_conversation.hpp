// A conversation that a test holds itself over the session bus, for as long as it lives.
#pragma once

#include <memory>
#include <string>

#include "platform/dbus/dbus_transport.hpp"
#include "runtime/conversation/conversation_client.hpp"

namespace zelt::testing {

class OwnConversation {
  public:
    OwnConversation() {
        std::string reason;
        transport_ = platform::DbusConversationTransport::ConnectSessionBus(&reason);
        if (!transport_) return;
        client_ = std::make_unique<runtime::ConversationClient>(transport_);
        channel_ = client_->OpenConversation("VextorWin", "");
    }
    bool open() const { return channel_ != 0; }
    runtime::ErrorCode Execute(const std::string& command) {
        return client_->ExecuteCommand(channel_, command);
    }
    // The item's text; "NACK" or "ERROR <code>" when there is none.
    std::string Request(const std::string& item) {
        std::string text = "NACK";
        const runtime::ErrorCode code = client_->RequestItem(channel_, item, text);
        return code == 0 ? text : "ERROR " + std::to_string(code);
    }
    runtime::ConversationClient& client() { return *client_; }
    runtime::ChannelHandle channel() const { return channel_; }

  private:
    std::shared_ptr<platform::DbusConversationTransport> transport_;
    std::unique_ptr<runtime::ConversationClient> client_;
    runtime::ChannelHandle channel_ = 0;
};

}  // namespace zelt::testing
