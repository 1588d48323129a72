// The server's side of a conversation: what a server (an IDE, or a stand-in for one)
// implements. A transport calls it when a client initiates, executes, requests or ends.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::runtime {

using ConversationId = std::uint64_t;

struct InitiateAnswer {
    std::string service;  // the server's own service name
    std::string topic;    // the topic it serves the conversation under
};

// Completes one execute transaction with a positive (true) or negative (false)
// acknowledgement. It may be called later, from the server's event loop; calling it a second
// time does nothing, and never calling it leaves the client without an acknowledgement.
using ExecuteReply = std::function<void(bool positive)>;

// Clipboard format of text items.
inline constexpr std::uint32_t kTextFormat = 1;

class ConversationService {
  public:
    virtual ~ConversationService() = default;

    // An offer of a conversation (empty = any). Nothing declines it.
    virtual std::optional<InitiateAnswer> Initiate(std::string_view service,
                                                   std::string_view topic) = 0;
    virtual void Execute(ConversationId conversation, std::string command, ExecuteReply reply) = 0;
    // The item's text, or nothing for a negative acknowledgement.
    virtual std::optional<std::string> Request(ConversationId conversation, std::string_view item,
                                               std::uint32_t format) = 0;
    // The client ended the conversation.
    virtual void Terminated(ConversationId /*conversation*/) {}
};

// Case-blind comparison of service and topic names.
bool SameConversationName(std::string_view a, std::string_view b);

}  // namespace zelt::runtime
