// Starting programs with posix_spawn: never through a shell, with a clean signal state.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/conversation/server_starter.hpp"

namespace zelt::platform {

struct SpawnOptions {
    std::string working_directory;  // empty: the caller's
    bool new_session = false;       // detach from the caller's session and terminal
    int stdout_fd = -1;             // becomes the program's standard output; -1 keeps the caller's
    int stderr_fd = -1;             // likewise for standard error
};

struct SpawnOutcome {
    pid_t pid = -1;     // the started program, or -1
    int error = 0;      // errno of the failure
    std::string reason; // "<program>: <what went wrong>"
    bool started() const { return pid > 0; }
};

// Starts argv[0] (searched in PATH when it holds no slash) with the given arguments. The
// program gets /dev/null as standard input, the default disposition of every signal and
// an empty signal mask. The caller must reap it (waitpid) or let its own exit do so.
SpawnOutcome SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options = {});
// Splits the command line (command_line.hpp) and starts it.
SpawnOutcome SpawnCommandLine(std::string_view command_line, const SpawnOptions& options = {});

// Starts the IDE from GLO:RunString in a session of its own, and tells whether it has
// already ended in failure. Programs it started are reaped as they end.
class SpawnServerStarter final : public runtime::ServerStarter {
public:
    SpawnServerStarter() = default;
    ~SpawnServerStarter() override;
    SpawnServerStarter(const SpawnServerStarter&) = delete;
    SpawnServerStarter& operator=(const SpawnServerStarter&) = delete;

    runtime::StartResult Start(std::string_view command_line) override;
    std::string EndedInFailure() override;
    // The process of the latest start, or -1.
    pid_t LastProcess() const { return last_; }

private:
    void Reap();
    std::vector<pid_t> running_;
    pid_t last_ = -1;
    std::string last_failure_;
};

}  // namespace zelt::platform
