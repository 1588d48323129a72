// Programs that the bus tests run: a private bus, vxide servers, vxcmd runs. Every wait is
// bounded; every process started is ended and reaped.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/spawn/spawn_process.hpp"

namespace zelt::testing {

inline const std::string kVxidePath = ZELT_VXIDE_PATH;
inline const std::string kVxcmdPath = ZELT_VXCMD_PATH;

// Milliseconds since an arbitrary start, for bounding waits.
inline std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Reads one line from `fd` within `timeout_ms`; nothing on time-out or end of file.
inline std::optional<std::string> ReadLine(int fd, std::int64_t timeout_ms) {
    std::string line;
    const std::int64_t deadline = SteadyMs() + timeout_ms;
    for (;;) {
        const std::int64_t left = deadline - SteadyMs();
        if (left <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
}

// Waits for the process to end, at most `timeout_ms`; its wait status, or nothing.
inline std::optional<int> WaitForExit(pid_t pid, std::int64_t timeout_ms) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const std::int64_t deadline = SteadyMs() + timeout_ms;
    std::int64_t pause_us = 200;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || done < 0 || SteadyMs() >= deadline) {
            if (pidfd >= 0) ::close(pidfd);
            if (done == pid) return status;
            return std::nullopt;
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};  // readable once the process has ended
            ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 1)));
        } else {
            ::usleep(static_cast<useconds_t>(pause_us));
            pause_us = std::min<std::int64_t>(pause_us * 2, 20000);
        }
    }
}

// Ends a process: SIGTERM, then SIGKILL when it does not end within a few seconds.
inline void EndProcess(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    if (!WaitForExit(pid, 5000)) {
        ::kill(pid, SIGKILL);
        WaitForExit(pid, 5000);
    }
}

// Waits until the condition holds, at most `timeout_ms`, looking with growing pauses.
inline bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeout_ms = 5000) {
    const std::int64_t deadline = SteadyMs() + timeout_ms;
    std::int64_t pause_us = 100;
    while (!condition()) {
        if (SteadyMs() >= deadline) return false;
        ::usleep(static_cast<useconds_t>(pause_us));
        pause_us = std::min<std::int64_t>(pause_us * 2, 10000);
    }
    return true;
}

// What becomes of a child's standard error.
enum class ErrorOutput { Inherit, Quiet, Capture };

// A program started with its standard output on a pipe.
class ChildProcess {
  public:
    // `quiet` sends its standard error to /dev/null.
    explicit ChildProcess(const std::vector<std::string>& argv, bool quiet = false)
        : ChildProcess(argv, quiet ? ErrorOutput::Quiet : ErrorOutput::Inherit) {}
    ChildProcess(const std::vector<std::string>& argv, ErrorOutput errors) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        int err_fds[2] = {-1, -1};
        if (errors == ErrorOutput::Capture && ::pipe2(err_fds, O_CLOEXEC) != 0)
            err_fds[0] = err_fds[1] = -1;
        platform::SpawnOptions options;
        options.stdout_fd = fds[1];
        const int null_fd =
            errors == ErrorOutput::Quiet ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
        options.stderr_fd = errors == ErrorOutput::Capture ? err_fds[1] : null_fd;
        outcome_ = platform::SpawnProcess(argv, options);
        ::close(fds[1]);
        if (null_fd >= 0) ::close(null_fd);
        if (err_fds[1] >= 0) ::close(err_fds[1]);
        out_ = fds[0];
        err_ = err_fds[0];
    }
    ~ChildProcess() {
        End();
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }
    // A line of its standard error, when that is captured.
    std::optional<std::string> ReadErrorLine(std::int64_t timeout_ms = 10000) {
        return ReadLine(err_, timeout_ms);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return outcome_.started(); }
    pid_t pid() const { return outcome_.pid; }
    std::optional<std::string> ReadOutputLine(std::int64_t timeout_ms = 10000) {
        return ReadLine(out_, timeout_ms);
    }
    // Everything it writes until it ends (at most `timeout_ms`), and its wait status.
    std::pair<std::string, std::optional<int>> Finish(std::int64_t timeout_ms = 20000) {
        std::string text;
        const std::int64_t deadline = SteadyMs() + timeout_ms;
        for (;;) {
            const std::int64_t left = deadline - SteadyMs();
            if (left <= 0) break;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        std::optional<int> status =
            WaitForExit(outcome_.pid, std::max<std::int64_t>(deadline - SteadyMs(), 100));
        if (status) outcome_.pid = -1;
        return {text, status};
    }
    // Ends it now, if it still runs.
    void End() {
        if (outcome_.pid > 0) EndProcess(outcome_.pid);
        outcome_.pid = -1;
    }
    // Waits for it to end by itself.
    std::optional<int> AwaitExit(std::int64_t timeout_ms = 10000) {
        std::optional<int> status = WaitForExit(outcome_.pid, timeout_ms);
        if (status) outcome_.pid = -1;
        return status;
    }

  private:
    platform::SpawnOutcome outcome_;
    int out_ = -1;
    int err_ = -1;
};

// What a program printed and how it ended.
struct ProgramRun {
    std::string out;
    std::string err;
    int exit_code = -1;  // 128 + the signal that ended it; -1 when it did not end within the limit
};

// Runs a program to its end (at most `timeout_ms`), collecting both of its outputs.
inline ProgramRun RunProgram(const std::vector<std::string>& argv,
                             std::int64_t timeout_ms = 60000) {
    ProgramRun run;
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return run;
    }
    platform::SpawnOptions options;
    options.stdout_fd = out[1];
    options.stderr_fd = err[1];
    const platform::SpawnOutcome outcome = platform::SpawnProcess(argv, options);
    ::close(out[1]);
    ::close(err[1]);
    const std::int64_t deadline = SteadyMs() + timeout_ms;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    int open = outcome.started() ? 2 : 0;
    while (open > 0 && SteadyMs() < deadline) {
        if (::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(deadline - SteadyMs(), 1))) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    if (!outcome.started()) return run;
    std::optional<int> status =
        WaitForExit(outcome.pid, std::max<std::int64_t>(deadline - SteadyMs(), 100));
    if (!status) EndProcess(outcome.pid);
    if (status && WIFEXITED(*status)) run.exit_code = WEXITSTATUS(*status);
    if (status && WIFSIGNALED(*status)) run.exit_code = 128 + WTERMSIG(*status);
    return run;
}

// A session bus of the test's own, so that tests running side by side never see each
// other's servers. It becomes this process's session bus (and its children's).
class PrivateBus {
  public:
    // A session bus as configured for every session, or with the configuration file given.
    explicit PrivateBus(const std::string& config_file = {})
        : daemon_({"dbus-daemon",
                   config_file.empty() ? std::string("--session") : "--config-file=" + config_file,
                   "--nofork", "--print-address=1"},
                  true) {
        if (auto address = daemon_.ReadOutputLine(10000)) {
            address_ = *address;
            ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        }
    }
    bool ready() const { return !address_.empty(); }
    // The bus goes away, as when the session ends.
    void End() { daemon_.End(); }

  private:
    ChildProcess daemon_;
    std::string address_;
};

// A running vxide; `ready` once it has claimed its bus name.
class Vxide {
  public:
    explicit Vxide(std::vector<std::string> options, ErrorOutput errors = ErrorOutput::Inherit)
        : process_(Arguments(std::move(options)), errors) {
        if (auto line = process_.ReadOutputLine()) ready_ = line->starts_with("vxide: serving ");
    }
    bool ready() const { return ready_; }
    ChildProcess& process() { return process_; }

  private:
    static std::vector<std::string> Arguments(std::vector<std::string> options) {
        options.insert(options.begin(), kVxidePath);
        return options;
    }
    ChildProcess process_;
    bool ready_ = false;
};

// A folder of its own for one test, removed at the end.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelt-ide-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  private:
    std::string path_;
};

}  // namespace zelt::testing
