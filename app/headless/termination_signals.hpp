// SIGINT and SIGTERM turned into something to read: while an object of this class lives the
// two signals are blocked and arrive on a descriptor (signalfd), which the headless mode
// polls together with its result watch. Nothing runs inside a signal handler.
#pragma once

#include <signal.h>

namespace zelt::app {

class TerminationSignals {
  public:
    TerminationSignals();
    // Drains what arrived and puts the signal mask back.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable when a signal is pending; -1 when none could be made (then Arrived only
    // sees signals through sigpending).
    int Descriptor() const { return fd_; }
    // Takes what is pending; true once SIGINT or SIGTERM has arrived.
    bool Arrived();
    // The first signal that arrived, 0 for none.
    int Signal() const { return signal_; }

  private:
    int fd_ = -1;
    int signal_ = 0;
    sigset_t previous_{};
};

}  // namespace zelt::app
