// The `plm` command: looks into Pelmar table files without the program's windows.
//
//   plm tables FILE
//   plm schema TABLE
//   plm load TABLE --schema S.json        (records as JSON lines on standard input)
//   plm dump TABLE [--key LABEL] [--format jsonl|csv]
//   plm check FILE
//
// A TABLE is a file name optionally followed by "\!" and a table name. docs/plm.md
// describes the schema and record formats.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zelt::plm {

// Runs one command; returns the process exit code (0 success, 1 failure, 64 wrong usage,
// after a line that says what was wrong).
int RunPlm(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err);
// The text of --help, ending with the exit statuses.
std::string PlmUsage();

}  // namespace zelt::plm
