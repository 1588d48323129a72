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

// The events that open an item: the first each item logs.
bool OpensItem(std::string_view text) {
    return StartsWith(text, "Begin ") || (IsSkip(text) && !StartsWith(text, "Make Aborted: "));
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
    const std::string name = event.Apps.Clip();
    const bool opens = OpensItem(event.Event.Clip());
    const auto named = [&](const ItemRecord& item) {
        return FixedString<kEventNameLength>(item.app.Application.Clip()).Clip() == name;
    };
    const auto opened = [](const ItemRecord& item) {
        return std::any_of(item.events.begin(), item.events.end(),
                           [](const TempFileRecord& e) { return OpensItem(e.Event.Clip()); });
    };
    const auto take = [&](std::size_t i) {
        items_[i].events.push_back(event);
        items_[i].outcome = ItemOutcome::Running;
        return static_cast<int>(i) + 1;
    };
    // The latest item of that name already opened, for an event within an item; items made
    // at the same time interleave their events.
    if (!opens) {
        for (std::size_t i = items_.size(); i-- > 0;) {
            if (named(items_[i]) && opened(items_[i])) return take(i);
        }
    }
    // Else the first item of that name not yet opened: the next one the batch takes.
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (named(items_[i]) && !opened(items_[i])) return take(i);
    }
    loose_.push_back(event);
    return 0;
}

void BatchRecord::ItemsDone(int done) {
    ended_ = std::max(ended_, std::min(done, static_cast<int>(items_.size())));
}

bool BatchRecord::Ended(int number) const {
    if (number <= 0 || number > static_cast<int>(items_.size())) return false;
    const std::vector<TempFileRecord>& events = items_[static_cast<std::size_t>(number - 1)].events;
    if (events.empty()) return number <= ended_;
    return !StartsWith(events.back().Event.View(), "Begin ");
}

ItemOutcome BatchRecord::OutcomeOf(int number) const {
    if (number <= 0 || number > static_cast<int>(items_.size())) return ItemOutcome::NotReached;
    const ItemRecord& item = items_[static_cast<std::size_t>(number - 1)];
    if (item.events.empty()) return item.outcome;
    return OutcomeOfEvents(item.events, nullptr);
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
        if (!item.events.empty()) {
            item.outcome = OutcomeOfEvents(item.events, &item.reason);
        } else {
            item.outcome = ItemOutcome::NotReached;
            item.reason = why;
        }
    }
}

}  // namespace zelt::app
