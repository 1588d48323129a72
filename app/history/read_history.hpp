// The build history read from the activity log (run_history.hpp says how runs are told).
//
//     History history;
//     if (ReadHistory(history) != runtime::err::NoError) ... the runtime's error text says why
//
// The log is read through its file manager in date and time order (tmp:clockkey), waiting
// while another ZELT commits to it (RetryWhileBusy); the TMP record buffer and the table's
// open count are as they were afterwards, so a window that has the log open keeps it.
#pragma once

#include "app/history/run_history.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

// Fills `history` from TEMPFILE; the runtime's error code of the open or of a read that
// failed (0 when the whole log was read; `history` holds what was read either way).
runtime::ErrorCode ReadHistory(History& history);

}  // namespace zelt::app
