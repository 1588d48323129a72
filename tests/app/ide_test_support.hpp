// Test doubles for the IDE channel: a scripted server, a recording window and a starter.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/ide/ide_window.hpp"
#include "runtime/conversation/conversation_service.hpp"
#include "runtime/conversation/server_starter.hpp"

namespace zelt::testing {

// A server whose answers the test sets.
class ScriptedServer : public runtime::ConversationService {
  public:
    explicit ScriptedServer(std::string service = "VextorWin", std::string topic = "System")
        : service_(std::move(service)), topic_(std::move(topic)) {}

    enum class Answer { Positive, Negative, Never };
    Answer answer = Answer::Positive;
    bool accept = true;
    std::map<std::string, std::string> items;  // requestable items and their text

    std::vector<std::string> commands;                        // as received
    std::vector<std::pair<std::string, std::string>> offers;  // (service, topic) of initiations
    std::vector<runtime::ConversationId> terminated;
    std::vector<std::string> requests;  // item names asked for
    std::function<void()> on_execute;   // runs as a command arrives, before any answer

    std::optional<runtime::InitiateAnswer> Initiate(std::string_view service,
                                                    std::string_view topic) override {
        offers.emplace_back(service, topic);
        if (!accept) return std::nullopt;
        if (!service.empty() && !runtime::SameConversationName(service, service_))
            return std::nullopt;
        return runtime::InitiateAnswer{service_, topic.empty() ? topic_ : std::string(topic)};
    }
    void Execute(runtime::ConversationId, std::string command,
                 runtime::ExecuteReply reply) override {
        commands.push_back(std::move(command));
        if (on_execute) on_execute();
        if (answer != Answer::Never) reply(answer == Answer::Positive);
    }
    std::optional<std::string> Request(runtime::ConversationId, std::string_view item,
                                       std::uint32_t) override {
        requests.emplace_back(item);
        auto it = items.find(std::string(item));
        if (it == items.end()) return std::nullopt;
        return it->second;
    }
    void Terminated(runtime::ConversationId id) override { terminated.push_back(id); }

  private:
    std::string service_;
    std::string topic_;
};

// Records what the routines ask of the main window.
class RecordingWindow : public app::IdeWindow {
  public:
    std::vector<std::string> messages;
    std::vector<runtime::EventCode> events;
    int redisplays = 0;
    int list_selections = 0;
    std::function<void()> on_redisplay;
    int cancel_after_checks = -1;  // StartCancelled answers true from this many checks on

    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    void Redisplay() override {
        ++redisplays;
        if (on_redisplay) on_redisplay();
    }
    void SelectApplicationsList() override { ++list_selections; }
    void PostEvent(runtime::EventCode event) override { events.push_back(event); }
    bool StartCancelled() override {
        return cancel_after_checks >= 0 && cancel_checks_++ >= cancel_after_checks;
    }

  private:
    int cancel_checks_ = 0;
};

// A starter that runs a test's action instead of a program.
class FakeStarter : public runtime::ServerStarter {
  public:
    std::vector<std::string> started;
    runtime::StartResult result{true, {}};
    std::string failure;  // reported by EndedInFailure once started
    std::function<void()> on_start;

    runtime::StartResult Start(std::string_view command_line) override {
        started.emplace_back(command_line);
        if (result.started && on_start) on_start();
        return result;
    }
    std::string EndedInFailure() override { return started.empty() ? std::string() : failure; }
};

}  // namespace zelt::testing
