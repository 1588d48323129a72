// The log report: one detail line per event in stored order, each application named once a
// run, shown in the print preview.
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/pictures.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {
constexpr int kDatePicture = 8;  // "Dd NNN yyyy"
constexpr int kTimePicture = 4;  // "hh:mm:ss"
}  // namespace

runtime::ReportLayout LogReportLayout() {
    runtime::ReportLayout layout;
    layout.title = "ZELT5.5 Activity Log";
    layout.columns = {{"App Name", 40, runtime::Align::Left},
                      {"Date", 11, runtime::Align::Left},
                      {"Time", 8, runtime::Align::Left},
                      {"Action", 80, runtime::Align::Left}};
    layout.footer_label = "Page";
    layout.page_number_picture = "@n3";
    layout.landscape = true;
    return layout;
}

void AddLogDetail(runtime::ReportDocument& report, RepeatedNameBlanker& names, const TempFileRecord& event) {
    report.AddDetail({names.Shown(event.Apps.View()), runtime::FormatDate(event.Date, kDatePicture),
                      runtime::FormatTime(event.Clock, kTimePicture), event.Event.Clip()});
}

runtime::ErrorCode BuildLogReport(runtime::ReportDocument& report) {
    report = runtime::ReportDocument(LogReportLayout());
    if (TempFileRelations.OpenAll() != framework::LevelOk) {
        const runtime::ErrorCode code = runtime::CurrentErrorCode();
        TempFileRelations.CloseAll();
        return code == runtime::err::NoError ? runtime::err::FileSystemError : code;
    }
    const TempFileRecord kept = TMP;
    RepeatedNameBlanker names;
    TempFile.SetFile();
    runtime::ErrorCode code = runtime::err::NoError;
    while ((code = TempFile.Next()) == runtime::err::NoError) AddLogDetail(report, names, TMP);
    TMP = kept;
    TempFileRelations.CloseAll();
    return code == runtime::err::RecordNotAvailable ? runtime::err::NoError : code;
}

void PrintLog(framework::ErrorReporter& errors) {
    errors.SetProcedureName("PrintLog");
    runtime::ReportDocument report;
    const runtime::ErrorCode code = BuildLogReport(report);
    if (code != runtime::err::NoError) {
        runtime::Message("The activity log could not be read: " + runtime::CurrentErrorText() + " (error " +
                             std::to_string(code) + ")",
                         "Print Log", runtime::StockIcon::Hand);
    } else if (report.PageCount() == 0) {
        runtime::Message("If there was something to print, I'd print it.||There isn't.", "Go Away",
                         runtime::StockIcon::Question);
    } else if (runtime::WindowSystem* system = runtime::CurrentWindowSystem()) {
        system->PreviewReport(report);
    }
    errors.SetProcedureName();
}

}  // namespace zelt::app
