#include "platform/spawn/spawn_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/spawn/command_line.hpp"

extern char** environ;

namespace zelt::platform {

namespace {
// Owns the attributes and file actions of one spawn.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

SpawnOutcome Failed(std::string_view program, int error) {
    SpawnOutcome outcome;
    outcome.error = error;
    outcome.reason = std::string(program) + ": " + std::strerror(error);
    return outcome;
}
}  // namespace

SpawnOutcome SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (argv.empty() || argv[0].empty()) {
        SpawnOutcome outcome;
        outcome.error = EINVAL;
        outcome.reason = "the command line names no program";
        return outcome;
    }
    SpawnSetup setup;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.new_session) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&setup.attr, flags);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&setup.attr, &all);

    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.stdout_fd >= 0) posix_spawn_file_actions_adddup2(&setup.actions, options.stdout_fd, 1);
    if (options.stderr_fd >= 0) posix_spawn_file_actions_adddup2(&setup.actions, options.stderr_fd, 2);
    if (!options.working_directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions, options.working_directory.c_str());
    }

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const bool search = argv[0].find('/') == std::string::npos;
    const int rc = search ? posix_spawnp(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ)
                          : posix_spawn(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) return Failed(argv[0], rc);
    SpawnOutcome outcome;
    outcome.pid = pid;
    return outcome;
}

SpawnOutcome SpawnCommandLine(std::string_view command_line, const SpawnOptions& options) {
    std::string error;
    auto words = SplitCommandLine(command_line, &error);
    if (!words) {
        SpawnOutcome outcome;
        outcome.error = EINVAL;
        outcome.reason = "the command line cannot be read: " + error;
        return outcome;
    }
    return SpawnProcess(*words, options);
}

SpawnServerStarter::~SpawnServerStarter() { Reap(); }

runtime::StartResult SpawnServerStarter::Start(std::string_view command_line) {
    Reap();
    SpawnOptions options;
    options.new_session = true;
    SpawnOutcome outcome = SpawnCommandLine(command_line, options);
    last_failure_.clear();
    if (!outcome.started()) {
        last_ = -1;
        return {false, outcome.reason};
    }
    last_ = outcome.pid;
    running_.push_back(outcome.pid);
    return {true, {}};
}

void SpawnServerStarter::Reap() {
    for (auto it = running_.begin(); it != running_.end();) {
        int status = 0;
        const pid_t done = waitpid(*it, &status, WNOHANG);
        if (done == 0) {
            ++it;
            continue;
        }
        if (done == *it && *it == last_) {
            if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
                last_failure_ = "the command ended with exit status " + std::to_string(WEXITSTATUS(status));
            } else if (WIFSIGNALED(status)) {
                last_failure_ = "the command was ended by signal " + std::to_string(WTERMSIG(status));
            }
        }
        it = running_.erase(it);  // ended, or no longer ours to wait for
    }
}

std::string SpawnServerStarter::EndedInFailure() {
    Reap();
    return last_failure_;
}

}  // namespace zelt::platform
