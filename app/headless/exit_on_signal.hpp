// The commands that only read the log or write a file of their own (--log, --print-log) end
// on SIGINT or SIGTERM at once, with exit status 1, whatever they are doing at that moment:
// a thread waits on the termination signals' descriptor while an ExitOnSignal lives. When a
// signal arrives it runs `last_words` (which removes a half-written file, say), tells standard
// error "zelt: SIGTERM received: <what>", and ends the process without unwinding. The
// command's table reads hold nothing that the end of the process does not let go of.
//
//     TerminationSignals signals;
//     ExitOnSignal exit(signals, "the listing ends");
//     ListLog(csv);
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "app/headless/termination_signals.hpp"

namespace zelt::app {

class ExitOnSignal {
  public:
    ExitOnSignal(TerminationSignals& signals, std::string what,
                 std::function<void()> last_words = {});
    // Stops watching; a signal that arrives afterwards is left to `signals`.
    ~ExitOnSignal();
    ExitOnSignal(const ExitOnSignal&) = delete;
    ExitOnSignal& operator=(const ExitOnSignal&) = delete;

  private:
    void Watch(TerminationSignals& signals);

    std::string what_;
    std::function<void()> last_words_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace zelt::app
