// The build history from the command line (zelt --history [--csv | --json] [APPLICATION...]):
// per application its runs, how many finished and failed, the success rate, the last, median
// and slowest durations of its finished runs, and the date, time and outcome of its last run
// (app/history/run_history.hpp says how runs are read from the activity log).
//
// Plain, a table for people (durations as m:ss or h:mm:ss, "-" where there is none):
//
//   Application  Runs  Finished  Failed  Success  Last  Median  Slowest  Last run Outcome
//   ORDERS.APP      5         4       1      80%  0:42    0:40     1:05  2026/12/07 14:03:22
//   finished
//
// CSV (RFC 4180, a header line), durations in seconds with two decimals and the success rate
// as a fraction, empty where there is none:
//
//   Application,Runs,Finished,Failed,Skipped,Aborted,Unfinished,SuccessRate,LastSeconds,
//   MedianSeconds,SlowestSeconds,LastRunDate,LastRunTime,LastRunOutcome
//
// JSON, one array of objects: {"application", "runs", "finished", "failed", "skipped",
// "aborted", "unfinished", "success_rate", "last_seconds", "median_seconds",
// "slowest_seconds", "last_run": {"time", "outcome", "event"}}, null where there is none.
// Texts are UTF-8.
#pragma once

#include <string>
#include <vector>

#include "app/history/run_history.hpp"

namespace zelt::app {

enum class HistoryForm { Table, Csv, Json };

// The listing of `summaries` in one form, every line ended by a line feed.
std::string HistoryListing(const std::vector<ApplicationSummary>& summaries, HistoryForm form);

// Reads the log and prints the listing on standard output: every application with a run, or
// the ones named (UTF-8, matched without regard to case), in name order. A name without a
// run in the log is told on standard error and makes the exit status 1; a log that cannot be
// read, 2.
int ListHistory(const std::vector<std::string>& names, HistoryForm form);

}  // namespace zelt::app
