// The activity log as comma-separated values (zelt --log --csv), as RFC 4180 has them:
// every text field in double quotes, a double quote inside one doubled, line ends kept
// inside the quotes; lines end in LF. The texts are written as UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

// The header line of the listing.
inline constexpr std::string_view kCsvEventHeader = "Application,Date,Time,Event";

// One UTF-8 text as a quoted field.
std::string CsvField(std::string_view utf8);
// One event: the application, the date (yyyy/mm/dd), the time (hh:mm:ss, empty for no
// time) and the event text, the texts converted from stored text.
std::string CsvEventLine(const TempFileRecord& event);

}  // namespace zelt::app
