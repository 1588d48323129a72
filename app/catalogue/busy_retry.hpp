// Tables that another ZELT uses at the same time: while it commits to one, it holds the
// table's locks for a moment, and a read, a write or an open here is refused ("Access
// Denied", a file or record lock). Such a refusal passes by itself, so these helpers try
// again after 5 ms, then after twice as long each time (at most half a second apart), until
// about three seconds have been slept; only then does the refusal stand.
//
//     const runtime::ErrorCode code = RetryWhileBusy([] { return TempFile.Next(); });
#pragma once

#include <cstdint>
#include <functional>

#include "framework/file_manager.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

inline constexpr std::int64_t kBusyRetryMs = 3000;

// True for the refusals that another station's locks cause.
bool RefusedForNow(runtime::ErrorCode code);

// Runs `attempt` until it answers anything but a refusal for now, or `budget_ms` of pauses
// have passed; its last code.
runtime::ErrorCode RetryWhileBusy(const std::function<runtime::ErrorCode()>& attempt,
                                  std::int64_t budget_ms = kBusyRetryMs);

// The next record of `table` in its order, tried again while another station refuses the
// read for now; the end of the table (RecordNotAvailable) answers at once.
runtime::ErrorCode NextWhenFree(runtime::Table& table);

// Opens `manager`'s table on the disk as the manager would (its open mode), waiting while
// another process keeps it refused; the manager's own open then finds it open. A table that
// stays refused, or fails otherwise, is left to the manager's open, which says why (and
// falls back to reading where it may). Nothing happens when the table is open already.
void OpenWhenFree(framework::FileManager& manager);

}  // namespace zelt::app
