// Events as JSON lines (--json): one object per event, on one line, for scripts and CI
// engines to read instead of the plain event lines.
//
//   {"time":"2026-12-08T05:17:39.42+01:00","application":"ORDERS.APP","event":"Begin
//   Make","item":1}
//   {"time":"2026-12-08T05:17:41.07+01:00","application":"ORDERS.APP","event":"Make
//   Finished","item":1,"outcome":"finished"}
//
// `time` is the event's date and time of day in ISO 8601 with the local offset (the date
// alone for an event stored without a time); `item` the number of the batch's item (from
// 1) the event belongs to, left out outside a batch (zelt --log --json) and for an event
// outside every item; `outcome` ("finished", "skipped", "failed", "aborted") only on the
// event that ended its item. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

// The ISO 8601 form of a logged event's date and time, with the local offset.
std::string EventTimeIso(const TempFileRecord& event);

// One event as a line of JSON (without the line end); `item` 0 and `outcome` empty leave
// those out.
std::string EventJson(const TempFileRecord& event, int item, std::string_view outcome);

}  // namespace zelt::app
