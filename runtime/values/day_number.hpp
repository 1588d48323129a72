// Day numbers and clock values: how dates and times are stored.
//
// A day number counts days since 28 December 1800 (1 January 1801 is day 4, 31 December
// 9999 is day 2994626). A clock value counts hundredths of a second since midnight plus
// one (00:00:00.01 is 2, 23:59:59.99 is 8640000); 0 means "no time". Both are stored in
// tables, so every implementation must produce the same numbers for the same moment.
#pragma once

#include <cstdint>
#include <optional>

namespace zelt::runtime {

using DayNumber = std::int32_t;
using ClockValue = std::int32_t;

inline constexpr DayNumber kFirstDayNumber = 4;         // 1 January 1801
inline constexpr DayNumber kLastDayNumber = 2994626;    // 31 December 9999
inline constexpr ClockValue kLastClockValue = 8640000;  // 23:59:59.99

struct CalendarDate {
    std::uint32_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
};

struct TimeOfDay {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t hundredths = 0;
};

bool IsLeapYear(std::int64_t year);
std::int32_t DaysInMonth(std::int64_t year, std::int32_t month);  // 0 for a month out of 1..12

// Places a year below 100 in the window of 100 years around the current year (of the
// installed clock); other years are returned unchanged.
std::int64_t WindowYear(std::int64_t year);
std::int64_t WindowYear(std::int64_t year, std::int64_t current_year);

bool IsValidDate(const CalendarDate& date);  // after windowing the year
bool IsValidDayNumber(DayNumber day);

// Day number of a calendar date, -1 when the date is invalid.
DayNumber DateToDayNumber(const CalendarDate& date);
// Day number of a date given by parts; month and day may run over. -1 when invalid.
DayNumber MakeDate(std::int64_t month, std::int64_t day, std::int64_t year);
// Calendar date of a valid day number.
std::optional<CalendarDate> DayNumberToDate(DayNumber day);
// 0 = Sunday .. 6 = Saturday.
std::int32_t DayOfWeek(DayNumber day);

// Clock value of a time, 0 for all-zero components, -1 for invalid components.
ClockValue TimeToClock(const TimeOfDay& time);
// Time of a clock value from 1 to 8640000; nothing for 0 or out of range.
std::optional<TimeOfDay> ClockToTime(ClockValue clock);

// The day number of the local date and the clock value of the local time of day.
DayNumber Today();
ClockValue Clock();

}  // namespace zelt::runtime
