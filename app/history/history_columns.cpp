#include "app/history/history_columns.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "runtime/text/stored_text.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::app {
namespace {

constexpr int kDatePicture = 10;  // yyyy/mm/dd
constexpr int kTimePicture = 4;   // hh:mm:ss

std::string Shown(const std::optional<std::int64_t>& hundredths) {
    return hundredths ? DurationText(*hundredths) : "-";
}

std::string Percent(const std::optional<double>& rate) {
    if (!rate) return "-";
    return std::to_string(static_cast<int>(std::lround(*rate * 100))) + "%";
}

std::string When(const Run& run) {
    return runtime::FormatDate(run.start_date, kDatePicture) + " " +
           runtime::FormatTime(run.start_clock, kTimePicture);
}

// Durations in seconds, or in minutes when the longest is over ten minutes.
void ScaleDurations(runtime::ChartData& chart) {
    double top = 0;
    for (const auto& p : chart.points) top = std::max(top, p.value);
    if (top <= 600) return;
    for (auto& p : chart.points) p.value /= 60;
    chart.value_axis = "minutes";
}

}  // namespace

const std::array<HistoryColumn, 10>& HistoryColumns() {
    static const std::array<HistoryColumn, 10> kColumns = {{
        {"Application", 24, false,
         [](const ApplicationSummary& s) { return runtime::StoredToUtf8(s.name); }},
        {"Runs", 5, true, [](const ApplicationSummary& s) { return std::to_string(s.runs); }},
        {"Finished", 8, true,
         [](const ApplicationSummary& s) { return std::to_string(s.finished); }},
        {"Failed", 6, true, [](const ApplicationSummary& s) { return std::to_string(s.failed); }},
        {"Success", 7, true, [](const ApplicationSummary& s) { return Percent(s.success_rate); }},
        {"Last", 8, true, [](const ApplicationSummary& s) { return Shown(s.last_duration); }},
        {"Median", 8, true, [](const ApplicationSummary& s) { return Shown(s.median_duration); }},
        {"Slowest", 8, true, [](const ApplicationSummary& s) { return Shown(s.slowest_duration); }},
        {"Last run", 19, false, [](const ApplicationSummary& s) { return When(s.last_run); }},
        {"Outcome", 10, false,
         [](const ApplicationSummary& s) {
             return std::string(RunOutcomeName(s.last_run.outcome));
         }},
    }};
    return kColumns;
}

void SortSummaries(std::vector<ApplicationSummary>& summaries, HistorySort sort) {
    const auto key = [sort](const ApplicationSummary& s) {
        switch (sort) {
            case HistorySort::Runs:
                return -static_cast<double>(s.runs);
            case HistorySort::Success:
                return s.success_rate.value_or(2.0);  // none after every rate
            case HistorySort::Median:
                return -static_cast<double>(s.median_duration.value_or(-1));
            case HistorySort::Slowest:
                return -static_cast<double>(s.slowest_duration.value_or(-1));
            case HistorySort::LastRun:
                return -static_cast<double>(s.last_run.start);
            case HistorySort::Name:
                break;
        }
        return 0.0;
    };
    std::stable_sort(summaries.begin(), summaries.end(),
                     [&](const ApplicationSummary& a, const ApplicationSummary& b) {
                         return std::tuple(key(a), a.name) < std::tuple(key(b), b.name);
                     });
}

runtime::ChartData DurationChart(const ApplicationRuns& app, std::size_t count) {
    runtime::ChartData chart;
    chart.shape = runtime::ChartShape::Line;
    chart.value_axis = "seconds";
    chart.marked_legend = "failed";
    std::vector<const Run*> runs;
    for (const Run& run : app.runs) {
        if (run.outcome == RunOutcome::Finished || run.outcome == RunOutcome::Failed)
            runs.push_back(&run);
    }
    if (runs.size() > count) runs.erase(runs.begin(), runs.end() - static_cast<long>(count));
    for (const Run* run : runs) {
        // "mm/dd hh:mm" out of "yyyy/mm/dd hh:mm:ss"
        const std::string when = When(*run);
        chart.points.push_back({when.substr(5, 11), static_cast<double>(run->Duration()) / 100.0,
                                run->outcome == RunOutcome::Failed});
    }
    chart.title = runtime::StoredToUtf8(app.name) + ": the last " +
                  std::to_string(chart.points.size()) + " makes";
    ScaleDurations(chart);
    return chart;
}

runtime::ChartData SlowestChart(const std::vector<ApplicationSummary>& summaries,
                                std::size_t count) {
    std::vector<ApplicationSummary> slowest;
    for (const ApplicationSummary& s : summaries) {
        if (s.median_duration) slowest.push_back(s);
    }
    SortSummaries(slowest, HistorySort::Median);
    if (slowest.size() > count) slowest.resize(count);
    runtime::ChartData chart;
    chart.shape = runtime::ChartShape::Bars;
    chart.title = "The slowest applications by median duration";
    chart.value_axis = "seconds";
    for (const ApplicationSummary& s : slowest) {
        chart.points.push_back({runtime::StoredToUtf8(s.name),
                                static_cast<double>(*s.median_duration) / 100.0, false});
    }
    ScaleDurations(chart);
    return chart;
}

}  // namespace zelt::app
