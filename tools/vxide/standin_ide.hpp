// The stand-in IDE: answers conversations for its service and carries out the five
// commands with real files (docs/ide-standin.md). Runs in an sd-event loop; SIGCHLD must
// be blocked before the loop is created, for the builds it runs.
#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/conversation/conversation_service.hpp"
#include "tools/vxide/ide_command.hpp"

namespace zelt::platform {
class DbusConversationServer;
}

namespace zelt::vxide {

struct StandinOptions {
    std::string service = "VextorWin";
    std::optional<std::string> topic;  // nothing: any topic is served
    std::string instance;              // bus name suffix; empty: "vxide_<pid>"
    std::int64_t ack_delay_ms = 0;     // before each acknowledgement
    std::int64_t result_delay_ms = 0;  // before each result file is written
    std::int64_t build_delay_ms = 0;   // each make's build, one build at a time
    bool reject_all = false;
    bool never_ack = false;
    int end_after = 0;   // end the conversation after this many commands (0: never)
    int exit_after = 0;  // exit after this many commands (0: never)
    std::string log_path;
    std::size_t client_limit = 1000;         // conversations one client may hold
    std::size_t conversation_limit = 10000;  // conversations held in all
};

// Reads the command line of vxide; nothing, and the message, on a mistake.
std::optional<StandinOptions> ParseStandinOptions(const std::vector<std::string>& args,
                                                  std::string* message);
// The usage text.
std::string StandinUsage();

class StandinIde final : public runtime::ConversationService {
  public:
    StandinIde(sd_event* loop, StandinOptions options);
    ~StandinIde() override;
    StandinIde(const StandinIde&) = delete;
    StandinIde& operator=(const StandinIde&) = delete;

    // The server that carries the conversations, for ending them and flushing before exit.
    void SetServer(platform::DbusConversationServer* server) { server_ = server; }

    std::optional<runtime::InitiateAnswer> Initiate(std::string_view service,
                                                    std::string_view topic) override;
    void Execute(runtime::ConversationId conversation, std::string command,
                 runtime::ExecuteReply reply) override;
    std::optional<std::string> Request(runtime::ConversationId conversation, std::string_view item,
                                       std::uint32_t format) override;
    void Terminated(runtime::ConversationId conversation) override;

  private:
    using Work = std::function<void()>;
    // What "GetErrorNum" and "GetErrorMsg" answer in one conversation: the latest failure
    // of a command sent in it (or of that command's later work).
    struct ErrorState {
        int number = ide_error::None;
        std::string message = "No error";
    };
    // Checks the command and returns the work to do once it is acknowledged; nothing (with
    // the error noted) when it is rejected.
    std::optional<Work> Prepare(runtime::ConversationId conversation, const std::string& command);
    std::optional<Work> PrepareMake(runtime::ConversationId conversation,
                                    const IdeCommand& command);
    std::optional<Work> PrepareConversion(runtime::ConversationId conversation,
                                          const IdeCommand& command);
    // Notes the failure for the conversation (when it is still open) and on standard error.
    void Fail(runtime::ConversationId conversation, int number, std::string message);
    void WriteResult(runtime::ConversationId conversation, const std::string& path,
                     const std::string& content);
    void AfterCommand(runtime::ConversationId conversation, int count);
    void Log(const std::string& command);
    // Runs `work` after `delay_ms` (at once for 0).
    // `exact`: to the millisecond (a build's time); otherwise sd-event may run it up to a
    // quarter of a second late, together with other work due about then.
    void Later(std::int64_t delay_ms, Work work, bool exact = false);
    void StartBuild(runtime::ConversationId conversation, std::string command_line,
                    std::string working_directory, std::string target, std::string application);

    static int OnTimer(sd_event_source* source, std::uint64_t usec, void* userdata);
    static int OnChild(sd_event_source* source, const siginfo_t* info, void* userdata);

    sd_event* loop_;
    StandinOptions options_;
    platform::DbusConversationServer* server_ = nullptr;
    int commands_ = 0;
    std::int64_t builder_free_ms_ = 0;  // monotonic time at which the queued builds are done
    // How long until a build of build_delay_ms queued now is done.
    std::int64_t QueueBuild();
    std::map<runtime::ConversationId, ErrorState> errors_;  // open conversations only
    std::vector<runtime::ExecuteReply> held_;               // commands that are never acknowledged
    struct Pending {
        sd_event_source* source = nullptr;
        Work work;
        std::function<void(int status)> on_exit;  // for builds
    };
    std::map<sd_event_source*, Pending> pending_;
};

}  // namespace zelt::vxide
