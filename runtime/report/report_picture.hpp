// Values printed under a picture on a report.
//
//   "@D8", "@T4"   dates and times (day numbers, clock values), as lists and entries show them
//   "@n3"          a whole number right-aligned in 3 places; "@n03" fills them with zeros;
//                  a negative number keeps its sign; one too wide for its places shows "###"
//   "@s40"         a text cut to 40 characters
//   anything else  the installed picture formatter (or the value as it is)
#pragma once

#include <string>
#include <string_view>

namespace zelt::runtime {

std::string FormatReportValue(std::string_view value, std::string_view picture);

}  // namespace zelt::runtime
