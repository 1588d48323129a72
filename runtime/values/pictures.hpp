// Date and time pictures: how day numbers and clock values are shown and typed.
//
// Date pictures 1..20 and time pictures 1..8 are written "@D<n>" and "@T<n>" (letters in
// either case). Pictures 17/18 (dates) and 7/8 (times) follow the regional settings. A zero
// value shows as blank, and blank text reads back as zero.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/values/day_number.hpp"

namespace zelt::runtime {

inline constexpr int kDatePictureCount = 20;
inline constexpr int kTimePictureCount = 8;

struct DateTimePicture {
    enum class Kind { Date, Time };
    Kind kind = Kind::Date;
    int number = 1;
};

// "@D8" -> {Date, 8}; "@t4" -> {Time, 4}. Trailing modifiers after the number are ignored.
// Nothing when the text is no date or time picture or the number is out of range.
std::optional<DateTimePicture> ParseDateTimePicture(std::string_view picture);

// Text of a day number under a date picture; blank for 0, an invalid day or picture.
std::string FormatDate(DayNumber day, int picture);
// Text of a clock value under a time picture; blank for 0, an invalid value or picture.
std::string FormatTime(ClockValue clock, int picture);
// Either, by picture text.
std::string FormatDateTime(std::int32_t value, const DateTimePicture& picture);

// The day number typed as text under a date picture: 0 for blank text, nothing when the
// text is no valid date. Pictures without a day give the first of the month.
std::optional<DayNumber> ParseDate(std::string_view text, int picture);
// The clock value typed as text under a time picture: 0 for blank text, nothing when the
// text is no valid time.
std::optional<ClockValue> ParseTime(std::string_view text, int picture);

// "January".."December" for 1..12; empty otherwise.
std::string_view MonthName(int month);
// "Sunday".."Saturday" for 0..6; empty otherwise.
std::string_view WeekdayName(int weekday);

}  // namespace zelt::runtime
