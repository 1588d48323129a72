// How long the rest of a make batch will take, from the build history.
//
// The estimate is the sum of the median durations of the items not yet done: each item's
// application's median over its finished runs (MedianDurations), and for an item whose
// application has none, the median of those medians over the batch's items that have one.
// When no item of the batch has a finished run in the log there is no estimate at all
// rather than a guess. It is worked out afresh as items end, so a batch that runs faster or
// slower than its history sees the estimate follow. A make that drives several IDEs at once
// (ParallelIDEs) shares the items left among them: the sum is divided by the IDEs that have
// an item left, but never below the longest item left.
//
//     TimeLeft left(MedianDurations(history), {"A.APP", "B.APP", "C.APP"});
//     left.After(1)               // hundredths for B and C, or nothing
//     TimeLeftText(*left.After(1))   // "about 4 min left"
//
// The windows of a batch keep one BatchTimeLeft: the main window shows its text beside the
// progress bar, the headless mode prints it on standard error as each item ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

class TimeLeft {
  public:
    // `medians` by application name as logged (TMP.Apps, clipped); `items` the batch's
    // applications in the order it takes them.
    TimeLeft(const std::unordered_map<std::string, std::int64_t>& medians,
             const std::vector<std::string>& items);

    // Hundredths of a second left once the first `done` items have ended, with `ides` IDEs
    // making them; nothing without any history for the batch's items.
    std::optional<std::int64_t> After(int done, int ides = 1) const;

  private:
    std::vector<std::int64_t> expected_;  // per item
    bool known_ = false;
};

// "about 40 s left", "about 4 min left", "about 25 min left", "about 1 h 15 min left":
// seconds to the nearest 10 under a minute, minutes under ten minutes, five minutes under an
// hour, a quarter of an hour beyond; never less than "about 10 s".
std::string TimeLeftText(std::int64_t hundredths);

// The estimate as a batch's window keeps it: the medians read from the log before a make
// batch starts, the items when the batch names them, the text as items end.
class BatchTimeLeft {
  public:
    // Reads the history from the log (TEMPFILE) for the next batch; without a readable log
    // there is no estimate.
    void ReadHistory();
    void SetMedians(std::unordered_map<std::string, std::int64_t> medians);
    // No estimate for the next batch (an import or export).
    void Clear();
    // How many IDEs the next make drives at once.
    void SetIdes(int ides) { ides_ = ides; }
    // The batch's items (BatchWindow::BatchItems).
    void Items(const std::vector<AppsRecord>& items);
    // "about ... left" once `done` items have ended; empty without an estimate or when none
    // is left.
    std::string Text(int done) const;

  private:
    std::optional<std::unordered_map<std::string, std::int64_t>> medians_;
    std::optional<TimeLeft> left_;
    int ides_ = 1;
};

}  // namespace zelt::app
