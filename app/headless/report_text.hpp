// Texts of the tables on their way into the machine-readable reports (JUnit XML, JSON
// lines): stored text becomes UTF-8, and the control characters that XML 1.0 cannot carry
// (all below 32 but tab, line feed and carriage return) are written as "<XX>", so that a
// report always parses and no character is silently lost.
#pragma once

#include <string>
#include <string_view>

namespace zelt::app {

std::string ReportText(std::string_view stored);

}  // namespace zelt::app
