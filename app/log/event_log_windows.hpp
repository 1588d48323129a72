// The windows of the activity log: their declarations and control numbers.
#pragma once

#include "framework/error_reporter.hpp"
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

// The log report; until the report process exists it tells the user that printing is not
// available.
void PrintLog(framework::ErrorReporter& errors);

}  // namespace zelt::app
