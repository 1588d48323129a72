// Regional settings for date and time pictures.
//
// Read once per process from the "intl" section of the per-user profile (a loader is
// installed by whoever owns the profile service); until then, and for any missing key,
// the defaults below apply.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::runtime {

struct RegionalSettings {
    int time_format = 0;                  // "iTime": 0 = 12-hour clock with markers, 1 = 24-hour
    int time_leading_zero = 1;            // "iTLzero": 1 = hours below 10 get a leading zero
    std::string time_separator = ":";     // "sTime"
    std::string am_marker = "AM";         // "s1159", at most 2 characters kept
    std::string pm_marker = "PM";         // "s2359", at most 2 characters kept
    std::string short_date = "MM/dd/yy";  // "sShortDate", up to 255 characters
    std::string long_date = "ddd', 'MMMM' 'dd', 'yyyy";  // "sLongDate", up to 255 characters
};

// Looks up one key of the "intl" section; nothing when the key is absent.
using IntlLookup = std::function<std::optional<std::string>(std::string_view key)>;

// Builds settings from a section, with the defaults and length limits applied.
RegionalSettings RegionalSettingsFrom(const IntlLookup& intl);

// The settings in force. The first call reads them through the installed loader (or takes
// the defaults when none is installed); later calls return the same settings.
const RegionalSettings& CurrentRegionalSettings();

// Installs the reader of the "intl" section; takes effect if the settings were not read yet.
void InstallRegionalSettingsLoader(IntlLookup intl);

// Replaces the settings in force (tests, or a profile that changed while running).
void SetRegionalSettings(RegionalSettings settings);

// What the short date format asks for: which parts come in which order, and their widths.
struct ShortDateShape {
    char order[3] = {'M', 'd', 'y'};  // 'M', 'd', 'y' in the order the format names them
    bool day_leading_zero = false;    // "dd"
    bool month_leading_zero = false;  // "MM"
    bool four_digit_year = false;     // "yyyy"
    std::string separator = "/";
};
ShortDateShape AnalyseShortDate(std::string_view format);

}  // namespace zelt::runtime
