// The conversation transport over the D-Bus session bus, client side
// (docs/ide-protocol.md).
//
// Waits for acknowledgements block on the bus connection until the reply or the time-out,
// without dispatching anything else. Ends of conversations (the server's Terminated
// signal, or its unique name losing its owner) are handled by ProcessPending; an event
// loop watches EventDescriptor() and calls it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

    std::unique_ptr<runtime::TransportConversation> Initiate(std::string_view service, std::string_view topic,
                                                             runtime::PartnerLostHandler on_partner_lost) override;
    void ProcessPending() override;
    bool WaitForActivity(std::int64_t timeout_ms) override;
    int EventDescriptor() const override;

    // How long one server may take to answer an offer of a conversation (default 5 s).
    void SetInitiateTimeOut(std::int64_t ms) { initiate_timeout_ms_ = ms; }
    // This client's unique name on the bus.
    std::string UniqueName() const;

private:
    static int OnServerNameChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);

    BusPtr bus_;
    SlotPtr server_watch_;
    bool server_appeared_ = false;
    std::int64_t initiate_timeout_ms_ = 5000;
};

}  // namespace zelt::platform
