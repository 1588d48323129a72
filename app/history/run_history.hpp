// Build history: each application's makes, read back from the activity log (TEMPFILE).
//
// The log keeps every step of every batch, one event per step, in date and time order. A
// make of one application (a run) starts at its "Begin Make", the event logged just before
// the command goes to the IDE, and ends at its last event. What became of it is read from
// the events the batch engine writes (app/batches):
//
//   finished    "Make Finished"
//   failed      an error event ("Error <code> <text>", "Error 602 ...: Vextor went away"),
//               or "Wait limit reached"; the run keeps the event that failed it
//   skipped     "Make Aborted: Target name or type not specified" after its "Begin Make";
//               ".APP not found" and "Skipped: ..." (an unsafe name, a path too long), which
//               the batch logs instead of a "Begin Make" (such a run starts and ends there)
//   aborted     "Aborted: the batch was cancelled"
//   unfinished  a run whose end cannot be told: it never got one (the program was killed
//               or the machine went down), or it overlapped another run of the same
//               application (two stations making it at once)
//
// A run is never joined to an end that belongs to another run. A "Begin Make" while a run of
// the same application is still open leaves the open one unfinished, and the new one is
// marked as contested: when its end turns out to be shared (a second end arrives with no run
// open, or an end contradicts a failure), the contested run is unfinished as well. So a run
// after a kill keeps its end, while two runs that really overlapped both count as
// unfinished. Imports and exports ("Begin DCT Import", ...) are followed the same way, so that
// they never end a make, but they are not runs of the history. Events of the name "Vextor"
// (a batch that could not reach the IDE) belong to no run.
//
// Durations are in hundredths of a second, from the day number and clock value of the two
// events (so a run across midnight is measured right). The history is built from events in
// log order:
//
//     HistoryBuilder builder;
//     for (each event in tmp:clockkey order) builder.Take(event);
//     const History history = builder.Finish();      // by application name
//     for (const ApplicationRuns& app : history) Summarise(app) ...
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

enum class RunOutcome { Finished, Failed, Skipped, Aborted, Unfinished };

// "finished", "failed", "skipped", "aborted", "unfinished".
std::string_view RunOutcomeName(RunOutcome outcome);

// A moment of the log: hundredths of a second since day 0 (day number and clock value).
std::int64_t EventMoment(std::int32_t date, std::int32_t clock);

struct Run {
    std::int32_t start_date = 0;  // of the first event (day number, clock value)
    std::int32_t start_clock = 0;
    std::int64_t start = 0;  // EventMoment of the first event
    std::int64_t end = 0;    // EventMoment of the last event
    RunOutcome outcome = RunOutcome::Unfinished;
    std::string event;  // the event that failed or skipped it (stored text)

    std::int64_t Duration() const { return end > start ? end - start : 0; }
};

// One application's runs in log order; its name as logged (TMP.Apps, stored text).
struct ApplicationRuns {
    std::string name;
    std::vector<Run> runs;
};

// Every application with at least one run, by name.
using History = std::vector<ApplicationRuns>;

class HistoryBuilder {
  public:
    // Takes the next event of the log.
    void Take(const TempFileRecord& event);
    void Take(std::string_view name, std::int32_t date, std::int32_t clock, std::string_view text);
    // Closes what is still open and hands the history over; the builder starts afresh.
    History Finish();

  private:
    struct Open {
        bool make = false;       // a make (else an import or export)
        std::size_t run = 0;     // its run, for a make
        bool contested = false;  // begun while another run of the name was open
        bool failed = false;     // an error or the wait limit was logged
    };
    struct Application {
        std::vector<Run> runs;
        std::optional<Open> open;
        // The last make closed, when it was contested: a second end unmasks it.
        std::optional<std::size_t> contested_closed;
    };

    static void Close(Application& app, RunOutcome outcome);
    static void Extend(Application& app, std::int64_t moment);

    std::unordered_map<std::string, Application> apps_;
};

// What --history and the History window show of one application.
struct ApplicationSummary {
    std::string name;
    int runs = 0;  // every run, whatever became of it
    int finished = 0;
    int failed = 0;
    int skipped = 0;
    int aborted = 0;
    int unfinished = 0;
    // finished / (finished + failed), as a fraction; none when neither happened.
    std::optional<double> success_rate;
    // Over the finished runs, in hundredths of a second; none without a finished run.
    std::optional<std::int64_t> last_duration;
    std::optional<std::int64_t> median_duration;
    std::optional<std::int64_t> slowest_duration;
    // The last run, whatever became of it.
    Run last_run;
};

ApplicationSummary Summarise(const ApplicationRuns& app);

// The median of `values` (the mean of the two middle ones, rounded down, for an even
// count); none when empty. `values` is reordered.
std::optional<std::int64_t> Median(std::vector<std::int64_t> values);

// The finished runs' median duration of each application that has one, by name.
std::unordered_map<std::string, std::int64_t> MedianDurations(const History& history);

// A duration for people: "0:42", "12:05", "1:02:09" (hours, minutes, seconds; rounded to
// the second).
std::string DurationText(std::int64_t hundredths);

}  // namespace zelt::app
