#include "platform/dbus/dbus_transport.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/dbus/dde_bus_names.hpp"
#include "platform/dbus/session_bus.hpp"
#include "runtime/conversation/conversation_service.hpp"

namespace zelt::platform {

namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kBusInterface = "org.freedesktop.DBus";

std::uint64_t Microseconds(std::int64_t ms) {
    return static_cast<std::uint64_t>(ms) * 1000u;
}

// Reads a string array reply into a vector.
std::vector<std::string> ReadStrings(sd_bus_message* reply) {
    std::vector<std::string> names;
    if (sd_bus_message_enter_container(reply, 'a', "s") < 0) return names;
    const char* name = nullptr;
    while (sd_bus_message_read(reply, "s", &name) > 0) names.emplace_back(name);
    sd_bus_message_exit_container(reply);
    return names;
}

// A method call on the partner's object with the given member.
MessagePtr NewCall(sd_bus* bus, const std::string& destination, const char* member) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, destination.c_str(), kDdeObjectPath, kDdeInterface,
                                       member) < 0) {
        return nullptr;
    }
    return MessagePtr(m);
}

// Sends Terminate for a conversation without waiting for anything.
void SendTerminate(sd_bus* bus, const std::string& destination, const std::string& path) {
    MessagePtr m = NewCall(bus, destination, "Terminate");
    if (!m || sd_bus_message_append(m.get(), "o", path.c_str()) < 0) return;
    sd_bus_message_set_expect_reply(m.get(), 0);
    sd_bus_send(bus, m.get(), nullptr);
    sd_bus_flush(bus);
}

// Sends the call and waits for its reply at most `timeout_ms`; with 0 it only sends.
struct CallResult {
    runtime::TransactionOutcome outcome = runtime::TransactionOutcome::NotDelivered;
    MessagePtr reply;
};
using Sleep = runtime::ConversationTransport::Sleep;

// The reply to a call made without blocking, as it arrives.
struct PendingReply {
    bool done = false;
    MessagePtr reply;
    static int OnReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<PendingReply*>(userdata);
        self->done = true;
        self->reply.reset(sd_bus_message_ref(m));
        return 0;
    }
};

// Sends the call and lets `sleep` run until its reply has come or the time is over, handling
// whatever else arrives meanwhile; as sd_bus_call answers: >= 0 with the reply, or -errno.
int CallSleeping(sd_bus* bus, sd_bus_message* m, std::int64_t timeout_ms, const Sleep& sleep,
                 sd_bus_message** reply) {
    PendingReply pending;
    sd_bus_slot* slot = nullptr;
    if (const int r = sd_bus_call_async(bus, &slot, m, &PendingReply::OnReply, &pending,
                                        Microseconds(timeout_ms));
        r < 0)
        return r;
    const SlotPtr call(slot);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pending.done) {
        while (!pending.done && sd_bus_process(bus, nullptr) > 0) {
        }
        if (pending.done) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return -ETIMEDOUT;
        if (!sleep(sd_bus_get_fd(bus), left.count() + 1)) return -ECANCELED;
    }
    if (sd_bus_message_is_method_error(pending.reply.get(), nullptr)) {
        const int error = sd_bus_message_get_errno(pending.reply.get());
        return -(error > 0 ? error : EIO);
    }
    *reply = pending.reply.release();
    return 0;
}

CallResult Call(sd_bus* bus, sd_bus_message* m, std::int64_t timeout_ms, const Sleep& sleep) {
    CallResult result;
    if (timeout_ms <= 0) {
        result.outcome = sd_bus_send(bus, m, nullptr) >= 0 && sd_bus_flush(bus) >= 0
                             ? runtime::TransactionOutcome::TimedOut
                             : runtime::TransactionOutcome::NotSent;
        return result;
    }
    BusError error;
    sd_bus_message* reply = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const int r = sleep ? CallSleeping(bus, m, timeout_ms, sleep, &reply)
                        : sd_bus_call(bus, m, Microseconds(timeout_ms), error.get(), &reply);
    if (r >= 0) {
        result.outcome = runtime::TransactionOutcome::Positive;
        result.reply.reset(reply);
        return result;
    }
    if (r == -ECANCELED && sleep) {
        result.outcome = runtime::TransactionOutcome::Abandoned;
        return result;
    }
    // A partner that disconnects makes the bus answer with an error of the same errno, but
    // at once: only a wait that used up the time-out is a time-out.
    const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    if (r == -ETIMEDOUT &&
        static_cast<std::uint64_t>(waited.count()) + 2000 >= Microseconds(timeout_ms)) {
        result.outcome = runtime::TransactionOutcome::TimedOut;
    }
    return result;
}

// The client's end of one conversation.
class DbusConversation final : public runtime::TransportConversation {
  public:
    DbusConversation(sd_bus* bus, std::string server, std::string partner, std::string path,
                     std::string service, std::string topic, runtime::PartnerLostHandler on_lost,
                     std::shared_ptr<const Sleep> sleep)
        : sleep_(std::move(sleep)),
          bus_(sd_bus_ref(bus)),
          server_(std::move(server)),
          partner_(std::move(partner)),
          path_(std::move(path)),
          service_(std::move(service)),
          topic_(std::move(topic)),
          on_lost_(std::move(on_lost)) {}

    // Watches for the partner's Terminated signal and for its name losing its owner.
    void Watch() {
        const std::string terminated = "type='signal',sender='" + partner_ + "',path='" +
                                       kDdeObjectPath + "',interface='" + kDdeInterface +
                                       "',member='Terminated'";
        const std::string owner = std::string("type='signal',sender='") + kBusService + "',path='" +
                                  kBusPath + "',interface='" + kBusInterface +
                                  "',member='NameOwnerChanged',arg0='" + partner_ + "'";
        // Installed without waiting for the bus: it handles our messages in order, so the
        // watches are in place before anything this conversation sends next arrives.
        sd_bus_slot* slot = nullptr;
        if (sd_bus_add_match_async(bus_.get(), &slot, terminated.c_str(), &OnTerminated, &Installed,
                                   this) >= 0) {
            terminated_watch_.reset(slot);
        }
        slot = nullptr;
        if (sd_bus_add_match_async(bus_.get(), &slot, owner.c_str(), &OnOwnerChanged, &Installed,
                                   this) >= 0) {
            owner_watch_.reset(slot);
        }
    }

    bool PartnerPresent() override {
        if (lost_ || terminated_ || sd_bus_is_open(bus_.get()) <= 0) return false;
        // The partner may have gone a moment ago, before its signal could arrive: ask the bus.
        BusError error;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_.get(), kBusService, kBusPath, kBusInterface, "NameHasOwner",
                               error.get(), &reply, "s", partner_.c_str()) < 0) {
            return false;
        }
        MessagePtr owned(reply);
        int has_owner = 0;
        return sd_bus_message_read(owned.get(), "b", &has_owner) >= 0 && has_owner != 0;
    }

    runtime::TransactionOutcome Execute(std::string_view command,
                                        std::int64_t timeout_ms) override {
        MessagePtr m = NewCall(bus_.get(), partner_, "Execute");
        const std::string text(command);
        if (!m || sd_bus_message_append(m.get(), "os", path_.c_str(), text.c_str()) < 0) {
            return runtime::TransactionOutcome::NotSent;
        }
        CallResult result = Call(bus_.get(), m.get(), timeout_ms, *sleep_);
        if (result.outcome != runtime::TransactionOutcome::Positive) return result.outcome;
        int ack = 0;
        if (sd_bus_message_read(result.reply.get(), "b", &ack) < 0)
            return runtime::TransactionOutcome::NotDelivered;
        return ack ? runtime::TransactionOutcome::Positive : runtime::TransactionOutcome::Negative;
    }

    runtime::RequestOutcome Request(std::string_view item, std::int64_t timeout_ms) override {
        runtime::RequestOutcome outcome;
        MessagePtr m = NewCall(bus_.get(), partner_, "Request");
        const std::string name(item);
        if (!m || sd_bus_message_append(m.get(), "osu", path_.c_str(), name.c_str(),
                                        runtime::kTextFormat) < 0) {
            return outcome;
        }
        CallResult result = Call(bus_.get(), m.get(), timeout_ms, *sleep_);
        outcome.outcome = result.outcome;
        if (result.outcome != runtime::TransactionOutcome::Positive) return outcome;
        int ack = 0;
        const char* text = nullptr;
        if (sd_bus_message_read(result.reply.get(), "bs", &ack, &text) < 0) {
            outcome.outcome = runtime::TransactionOutcome::NotDelivered;
        } else if (!ack) {
            outcome.outcome = runtime::TransactionOutcome::Negative;
        } else {
            outcome.text = text ? text : "";
        }
        return outcome;
    }

    void Terminate() override {
        if (terminated_) return;
        terminated_ = true;
        terminated_watch_.reset();
        owner_watch_.reset();
        on_lost_ = nullptr;
        if (!lost_ && sd_bus_is_open(bus_.get()) > 0) SendTerminate(bus_.get(), partner_, path_);
    }

    const std::string& Service() const override { return service_; }
    const std::string& Topic() const override { return topic_; }
    std::string Server() const override { return server_; }

  private:
    void Lost() {
        if (lost_ || terminated_) return;
        lost_ = true;
        if (on_lost_) {
            runtime::PartnerLostHandler handler = std::move(on_lost_);
            on_lost_ = nullptr;
            handler();
        }
    }
    // A watch that the bus refused leaves the check before each command (NameHasOwner).
    static int Installed(sd_bus_message*, void*, sd_bus_error*) { return 0; }
    static int OnTerminated(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<DbusConversation*>(userdata);
        const char* path = nullptr;
        if (sd_bus_message_read(m, "o", &path) >= 0 && path && self->path_ == path) self->Lost();
        return 0;
    }
    static int OnOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<DbusConversation*>(userdata);
        const char* name = nullptr;
        const char* old_owner = nullptr;
        const char* new_owner = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) >= 0 && new_owner &&
            !*new_owner) {
            self->Lost();
        }
        return 0;
    }

    std::shared_ptr<const Sleep> sleep_;
    BusRef bus_;
    std::string server_;   // the server's well-known name, as offered
    std::string partner_;  // the server's unique name
    std::string path_;     // the conversation object
    std::string service_;
    std::string topic_;
    runtime::PartnerLostHandler on_lost_;
    SlotPtr terminated_watch_;
    SlotPtr owner_watch_;
    bool lost_ = false;
    bool terminated_ = false;
};

}  // namespace

std::unique_ptr<DbusConversationTransport> DbusConversationTransport::ConnectSessionBus(
    std::string* reason) {
    BusPtr bus = OpenSessionBus(reason);
    if (!bus) return nullptr;
    return std::make_unique<DbusConversationTransport>(std::move(bus));
}

DbusConversationTransport::DbusConversationTransport(BusPtr bus) : bus_(std::move(bus)) {
    const std::string match = std::string("type='signal',sender='") + kBusService + "',path='" +
                              kBusPath + "',interface='" + kBusInterface +
                              "',member='NameOwnerChanged',arg0namespace='" + kDdeServerNamespace +
                              "'";
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match(bus_.get(), &slot, match.c_str(), &OnServerNameChanged, this) >= 0) {
        server_watch_.reset(slot);
    }
}

DbusConversationTransport::~DbusConversationTransport() {
    server_watch_.reset();
}

std::string DbusConversationTransport::UniqueName() const {
    const char* name = nullptr;
    return sd_bus_get_unique_name(bus_.get(), &name) >= 0 && name ? name : "";
}

// One offer of a conversation to one server, answered at some time or never.
struct DbusConversationTransport::Offer {
    enum class State { Waiting, Declined, Accepted };
    sd_bus* bus = nullptr;
    std::string server;  // its well-known name
    SlotPtr call;
    State state = State::Waiting;
    bool late = false;  // the round has ended: an acceptance now is ended at once
    std::string unique, path, service, topic;
    std::string problem;  // why an answer that is no plain decline did not accept

    static int OnAnswer(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* offer = static_cast<Offer*>(userdata);
        offer->state = State::Declined;
        int accepted = 0;
        const char* service = nullptr;
        const char* topic = nullptr;
        const char* path = nullptr;
        if (sd_bus_message_is_method_error(m, nullptr)) {
            const sd_bus_error* error = sd_bus_message_get_error(m);
            // A server that left, or the bus's own time-out, is no refusal by the server.
            if (sd_bus_error_has_names(error, SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_SERVICE_UNKNOWN,
                                       SD_BUS_ERROR_NAME_HAS_NO_OWNER))
                return 0;
            offer->problem = offer->server + " refused the conversation: " +
                             (error && error->message ? error->message
                              : error && error->name  ? error->name
                                                      : "no reason given");
            return 0;
        }
        if (sd_bus_message_read(m, "bsso", &accepted, &service, &topic, &path) < 0) {
            const char* signature = sd_bus_message_get_signature(m, 1);
            offer->problem =
                offer->server + " answered the offer of a conversation with a malformed reply (" +
                (signature && *signature ? signature : "empty") + " where bsso belongs)";
            return 0;
        }
        if (accepted) {
            const char* sender = sd_bus_message_get_sender(m);
            offer->unique = sender ? sender : offer->server;
            offer->path = path;
            offer->service = service;
            offer->topic = topic;
            offer->state = State::Accepted;
            if (offer->late) SendTerminate(offer->bus, offer->unique, offer->path);
        }
        return 0;
    }
};

namespace {
// How long a late acceptance is still looked for (the bus itself gives up earlier).
constexpr std::uint64_t kLateAnswerUs = 600ull * 1000 * 1000;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

std::vector<std::string> DbusConversationTransport::ServerNames() {
    std::vector<std::string> servers;
    BusError error;
    sd_bus_message* listed = nullptr;
    if (sd_bus_call_method(bus_.get(), kBusService, kBusPath, kBusInterface, "ListNames",
                           error.get(), &listed, "") < 0) {
        return servers;
    }
    MessagePtr reply(listed);
    for (std::string& name : ReadStrings(reply.get())) {
        if (name.size() > kDdeServerPrefix.size() && name.starts_with(kDdeServerPrefix))
            servers.push_back(std::move(name));
    }
    std::sort(servers.begin(), servers.end());
    return servers;
}

std::unique_ptr<runtime::TransportConversation> DbusConversationTransport::Initiate(
    std::string_view service, std::string_view topic, runtime::PartnerLostHandler on_partner_lost) {
    return InitiateOther(service, topic, {}, std::move(on_partner_lost));
}

std::unique_ptr<runtime::TransportConversation> DbusConversationTransport::InitiateOther(
    std::string_view service, std::string_view topic, const std::vector<std::string>& skip,
    runtime::PartnerLostHandler on_partner_lost) {
    unanswered_.clear();
    problems_.clear();
    std::erase_if(late_offers_, [](const std::unique_ptr<Offer>& o) {
        return o->state != Offer::State::Waiting;
    });
    const std::string wanted_service(service);
    const std::string wanted_topic(topic);

    // Every server is asked at once, so that one round costs at most one limit.
    std::vector<std::unique_ptr<Offer>> offers;
    for (const std::string& server : ServerNames()) {
        if (std::find(skip.begin(), skip.end(), server) != skip.end()) continue;
        MessagePtr m = NewCall(bus_.get(), server, "Initiate");
        if (!m ||
            sd_bus_message_append(m.get(), "ss", wanted_service.c_str(), wanted_topic.c_str()) < 0)
            continue;
        auto offer = std::make_unique<Offer>();
        offer->bus = bus_.get();
        offer->server = server;
        sd_bus_slot* slot = nullptr;
        if (sd_bus_call_async(bus_.get(), &slot, m.get(), &Offer::OnAnswer, offer.get(),
                              kLateAnswerUs) < 0)
            continue;
        offer->call.reset(slot);
        offers.push_back(std::move(offer));
    }

    // The partner is the first server by name that accepts: wait until every server before
    // one that accepted has answered, or the limit has passed.
    const std::int64_t deadline = NowMs() + initiate_timeout_ms_;
    std::size_t chosen = offers.size();
    bool given_up = false;
    for (;;) {
        ProcessPending();
        std::size_t first_open = 0;
        while (first_open < offers.size() && offers[first_open]->state == Offer::State::Declined)
            ++first_open;
        const bool decided =
            first_open == offers.size() || offers[first_open]->state == Offer::State::Accepted;
        const std::int64_t left = deadline - NowMs();
        if (decided || left <= 0 || given_up) {
            for (std::size_t i = 0; i < offers.size() && chosen == offers.size(); ++i) {
                if (offers[i]->state == Offer::State::Accepted)
                    chosen = i;
                else if (offers[i]->state == Offer::State::Waiting)
                    unanswered_.push_back(offers[i]->server);
            }
            for (const auto& offer : offers) {
                if (!offer->problem.empty()) problems_.push_back(offer->problem);
            }
            break;
        }
        given_up = !Wait(left);
    }

    std::unique_ptr<DbusConversation> partner;
    for (std::size_t i = 0; i < offers.size(); ++i) {
        Offer& offer = *offers[i];
        if (i == chosen) {
            partner = std::make_unique<DbusConversation>(bus_.get(), offer.server, offer.unique,
                                                         offer.path, offer.service, offer.topic,
                                                         std::move(on_partner_lost), sleep_);
            partner->Watch();
        } else if (offer.state == Offer::State::Accepted) {
            SendTerminate(bus_.get(), offer.unique,
                          offer.path);  // only one server serves the client
        } else if (offer.state == Offer::State::Waiting) {
            offer.late = true;
            late_offers_.push_back(std::move(offers[i]));
        }
    }
    return partner;
}

void DbusConversationTransport::ProcessPending() {
    while (sd_bus_process(bus_.get(), nullptr) > 0) {
    }
}

bool DbusConversationTransport::WaitForActivity(std::int64_t timeout_ms) {
    ProcessPending();
    if (server_appeared_) {
        server_appeared_ = false;
        return true;
    }
    if (timeout_ms <= 0) return false;
    if (*sleep_) {
        // The sleep may have ended early, or given up: the caller looks again either way.
        Wait(timeout_ms);
        ProcessPending();
        server_appeared_ = false;
        return true;
    }
    const bool woken = sd_bus_wait(bus_.get(), Microseconds(timeout_ms)) > 0;
    ProcessPending();
    server_appeared_ = false;
    return woken;
}

bool DbusConversationTransport::Wait(std::int64_t timeout_ms) {
    if (*sleep_) return (*sleep_)(sd_bus_get_fd(bus_.get()), timeout_ms);
    sd_bus_wait(bus_.get(), Microseconds(timeout_ms));
    return true;
}

void DbusConversationTransport::SetSleep(Sleep sleep) {
    *sleep_ = std::move(sleep);
}

int DbusConversationTransport::EventDescriptor() const {
    return sd_bus_get_fd(bus_.get());
}

int DbusConversationTransport::OnServerNameChanged(sd_bus_message* m, void* userdata,
                                                   sd_bus_error*) {
    auto* self = static_cast<DbusConversationTransport*>(userdata);
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) >= 0 && new_owner &&
        *new_owner) {
        self->server_appeared_ = true;
    }
    return 0;
}

}  // namespace zelt::platform
