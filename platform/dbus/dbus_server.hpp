// Serving conversations on the D-Bus session bus (docs/ide-protocol.md): the server side
// that an IDE, or the stand-in IDE, runs in its event loop.
//
// An offer of a conversation past the server's limits is answered with the error
// kTooManyConversationsError and a message that says which limit; a client that leaves
// the bus has its conversations ended. No client can make the server lose its bus
// connection by opening conversations: the server keeps one match rule per client.
#pragma once

#include <systemd/sd-event.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus/sd_bus_handles.hpp"
#include "runtime/conversation/conversation_service.hpp"

namespace zelt::platform {

class DbusConversationServer {
  public:
    // Connects to the session bus, serves the conversation object, claims the bus name
    // "org.zelt.Dde.Server.<instance>" and attaches to the event loop. Nothing, and the
    // reason, when any of it fails (the name is taken, the instance name is not valid, the
    // bus cannot be reached). The service must outlive the server.
    static std::unique_ptr<DbusConversationServer> Start(sd_event* loop,
                                                         runtime::ConversationService& service,
                                                         const std::string& instance,
                                                         std::string* reason);
    ~DbusConversationServer();
    DbusConversationServer(const DbusConversationServer&) = delete;
    DbusConversationServer& operator=(const DbusConversationServer&) = delete;

    const std::string& BusName() const { return bus_name_; }
    // How many conversations one client may hold, and how many the server holds in all;
    // an offer past either is refused with an error that says which (default 1000, 10000).
    // The server watches each client with one match rule on the bus, so the limits also
    // keep it below the bus's limit of match rules.
    void SetConversationLimits(std::size_t per_client, std::size_t total);
    // Ends a conversation from the server's side: its client is sent Terminated.
    void EndConversation(runtime::ConversationId conversation);
    std::vector<runtime::ConversationId> Conversations() const;
    // Writes out everything queued (before the program exits).
    void Flush();
    sd_bus* Bus() { return bus_.get(); }

  private:
    DbusConversationServer(BusPtr bus, runtime::ConversationService& service);
    struct Conversation {
        std::string client;  // the client's unique name
    };
    // A client with conversations, watched so that they end when it leaves the bus.
    struct Client {
        DbusConversationServer* server = nullptr;
        std::string name;
        std::size_t conversations = 0;
        SlotPtr watch;
    };
    runtime::ConversationId FindConversation(sd_bus_message* m, const char* path) const;
    void Forget(runtime::ConversationId conversation, bool tell_service);
    // Why an offer from `client` is refused; empty when it may have one more conversation.
    std::string OverLimit(const std::string& client) const;
    void Watch(Client& client);
    void ClientLeft(const std::string& name);

    static int OnInitiate(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int OnExecute(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int OnRequest(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int OnTerminate(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int OnClientNameChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int OnWatchInstalled(sd_bus_message* m, void* userdata, sd_bus_error* error);

    BusPtr bus_;
    runtime::ConversationService& service_;
    SlotPtr object_;
    std::string bus_name_;
    std::map<runtime::ConversationId, Conversation> conversations_;
    std::map<std::string, std::unique_ptr<Client>> clients_;
    std::size_t per_client_limit_ = 1000;
    std::size_t total_limit_ = 10000;
    runtime::ConversationId next_conversation_ = 1;
};

// True when `instance` can follow "org.zelt.Dde.Server." in a bus name: letters, digits,
// "_" and "-", not starting with a digit, at most 200 characters.
bool ValidServerInstance(const std::string& instance);

// The error that refuses an offer of a conversation past the server's limits.
inline constexpr const char* kTooManyConversationsError = "org.zelt.Dde.Error.TooManyConversations";

}  // namespace zelt::platform
