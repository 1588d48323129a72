// Starting programs with posix_spawn: never through a shell, with a clean signal state.
#pragma once

#include <sys/types.h>

#include <memory>
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
    pid_t pid = -1;  // the started program, or -1
    int error = 0;   // errno of the failure
    std::string
        reason;  // "<program>: <what went wrong>", or what is wrong with the working directory
    bool started() const { return pid > 0; }
};

// Starts argv[0] (searched in PATH when it holds no slash) with the given arguments. The
// program gets /dev/null as standard input, the default disposition of every signal and
// an empty signal mask. The caller must reap it (waitpid) or let its own exit do so.
SpawnOutcome SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options = {});
// Splits the command line (command_line.hpp) and starts it. When it cannot start and the
// line looks written for a shell, the reason says that no shell is used.
SpawnOutcome SpawnCommandLine(std::string_view command_line, const SpawnOptions& options = {});
// The message about a command line's failure, with the note of ShellSyntaxNote when the line
// looks written for a shell.
std::string WithShellNote(std::string message, std::string_view command_line);

// Where a program that SpawnServerStarter starts writes its output:
// $XDG_STATE_HOME/zelt/ide.log, by default ~/.local/state/zelt/ide.log.
std::string StartedProgramLogPath();

// Starts the IDE from GLO:RunString in a session of its own, with standard input from
// /dev/null and its output appended to StartedProgramLogPath() (OutputPath names it:
// /dev/null when that file cannot be opened), and tells whether it has
// already ended in failure. Programs it started are reaped as they end, by a thread of the
// starter's own that does nothing else; one still running when the starter goes is left
// to run.
class SpawnServerStarter final : public runtime::ServerStarter {
  public:
    SpawnServerStarter();
    ~SpawnServerStarter() override;
    SpawnServerStarter(const SpawnServerStarter&) = delete;
    SpawnServerStarter& operator=(const SpawnServerStarter&) = delete;

    runtime::StartResult Start(std::string_view command_line) override;
    std::string EndedInFailure() override;
    std::string OutputPath() const override { return output_path_; }
    // The process of the latest start, or -1.
    pid_t LastProcess() const;

  private:
    struct Reaper;
    std::unique_ptr<Reaper> reaper_;
    std::string output_path_;
};

}  // namespace zelt::platform
