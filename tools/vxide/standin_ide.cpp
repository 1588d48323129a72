#include "tools/vxide/standin_ide.hpp"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/dbus/dbus_server.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "tools/vxide/standin_files.hpp"

namespace zelt::vxide {

namespace {

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

StandinIde::StandinIde(sd_event* loop, StandinOptions options)
    : loop_(sd_event_ref(loop)), options_(std::move(options)) {}

StandinIde::~StandinIde() {
    for (auto& [source, pending] : pending_) sd_event_source_unref(source);
    sd_event_unref(loop_);
}

std::optional<runtime::InitiateAnswer> StandinIde::Initiate(std::string_view service,
                                                            std::string_view topic) {
    if (!service.empty() && !runtime::SameConversationName(service, options_.service))
        return std::nullopt;
    if (options_.topic) {
        if (!topic.empty() && !runtime::SameConversationName(topic, *options_.topic))
            return std::nullopt;
        return runtime::InitiateAnswer{options_.service, *options_.topic};
    }
    return runtime::InitiateAnswer{options_.service,
                                   topic.empty() ? std::string("System") : std::string(topic)};
}

void StandinIde::Execute(runtime::ConversationId conversation, std::string command,
                         runtime::ExecuteReply reply) {
    Log(command);
    const int count = ++commands_;
    if (options_.never_ack) {
        held_.push_back(std::move(reply));
        AfterCommand(conversation, count);
        return;
    }
    std::optional<Work> work;
    if (options_.reject_all) {
        Fail(conversation, ide_error::RejectedByOption,
             "Command rejected: this IDE rejects every command");
    } else {
        work = Prepare(conversation, command);
    }
    Later(options_.ack_delay_ms,
          [this, conversation, count, reply = std::move(reply), work = std::move(work)] {
              reply(work.has_value());
              if (work && *work) (*work)();
              AfterCommand(conversation, count);
          });
}

std::optional<std::string> StandinIde::Request(runtime::ConversationId conversation,
                                               std::string_view item, std::uint32_t format) {
    if (format != runtime::kTextFormat) return std::nullopt;
    const auto it = errors_.find(conversation);
    const ErrorState error = it == errors_.end() ? ErrorState{} : it->second;
    if (runtime::SameConversationName(item, "GetErrorNum")) return std::to_string(error.number);
    if (runtime::SameConversationName(item, "GetErrorMsg")) return error.message;
    if (runtime::SameConversationName(item, "Conversations") && server_) {
        return std::to_string(server_->Conversations().size());
    }
    return std::nullopt;
}

void StandinIde::Terminated(runtime::ConversationId conversation) {
    errors_.erase(conversation);
}

void StandinIde::Fail(runtime::ConversationId conversation, int number, std::string message) {
    std::fprintf(stderr, "vxide: error %d: %s\n", number, message.c_str());
    if (server_) {
        const std::vector<runtime::ConversationId> open = server_->Conversations();
        if (std::find(open.begin(), open.end(), conversation) == open.end()) return;
    }
    errors_[conversation] = {number, std::move(message)};
}

std::optional<StandinIde::Work> StandinIde::Prepare(runtime::ConversationId conversation,
                                                    const std::string& command) {
    auto parsed = ParseIdeCommand(command);
    if (auto* error = std::get_if<CommandError>(&parsed)) {
        Fail(conversation, error->number, error->message);
        return std::nullopt;
    }
    const IdeCommand& ide_command = std::get<IdeCommand>(parsed);
    return ide_command.kind == CommandKind::Make ? PrepareMake(conversation, ide_command)
                                                 : PrepareConversion(conversation, ide_command);
}

std::optional<StandinIde::Work> StandinIde::PrepareMake(runtime::ConversationId conversation,
                                                        const IdeCommand& command) {
    const std::optional<std::string> application = FindFileIgnoringCase(command.source);
    if (!application) {
        Fail(conversation, ide_error::SourceNotFound, "Source file not found: " + command.source);
        return std::nullopt;
    }
    std::string error;
    const std::optional<std::string> text = ReadWholeFile(*application, &error);
    if (!text) {
        Fail(conversation, ide_error::FileFailure, "Cannot read " + error);
        return std::nullopt;
    }
    ApplicationFile file = ParseApplicationFile(*text, *application);
    if (file.target.empty()) {
        Fail(conversation, ide_error::NoTarget, "The application names no target: " + *application);
        return std::nullopt;
    }
    const std::string name = *application;
    if (!file.build.empty()) {
        return Work([this, conversation, file, name] {
            StartBuild(conversation, file.build, file.working_directory, file.target, name);
        });
    }
    return Work([this, conversation, file, name] {
        Later(
            QueueBuild() + options_.result_delay_ms,
            [this, conversation, file, name] {
                WriteResult(conversation, file.target,
                            "Made by vxide from " + name + " at " + Now() + "\n");
            },
            options_.build_delay_ms > 0);
    });
}

std::optional<StandinIde::Work> StandinIde::PrepareConversion(runtime::ConversationId conversation,
                                                              const IdeCommand& command) {
    const std::optional<std::string> source = FindFileIgnoringCase(command.source);
    if (!source) {
        Fail(conversation, ide_error::SourceNotFound, "Source file not found: " + command.source);
        return std::nullopt;
    }
    std::string error;
    const std::optional<std::string> content = ReadWholeFile(*source, &error);
    if (!content) {
        Fail(conversation, ide_error::FileFailure, "Cannot read " + error);
        return std::nullopt;
    }
    std::string result;
    switch (command.kind) {
        case CommandKind::ExportApplication:
            result = ToTextForm("application", *content);
            break;
        case CommandKind::ExportDictionary:
            result = ToTextForm("dictionary", *content);
            break;
        default:
            result = FromTextForm(*content);
            break;
    }
    const std::string destination = command.destination;
    return Work([this, conversation, destination, result = std::move(result)] {
        Later(options_.result_delay_ms, [this, conversation, destination, result] {
            WriteResult(conversation, destination, result);
        });
    });
}

void StandinIde::WriteResult(runtime::ConversationId conversation, const std::string& path,
                             const std::string& content) {
    std::string error;
    if (!WriteFileAtomically(path, content, &error))
        Fail(conversation, ide_error::FileFailure, "Cannot write " + error);
}

void StandinIde::StartBuild(runtime::ConversationId conversation, std::string command_line,
                            std::string working_directory, std::string target,
                            std::string application) {
    platform::SpawnOptions spawn;
    spawn.working_directory = working_directory;
    platform::SpawnOutcome outcome = platform::SpawnCommandLine(command_line, spawn);
    if (!outcome.started()) {
        Fail(conversation, ide_error::BuildFailed,
             "The build of " + application + " could not start: " + outcome.reason);
        return;
    }
    sd_event_source* source = nullptr;
    if (sd_event_add_child(loop_, &source, outcome.pid, WEXITED, &OnChild, this) < 0) {
        Fail(conversation, ide_error::BuildFailed,
             "The build of " + application + " cannot be watched");
        return;
    }
    Pending pending;
    pending.source = source;
    pending.on_exit = [this, conversation, target, application, command_line](int status) {
        if (status != 0) {
            Fail(conversation, ide_error::BuildFailed,
                 platform::WithShellNote("The build of " + application + " failed with status " +
                                             std::to_string(status),
                                         command_line));
            return;
        }
        Later(options_.result_delay_ms, [this, conversation, target, application] {
            // A build that made its target itself keeps it.
            if (::access(target.c_str(), F_OK) == 0) return;
            WriteResult(conversation, target,
                        "Made by vxide from " + application + " at " + Now() + "\n");
        });
    };
    pending_[source] = std::move(pending);
}

void StandinIde::AfterCommand(runtime::ConversationId conversation, int count) {
    if (options_.end_after > 0 && count == options_.end_after && server_)
        server_->EndConversation(conversation);
    if (options_.exit_after > 0 && count == options_.exit_after) {
        if (server_) server_->Flush();
        sd_event_exit(loop_, 0);
    }
}

void StandinIde::Log(const std::string& command) {
    if (options_.log_path.empty()) return;
    if (std::FILE* log = std::fopen(options_.log_path.c_str(), "a")) {
        std::fwrite(command.data(), 1, command.size(), log);
        std::fputc('\n', log);
        std::fclose(log);
    }
}

std::int64_t StandinIde::QueueBuild() {
    if (options_.build_delay_ms <= 0) return 0;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t now_ms = std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
    // One build at a time, as an IDE builds: a make waits for the ones before it.
    builder_free_ms_ = std::max(builder_free_ms_, now_ms) + options_.build_delay_ms;
    return builder_free_ms_ - now_ms;
}

void StandinIde::Later(std::int64_t delay_ms, Work work, bool exact) {
    if (delay_ms <= 0) {
        work();
        return;
    }
    sd_event_source* source = nullptr;
    // An accuracy of 0 is sd-event's default: up to 250 ms late.
    const std::uint64_t accuracy_us = exact ? 1000 : 0;
    if (sd_event_add_time_relative(loop_, &source, CLOCK_MONOTONIC,
                                   static_cast<std::uint64_t>(delay_ms) * 1000u, accuracy_us,
                                   &OnTimer, this) < 0) {
        work();  // no timer to be had: do it now rather than never
        return;
    }
    Pending pending;
    pending.source = source;
    pending.work = std::move(work);
    pending_[source] = std::move(pending);
}

int StandinIde::OnTimer(sd_event_source* source, std::uint64_t, void* userdata) {
    auto* self = static_cast<StandinIde*>(userdata);
    auto it = self->pending_.find(source);
    if (it == self->pending_.end()) return 0;
    Work work = std::move(it->second.work);
    self->pending_.erase(it);
    sd_event_source_unref(source);  // sd-event allows this inside the source's own callback
    if (work) work();
    return 0;
}

int StandinIde::OnChild(sd_event_source* source, const siginfo_t* info, void* userdata) {
    auto* self = static_cast<StandinIde*>(userdata);
    auto it = self->pending_.find(source);
    if (it == self->pending_.end()) return 0;
    std::function<void(int)> on_exit = std::move(it->second.on_exit);
    self->pending_.erase(it);
    sd_event_source_unref(source);
    const int status = info->si_code == CLD_EXITED ? info->si_status : 128 + info->si_status;
    if (on_exit) on_exit(status);
    return 0;
}

}  // namespace zelt::vxide
