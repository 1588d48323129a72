// Starting a server program (the IDE) from a command line, without waiting for it.
#pragma once

#include <string>
#include <string_view>

namespace zelt::runtime {

struct StartResult {
    bool started = false;
    std::string reason;  // why it could not be started
};

class ServerStarter {
  public:
    virtual ~ServerStarter() = default;
    // Starts the command line detached from the caller.
    virtual StartResult Start(std::string_view command_line) = 0;
    // Why the program started last has already ended in failure; empty while it runs or
    // when it ended successfully (a launcher may hand over to the real program and end).
    virtual std::string EndedInFailure() = 0;
    // The file that receives the output of the program started last; empty when unknown.
    virtual std::string OutputPath() const { return {}; }
};

}  // namespace zelt::runtime
