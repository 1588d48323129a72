// The History window: the build history of every application at a glance, opened from the
// activity log's browse ("&History").
//
// A list of the applications with their runs, finished, failed, success rate, last, median
// and slowest durations and last run (history_columns.hpp), sorted by the order chosen
// above it; under it two charts: the chosen application's durations over its last makes
// (failures marked) and the slowest applications by median duration. "&Print" prints the
// same list through the report process, as the log is printed (PrintHistory), and "&Close"
// closes the window. On a log without any make it says "There is no make in the activity
// log yet." ("Build History") and does not open.
#pragma once

#include <string>

#include "app/history/run_history.hpp"
#include "framework/error_reporter.hpp"
#include "runtime/report/report.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

struct HistoryCtl {
    enum : int {
        SortBy = 1,
        ByName,
        ByRuns,
        BySuccess,
        ByMedian,
        BySlowest,
        ByLastRun,
        List,
        Durations,
        Slowest,
        Print,
        Close
    };
};

// The window, its order of sorting bound to `sort_by` ("name", "runs", "success", "median",
// "slowest", "last").
runtime::WindowDeclaration HistoryDeclaration(std::string& sort_by);
void ShowHistory(framework::ErrorReporter& errors);

// The report "ZELT5.5 Build History": the report process reads the log behind its progress
// window "Report Progress..." (Cancel ends it early), then prints a line per application by
// name, in the list's columns, pages footed "Page nnn", to the print preview. On a log
// without any make it says so ("Go Away") and prints nothing.
void PrintHistory(framework::ErrorReporter& errors);
// The report as declared, its columns bound to `line` (the cells of the line printed).
runtime::ReportDeclaration HistoryReportDeclaration(const std::vector<std::string>& line);

}  // namespace zelt::app
