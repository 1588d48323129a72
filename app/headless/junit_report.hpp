// A batch as a JUnit XML report, the form in which CI engines read test results
// (docs/junit.xsd is the schema it is written to; docs/ci.md shows it read).
//
//   <testsuites name="zelt" tests= failures= errors= skipped= time=>
//     <testsuite name="make project Tools" tests= failures= errors= skipped= time=
//                timestamp="2026-12-08T05:17:39" hostname=>
//       <testcase classname="Tools" name="HELLO.APP" time="1.25">
//         <failure message="Wait limit reached" type="failed">the item's events</failure>
//         <skipped message=".APP not found"/>
//         <system-out>the item's events, one line each as the log lists them</system-out>
//       </testcase>
//
// One testcase per item of the batch, in the order the batch took them: `classname` is the
// application's project ("catalogue" for one in no project), `name` the application, `time`
// the seconds from its first event to its last. A finished item has no child but its
// events; a failed one has `failure` (message: the event that says why); a skipped one
// `skipped` with the event's text; an item the batch did not reach, or left when it was
// stopped, `skipped` with "Processing Aborted" ("Processing Terminated" after the error
// path). A batch that could not run, or asked a question answered No, has no items: its
// suite holds one testcase named after the batch with `error` (or `skipped`) saying why.
// The suite's time is the batch's own, from start to end.
#pragma once

#include <functional>
#include <string>

#include "app/headless/batch_record.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {

// The testcase's classname of an application: its project's name (UTF-8).
using ProjectOf = std::function<std::string(const AppsRecord&)>;

// The report as XML text (UTF-8). `started` is the local time the batch began.
std::string JUnitReport(const BatchRecord& record, const ProjectOf& project_of,
                        const runtime::LocalDateTime& started);

// Writes `text` to `path` whole (through a new file renamed over it). False with `error`
// saying why when it cannot.
bool WriteReportFile(const std::string& path, const std::string& text, std::string* error);

}  // namespace zelt::app
