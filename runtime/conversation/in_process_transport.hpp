// A conversation transport inside one process, for tests and for running a server
// implementation without a bus.
//
// Servers are registered under names and asked in ascending name order, as on the bus.
// Replies are immediate: an execute whose service does not reply before Execute returns
// counts as timed out (as not delivered when the server was removed meanwhile), as does any
// transaction with a time-out of 0 (the server still receives it). A server's end of a conversation
// and its removal reach the client through ProcessPending, as messages on a bus would;
// PartnerPresent sees a removed server at once.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/conversation/conversation_service.hpp"
#include "runtime/conversation/conversation_transport.hpp"

namespace zelt::runtime {

class InProcessTransport final : public ConversationTransport {
  public:
    InProcessTransport();
    ~InProcessTransport() override;

    // The service must outlive its registration.
    void AddServer(std::string name, ConversationService& service);
    // The server vanishes: its conversations lose their partner.
    void RemoveServer(const std::string& name);
    // The server ends one of its conversations itself.
    void EndConversation(const std::string& name, ConversationId conversation);
    // Conversations of the named server that are open at the moment, oldest first.
    std::vector<ConversationId> OpenConversations(const std::string& name) const;

    std::unique_ptr<TransportConversation> Initiate(std::string_view service,
                                                    std::string_view topic,
                                                    PartnerLostHandler on_partner_lost) override;
    std::unique_ptr<TransportConversation> InitiateOther(
        std::string_view service, std::string_view topic, const std::vector<std::string>& skip,
        PartnerLostHandler on_partner_lost) override;
    void ProcessPending() override;
    bool WaitForActivity(std::int64_t timeout_ms) override;
    // Runs in place of blocking in WaitForActivity, with its time-out: a test moves its
    // virtual clock on here, or lets a server appear.
    void SetWaitHook(std::function<void(std::int64_t)> hook);

  private:
    struct State;
    class Link;
    std::shared_ptr<State> state_;
    std::function<void(std::int64_t)> wait_hook_;
};

}  // namespace zelt::runtime
