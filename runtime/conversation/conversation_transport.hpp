// How a conversation with a server travels, seen from the client.
//
// The conversation layer (ConversationClient) owns the error codes and the handles; a
// transport only carries transactions and reports what happened to them. Two transports
// exist: the D-Bus one of platform/dbus, and an in-process one for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::runtime {

// What became of one transaction.
enum class TransactionOutcome {
    Positive,      // acknowledged positively; for a request, the data arrived
    Negative,      // acknowledged negatively
    TimedOut,      // no reply within the reply time-out
    NotDelivered,  // sent, but the server went away (or failed) before it replied
    NotSent,       // could not be sent at all
    Abandoned,     // sent, but the wait for the reply was given up (the user cancelled)
};

struct RequestOutcome {
    TransactionOutcome outcome = TransactionOutcome::NotDelivered;
    std::string text;  // the server's answer when the outcome is Positive
};

// The client's end of one open conversation.
class TransportConversation {
  public:
    virtual ~TransportConversation() = default;

    // False once the transport knows that the partner has gone: it ended the conversation,
    // or its end of the connection no longer exists.
    virtual bool PartnerPresent() = 0;
    // Sends the command and waits at most `timeout_ms` for its acknowledgement. With a
    // time-out of 0 the command is sent and the result is TimedOut at once.
    virtual TransactionOutcome Execute(std::string_view command, std::int64_t timeout_ms) = 0;
    // Asks for a text item, waiting at most `timeout_ms`.
    virtual RequestOutcome Request(std::string_view item, std::int64_t timeout_ms) = 0;
    // Tells the partner that the conversation is over, without waiting for an answer.
    virtual void Terminate() = 0;

    // The service and topic that the partner answered with.
    virtual const std::string& Service() const = 0;
    virtual const std::string& Topic() const = 0;
    // The name under which the partner was offered the conversation (its name among the
    // servers); empty where the transport does not tell servers apart.
    virtual std::string Server() const { return {}; }
};

// Called on the thread that drives the transport when the partner ends the conversation
// itself or disappears. Called at most once per conversation, never after the
// conversation object was destroyed.
using PartnerLostHandler = std::function<void()>;

class ConversationTransport {
  public:
    virtual ~ConversationTransport() = default;

    // Offers a conversation to every server; an empty service or topic means any. Of the
    // servers that accept, the first in ascending order of their names becomes the partner;
    // every other one that accepts, now or later, is sent a terminate at once. Nothing when
    // none accepted.
    virtual std::unique_ptr<TransportConversation> Initiate(std::string_view service,
                                                            std::string_view topic,
                                                            PartnerLostHandler on_partner_lost) = 0;
    // As Initiate, but the servers named in `skip` (as TransportConversation::Server names
    // them) are not offered the conversation: for a client that holds conversations with
    // several servers at once. A transport that does not tell servers apart offers nothing
    // when `skip` is not empty.
    virtual std::unique_ptr<TransportConversation> InitiateOther(
        std::string_view service, std::string_view topic, const std::vector<std::string>& skip,
        PartnerLostHandler on_partner_lost) {
        if (!skip.empty()) return nullptr;
        return Initiate(service, topic, std::move(on_partner_lost));
    }
    // The servers that did not answer the latest Initiate within the transport's limit, where
    // their answer was needed to choose the partner; empty when every server answered.
    virtual std::vector<std::string> Unanswered() const { return {}; }
    // Why servers that answered the latest Initiate neither accepted nor plainly declined
    // (a refusal with a reason, a malformed answer): one text each, naming the server.
    virtual std::vector<std::string> Refusals() const { return {}; }

    // Handles what has arrived (ends of conversations, vanished servers) without blocking.
    virtual void ProcessPending() = 0;
    // Blocks until something arrived for ProcessPending, a new server may have appeared, or
    // `timeout_ms` passed. True when woken before the time-out.
    virtual bool WaitForActivity(std::int64_t timeout_ms) = 0;
    // A descriptor that becomes readable when ProcessPending has work, for an event loop to
    // watch; -1 when the transport has none.
    virtual int EventDescriptor() const { return -1; }

    // How the transport sleeps whenever it waits (for a reply, for the answers to an offer,
    // for activity): given its descriptor and the longest sleep in milliseconds, the sleep
    // returns when the descriptor may be readable or the time has passed (earlier is
    // allowed: the transport looks again). It answers false when the wait is to be given up
    // (the user cancelled, a signal arrived): a reply waited for is then Abandoned, and an
    // offer or a wait for activity ends as if its time had passed. A program with a window
    // installs one that keeps the window alive meanwhile, the headless mode one that also
    // watches for signals; none: the transport blocks the thread itself.
    using Sleep = std::function<bool(int descriptor, std::int64_t timeout_ms)>;
    virtual void SetSleep(Sleep sleep) { (void)sleep; }
};

}  // namespace zelt::runtime
