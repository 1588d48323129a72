// The activity log from the command line: listed, emptied, saved as a PDF report. Each
// answers the headless mode's exit status.
#pragma once

#include <string>

#include "app/program/program.hpp"

namespace zelt::app {

// Prints every event in date and time order on standard output: one line per event, the
// application's name shown only on the first of a run of its events (as in the browse);
// with `csv`, comma-separated values with a header line and every name written. An empty
// log says so on standard error ("Go Away"). With `json`, a JSON object per event
// (json_events.hpp: time, application, event).
int ListLog(bool csv, bool json = false);
// Asks "Are you entirely sure?"; answered Yes (by `yes`) it locks TEMPFILE, empties it and
// unlocks it (0). Without `yes` nothing changes (1).
int EmptyLog(bool yes);
// The log report saved as a PDF file through the window system's PDF writer (0); an empty
// log writes nothing and says so ("Go Away", 1).
int SaveLogPdf(Program& program, const std::string& path);

}  // namespace zelt::app
