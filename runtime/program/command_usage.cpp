#include "runtime/program/command_usage.hpp"

namespace zelt::runtime {

StandingRequest FindStandingRequest(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") return StandingRequest::Help;
        if (arg == "--version") return StandingRequest::Version;
    }
    return StandingRequest::None;
}

}  // namespace zelt::runtime
