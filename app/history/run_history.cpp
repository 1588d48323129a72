#include "app/history/run_history.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "runtime/file/fixed_string.hpp"

namespace zelt::app {
namespace {

constexpr std::int64_t kHundredthsPerDay = 8640000;

// What an event says about the run of its application.
enum class Step {
    BeginMake,   // "Begin Make"
    BeginOther,  // "Begin DCT Import" and the other imports and exports
    SkipMake,    // ".APP not found", "Skipped: ...": a make skipped before it began
    SkipOther,   // ".TXD not found" and the other missing text files
    Finished,    // "Make Finished", "Import DCT Finished", ...
    NoTarget,    // "Make Aborted: ..."
    Aborted,     // "Aborted: ..."
    Error,       // "Error <code> <text>"
    WaitLimit,   // "Wait limit reached"
    Other,
};

Step StepOf(std::string_view text) {
    if (text == "Begin Make") return Step::BeginMake;
    if (text.starts_with("Begin ")) return Step::BeginOther;
    if (text == ".APP not found" || text.starts_with("Skipped: ")) return Step::SkipMake;
    if (text == ".TXD not found" || text == ".TXA not found" || text == ".DCT not found")
        return Step::SkipOther;
    if (text.ends_with(" Finished")) return Step::Finished;
    if (text.starts_with("Make Aborted: ")) return Step::NoTarget;
    if (text.starts_with("Aborted: ")) return Step::Aborted;
    if (text.starts_with("Error ")) return Step::Error;
    if (text == "Wait limit reached") return Step::WaitLimit;
    return Step::Other;
}

}  // namespace

std::string_view RunOutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Finished:
            return "finished";
        case RunOutcome::Failed:
            return "failed";
        case RunOutcome::Skipped:
            return "skipped";
        case RunOutcome::Aborted:
            return "aborted";
        case RunOutcome::Unfinished:
            break;
    }
    return "unfinished";
}

std::int64_t EventMoment(std::int32_t date, std::int32_t clock) {
    return std::int64_t{date} * kHundredthsPerDay + (clock > 0 ? clock - 1 : 0);
}

void HistoryBuilder::Take(const TempFileRecord& event) {
    Take(runtime::ClipText(event.Apps.View()), event.Date, event.Clock,
         runtime::ClipText(event.Event.View()));
}

void HistoryBuilder::Close(Application& app, RunOutcome outcome) {
    if (!app.open) return;
    const Open open = *app.open;
    app.open.reset();
    if (!open.make) return;
    app.runs[open.run].outcome = outcome;
    if (outcome == RunOutcome::Unfinished) app.runs[open.run].event.clear();
    app.contested_closed.reset();
    if (open.contested && outcome != RunOutcome::Unfinished) app.contested_closed = open.run;
}

void HistoryBuilder::Extend(Application& app, std::int64_t moment) {
    if (app.open && app.open->make) app.runs[app.open->run].end = moment;
}

void HistoryBuilder::Take(std::string_view name, std::int32_t date, std::int32_t clock,
                          std::string_view text) {
    const Step step = StepOf(text);
    if (step == Step::Other && !apps_.contains(std::string(name))) return;
    Application& app = apps_[std::string(name)];
    const std::int64_t moment = EventMoment(date, clock);
    const auto begin = [&](bool make) {
        bool contested = false;
        if (app.open) {
            contested = !app.open->failed;
            Close(app, app.open->failed ? RunOutcome::Failed : RunOutcome::Unfinished);
        }
        app.contested_closed.reset();
        Open open;
        open.make = make;
        open.contested = contested;
        if (make) {
            Run run;
            run.start_date = date;
            run.start_clock = clock;
            run.start = run.end = moment;
            open.run = app.runs.size();
            app.runs.push_back(std::move(run));
        }
        app.open = open;
    };
    // An end with no run open: a contested run closed before took an end that was not its.
    const auto unmask = [&] {
        if (app.contested_closed) {
            app.runs[*app.contested_closed].outcome = RunOutcome::Unfinished;
            app.runs[*app.contested_closed].event.clear();
        }
        app.contested_closed.reset();
    };
    const auto end = [&](RunOutcome outcome) {
        if (!app.open) return unmask();
        Extend(app, moment);
        if (app.open->failed) {
            // An end after a failure: two runs shared these events when it was contested.
            outcome = app.open->contested ? RunOutcome::Unfinished : RunOutcome::Failed;
        }
        Close(app, outcome);
    };
    switch (step) {
        case Step::BeginMake:
        case Step::BeginOther:
            begin(step == Step::BeginMake);
            break;
        case Step::SkipMake:
        case Step::SkipOther:
            begin(step == Step::SkipMake);
            if (app.open->make) app.runs[app.open->run].event = text;
            Close(app, RunOutcome::Skipped);
            break;
        case Step::Finished:
            end(RunOutcome::Finished);
            break;
        case Step::NoTarget:
            if (app.open && app.open->make && !app.open->failed)
                app.runs[app.open->run].event = text;
            end(RunOutcome::Skipped);
            break;
        case Step::Aborted:
            end(RunOutcome::Aborted);
            break;
        case Step::Error:
        case Step::WaitLimit:
            if (!app.open) {
                unmask();
            } else {
                Extend(app, moment);
                if (!app.open->failed && app.open->make) app.runs[app.open->run].event = text;
                app.open->failed = true;
            }
            break;
        case Step::Other:
            Extend(app, moment);
            break;
    }
}

History HistoryBuilder::Finish() {
    History history;
    for (auto& [name, app] : apps_) {
        if (app.open) Close(app, app.open->failed ? RunOutcome::Failed : RunOutcome::Unfinished);
        if (app.runs.empty()) continue;
        history.push_back({name, std::move(app.runs)});
    }
    apps_.clear();
    std::sort(history.begin(), history.end(),
              [](const ApplicationRuns& a, const ApplicationRuns& b) { return a.name < b.name; });
    return history;
}

std::optional<std::int64_t> Median(std::vector<std::int64_t> values) {
    if (values.empty()) return std::nullopt;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(middle), values.end());
    const std::int64_t upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const std::int64_t lower =
        *std::max_element(values.begin(), values.begin() + static_cast<long>(middle));
    return (lower + upper) / 2;
}

ApplicationSummary Summarise(const ApplicationRuns& app) {
    ApplicationSummary s;
    s.name = app.name;
    s.runs = static_cast<int>(app.runs.size());
    std::vector<std::int64_t> durations;
    for (const Run& run : app.runs) {
        switch (run.outcome) {
            case RunOutcome::Finished:
                ++s.finished;
                durations.push_back(run.Duration());
                s.last_duration = run.Duration();
                break;
            case RunOutcome::Failed:
                ++s.failed;
                break;
            case RunOutcome::Skipped:
                ++s.skipped;
                break;
            case RunOutcome::Aborted:
                ++s.aborted;
                break;
            case RunOutcome::Unfinished:
                ++s.unfinished;
                break;
        }
    }
    if (s.finished + s.failed > 0)
        s.success_rate = static_cast<double>(s.finished) / (s.finished + s.failed);
    if (!durations.empty())
        s.slowest_duration = *std::max_element(durations.begin(), durations.end());
    s.median_duration = Median(std::move(durations));
    if (!app.runs.empty()) s.last_run = app.runs.back();
    return s;
}

std::unordered_map<std::string, std::int64_t> MedianDurations(const History& history) {
    std::unordered_map<std::string, std::int64_t> medians;
    for (const ApplicationRuns& app : history) {
        std::vector<std::int64_t> durations;
        for (const Run& run : app.runs) {
            if (run.outcome == RunOutcome::Finished) durations.push_back(run.Duration());
        }
        if (const auto median = Median(std::move(durations))) medians[app.name] = *median;
    }
    return medians;
}

std::string DurationText(std::int64_t hundredths) {
    const std::int64_t seconds = (std::max<std::int64_t>(hundredths, 0) + 50) / 100;
    std::array<char, 32> text{};
    if (seconds >= 3600) {
        std::snprintf(
            text.data(), text.size(), "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(text.data(), text.size(), "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    }
    return text.data();
}

}  // namespace zelt::app
