#include "app/headless/exit_on_signal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace zelt::app {

ExitOnSignal::ExitOnSignal(TerminationSignals& signals, std::string what,
                           std::function<void()> last_words)
    : what_(std::move(what)), last_words_(std::move(last_words)) {
    if (signals.Descriptor() < 0 || ::pipe2(stop_, O_CLOEXEC) != 0) return;
    thread_ = std::thread([this, &signals] { Watch(signals); });
}

ExitOnSignal::~ExitOnSignal() {
    if (thread_.joinable()) {
        const char stop = 's';
        while (::write(stop_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    for (int fd : stop_) {
        if (fd >= 0) ::close(fd);
    }
}

void ExitOnSignal::Watch(TerminationSignals& signals) {
    for (;;) {
        pollfd fds[2] = {{signals.Descriptor(), POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (!signals.Arrived()) continue;
        if (last_words_) last_words_();
        // Straight to the descriptor: standard error's stream may be held by the command.
        const std::string line = std::string("zelt: ") +
                                 (signals.Signal() == SIGINT ? "SIGINT" : "SIGTERM") +
                                 " received: " + what_ + "\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        ::_exit(1);
    }
}

}  // namespace zelt::app
