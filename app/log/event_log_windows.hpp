// The windows of the activity log: their declarations and control numbers.
#pragma once

#include "framework/error_reporter.hpp"
#include "runtime/report/report_document.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

struct ViewEventsCtl {
    enum : int { List = 1, Insert, Change, Delete, PrintLog, Close };
};
struct UpdateEventsCtl {
    enum : int { AppsPrompt = 1, Apps, DatePrompt, Date, ClockPrompt, Clock, EventPrompt, Event, Ok, Cancel };
};

runtime::WindowDeclaration ViewEventsDeclaration();
runtime::WindowDeclaration UpdateEventsDeclaration();

// The log report "ZELT5.5 Activity Log": every event in stored order with its application
// (blanked when repeated), date (picture 8), time (picture 4) and text, pages footed
// "Page nnn", shown in the print preview; on an empty log "If there was something to print,
// I'd print it.||There isn't." ("Go Away") and nothing printed.
void PrintLog(framework::ErrorReporter& errors);
// The report's layout, and the report itself (a document without pages for an empty log);
// the runtime's error code of reading the log.
runtime::ReportLayout LogReportLayout();
runtime::ErrorCode BuildLogReport(runtime::ReportDocument& report);

}  // namespace zelt::app
