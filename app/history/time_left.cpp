#include "app/history/time_left.hpp"

#include <algorithm>

#include "app/history/read_history.hpp"

namespace zelt::app {

TimeLeft::TimeLeft(const std::unordered_map<std::string, std::int64_t>& medians,
                   const std::vector<std::string>& items) {
    std::vector<std::int64_t> known;
    std::vector<std::optional<std::int64_t>> per_item;
    for (const std::string& name : items) {
        const auto found = medians.find(name);
        if (found != medians.end()) {
            known.push_back(found->second);
            per_item.emplace_back(found->second);
        } else {
            per_item.emplace_back();
        }
    }
    known_ = !known.empty();
    const std::int64_t fallback = Median(std::move(known)).value_or(0);
    for (const auto& expected : per_item) expected_.push_back(expected.value_or(fallback));
}

std::optional<std::int64_t> TimeLeft::After(int done, int ides) const {
    if (!known_) return std::nullopt;
    std::int64_t left = 0;
    std::int64_t longest = 0;
    std::int64_t items = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max(done, 0)); i < expected_.size(); ++i) {
        left += expected_[i];
        longest = std::max(longest, expected_[i]);
        ++items;
    }
    const std::int64_t sharing = std::min<std::int64_t>(std::max(ides, 1), items);
    if (sharing <= 1) return left;
    return std::max((left + sharing - 1) / sharing, longest);
}

std::string TimeLeftText(std::int64_t hundredths) {
    const std::int64_t seconds = (std::max<std::int64_t>(hundredths, 0) + 50) / 100;
    const auto nearest = [](std::int64_t value, std::int64_t step) {
        return (value + step / 2) / step * step;
    };
    if (seconds < 55)
        return "about " + std::to_string(std::max<std::int64_t>(nearest(seconds, 10), 10)) +
               " s left";
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 10) return "about " + std::to_string(minutes) + " min left";
    if (minutes < 58) return "about " + std::to_string(nearest(minutes, 5)) + " min left";
    const std::int64_t quarters = nearest(minutes, 15);
    std::string text = "about " + std::to_string(quarters / 60) + " h";
    if (quarters % 60 != 0) text += " " + std::to_string(quarters % 60) + " min";
    return text + " left";
}

void BatchTimeLeft::ReadHistory() {
    History history;
    medians_.reset();
    if (app::ReadHistory(history) == runtime::err::NoError) medians_ = MedianDurations(history);
}

void BatchTimeLeft::SetMedians(std::unordered_map<std::string, std::int64_t> medians) {
    medians_ = std::move(medians);
}

void BatchTimeLeft::Clear() {
    medians_.reset();
    left_.reset();
}

void BatchTimeLeft::Items(const std::vector<AppsRecord>& items) {
    left_.reset();
    if (!medians_) return;
    std::vector<std::string> names;
    for (const AppsRecord& item : items)
        names.push_back(FixedString<40>(item.Application.Clip()).Clip());
    left_.emplace(*medians_, names);
}

std::string BatchTimeLeft::Text(int done) const {
    if (!left_) return {};
    const std::optional<std::int64_t> left = left_->After(done, ides_);
    if (!left || *left <= 0) return {};
    return TimeLeftText(*left);
}

}  // namespace zelt::app
