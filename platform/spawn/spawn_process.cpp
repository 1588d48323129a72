#include "platform/spawn/spawn_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

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

SpawnOutcome Failed(int error, std::string reason) {
    SpawnOutcome outcome;
    outcome.error = error;
    outcome.reason = std::move(reason);
    return outcome;
}

// Why the program cannot run in the folder, or empty: a missing folder would otherwise be
// reported as a missing program.
std::string FolderProblem(const std::string& folder, int* error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || ::access(folder.c_str(), X_OK) != 0) {
        *error = errno;
        return "the working directory " + folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = ENOTDIR;
        return "the working directory " + folder + " is not a folder";
    }
    return {};
}
}  // namespace

SpawnOutcome SpawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (argv.empty() || argv[0].empty()) return Failed(EINVAL, "the command line names no program");
    int folder_error = 0;
    if (!options.working_directory.empty()) {
        if (std::string problem = FolderProblem(options.working_directory, &folder_error);
            !problem.empty()) {
            return Failed(folder_error, std::move(problem));
        }
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
    if (options.stdout_fd >= 0)
        posix_spawn_file_actions_adddup2(&setup.actions, options.stdout_fd, 1);
    if (options.stderr_fd >= 0)
        posix_spawn_file_actions_adddup2(&setup.actions, options.stderr_fd, 2);
    if (!options.working_directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions, options.working_directory.c_str());
    }

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const bool search = argv[0].find('/') == std::string::npos;
    const int rc =
        search ? posix_spawnp(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ)
               : posix_spawn(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) {
        // The folder may have gone since it was looked at.
        if (!options.working_directory.empty()) {
            if (std::string problem = FolderProblem(options.working_directory, &folder_error);
                !problem.empty()) {
                return Failed(folder_error, std::move(problem));
            }
        }
        return Failed(rc, argv[0] + ": " + std::strerror(rc));
    }
    SpawnOutcome outcome;
    outcome.pid = pid;
    return outcome;
}

SpawnOutcome SpawnCommandLine(std::string_view command_line, const SpawnOptions& options) {
    std::string error;
    auto words = SplitCommandLine(command_line, &error);
    if (!words) return Failed(EINVAL, "the command line cannot be read: " + error);
    SpawnOutcome outcome = SpawnProcess(*words, options);
    if (!outcome.started()) outcome.reason = WithShellNote(std::move(outcome.reason), command_line);
    return outcome;
}

std::string WithShellNote(std::string message, std::string_view command_line) {
    const std::string note = ShellSyntaxNote(command_line);
    return note.empty() ? message : message + "; " + note;
}

// Waits for the started programs on a thread of its own, so that each is reaped as it ends
// (a pidfd per program becomes readable then), and keeps the failure of the latest one.
struct SpawnServerStarter::Reaper {
    std::mutex mutex;
    std::vector<std::pair<pid_t, int>> children;  // process and its pidfd
    pid_t last = -1;
    std::string last_command_line;
    std::string last_failure;
    int wake = -1;  // an eventfd: a child was added, or the thread is to stop
    bool stop = false;
    std::thread thread;

    Reaper() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (wake < 0) return;
        // The thread takes no signals: a program that handles SIGTERM in its own loop (after
        // blocking it) must not have it delivered here, to the default action.
        sigset_t all;
        sigset_t kept;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &kept);
        thread = std::thread([this] { Run(); });
        pthread_sigmask(SIG_SETMASK, &kept, nullptr);
    }
    ~Reaper() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        Wake();
        if (thread.joinable()) thread.join();
        ReapEnded();
        for (const auto& [pid, pidfd] : children)
            ::close(pidfd);  // still running: no longer watched
        if (wake >= 0) ::close(wake);
    }
    void Wake() const {
        const std::uint64_t one = 1;
        if (wake >= 0) static_cast<void>(::write(wake, &one, sizeof one));
    }
    void Add(pid_t pid, std::string command_line) {
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        std::lock_guard lock(mutex);
        last = pid;
        last_command_line = std::move(command_line);
        last_failure.clear();
        if (pidfd >= 0) children.emplace_back(pid, pidfd);
        Wake();
    }
    // Reaps every child that has ended, noting how the latest one ended.
    void ReapEnded() {
        std::lock_guard lock(mutex);
        for (auto it = children.begin(); it != children.end();) {
            int status = 0;
            const pid_t done = ::waitpid(it->first, &status, WNOHANG);
            if (done == 0) {
                ++it;
                continue;
            }
            if (done == it->first && done == last) {
                if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
                    last_failure = WithShellNote(
                        "the command ended with exit status " + std::to_string(WEXITSTATUS(status)),
                        last_command_line);
                } else if (WIFSIGNALED(status)) {
                    last_failure =
                        "the command was ended by signal " + std::to_string(WTERMSIG(status));
                }
            }
            ::close(it->second);
            it = children.erase(it);  // ended, or no longer ours to wait for
        }
    }
    void Run() {
        for (;;) {
            std::vector<pollfd> watched{{wake, POLLIN, 0}};
            {
                std::lock_guard lock(mutex);
                if (stop) return;
                for (const auto& [pid, pidfd] : children) watched.push_back({pidfd, POLLIN, 0});
            }
            if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) return;
            std::uint64_t count = 0;
            static_cast<void>(::read(wake, &count, sizeof count));
            ReapEnded();
        }
    }
};

std::string StartedProgramLogPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state && *state == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : "/tmp") + "/.local/state";
    }
    return folder + "/zelt/ide.log";
}

namespace {
// Creates the folders of `path` that are missing (private to the user, as the state
// directory should be).
void MakeFoldersOf(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}
}  // namespace

SpawnServerStarter::SpawnServerStarter() : reaper_(std::make_unique<Reaper>()) {}
SpawnServerStarter::~SpawnServerStarter() = default;

runtime::StartResult SpawnServerStarter::Start(std::string_view command_line) {
    reaper_->ReapEnded();
    // The program outlives the caller and must not hold its terminal or its pipes: a pipe
    // it kept open would keep a reader of the caller's output waiting for it.
    std::string output = StartedProgramLogPath();
    MakeFoldersOf(output);
    int log = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log < 0) {
        output = "/dev/null";
        log = ::open(output.c_str(), O_WRONLY | O_CLOEXEC);
    }
    SpawnOptions options;
    options.new_session = true;
    options.stdout_fd = log;
    options.stderr_fd = log;
    SpawnOutcome outcome = SpawnCommandLine(command_line, options);
    if (log >= 0) ::close(log);
    if (!outcome.started()) {
        std::lock_guard lock(reaper_->mutex);
        reaper_->last = -1;
        reaper_->last_failure.clear();
        return {false, outcome.reason};
    }
    reaper_->Add(outcome.pid, std::string(command_line));
    output_path_ = std::move(output);
    return {true, {}};
}

std::string SpawnServerStarter::EndedInFailure() {
    reaper_->ReapEnded();  // also where no thread could be had
    std::lock_guard lock(reaper_->mutex);
    return reaper_->last_failure;
}

pid_t SpawnServerStarter::LastProcess() const {
    std::lock_guard lock(reaper_->mutex);
    return reaper_->last;
}

}  // namespace zelt::platform
