#include "runtime/values/day_number.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "runtime/values/clock_source.hpp"

namespace zelt::runtime {
namespace {

class DayNumberTest : public ::testing::Test {
  protected:
    // A fixed "now" so that the two-digit year window is the same on every run.
    ScopedClockSource clock_{
        std::make_shared<VirtualClockSource>(LocalDateTime{2003, 6, 15, 10, 30, 0, 0})};
};

TEST_F(DayNumberTest, CalendarBoundaries) {
    EXPECT_EQ(DateToDayNumber({1801, 1, 1}), 4);
    EXPECT_EQ(DateToDayNumber({1801, 3, 1}), 63);
    EXPECT_EQ(DateToDayNumber({9999, 12, 31}), 2994626);
    EXPECT_TRUE(IsValidDayNumber(2994626));
    EXPECT_FALSE(IsValidDayNumber(3));
    EXPECT_FALSE(IsValidDayNumber(2994627));
    EXPECT_FALSE(DayNumberToDate(3).has_value());
    EXPECT_EQ(DateToDayNumber({1800, 12, 31}), -1);
    EXPECT_EQ(DateToDayNumber({10000, 1, 1}), -1);
    EXPECT_EQ(DateToDayNumber({2003, 0, 1}), -1);
    EXPECT_EQ(DateToDayNumber({2003, 13, 1}), -1);
    EXPECT_EQ(DateToDayNumber({2003, 4, 31}), -1);
    EXPECT_EQ(DateToDayNumber({2003, 4, 0}), -1);
}

TEST_F(DayNumberTest, LeapYears) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2004));
    EXPECT_FALSE(IsLeapYear(2003));
    EXPECT_NE(DateToDayNumber({2000, 2, 29}), -1);
    EXPECT_EQ(DateToDayNumber({1900, 2, 29}), -1);
    EXPECT_EQ(DateToDayNumber({2000, 3, 1}) - DateToDayNumber({2000, 2, 28}), 2);
    EXPECT_EQ(DateToDayNumber({1900, 3, 1}) - DateToDayNumber({1900, 2, 28}), 1);
    // A leap year's January and February are not yet shifted by its own leap day.
    EXPECT_EQ(DateToDayNumber({2004, 1, 1}) - DateToDayNumber({2003, 12, 31}), 1);
    EXPECT_EQ(DateToDayNumber({2005, 1, 1}) - DateToDayNumber({2004, 1, 1}), 366);
}

TEST_F(DayNumberTest, EveryDayNumberRoundTrips) {
    DayNumber expected = kFirstDayNumber;
    for (std::uint32_t year = 1801; year <= 9999; ++year) {
        for (std::uint8_t month = 1; month <= 12; ++month) {
            const auto days = DaysInMonth(year, month);
            for (std::uint8_t day = 1; day <= days; ++day) {
                const CalendarDate date{year, month, day};
                ASSERT_EQ(DateToDayNumber(date), expected) << year << '-' << +month << '-' << +day;
                if (day == 1 || expected % 97 == 0) {
                    const auto back = DayNumberToDate(expected);
                    ASSERT_TRUE(back.has_value());
                    ASSERT_EQ(back->year, year);
                    ASSERT_EQ(back->month, month);
                    ASSERT_EQ(back->day, day);
                }
                ++expected;
            }
        }
    }
    EXPECT_EQ(expected - 1, kLastDayNumber);
}

TEST_F(DayNumberTest, MakeDateRunsOver) {
    const auto feb1 = DateToDayNumber({2003, 2, 1});
    EXPECT_EQ(MakeDate(14, 1, 2002), feb1);
    EXPECT_EQ(MakeDate(1, 32, 2003), feb1);
    EXPECT_EQ(MakeDate(2, 0, 2003), DateToDayNumber({2003, 1, 31}));
    EXPECT_EQ(MakeDate(12, 32, 9999), -1);
    EXPECT_EQ(MakeDate(1, 1, 1801), 4);
    EXPECT_EQ(MakeDate(1, 0, 1801), -1);
    EXPECT_EQ(MakeDate(0, 1, 2003), -1);
    EXPECT_EQ(MakeDate(1, 1, 3), DateToDayNumber({2003, 1, 1}));
}

TEST_F(DayNumberTest, TwoDigitYearWindowFollowsTheClock) {
    EXPECT_EQ(WindowYear(22), 2022);
    EXPECT_EQ(WindowYear(23), 1923);
    EXPECT_EQ(WindowYear(3), 2003);
    EXPECT_EQ(WindowYear(99), 1999);
    EXPECT_EQ(WindowYear(1999), 1999);
    EXPECT_EQ(DateToDayNumber({22, 1, 1}), DateToDayNumber({2022, 1, 1}));

    ScopedClockSource later{
        std::make_shared<VirtualClockSource>(LocalDateTime{2095, 1, 1, 0, 0, 0, 0})};
    EXPECT_EQ(WindowYear(14), 2114);
    EXPECT_EQ(WindowYear(15), 2015);
    EXPECT_EQ(WindowYear(95), 2095);
    // d = 95 - 0 > 80: the window moves into the next century.
    EXPECT_EQ(WindowYear(0), 2100);
}

TEST_F(DayNumberTest, ClockLimits) {
    EXPECT_EQ(TimeToClock({0, 0, 0, 0}), 0);
    EXPECT_EQ(TimeToClock({0, 0, 0, 1}), 2);
    EXPECT_EQ(TimeToClock({23, 59, 59, 99}), 8640000);
    EXPECT_EQ(TimeToClock({24, 0, 0, 0}), -1);
    EXPECT_EQ(TimeToClock({0, 60, 0, 0}), -1);
    EXPECT_EQ(TimeToClock({0, 0, 60, 0}), -1);
    EXPECT_EQ(TimeToClock({0, 0, 0, 100}), -1);
    EXPECT_FALSE(ClockToTime(0).has_value());
    EXPECT_FALSE(ClockToTime(8640001).has_value());
    const auto t = ClockToTime(8640000);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->hour, 23);
    EXPECT_EQ(t->minute, 59);
    EXPECT_EQ(t->second, 59);
    EXPECT_EQ(t->hundredths, 99);
    for (ClockValue c = 1; c <= kLastClockValue; c += 997) {
        ASSERT_EQ(TimeToClock(*ClockToTime(c)), c == 1 ? 0 : c);
    }
}

TEST_F(DayNumberTest, TodayAndClockReadTheInstalledClock) {
    auto clock = std::make_shared<VirtualClockSource>(LocalDateTime{2026, 12, 31, 23, 59, 59, 995});
    ScopedClockSource scoped{clock};
    EXPECT_EQ(Today(), DateToDayNumber({2026, 12, 31}));
    EXPECT_EQ(Clock(), 8640000);
    clock->AdvanceMs(5);
    EXPECT_EQ(Today(), DateToDayNumber({2027, 1, 1}));
    EXPECT_EQ(Clock(), 1);
    clock->AdvanceMs(12'345);
    EXPECT_EQ(Clock(), TimeToClock({0, 0, 12, 34}));
    EXPECT_EQ(clock->MonotonicMs(), 12'350);
    EXPECT_EQ(DayOfWeek(DateToDayNumber({2026, 12, 7})), 1);  // a Monday
    EXPECT_EQ(DayOfWeek(4), 4);                               // 1 January 1801, a Thursday
}

}  // namespace
}  // namespace zelt::runtime
