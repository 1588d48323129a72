#include "app/headless/headless_options.hpp"

#include <charconv>
#include <string_view>

namespace zelt::app {
namespace {

std::optional<std::int64_t> Number(std::string_view text, std::int64_t low, std::int64_t high) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

bool IsBatch(HeadlessCommand command) {
    switch (command) {
        case HeadlessCommand::Help:
        case HeadlessCommand::Log:
        case HeadlessCommand::PrintLog:
        case HeadlessCommand::EmptyLog:
        case HeadlessCommand::History:
        case HeadlessCommand::ListProjects:
        case HeadlessCommand::ListApplications:
            return false;
        default:
            return true;
    }
}

std::optional<HeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                    std::string* error) {
    HeadlessOptions options;
    bool have_command = false;
    const auto fail = [error](std::string text) -> std::optional<HeadlessOptions> {
        if (error) *error = std::move(text);
        return std::nullopt;
    };
    const auto set = [&](HeadlessCommand command) {
        if (have_command) return false;
        options.command = command;
        have_command = true;
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        const std::string value = has_value ? args[i + 1] : std::string();
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.command = HeadlessCommand::Help;
            return options;
        } else if (arg == "--make") {
            if (!has_value) return fail("--make needs tagged, project NAME or subset");
            ++i;
            if (value == "tagged") {
                ok = set(HeadlessCommand::MakeTagged);
            } else if (value == "subset") {
                ok = set(HeadlessCommand::MakeSubset);
            } else if (value == "project") {
                if (i + 1 >= args.size() || args[i + 1].empty())
                    return fail("--make project needs the project's name");
                options.project = args[++i];
                ok = set(HeadlessCommand::MakeProject);
            } else {
                return fail("--make needs tagged, project NAME or subset, not \"" + value + "\"");
            }
        } else if (arg == "--import-dct") {
            ok = set(HeadlessCommand::ImportDct);
        } else if (arg == "--import-app") {
            ok = set(HeadlessCommand::ImportApp);
        } else if (arg == "--export-app") {
            ok = set(HeadlessCommand::ExportApp);
        } else if (arg == "--export-dct") {
            ok = set(HeadlessCommand::ExportDct);
        } else if (arg == "--log") {
            ok = set(HeadlessCommand::Log);
        } else if (arg == "--history") {
            ok = set(HeadlessCommand::History);
        } else if (have_command && options.command == HeadlessCommand::History && !arg.empty() &&
                   arg[0] != '-') {
            options.applications.push_back(arg);
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--list") {
            if (value == "projects") {
                ok = set(HeadlessCommand::ListProjects);
            } else if (value == "applications") {
                ok = set(HeadlessCommand::ListApplications);
            } else {
                return fail("--list needs projects or applications");
            }
            ++i;
        } else if (arg == "--junit") {
            if (!has_value || value.empty())
                return fail("--junit needs the name of the report file");
            options.junit_path = args[++i];
        } else if (arg == "--print-log") {
            if (!has_value || value.empty())
                return fail("--print-log needs the name of the PDF file");
            options.pdf_path = args[++i];
            ok = set(HeadlessCommand::PrintLog);
        } else if (arg == "--empty-log") {
            ok = set(HeadlessCommand::EmptyLog);
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--timeout") {
            const auto minutes = Number(value, 0, 255);
            if (!minutes) return fail("--timeout needs a number of minutes from 0 to 255");
            options.timeout_minutes = static_cast<std::uint8_t>(*minutes);
            ++i;
        } else if (arg == "--wait-limit") {
            const auto seconds = Number(value, 1, 7 * 24 * 3600);
            if (!seconds) return fail("--wait-limit needs a number of seconds above 0");
            options.wait_limit_seconds = *seconds;
            ++i;
        } else if (arg == "--jobs") {
            const auto count = Number(value, 1, kMaxParallelIDEs);
            if (!count)
                return fail("--jobs needs a number of IDEs from 1 to " +
                            std::to_string(kMaxParallelIDEs));
            options.jobs = static_cast<int>(*count);
            ++i;
        } else if (arg == "--start-limit") {
            const auto seconds = Number(value, 1, 24 * 3600);
            if (!seconds) return fail("--start-limit needs a number of seconds above 0");
            options.start_limit_seconds = *seconds;
            ++i;
        } else {
            return fail("unknown argument \"" + arg + "\"");
        }
        if (!ok) return fail("give one command only (\"" + arg + "\" is a second one)");
    }
    if (!have_command) return fail("no command given");
    const bool history = options.command == HeadlessCommand::History;
    if (options.csv && options.command != HeadlessCommand::Log && !history)
        return fail("--csv goes with --log or --history only");
    if (options.csv && options.json) return fail("give --csv or --json, not both");
    const bool listing = options.command == HeadlessCommand::Log || history ||
                         options.command == HeadlessCommand::ListProjects ||
                         options.command == HeadlessCommand::ListApplications;
    if (options.json && !listing && !IsBatch(options.command))
        return fail("--json goes with a batch, --log, --history or --list");
    const bool make = options.command == HeadlessCommand::MakeTagged ||
                      options.command == HeadlessCommand::MakeProject ||
                      options.command == HeadlessCommand::MakeSubset;
    if (options.jobs != 0 && !make) return fail("--jobs goes with --make");
    if (!options.junit_path.empty() && !IsBatch(options.command))
        return fail("--junit goes with a batch (a make, import or export)");
    return options;
}

std::string HeadlessUsage() {
    return R"(usage: zelt                      the desktop program (the main window)
       zelt COMMAND [OPTIONS]     the headless mode: no window, for scripts and CI

Commands (one per run):
  --make tagged            make the tagged applications, in priority order
  --make project NAME      make every application of the project NAME
  --make subset            make the project subset tags saved in TF (RetainTags=1)
  --import-dct             import NAME.TXD into NAME.DCT for each tagged application
  --import-app             import NAME.TXA into NAME.APP for each tagged application
  --export-app             export NAME.APP to NAME.TXA for each tagged application
  --export-dct             export NAME.DCT to NAME.TXD for each tagged application
  --log [--csv | --json]   print the activity log (as comma-separated values with --csv,
                           a JSON object per event with --json)
  --print-log FILE.pdf     save the activity log report as a PDF file (exit status 1 and
                           no file when the log is empty)
  --empty-log              empty the activity log
  --history [--csv | --json] [APPLICATION...]
                           the build history read from the activity log: per application
                           (all, or the ones named) its makes, finished and failed, the
                           success rate, the last, median and slowest durations of its
                           finished makes, and the date and outcome of its last make
                           (exit status 1 when a named application has none)
  --list projects          the projects that have tagged applications: name, tagged and
                           all applications, lowest and highest priority (one CI job each)
  --list applications      every application: name, folder, priority, tag, project, target
  --help                   show this text
  --version                name the release of zelt

Options:
  --yes                    answer the batch's questions Yes; without it an import or
                           --empty-log asks nothing, changes nothing and exits 1
  --timeout MINUTES        the IDE's reply time-out (DDE Time Out), default 3
  --wait-limit SECONDS     the longest an item waits for its result file; default the
                           "WaitMinutes" setting of ZELT.INI, and no limit without it
                           (a waiting item gives up after 5 minutes only when an error
                           is set, or at once when Vextor goes away)
  --start-limit SECONDS    how long an IDE that ZELT started has to answer, default 30
  --jobs N                 with --make: drive up to N IDEs at once (1 to 16), default the
                           "ParallelIDEs" setting of ZELT.INI, else 1 (one application
                           after another). Applications of one priority are made at the
                           same time; a higher priority starts once every lower one has
                           ended. ZELT talks to the IDEs that answer, in order of their
                           bus names, and starts more from CL_Command while fewer than N
                           answer (each must take a bus name of its own: docs/parallel-makes.md)
  --junit FILE             with a batch: write a JUnit XML report of its items to FILE,
                           whatever becomes of the batch (docs/ci.md)
  --json                   with a batch: each event as a JSON object on a line of its own
                           in place of the plain event line; with --log, --history or
                           --list: JSON

Settings come from ./ZELT.INI, section "Preserved", as in the desktop program; blank
settings are used as they are (the tables in the current directory), as after Cancel in
the settings window. NewLog=Y empties the activity log before a batch.

When Vextor does not answer, ZELT starts it from CL_Command in a session of its own: it
keeps running after the batch, and its output is appended to $XDG_STATE_HOME/zelt/ide.log
(by default ~/.local/state/zelt/ide.log).

Each event of a batch is printed on standard output once it is written to the activity
log, and every event is written before the next command goes to the IDE. Every message box
is printed on standard error with its caption, and the summary counts the items finished,
skipped, failed and not attempted, and the events that could not be written. A make
whose applications have finished makes in the activity log says on standard error how
long it has left ("zelt: about 4 min left", then "zelt: 1 of 5 done, about 3 min left" as
each item ends): the median durations of the items not yet done. SIGINT and SIGTERM end
a batch within a moment at any wait: "Processing Aborted", the conversation closed,
nothing half-written; they end --log and --print-log at once (no half-written report is
left).

Exit status:
  0  every item finished
  1  an item was skipped or failed, an event could not be written to the activity log
     (another ZELT kept it locked too long), a question was answered No, the batch, the
     listing or the report was ended by a signal, a batch's JUnit report could not be
     written (--junit and --json change nothing else), or --history was given an
     application that has no make in the activity log
  2  the batch could not run: unusable settings (a damaged ZELT.INI), an IDE that could not
     be reached or started, an unknown project, a table that cannot be opened, an activity
     log that cannot be written (read-only, a full disk: the batch stops before its next
     command), or a --junit file whose folder takes no new file
  64 wrong usage: an unknown argument, a missing or bad value, no command or two
)";
}

}  // namespace zelt::app
