// The conversation transport over the D-Bus session bus, client side
// (docs/ide-protocol.md).
//
// Waits for acknowledgements block on the bus connection until the reply or the time-out,
// without dispatching anything else; with a sleep installed (SetSleep) they send without
// blocking and let the sleep run until the reply, handling what arrives meanwhile, and a
// sleep that gives up ends the wait at once (Abandoned). An offer of a
// conversation goes to every server at once and waits for the answers it needs, dispatching what
// arrives meanwhile. Ends of conversations (the server's Terminated signal, or its unique name
// losing its owner) are handled by ProcessPending; an event loop watches EventDescriptor() and
// calls it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus/sd_bus_handles.hpp"
#include "runtime/conversation/conversation_transport.hpp"

namespace zelt::platform {

class DbusConversationTransport final : public runtime::ConversationTransport {
  public:
    // A transport on the user's session bus ($DBUS_SESSION_BUS_ADDRESS); nothing, and the
    // reason, when the bus cannot be reached.
    static std::unique_ptr<DbusConversationTransport> ConnectSessionBus(std::string* reason);
    // Takes a connected bus.
    explicit DbusConversationTransport(BusPtr bus);
    ~DbusConversationTransport() override;
    DbusConversationTransport(const DbusConversationTransport&) = delete;
    DbusConversationTransport& operator=(const DbusConversationTransport&) = delete;

    std::unique_ptr<runtime::TransportConversation> Initiate(
        std::string_view service, std::string_view topic,
        runtime::PartnerLostHandler on_partner_lost) override;
    std::unique_ptr<runtime::TransportConversation> InitiateOther(
        std::string_view service, std::string_view topic, const std::vector<std::string>& skip,
        runtime::PartnerLostHandler on_partner_lost) override;
    void ProcessPending() override;
    bool WaitForActivity(std::int64_t timeout_ms) override;
    int EventDescriptor() const override;
    void SetSleep(Sleep sleep) override;

    std::vector<std::string> Unanswered() const override { return unanswered_; }
    std::vector<std::string> Refusals() const override { return problems_; }

    // How long the servers may take to answer an offer of a conversation (default 5 s). They
    // are all asked at once, so this is also the longest one Initiate waits.
    void SetInitiateTimeOut(std::int64_t ms) { initiate_timeout_ms_ = ms; }
    std::int64_t InitiateTimeOut() const { return initiate_timeout_ms_; }
    // This client's unique name on the bus.
    std::string UniqueName() const;

  private:
    struct Offer;
    static int OnServerNameChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // Sleeps on the bus at most `timeout_ms`; false when the installed sleep gave the wait up.
    bool Wait(std::int64_t timeout_ms);
    // The names of the servers on the bus, in ascending order.
    std::vector<std::string> ServerNames();

    BusPtr bus_;
    // Shared with the conversations, so that a sleep installed later reaches them too.
    std::shared_ptr<Sleep> sleep_ = std::make_shared<Sleep>();
    SlotPtr server_watch_;
    bool server_appeared_ = false;
    std::int64_t initiate_timeout_ms_ = 5000;
    std::vector<std::string> unanswered_;
    std::vector<std::string> problems_;
    // Offers that got no answer in their round: an acceptance that still comes is ended.
    std::vector<std::unique_ptr<Offer>> late_offers_;
};

}  // namespace zelt::platform
