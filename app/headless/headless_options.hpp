// The headless mode's command line: one command and its options.
//
//   zelt --make tagged | --make project NAME | --make subset
//   zelt --import-dct | --import-app | --export-app | --export-dct
//   zelt --log [--csv | --json] | --print-log FILE.pdf | --empty-log
//   zelt --history [--csv | --json] [APPLICATION...]
//   zelt --list projects | --list applications   [--json]
//   options: --yes  --timeout MINUTES  --wait-limit SECONDS  --start-limit SECONDS
//            --jobs N (a make)  --junit FILE  --json (a batch)
//   zelt --help
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/settings_file.hpp"

namespace zelt::app {

enum class HeadlessCommand {
    Help,
    MakeTagged,
    MakeProject,
    MakeSubset,
    ImportDct,
    ImportApp,
    ExportApp,
    ExportDct,
    Log,
    PrintLog,
    EmptyLog,
    History,
    ListProjects,
    ListApplications,
};

struct HeadlessOptions {
    HeadlessCommand command = HeadlessCommand::Help;
    std::string project;                    // --make project NAME
    std::string pdf_path;                   // --print-log FILE.pdf
    bool csv = false;                       // --log --csv, --history --csv
    std::vector<std::string> applications;  // --history APPLICATION...
    bool json = false;                      // events, log or list as JSON
    std::string junit_path;                 // --junit FILE: the batch's JUnit report
    bool yes = false;                       // questions answered Yes
    std::uint8_t timeout_minutes = 3;       // the IDE's reply time-out (DDETimeOutMinutes)
    std::int64_t wait_limit_seconds = 0;    // 0: "WaitMinutes" of ZELT.INI
    std::int64_t start_limit_seconds = 30;  // how long a started IDE has to answer
    int jobs = 0;                           // --jobs N: IDEs at once; 0: "ParallelIDEs"
};

// The options, or nothing with `error` saying what is wrong.
std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                    std::string* error);
// The text of --help.
std::string HeadlessUsage();
// True for the commands that drive the IDE (the makes, imports and exports).
bool IsBatch(HeadlessCommand command);

}  // namespace zelt::app
