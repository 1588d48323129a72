#include "app/headless/history_listing.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/batches/file_services.hpp"
#include "app/headless/console_messages.hpp"
#include "app/headless/csv_text.hpp"
#include "app/headless/json_events.hpp"
#include "app/headless/report_text.hpp"
#include "app/history/history_columns.hpp"
#include "app/history/read_history.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::app {
namespace {

constexpr int kDatePicture = 10;  // yyyy/mm/dd
constexpr int kTimePicture = 4;   // hh:mm:ss

std::string Seconds(const std::optional<std::int64_t>& hundredths) {
    if (!hundredths) return {};
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%lld.%02lld",
                  static_cast<long long>(*hundredths / 100),
                  static_cast<long long>(*hundredths % 100));
    return text.data();
}

nlohmann::ordered_json SecondsJson(const std::optional<std::int64_t>& hundredths) {
    if (!hundredths) return nullptr;
    return static_cast<double>(*hundredths) / 100.0;
}

std::string Rate(const std::optional<double>& rate) {
    if (!rate) return {};
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%.3f", *rate);
    return text.data();
}

TempFileRecord StartEvent(const Run& run) {
    TempFileRecord event{};
    event.Date = run.start_date;
    event.Clock = run.start_clock;
    return event;
}

std::string LastRunWhen(const ApplicationSummary& s, std::string_view between) {
    return runtime::FormatDate(s.last_run.start_date, kDatePicture) + std::string(between) +
           runtime::FormatTime(s.last_run.start_clock, kTimePicture);
}

// Characters on the terminal (UTF-8 continuation bytes take no room).
std::size_t Width(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Table(const std::vector<ApplicationSummary>& summaries) {
    const auto& columns = HistoryColumns();
    std::vector<std::vector<std::string>> rows(1);
    for (const HistoryColumn& column : columns) rows[0].emplace_back(column.heading);
    for (const ApplicationSummary& s : summaries) {
        std::vector<std::string>& row = rows.emplace_back();
        for (const HistoryColumn& column : columns) row.push_back(column.cell(s));
        row[0] = ReportText(s.name);  // the terminal's name: control characters shown
    }
    std::array<std::size_t, 10> widths{};
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - Width(row[c]), ' ');
            if (c > 0) line += "  ";
            line += columns[c].right ? pad + row[c] : row[c] + pad;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string Csv(const std::vector<ApplicationSummary>& summaries) {
    std::string out =
        "Application,Runs,Finished,Failed,Skipped,Aborted,Unfinished,SuccessRate,LastSeconds,"
        "MedianSeconds,SlowestSeconds,LastRunDate,LastRunTime,LastRunOutcome\n";
    for (const ApplicationSummary& s : summaries) {
        out += CsvField(ReportText(s.name));
        for (const int count : {s.runs, s.finished, s.failed, s.skipped, s.aborted, s.unfinished})
            out += "," + std::to_string(count);
        out += "," + Rate(s.success_rate) + "," + Seconds(s.last_duration) + "," +
               Seconds(s.median_duration) + "," + Seconds(s.slowest_duration) + "," +
               LastRunWhen(s, ",") + "," + std::string(RunOutcomeName(s.last_run.outcome)) + "\n";
    }
    return out;
}

std::string Json(const std::vector<ApplicationSummary>& summaries) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ApplicationSummary& s : summaries) {
        nlohmann::ordered_json last;
        last["time"] = EventTimeIso(StartEvent(s.last_run));
        last["outcome"] = std::string(RunOutcomeName(s.last_run.outcome));
        last["event"] = s.last_run.event.empty()
                            ? nlohmann::ordered_json(nullptr)
                            : nlohmann::ordered_json(ReportText(s.last_run.event));
        nlohmann::ordered_json app;
        app["application"] = ReportText(s.name);
        app["runs"] = s.runs;
        app["finished"] = s.finished;
        app["failed"] = s.failed;
        app["skipped"] = s.skipped;
        app["aborted"] = s.aborted;
        app["unfinished"] = s.unfinished;
        app["success_rate"] = s.success_rate ? nlohmann::ordered_json(*s.success_rate) : nullptr;
        app["last_seconds"] = SecondsJson(s.last_duration);
        app["median_seconds"] = SecondsJson(s.median_duration);
        app["slowest_seconds"] = SecondsJson(s.slowest_duration);
        app["last_run"] = std::move(last);
        list.push_back(std::move(app));
    }
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string HistoryListing(const std::vector<ApplicationSummary>& summaries, HistoryForm form) {
    switch (form) {
        case HistoryForm::Csv:
            return Csv(summaries);
        case HistoryForm::Json:
            return Json(summaries);
        case HistoryForm::Table:
            break;
    }
    return Table(summaries);
}

int ListHistory(const std::vector<std::string>& names, HistoryForm form) {
    History history;
    if (ReadHistory(history) != runtime::err::NoError) {
        WriteLine(stderr, "zelt: cannot read " + TempFile.FileName() + ": " +
                              runtime::CurrentErrorText() + " (error " +
                              std::to_string(runtime::CurrentErrorCode()) + ")");
        return 2;
    }
    std::vector<ApplicationSummary> summaries;
    std::vector<bool> found(names.size(), false);
    for (const ApplicationRuns& app : history) {
        const std::string shown = UpperName(ReportText(app.name));
        bool wanted = names.empty();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (UpperName(names[i]) == shown) wanted = found[i] = true;
        }
        if (wanted) summaries.push_back(Summarise(app));
    }
    std::string listing = HistoryListing(summaries, form);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    std::fflush(stdout);
    int status = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (found[i]) continue;
        WriteLine(stderr, "zelt: no make of " + names[i] + " in the activity log");
        status = 1;
    }
    if (names.empty() && history.empty())
        WriteLine(stderr, "zelt: no make in the activity log " + TempFile.FileName());
    return status;
}

}  // namespace zelt::app
