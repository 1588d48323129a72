#include "platform/dbus/dbus_server.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/dbus/dde_bus_names.hpp"
#include "platform/dbus/session_bus.hpp"

namespace zelt::platform {

namespace {

constexpr const char* kConversationPathPrefix = "/org/zelt/Dde/conversation/";

std::string ConversationPath(runtime::ConversationId id) {
    return kConversationPathPrefix + std::to_string(id);
}

// An execute that waits for its acknowledgement: answers at most once.
class PendingExecute {
  public:
    explicit PendingExecute(sd_bus_message* m) : message_(sd_bus_message_ref(m)) {}
    void Answer(bool positive) {
        if (!message_) return;
        sd_bus_reply_method_return(message_.get(), "b", positive ? 1 : 0);
        message_.reset();
    }

  private:
    MessagePtr message_;
};

}  // namespace

bool ValidServerInstance(const std::string& instance) {
    if (instance.empty() || instance.size() > 200) return false;
    if (instance[0] >= '0' && instance[0] <= '9') return false;
    for (char c : instance) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

DbusConversationServer::DbusConversationServer(BusPtr bus, runtime::ConversationService& service)
    : bus_(std::move(bus)), service_(service) {}

DbusConversationServer::~DbusConversationServer() {
    conversations_.clear();
    clients_.clear();
    object_.reset();
    if (bus_) sd_bus_detach_event(bus_.get());
}

std::unique_ptr<DbusConversationServer> DbusConversationServer::Start(
    sd_event* loop, runtime::ConversationService& service, const std::string& instance,
    std::string* reason) {
    auto fail = [&](std::string why) -> std::unique_ptr<DbusConversationServer> {
        if (reason) *reason = std::move(why);
        return nullptr;
    };
    if (!ValidServerInstance(instance)) {
        return fail(
            "\"" + instance +
            "\" cannot be part of a bus name (letters, digits, _ and -, not a digit first)");
    }
    std::string why;
    BusPtr bus = OpenSessionBus(&why);
    if (!bus) return fail(why);
    std::unique_ptr<DbusConversationServer> server(
        new DbusConversationServer(std::move(bus), service));

    static const sd_bus_vtable table[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Initiate", "ss", "bsso", &OnInitiate, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Execute", "os", "b", &OnExecute, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Request", "osu", "bs", &OnRequest, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Terminate", "o", "", &OnTerminate, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_SIGNAL("Terminated", "o", 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(server->bus_.get(), &slot, kDdeObjectPath, kDdeInterface,
                                     table, server.get());
    if (r < 0)
        return fail(std::string("the conversation object cannot be served: ") + std::strerror(-r));
    server->object_.reset(slot);

    server->bus_name_ = std::string(kDdeServerPrefix) + instance;
    r = sd_bus_request_name(server->bus_.get(), server->bus_name_.c_str(), 0);
    if (r == -EEXIST) return fail("the bus name " + server->bus_name_ + " is already taken");
    if (r < 0)
        return fail("the bus name " + server->bus_name_ +
                    " cannot be claimed: " + std::strerror(-r));
    r = sd_bus_attach_event(server->bus_.get(), loop, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0) return fail(std::string("the bus cannot join the event loop: ") + std::strerror(-r));
    return server;
}

runtime::ConversationId DbusConversationServer::FindConversation(sd_bus_message* m,
                                                                 const char* path) const {
    const std::string_view text = path ? path : "";
    const std::string_view prefix = kConversationPathPrefix;
    if (!text.starts_with(prefix)) return 0;
    runtime::ConversationId id = 0;
    for (char c : text.substr(prefix.size())) {
        if (c < '0' || c > '9') return 0;
        id = id * 10 + static_cast<runtime::ConversationId>(c - '0');
    }
    auto it = conversations_.find(id);
    if (it == conversations_.end()) return 0;
    const char* sender = sd_bus_message_get_sender(m);
    // Only the client that opened a conversation may use it.
    if (sender && it->second.client != sender) return 0;
    return id;
}

void DbusConversationServer::Forget(runtime::ConversationId conversation, bool tell_service) {
    auto it = conversations_.find(conversation);
    if (it == conversations_.end()) return;
    const std::string client = it->second.client;
    conversations_.erase(it);
    // The client's last conversation takes its watch along. The watch may be the slot whose
    // callback is running; sd-bus allows dropping it there.
    if (auto c = clients_.find(client); c != clients_.end() && --c->second->conversations == 0)
        clients_.erase(c);
    if (tell_service) service_.Terminated(conversation);
}

void DbusConversationServer::SetConversationLimits(std::size_t per_client, std::size_t total) {
    per_client_limit_ = per_client;
    total_limit_ = total;
}

std::string DbusConversationServer::OverLimit(const std::string& client) const {
    if (conversations_.size() >= total_limit_) {
        return "the server already holds its limit of " + std::to_string(total_limit_) +
               " conversations; try again when some have ended";
    }
    auto it = clients_.find(client);
    if (it != clients_.end() && it->second->conversations >= per_client_limit_) {
        return "this client already holds the limit of " + std::to_string(per_client_limit_) +
               " conversations that one client may open; end some first";
    }
    return {};
}

void DbusConversationServer::Watch(Client& client) {
    const std::string match =
        std::string(
            "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
            "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
        client.name + "'";
    sd_bus_slot* slot = nullptr;
    // With an install callback of its own, a rule that the bus refuses does not close the
    // connection (sd-bus's default would).
    if (sd_bus_add_match_async(bus_.get(), &slot, match.c_str(), &OnClientNameChanged,
                               &OnWatchInstalled, &client) >= 0) {
        client.watch.reset(slot);
    }
}

int DbusConversationServer::OnWatchInstalled(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* client = static_cast<Client*>(userdata);
    if (!sd_bus_message_is_method_error(m, nullptr)) return 0;
    const sd_bus_error* error = sd_bus_message_get_error(m);
    std::fprintf(stderr,
                 "conversation server: the bus refused to watch client %s (%s); its "
                 "conversations are ended\n",
                 client->name.c_str(), error && error->message ? error->message : "no reason");
    DbusConversationServer* self = client->server;
    std::vector<runtime::ConversationId> ended;
    for (const auto& [id, conversation] : self->conversations_) {
        if (conversation.client == client->name) ended.push_back(id);
    }
    for (runtime::ConversationId id : ended) {
        self->service_.Terminated(id);
        self->EndConversation(id);
    }
    return 0;
}

int DbusConversationServer::OnInitiate(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DbusConversationServer*>(userdata);
    const char* service = nullptr;
    const char* topic = nullptr;
    int r = sd_bus_message_read(m, "ss", &service, &topic);
    if (r < 0) return r;
    std::optional<runtime::InitiateAnswer> answer = self->service_.Initiate(service, topic);
    const char* sender = sd_bus_message_get_sender(m);
    if (!answer || !sender) return sd_bus_reply_method_return(m, "bsso", 0, "", "", "/");
    if (const std::string refused = self->OverLimit(sender); !refused.empty())
        return sd_bus_reply_method_errorf(m, kTooManyConversationsError, "%s", refused.c_str());

    const runtime::ConversationId id = self->next_conversation_++;
    self->conversations_[id].client = sender;
    std::unique_ptr<Client>& client = self->clients_[sender];
    if (!client) {
        client = std::make_unique<Client>();
        client->server = self;
        client->name = sender;
        self->Watch(*client);
    }
    ++client->conversations;
    const std::string path = ConversationPath(id);
    return sd_bus_reply_method_return(m, "bsso", 1, answer->service.c_str(), answer->topic.c_str(),
                                      path.c_str());
}

int DbusConversationServer::OnExecute(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DbusConversationServer*>(userdata);
    const char* path = nullptr;
    const char* command = nullptr;
    int r = sd_bus_message_read(m, "os", &path, &command);
    if (r < 0) return r;
    const runtime::ConversationId id = self->FindConversation(m, path);
    if (id == 0) return sd_bus_reply_method_return(m, "b", 0);
    auto pending = std::make_shared<PendingExecute>(m);
    self->service_.Execute(id, command, [pending](bool positive) { pending->Answer(positive); });
    return 1;
}

int DbusConversationServer::OnRequest(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DbusConversationServer*>(userdata);
    const char* path = nullptr;
    const char* item = nullptr;
    std::uint32_t format = 0;
    int r = sd_bus_message_read(m, "osu", &path, &item, &format);
    if (r < 0) return r;
    const runtime::ConversationId id = self->FindConversation(m, path);
    std::optional<std::string> text;
    if (id != 0) text = self->service_.Request(id, item, format);
    return sd_bus_reply_method_return(m, "bs", text ? 1 : 0, text ? text->c_str() : "");
}

int DbusConversationServer::OnTerminate(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DbusConversationServer*>(userdata);
    const char* path = nullptr;
    int r = sd_bus_message_read(m, "o", &path);
    if (r < 0) return r;
    if (const runtime::ConversationId id = self->FindConversation(m, path)) self->Forget(id, true);
    return sd_bus_reply_method_return(m, "");  // dropped by sd-bus when no reply is expected
}

int DbusConversationServer::OnClientNameChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    DbusConversationServer* self = static_cast<Client*>(userdata)->server;
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0 || !name ||
        (new_owner && *new_owner)) {
        return 0;
    }
    self->ClientLeft(name);
    return 0;
}

void DbusConversationServer::ClientLeft(const std::string& name) {
    std::vector<runtime::ConversationId> gone;
    for (const auto& [id, conversation] : conversations_) {
        if (conversation.client == name) gone.push_back(id);
    }
    for (runtime::ConversationId id : gone) Forget(id, true);
}

void DbusConversationServer::EndConversation(runtime::ConversationId conversation) {
    auto it = conversations_.find(conversation);
    if (it == conversations_.end()) return;
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_signal(bus_.get(), &raw, kDdeObjectPath, kDdeInterface, "Terminated") >=
        0) {
        MessagePtr signal(raw);
        const std::string path = ConversationPath(conversation);
        if (sd_bus_message_set_destination(signal.get(), it->second.client.c_str()) >= 0 &&
            sd_bus_message_append(signal.get(), "o", path.c_str()) >= 0) {
            sd_bus_send(bus_.get(), signal.get(), nullptr);
        }
    }
    Forget(conversation, false);
}

std::vector<runtime::ConversationId> DbusConversationServer::Conversations() const {
    std::vector<runtime::ConversationId> ids;
    for (const auto& [id, conversation] : conversations_) ids.push_back(id);
    return ids;
}

void DbusConversationServer::Flush() {
    sd_bus_flush(bus_.get());
}

}  // namespace zelt::platform
