#include "runtime/conversation/in_process_transport.hpp"

#include <algorithm>
#include <utility>

namespace zelt::runtime {

struct InProcessTransport::State {
    struct Open {
        std::string server;
        ConversationId id = 0;
        PartnerLostHandler on_lost;
        bool lost = false;
    };
    std::map<std::string, ConversationService*> servers;
    std::map<std::uint64_t, Open> open;    // by link number
    std::deque<std::uint64_t> lost_queue;  // links whose loss the client has not heard yet
    std::uint64_t next_link = 1;
    ConversationId next_conversation = 1;

    ConversationService* Server(const std::string& name) {
        auto it = servers.find(name);
        return it == servers.end() ? nullptr : it->second;
    }
    void Lose(std::uint64_t link) {
        auto it = open.find(link);
        if (it == open.end() || it->second.lost) return;
        it->second.lost = true;
        lost_queue.push_back(link);
    }
};

class InProcessTransport::Link final : public TransportConversation {
  public:
    Link(std::shared_ptr<State> state, std::uint64_t number, InitiateAnswer answer,
         std::string server)
        : state_(std::move(state)),
          number_(number),
          answer_(std::move(answer)),
          server_(std::move(server)) {}
    ~Link() override { state_->open.erase(number_); }

    bool PartnerPresent() override {
        const State::Open* open = Entry();
        return open && !open->lost && state_->Server(open->server);
    }

    TransactionOutcome Execute(std::string_view command, std::int64_t timeout_ms) override {
        ConversationService* server = PresentServer();
        if (!server) return TransactionOutcome::NotDelivered;
        auto answer = std::make_shared<std::optional<bool>>();
        server->Execute(Entry()->id, std::string(command), [answer](bool positive) {
            if (!answer->has_value()) *answer = positive;
        });
        if (!answer->has_value() && !PartnerPresent()) return TransactionOutcome::NotDelivered;
        if (timeout_ms <= 0 || !answer->has_value()) return TransactionOutcome::TimedOut;
        return **answer ? TransactionOutcome::Positive : TransactionOutcome::Negative;
    }

    RequestOutcome Request(std::string_view item, std::int64_t timeout_ms) override {
        ConversationService* server = PresentServer();
        if (!server) return {};
        std::optional<std::string> text = server->Request(Entry()->id, item, kTextFormat);
        if (timeout_ms <= 0) return {TransactionOutcome::TimedOut, {}};
        if (!text) return {TransactionOutcome::Negative, {}};
        return {TransactionOutcome::Positive, std::move(*text)};
    }

    void Terminate() override {
        State::Open* open = Entry();
        if (!open || open->lost) return;
        open->lost = true;  // the client has left; nothing more is reported to it
        open->on_lost = nullptr;
        if (ConversationService* server = state_->Server(open->server))
            server->Terminated(open->id);
    }

    const std::string& Service() const override { return answer_.service; }
    const std::string& Topic() const override { return answer_.topic; }
    std::string Server() const override { return server_; }

  private:
    State::Open* Entry() {
        auto it = state_->open.find(number_);
        return it == state_->open.end() ? nullptr : &it->second;
    }
    ConversationService* PresentServer() {
        return PartnerPresent() ? state_->Server(Entry()->server) : nullptr;
    }

    std::shared_ptr<State> state_;
    std::uint64_t number_;
    InitiateAnswer answer_;
    std::string server_;
};

InProcessTransport::InProcessTransport() : state_(std::make_shared<State>()) {}
InProcessTransport::~InProcessTransport() = default;

void InProcessTransport::AddServer(std::string name, ConversationService& service) {
    state_->servers[std::move(name)] = &service;
}

void InProcessTransport::RemoveServer(const std::string& name) {
    state_->servers.erase(name);
    for (auto& [link, open] : state_->open) {
        if (open.server == name) state_->Lose(link);
    }
}

void InProcessTransport::EndConversation(const std::string& name, ConversationId conversation) {
    for (auto& [link, open] : state_->open) {
        if (open.server == name && open.id == conversation) state_->Lose(link);
    }
}

std::vector<ConversationId> InProcessTransport::OpenConversations(const std::string& name) const {
    std::vector<ConversationId> ids;
    for (const auto& [link, open] : state_->open) {
        if (open.server == name && !open.lost) ids.push_back(open.id);
    }
    return ids;
}

std::unique_ptr<TransportConversation> InProcessTransport::Initiate(
    std::string_view service, std::string_view topic, PartnerLostHandler on_partner_lost) {
    return InitiateOther(service, topic, {}, std::move(on_partner_lost));
}

std::unique_ptr<TransportConversation> InProcessTransport::InitiateOther(
    std::string_view service, std::string_view topic, const std::vector<std::string>& skip,
    PartnerLostHandler on_partner_lost) {
    std::unique_ptr<Link> partner;
    // Copy the names first: a service may add or remove servers while it answers.
    std::vector<std::string> names;
    for (const auto& [name, server] : state_->servers) {
        if (std::find(skip.begin(), skip.end(), name) == skip.end()) names.push_back(name);
    }
    for (const std::string& name : names) {
        ConversationService* server = state_->Server(name);
        if (!server) continue;
        std::optional<InitiateAnswer> answer = server->Initiate(service, topic);
        if (!answer) continue;
        const std::uint64_t number = state_->next_link++;
        State::Open open{name, state_->next_conversation++, {}, false};
        if (!partner) open.on_lost = std::move(on_partner_lost);
        state_->open[number] = std::move(open);
        auto link = std::make_unique<Link>(state_, number, std::move(*answer), name);
        if (!partner) {
            partner = std::move(link);
        } else {
            link->Terminate();  // a second server that accepted is declined at once
        }
    }
    return partner;
}

void InProcessTransport::ProcessPending() {
    while (!state_->lost_queue.empty()) {
        const std::uint64_t link = state_->lost_queue.front();
        state_->lost_queue.pop_front();
        auto it = state_->open.find(link);
        if (it == state_->open.end() || !it->second.on_lost) continue;
        PartnerLostHandler handler = std::move(it->second.on_lost);
        it->second.on_lost = nullptr;
        handler();
    }
}

bool InProcessTransport::WaitForActivity(std::int64_t timeout_ms) {
    if (!state_->lost_queue.empty()) return true;
    if (wait_hook_) wait_hook_(timeout_ms);
    return !state_->lost_queue.empty();
}

void InProcessTransport::SetWaitHook(std::function<void(std::int64_t)> hook) {
    wait_hook_ = std::move(hook);
}

}  // namespace zelt::runtime
