#include "app/headless/json_events.hpp"

#include <array>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/headless/report_text.hpp"
#include "runtime/values/day_number.hpp"

namespace zelt::app {

std::string EventTimeIso(const TempFileRecord& event) {
    const std::optional<runtime::CalendarDate> date = runtime::DayNumberToDate(event.Date);
    if (!date) return {};
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%04u-%02u-%02u", date->year, unsigned{date->month},
                  unsigned{date->day});
    std::string iso = text.data();
    const std::optional<runtime::TimeOfDay> time = runtime::ClockToTime(event.Clock);
    if (event.Clock == 0 || !time) return iso;
    // The offset in force at that local time (summer time included).
    std::tm local{};
    local.tm_year = static_cast<int>(date->year) - 1900;
    local.tm_mon = date->month - 1;
    local.tm_mday = date->day;
    local.tm_hour = time->hour;
    local.tm_min = time->minute;
    local.tm_sec = time->second;
    local.tm_isdst = -1;
    long offset = 0;
    if (std::mktime(&local) != static_cast<std::time_t>(-1)) offset = local.tm_gmtoff;
    const char sign = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(text.data(), text.size(), "T%02u:%02u:%02u.%02u%c%02ld:%02ld",
                  unsigned{time->hour}, unsigned{time->minute}, unsigned{time->second},
                  unsigned{time->hundredths}, sign, minutes / 60, minutes % 60);
    return iso + text.data();
}

std::string EventJson(const TempFileRecord& event, int item, std::string_view outcome) {
    nlohmann::ordered_json line;
    line["time"] = EventTimeIso(event);
    line["application"] = ReportText(event.Apps.Clip());
    line["event"] = ReportText(event.Event.Clip());
    if (item > 0) line["item"] = item;
    if (!outcome.empty()) line["outcome"] = std::string(outcome);
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zelt::app
