#include "runtime/values/day_number.hpp"

#include "runtime/values/clock_source.hpp"

namespace zelt::runtime {
namespace {

constexpr std::int32_t kDaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                               181, 212, 243, 273, 304, 334};
constexpr std::int32_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

std::int64_t LeapYearsUpTo(std::int64_t year) {
    return year / 4 - year / 100 + year / 400;
}

}  // namespace

bool IsLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

std::int32_t DaysInMonth(std::int64_t year, std::int32_t month) {
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDaysInMonth[month - 1];
}

std::int64_t WindowYear(std::int64_t year, std::int64_t current_year) {
    if (year < 0 || year >= 100) return year;
    std::int64_t candidate = current_year / 100 * 100 + year;
    const std::int64_t d = current_year % 100 - year;
    if (d <= -20) candidate -= 100;
    if (d > 80) candidate += 100;
    return candidate;
}

std::int64_t WindowYear(std::int64_t year) {
    if (year < 0 || year >= 100) return year;  // only two-digit years need the clock
    return WindowYear(year, CurrentClockSource().Now().year);
}

bool IsValidDate(const CalendarDate& date) {
    const auto year = WindowYear(date.year);
    return year >= 1801 && year <= 9999 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= DaysInMonth(year, date.month);
}

bool IsValidDayNumber(DayNumber day) {
    return day >= kFirstDayNumber && day <= kLastDayNumber;
}

DayNumber DateToDayNumber(const CalendarDate& date) {
    if (!IsValidDate(date)) return -1;
    const std::int64_t y = WindowYear(date.year);
    std::int64_t n = (y - 1801) * 365 + kDaysBeforeMonth[date.month - 1] + date.day + 3;
    n += LeapYearsUpTo(y) - LeapYearsUpTo(1800);
    if (date.month <= 2 && IsLeapYear(y)) n -= 1;
    return static_cast<DayNumber>(n);
}

DayNumber MakeDate(std::int64_t month, std::int64_t day, std::int64_t year) {
    year = WindowYear(year);
    while (month > 12) {
        month -= 12;
        year += 1;
    }
    if (month < 1 || year < 1801 || year > 9999) return -1;
    const auto first = DateToDayNumber(
        CalendarDate{static_cast<std::uint32_t>(year), static_cast<std::uint8_t>(month), 1});
    if (first < 0) return -1;
    const std::int64_t result = first + day - 1;
    if (result < kFirstDayNumber || result > kLastDayNumber) return -1;
    return static_cast<DayNumber>(result);
}

std::optional<CalendarDate> DayNumberToDate(DayNumber day) {
    if (!IsValidDayNumber(day)) return std::nullopt;
    // Estimate the year from below, then walk forward to the year that holds the day.
    std::int64_t year = 1801 + (static_cast<std::int64_t>(day) - kFirstDayNumber) / 366;
    auto first_of = [](std::int64_t y) {
        return DateToDayNumber(CalendarDate{static_cast<std::uint32_t>(y), 1, 1});
    };
    while (year < 9999 && first_of(year + 1) <= day) ++year;
    std::int32_t remaining = day - first_of(year);  // 0-based day of the year
    std::uint8_t month = 1;
    while (remaining >= DaysInMonth(year, month)) {
        remaining -= DaysInMonth(year, month);
        ++month;
    }
    return CalendarDate{static_cast<std::uint32_t>(year), month,
                        static_cast<std::uint8_t>(remaining + 1)};
}

std::int32_t DayOfWeek(DayNumber day) {
    // Day 0, 28 December 1800, was a Sunday.
    const auto r = day % 7;
    return r < 0 ? r + 7 : r;
}

ClockValue TimeToClock(const TimeOfDay& t) {
    if (t.hour + t.minute + t.second + t.hundredths == 0) return 0;
    if (t.hour > 23 || t.minute > 59 || t.second > 59 || t.hundredths > 99) return -1;
    return t.hour * 360000 + t.minute * 6000 + t.second * 100 + t.hundredths + 1;
}

std::optional<TimeOfDay> ClockToTime(ClockValue clock) {
    if (clock < 1 || clock > kLastClockValue) return std::nullopt;
    const ClockValue t = clock - 1;
    return TimeOfDay{static_cast<std::uint8_t>(t / 360000),
                     static_cast<std::uint8_t>(t / 6000 % 60),
                     static_cast<std::uint8_t>(t / 100 % 60), static_cast<std::uint8_t>(t % 100)};
}

DayNumber Today() {
    const auto now = CurrentClockSource().Now();
    return DateToDayNumber(CalendarDate{static_cast<std::uint32_t>(now.year),
                                        static_cast<std::uint8_t>(now.month),
                                        static_cast<std::uint8_t>(now.day)});
}

ClockValue Clock() {
    const auto now = CurrentClockSource().Now();
    // Midnight itself (all zero) is still a time of day here: it reads as 1.
    return now.hour * 360000 + now.minute * 6000 + now.second * 100 + now.millisecond / 10 + 1;
}

}  // namespace zelt::runtime
