#include "app/headless/batch_record.hpp"

#include <algorithm>
#include <array>

namespace zelt::app {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsFinished(std::string_view text) {
    static constexpr std::array<std::string_view, 5> kFinished = {
        "Make Finished", "Import DCT Finished", "Import APP Finished", "Export APP Finished",
        "Export DCT Finished"};
    return std::find(kFinished.begin(), kFinished.end(), text) != kFinished.end();
}

bool IsSkip(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kMissing = {
        ".APP not found", ".TXD not found", ".TXA not found", ".DCT not found"};
    return std::find(kMissing.begin(), kMissing.end(), text) != kMissing.end() ||
           StartsWith(text, "Skipped: ") || StartsWith(text, "Make Aborted: ");
}

std::int64_t Hundredths(const TempFileRecord& event) {
    const std::int64_t clock = event.Clock > 0 ? event.Clock - 1 : 0;
    return std::int64_t{event.Date} * 8640000 + clock;
}

}  // namespace

std::string_view OutcomeName(ItemOutcome outcome) {
    switch (outcome) {
        case ItemOutcome::Finished:
            return "finished";
        case ItemOutcome::Skipped:
            return "skipped";
        case ItemOutcome::Failed:
            return "failed";
        case ItemOutcome::Aborted:
            return "aborted";
        case ItemOutcome::Running:
            return "running";
        case ItemOutcome::NotReached:
            break;
    }
    return "not reached";
}

ItemOutcome OutcomeOfEvents(const std::vector<TempFileRecord>& events, std::string* reason) {
    const auto say = [reason](std::string text, ItemOutcome outcome) {
        if (reason) *reason = std::move(text);
        return outcome;
    };
    if (events.empty()) return say("Processing Aborted", ItemOutcome::Aborted);
    const std::string last = events.back().Event.Clip();
    if (IsFinished(last)) return say("", ItemOutcome::Finished);
    if (IsSkip(last)) return say(last, ItemOutcome::Skipped);
    if (StartsWith(last, "Begin ") || StartsWith(last, "Aborted: "))
        return say("Processing Aborted", ItemOutcome::Aborted);
    // The error that led to the failure says more than "Wait limit reached" after it.
    for (const TempFileRecord& event : events) {
        if (StartsWith(event.Event.View(), "Error ")) {
            return say(event.Event.Clip(), ItemOutcome::Failed);
        }
    }
    return say(last, ItemOutcome::Failed);
}

double SecondsBetween(const TempFileRecord& first, const TempFileRecord& last) {
    return static_cast<double>(std::max<std::int64_t>(0, Hundredths(last) - Hundredths(first))) /
           100.0;
}

void BatchRecord::ItemsChosen(const std::vector<AppsRecord>& items) {
    items_.clear();
    ended_ = 0;
    for (const AppsRecord& app : items) items_.push_back(ItemRecord{app, {}, {}, {}});
}

int BatchRecord::EventLogged(const TempFileRecord& event) {
    if (ended_ >= static_cast<int>(items_.size())) {
        loose_.push_back(event);
        return 0;
    }
    ItemRecord& item = items_[static_cast<std::size_t>(ended_)];
    item.events.push_back(event);
    item.outcome = ItemOutcome::Running;
    return ended_ + 1;
}

int BatchRecord::ItemsDone(int done) {
    const int last = std::min(done, static_cast<int>(items_.size()));
    if (last <= ended_) return 0;
    for (; ended_ < last; ++ended_) {
        ItemRecord& item = items_[static_cast<std::size_t>(ended_)];
        item.outcome = OutcomeOfEvents(item.events, &item.reason);
    }
    return last;
}

void BatchRecord::Finish(const BatchSummary& summary, double seconds, std::string_view end_status) {
    summary_ = summary;
    seconds_ = seconds;
    std::string why = "Processing Terminated";
    if (summary.aborted) {
        why = "Processing Aborted";
    } else if (!end_status.empty() && end_status != "Processing Complete") {
        why = end_status;
    }
    for (ItemRecord& item : items_) {
        if (item.outcome == ItemOutcome::Running) {
            // Left without an end (the batch stopped inside it): read what its events say.
            item.outcome = OutcomeOfEvents(item.events, &item.reason);
        } else if (item.outcome == ItemOutcome::NotReached) {
            item.reason = why;
        }
    }
}

}  // namespace zelt::app
