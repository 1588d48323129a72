// Build history from log events: how runs are told apart (each row a sequence of events and
// the runs it must give), the summary of an application, and the three forms of --history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/headless/history_listing.hpp"
#include "app/headless/json_events.hpp"
#include "app/history/run_history.hpp"
#include "runtime/values/day_number.hpp"

namespace zelt::app {
namespace {

constexpr std::int32_t kDay = 82000;  // 2025/07/01

struct Event {
    std::string name;
    int second;  // of kDay; above 86400 runs into the next day
    std::string text;
};

History Build(const std::vector<Event>& events) {
    HistoryBuilder builder;
    for (const Event& e : events) {
        builder.Take(e.name, kDay + e.second / 86400, (e.second % 86400) * 100 + 1, e.text);
    }
    return builder.Finish();
}

// The ISO time of an event at `second` of kDay, as the JSON form writes it.
std::string TimeOf(int second) {
    TempFileRecord event{};
    event.Date = kDay;
    event.Clock = second * 100 + 1;
    return EventTimeIso(event);
}

// "NAME: outcome duration-in-seconds [event]" for every run, in order.
std::vector<std::string> Runs(const History& history) {
    std::vector<std::string> out;
    for (const ApplicationRuns& app : history) {
        for (const Run& run : app.runs) {
            std::string line = app.name + ": " + std::string(RunOutcomeName(run.outcome)) + " " +
                               std::to_string(run.Duration() / 100);
            if (!run.event.empty()) line += " [" + run.event + "]";
            out.push_back(line);
        }
    }
    return out;
}

TEST(History, RunsAreToldFromTheEventsAndNeverJoinedToAnotherRunsEnd) {
    struct Row {
        const char* what;
        std::vector<Event> events;
        std::vector<std::string> runs;
    };
    const std::vector<Row> rows = {
        {"outcomes",
         {{"A.APP", 0, "Begin Make"},
          {"A.APP", 40, "Make Finished"},
          {"B.APP", 41, ".APP not found"},
          {"C.APP", 42, "Begin Make"},
          {"C.APP", 42, "Make Aborted: Target name or type not specified"},
          {"A.APP", 50, "Begin Make"},
          {"A.APP", 70, "Error 5 Access Denied"},
          {"A.APP", 80, "Wait limit reached"},
          {"A.APP", 90, "Begin Make"},
          {"A.APP", 95, "Aborted: the batch was cancelled"},
          {"D.APP", 96, "Skipped: path or name holds a double quote"},
          {"E.APP", 97, "Begin Make"},
          {"E.APP", 99, "Error 602 DDE channel is not open: Vextor went away"}},
         {"A.APP: finished 40", "A.APP: failed 30 [Error 5 Access Denied]", "A.APP: aborted 5",
          "B.APP: skipped 0 [.APP not found]",
          "C.APP: skipped 0 [Make Aborted: Target name or type not specified]",
          "D.APP: skipped 0 [Skipped: path or name holds a double quote]",
          "E.APP: failed 2 [Error 602 DDE channel is not open: Vextor went away]"}},
        {"a run across midnight, and the wait limit alone",
         {{"A.APP", 86390, "Begin Make"},
          {"A.APP", 86410, "Make Finished"},
          {"B.APP", 0, "Begin Make"},
          {"B.APP", 300, "Wait limit reached"}},
         {"A.APP: finished 20", "B.APP: failed 300 [Wait limit reached]"}},
        {"killed: the open run is unfinished and the next run keeps its end",
         {{"A.APP", 0, "Begin Make"},
          {"A.APP", 100, "Begin Make"},
          {"A.APP", 130, "Make Finished"},
          {"B.APP", 200, "Begin Make"}},
         {"A.APP: unfinished 0", "A.APP: finished 30", "B.APP: unfinished 0"}},
        {"two at once: both unfinished, whichever end comes first",
         {{"A.APP", 0, "Begin Make"},
          {"A.APP", 5, "Begin Make"},
          {"A.APP", 30, "Make Finished"},
          {"A.APP", 35, "Make Finished"},
          {"A.APP", 40, "Begin Make"},
          {"A.APP", 45, "Begin Make"},
          {"A.APP", 50, "Error 5 Access Denied"},
          {"A.APP", 60, "Make Finished"}},
         {"A.APP: unfinished 0", "A.APP: unfinished 25", "A.APP: unfinished 0",
          "A.APP: unfinished 15"}},
        {"imports and exports end no make; other names and stray ends are passed over",
         {{"A.APP", 0, "Begin APP Export"},
          {"A.APP", 3, "Export APP Finished"},
          {"A.APP", 4, "Begin Make"},
          {"A.APP", 9, "Make Finished"},
          {"A.APP", 10, "Make Finished"},
          {"Vextor", 11, "Aborted: the batch was cancelled while Vextor was starting"},
          {"B.APP", 12, "Begin DCT Import"},
          {"B.APP", 13, ".TXD not found"}},
         {"A.APP: finished 5"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Runs(Build(row.events)), row.runs);
    }
}

TEST(History, TheSummaryCountsRunsAndTakesDurationsOfFinishedRunsOnly) {
    const History history = Build({{"A.APP", 0, "Begin Make"},
                                   {"A.APP", 60, "Make Finished"},
                                   {"A.APP", 100, "Begin Make"},
                                   {"A.APP", 400, "Error 5 Access Denied"},
                                   {"A.APP", 500, "Begin Make"},
                                   {"A.APP", 520, "Make Finished"},
                                   {"A.APP", 600, "Begin Make"},
                                   {"A.APP", 700, "Make Finished"},
                                   {"A.APP", 800, "Begin Make"},
                                   {"A.APP", 830, "Make Finished"},
                                   {"A.APP", 900, ".APP not found"}});
    ASSERT_EQ(history.size(), 1u);
    const ApplicationSummary s = Summarise(history[0]);
    EXPECT_EQ(s.runs, 6);
    EXPECT_EQ(s.finished, 4);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_DOUBLE_EQ(*s.success_rate, 0.8);
    EXPECT_EQ(*s.last_duration, 3000);
    EXPECT_EQ(*s.median_duration, 4500);  // 20, 30, 60, 100 s
    EXPECT_EQ(*s.slowest_duration, 10000);
    EXPECT_EQ(s.last_run.outcome, RunOutcome::Skipped);
    EXPECT_EQ(MedianDurations(history).at("A.APP"), 4500);
    EXPECT_EQ(Median({7, 1, 4}), 4);
    EXPECT_FALSE(Median({}).has_value());
}

TEST(History, TheListingHasThreeForms) {
    const History history = Build({{"ORDERS.APP", 0, "Begin Make"},
                                   {"ORDERS.APP", 42, "Make Finished"},
                                   {"ORDERS.APP", 100, "Begin Make"},
                                   {"ORDERS.APP", 3825, "Make Finished"},
                                   {"ORDERS.APP", 4000, "Begin Make"},
                                   {"ORDERS.APP", 4010, "Error 603 \"x\" rejected"},
                                   {"B.APP", 5000, ".APP not found"}});
    std::vector<ApplicationSummary> summaries;
    for (const ApplicationRuns& app : history) summaries.push_back(Summarise(app));
    struct Row {
        HistoryForm form;
        std::string text;
    };
    const std::vector<Row> rows = {
        {HistoryForm::Table,
         "Application  Runs  Finished  Failed  Success     Last  Median  Slowest  Last run         "
         "    Outcome\n"
         "B.APP           1         0       0        -        -       -        -  2025/07/01 "
         "01:23:20  skipped\n"
         "ORDERS.APP      3         2       1      67%  1:02:05   31:24  1:02:05  2025/07/01 "
         "01:06:40  failed\n"},
        {HistoryForm::Csv,
         "Application,Runs,Finished,Failed,Skipped,Aborted,Unfinished,SuccessRate,LastSeconds,"
         "MedianSeconds,SlowestSeconds,LastRunDate,LastRunTime,LastRunOutcome\n"
         "\"B.APP\",1,0,0,1,0,0,,,,,2025/07/01,01:23:20,skipped\n"
         "\"ORDERS.APP\",3,2,1,0,0,0,0.667,3725.00,1883.50,3725.00,2025/07/01,01:06:40,failed\n"},
        {HistoryForm::Json,
         "[{\"application\":\"B.APP\",\"runs\":1,\"finished\":0,\"failed\":0,\"skipped\":1,"
         "\"aborted\":0,\"unfinished\":0,\"success_rate\":null,\"last_seconds\":null,"
         "\"median_seconds\":null,\"slowest_seconds\":null,\"last_run\":{\"time\":\"" +
             TimeOf(5000) +
             "\",\"outcome\":\"skipped\",\"event\":\".APP not found\"}},"
             "{\"application\":\"ORDERS.APP\",\"runs\":3,\"finished\":2,\"failed\":1,"
             "\"skipped\":0,\"aborted\":0,\"unfinished\":0,\"success_rate\":0.6666666666666666,"
             "\"last_seconds\":3725.0,\"median_seconds\":1883.5,\"slowest_seconds\":3725.0,"
             "\"last_run\":{\"time\":\"" +
             TimeOf(4000) +
             "\",\"outcome\":\"failed\",\"event\":\"Error 603 \\\"x\\\" rejected\"}}]\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.form));
        EXPECT_EQ(HistoryListing(summaries, row.form), row.text);
    }
    EXPECT_EQ(HistoryListing({}, HistoryForm::Json), "[]\n");
}

}  // namespace
}  // namespace zelt::app
