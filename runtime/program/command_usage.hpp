// The usage convention every ZELT program follows on its command line.
//
//   - "--help" (or "-h") and "--version" win wherever they stand: a program looks for them
//     with FindStandingRequest before it reads anything else, so that
//     "zelt --version --help" names the release and "plm --help --bogus" shows the usage.
//     The first of them on the line is the one answered; both exit with status 0.
//   - A wrong command line (an unknown option, a missing or bad value, a missing or extra
//     argument) exits with kUsageExitStatus after one line on standard error that says what
//     was wrong, starting with the program's name.
//   - Every program's --help ends with the list of its exit statuses.
//
// An argument "--" ends the options: what follows it is data (vxcmd sends it as commands),
// so a "--help" after it is no request.
#pragma once

#include <string>
#include <vector>

namespace zelt::runtime {

// The status of a wrong command line, as sysexits names it (EX_USAGE).
inline constexpr int kUsageExitStatus = 64;

enum class StandingRequest { None, Help, Version };

// The first "--help", "-h" or "--version" among `args` (the arguments after the program's
// name), up to a "--".
StandingRequest FindStandingRequest(const std::vector<std::string>& args);

}  // namespace zelt::runtime
