// The headless mode: one command of the command line run without any window, on the same
// tables, settings, batch engine and texts as the desktop program (headless_options.hpp
// lists the commands).
//
// Settings come from ./ZELT.INI; a file that does not parse, or a table directory too long
// for the table names, stops the run before anything is touched (exit status 2). Blank
// settings are used as they are. A batch connects to the IDE through the given transport
// (starting it with GLO.RunString when it does not answer), prints each logged event on
// standard output as it is written and each message box on standard error, and ends with a
// summary line on standard error. SIGINT and SIGTERM abort it at its next look. The IDE is
// reached through the program's IdeServices.
#pragma once

#include "app/headless/headless_options.hpp"
#include "app/program/program.hpp"

namespace zelt::app {

// Runs the command inside a started Program; the exit status (0, 1 or 2).
int RunHeadless(Program& program, const HeadlessOptions& options);

}  // namespace zelt::app
