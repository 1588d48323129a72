// The conversation layer: client conversations with servers, by channel handle.
//
// Each operation leaves its result in the runtime's current error code (error_state.hpp):
//   ExecuteCommand and RequestItem clear it first, except on the channel handle 0, where they
//   do nothing at all; CloseConversation always clears it; OpenConversation leaves it alone.
//   602  the conversation has no partner (never opened, ended by the server, the server
//        vanished, or the handle was already closed)
//   603  an execute could not be sent, was acknowledged negatively, or got no answer
//   605  no reply within the reply time-out
// A 603 that the server had no part in (the command was never sent, the server went away
// with it, or the wait for its answer was given up) is told apart by LastCommandFault, so
// that nobody asks the server about it.
// Commands travel as UTF-8 (conversation_text.hpp): one that is not is refused unsent.
// Waits block the calling thread on the transport (not spinning) up to the reply time-out.
// A handle, once closed, is never handed out again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/conversation/conversation_transport.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::runtime {

using ChannelHandle = std::int32_t;

// Commands are sent as exactly this many bytes: cut (never inside a character), or padded
// with blanks.
inline constexpr std::size_t kCommandLength = 255;
// Service, topic and item names are cut at this length.
inline constexpr std::size_t kConversationNameLength = 80;
// The reply time-out until SetChannelTimeOut says otherwise: 3 minutes.
inline constexpr std::int64_t kDefaultReplyTimeOutHundredths = 18000;
// The longest reply time-out: 365 days. Longer ones would overflow the clocks that the
// waits are measured with.
inline constexpr std::int64_t kMaxReplyTimeOutHundredths = 100LL * 3600 * 24 * 365;

// The command as it travels: cut at 255 bytes (before a character that would cross the
// limit), padded with blanks to 255.
std::string PadCommand(std::string_view command);

// Why the latest ExecuteCommand failed without the server's own answer.
struct CommandFault {
    enum class Kind {
        None,         // the server answered (or the wait timed out, or there was no partner)
        NotSent,      // the command never left: `reason` says why
        PartnerGone,  // the server went away while it had the command
        Abandoned,    // the wait for its answer was given up (the transport's sleep said so)
    };
    Kind kind = Kind::None;
    std::string reason;
};

class ConversationClient {
  public:
    explicit ConversationClient(std::shared_ptr<ConversationTransport> transport);
    ~ConversationClient();
    ConversationClient(const ConversationClient&) = delete;
    ConversationClient& operator=(const ConversationClient&) = delete;

    // A new conversation with the first server that accepts, or 0 when none did.
    ChannelHandle OpenConversation(std::string_view service, std::string_view topic);
    // A new conversation with the first server that accepts and is not already the partner
    // of an open conversation of this client, or 0: for a client that drives several
    // servers at once, one conversation each.
    ChannelHandle OpenAnotherConversation(std::string_view service, std::string_view topic);
    // Sends one command (padded to 255 characters) and waits for its acknowledgement.
    // Returns the runtime's error code afterwards.
    ErrorCode ExecuteCommand(ChannelHandle channel, std::string_view command);
    // Asks for an item; on success `variable` receives the text (converted to its type),
    // otherwise it keeps its value. A negative acknowledgement sets no error code.
    ErrorCode RequestItem(ChannelHandle channel, std::string_view item, std::string& variable);
    ErrorCode RequestItem(ChannelHandle channel, std::string_view item, std::uint16_t& variable);
    // Ends and releases the conversation without waiting for the partner.
    void CloseConversation(ChannelHandle channel);
    // Reply time-out for all later waits, in hundredths of a second (negative counts as 0,
    // more than kMaxReplyTimeOutHundredths as that).
    void SetChannelTimeOut(std::int64_t hundredths);
    std::int64_t ChannelTimeOut() const { return timeout_hundredths_; }

    // Why the latest ExecuteCommand (on a non-zero handle) gave 603 without the server's
    // negative acknowledgement; Kind::None after any other outcome.
    const CommandFault& LastCommandFault() const { return fault_; }
    // The servers that took the latest offer of a conversation but did not answer it within
    // the transport's limit (stopped or busy); empty when every server answered.
    std::vector<std::string> UnansweredServers() const { return transport_->Unanswered(); }
    // Why servers refused the latest offer, or answered it wrongly (one text each).
    std::vector<std::string> RefusingServers() const { return transport_->Refusals(); }

    // Called with the handle when a partner ends a conversation or vanishes; the program
    // raises EVENT:DDEclosed from it. It must not call back into this client.
    void SetClosedHandler(std::function<void(ChannelHandle)> handler);
    // Handles what the transport has received meanwhile (ends of conversations).
    void ProcessPending();

    // Whether the handle names a conversation that still has its partner, as far as known.
    bool IsOpen(ChannelHandle channel) const;
    ConversationTransport& Transport() { return *transport_; }

  private:
    struct Conversation;
    Conversation* Find(ChannelHandle channel);
    ChannelHandle Keep(std::unique_ptr<TransportConversation> link, ChannelHandle handle);
    // The conversation if it still has a partner; otherwise posts 602 and gives nothing.
    Conversation* PartnerOrNotOpen(ChannelHandle channel);
    void PartnerLost(ChannelHandle channel);
    // Sends the request and fills `text` on success; false when the variable stays as is.
    bool Request(ChannelHandle channel, std::string_view item, std::string& text);

    std::shared_ptr<ConversationTransport> transport_;
    std::map<ChannelHandle, std::unique_ptr<Conversation>> conversations_;
    ChannelHandle next_handle_ = 1;
    std::int64_t timeout_hundredths_ = kDefaultReplyTimeOutHundredths;
    std::function<void(ChannelHandle)> closed_handler_;
    CommandFault fault_;
};

}  // namespace zelt::runtime
