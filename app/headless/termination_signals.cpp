#include "app/headless/termination_signals.hpp"

#include <sys/signalfd.h>
#include <unistd.h>

namespace zelt::app {
namespace {

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

TerminationSignals::TerminationSignals() {
    const sigset_t set = TerminationSet();
    ::sigprocmask(SIG_BLOCK, &set, &previous_);
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

TerminationSignals::~TerminationSignals() {
    Arrived();
    if (fd_ >= 0) ::close(fd_);
    // A signal taken above has done its work; the mask goes back as it was.
    if (signal_ == 0) ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

bool TerminationSignals::Arrived() {
    if (fd_ >= 0) {
        signalfd_siginfo info{};
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (signal_ == 0) signal_ = static_cast<int>(info.ssi_signo);
        }
    } else {
        sigset_t pending;
        sigemptyset(&pending);
        if (::sigpending(&pending) == 0) {
            const sigset_t set = TerminationSet();
            int taken = 0;
            if (sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM)) {
                ::sigwait(&set, &taken);
                if (signal_ == 0) signal_ = taken;
            }
        }
    }
    return signal_ != 0;
}

}  // namespace zelt::app
