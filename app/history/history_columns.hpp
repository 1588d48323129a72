// The columns in which the build history is shown: the History window's list, its report
// and the table of zelt --history, one definition for all three; the orders the list can
// be sorted in; and the data of the History window's two charts.
//
//   for (const HistoryColumn& c : HistoryColumns()) heading(c.heading), cell(c.cell(summary));
//   SortSummaries(summaries, HistorySort::Median);   // slowest first
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/history/run_history.hpp"
#include "runtime/window/chart_data.hpp"

namespace zelt::app {

struct HistoryColumn {
    std::string_view heading;
    int width;   // in characters, for the list and the report
    bool right;  // right-aligned
    // The cell as people read it (UTF-8): durations as m:ss or h:mm:ss, "-" where there is none.
    std::string (*cell)(const ApplicationSummary&);
};

// Application, Runs, Finished, Failed, Success, Last, Median, Slowest, Last run, Outcome.
const std::array<HistoryColumn, 10>& HistoryColumns();

// The orders of the History window's list: by name; the most runs, the lowest success rate,
// the slowest median, the slowest run and the latest last run first. Ties go by name.
enum class HistorySort { Name, Runs, Success, Median, Slowest, LastRun };
void SortSummaries(std::vector<ApplicationSummary>& summaries, HistorySort sort);

// The durations of the application's last `count` finished or failed runs, oldest first,
// each labelled with its date and time ("12/07 14:03") and the failed ones marked.
runtime::ChartData DurationChart(const ApplicationRuns& app, std::size_t count = 20);
// The `count` applications with the slowest median duration, slowest first.
runtime::ChartData SlowestChart(const std::vector<ApplicationSummary>& summaries,
                                std::size_t count = 10);

}  // namespace zelt::app
