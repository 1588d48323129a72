// The windows of the activity log: their declarations and control numbers.
#pragma once

#include <cstdint>
#include <string>
#include "framework/error_reporter.hpp"

#include "runtime/errors/error_codes.hpp"
#include "runtime/report/report.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

struct ViewEventsCtl {
    enum : int { List = 1, Insert, Change, Delete, PrintLog, History, Close };
};
struct UpdateEventsCtl {
    enum : int {
        AppsPrompt = 1,
        Apps,
        DatePrompt,
        Date,
        ClockPrompt,
        Clock,
        EventPrompt,
        Event,
        Ok,
        Cancel
    };
};

// The progress window of a report over the log, "Report Progress..." (the log's report, the
// build history's): its bar bound to `percent`, Cancel ending the report early.
struct ReportProgressCtl {
    enum : int { Bar = 1, UserText, PctText, Cancel };
};
runtime::WindowDeclaration ReportProgressDeclaration(std::uint8_t& percent);

runtime::WindowDeclaration ViewEventsDeclaration();
runtime::WindowDeclaration UpdateEventsDeclaration();

// The log report "ZELT5.5 Activity Log": the report process walks every event in stored
// order behind the progress window "Report Progress..." (Cancel ends it early), printing its
// application (blanked when repeated), date (picture 8), time (picture 4) and text, pages
// footed "Page nnn"; the pages go to the print preview. On an empty log it says "If there
// was something to print, I'd print it.||There isn't." ("Go Away") and prints nothing.
void PrintLog(framework::ErrorReporter& errors);
// The report as declared, its first column bound to `app_name` (Loc:AppName).
runtime::ReportDeclaration LogReportDeclaration(std::string& app_name);
// The same pages without a window, for a PDF file (no pages for an empty log); the
// runtime's error code of reading the log.
runtime::ErrorCode BuildLogReport(runtime::ReportDocument& pages);

}  // namespace zelt::app
