#include "app/headless/log_listing.hpp"

#include "app/catalogue/busy_retry.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/headless/console_batch_window.hpp"
#include "app/headless/console_messages.hpp"
#include "app/headless/csv_text.hpp"
#include "app/headless/json_events.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/report/report_document.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::app {
namespace {

std::string TableError(std::string_view what) {
    return "zelt: " + std::string(what) + " " + TempFile.FileName() + ": " +
           runtime::CurrentErrorText() + " (error " + std::to_string(runtime::CurrentErrorCode()) +
           ")";
}

}  // namespace

int ListLog(bool csv, bool json) {
    OpenWhenFree(TempFileManager);
    if (TempFileManager.Open() != framework::LevelOk ||
        TempFileManager.EnsureOpen() != framework::LevelOk) {
        WriteLine(stderr, TableError("cannot open"));
        return 2;
    }
    if (csv) WriteLine(stdout, kCsvEventHeader);
    TempFile.SetKey(TempFileTable::clockkey);
    RepeatedNameBlanker blanker;
    int rows = 0;
    runtime::ErrorCode code = runtime::err::NoError;
    // A batch committing to the log keeps it for moments.
    while ((code = NextWhenFree(TempFile)) == runtime::err::NoError) {
        ++rows;
        if (json) {
            WriteLine(stdout, EventJson(TMP, 0, {}));
        } else if (csv) {
            WriteLine(stdout, CsvEventLine(TMP));
        } else {
            WriteLine(stdout, EventLine(TMP, blanker.Shown(TMP.Apps.Clip())));
        }
    }
    const bool ended = code == runtime::err::RecordNotAvailable;
    if (!ended) WriteLine(stderr, TableError("cannot read"));
    TempFileManager.Close();
    if (!ended) return 2;
    if (rows == 0) {
        WriteLine(stderr,
                  ConsoleMessageText("Go Away", "If there was something to show you, I'd show it.",
                                     runtime::button::Ok, runtime::button::Ok));
    }
    return 0;
}

int EmptyLog(bool yes) {
    const int answer = yes ? runtime::button::Yes : runtime::button::No;
    std::string question = ConsoleMessageText("Best be sure, chaver", "Are you entirely sure?",
                                              runtime::button::Yes | runtime::button::No, answer);
    if (!yes) question += " (--yes answers Yes)";
    WriteLine(stderr, question);
    if (!yes) return 1;
    if (TempFileManager.Open() != framework::LevelOk ||
        TempFileManager.EnsureOpen() != framework::LevelOk) {
        WriteLine(stderr, TableError("cannot open"));
        return 2;
    }
    int status = 0;
    if (EmptyEventLog() != runtime::err::NoError) {
        WriteLine(stderr, TableError("cannot empty"));
        status = 2;
    }
    TempFileManager.Close();
    return status;
}

int SaveLogPdf(Program& program, const std::string& path) {
    runtime::ReportDocument report;
    if (BuildLogReport(report) != runtime::err::NoError) {
        WriteLine(stderr, TableError("cannot read"));
        return 2;
    }
    if (report.PageCount() == 0) {
        WriteLine(stderr,
                  ConsoleMessageText("Go Away",
                                     "If there was something to print, I'd print it.||There isn't.",
                                     runtime::button::Ok, runtime::button::Ok));
        return 1;
    }
    if (!program.Windows().SaveReportPdf(report, path)) {
        WriteLine(stderr, "zelt: the log report could not be written to " + path);
        return 2;
    }
    WriteLine(stderr, "zelt: the log report (" + std::to_string(report.PageCount()) +
                          " pages) is in " + path);
    return 0;
}

}  // namespace zelt::app
