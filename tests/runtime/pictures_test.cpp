#include "runtime/values/pictures.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "runtime/values/clock_source.hpp"
#include "runtime/values/regional_settings.hpp"

namespace zelt::runtime {
namespace {

class PicturesTest : public ::testing::Test {
  protected:
    void SetUp() override { SetRegionalSettings({}); }
    void TearDown() override { SetRegionalSettings({}); }
    ScopedClockSource clock_{
        std::make_shared<VirtualClockSource>(LocalDateTime{2026, 12, 7, 9, 0, 0, 0})};
    const DayNumber june15_2003_ = DateToDayNumber({2003, 6, 15});
    const DayNumber jan5_2003_ = DateToDayNumber({2003, 1, 5});
};

TEST_F(PicturesTest, PictureTextIsRecognised) {
    ASSERT_TRUE(ParseDateTimePicture("@D8").has_value());
    EXPECT_EQ(ParseDateTimePicture("@d17")->number, 17);
    EXPECT_EQ(ParseDateTimePicture("@T4")->kind, DateTimePicture::Kind::Time);
    EXPECT_EQ(ParseDateTimePicture("@D6-")->number, 6);
    EXPECT_FALSE(ParseDateTimePicture("@D0").has_value());
    EXPECT_FALSE(ParseDateTimePicture("@D21").has_value());
    EXPECT_FALSE(ParseDateTimePicture("@T9").has_value());
    EXPECT_FALSE(ParseDateTimePicture("@S20").has_value());
    EXPECT_FALSE(ParseDateTimePicture("D1").has_value());
}

TEST_F(PicturesTest, DatePicturesShowTheirTemplates) {
    const std::map<int, std::string> expected = {
        {1, "1/05/03"},         {2, "1/05/2003"},      {3, "Jan 5, 2003"},
        {4, "January 5, 2003"}, {5, "5/01/03"},        {6, "5/01/2003"},
        {7, "5 Jan 03"},        {8, "5 Jan 2003"},     {9, "03/01/05"},
        {10, "2003/01/05"},     {11, "030105"},        {12, "20030105"},
        {13, "1/03"},           {14, "1/2003"},        {15, "03/01"},
        {16, "2003/01"},        {17, "01/05/03"},      {18, "Sun, January 05, 2003"},
        {19, "5 January 2003"}, {20, "January 5 2003"}};
    for (const auto& [picture, text] : expected) {
        EXPECT_EQ(FormatDate(jan5_2003_, picture), text) << "@D" << picture;
    }
    EXPECT_EQ(FormatDate(0, 1), "");
    EXPECT_EQ(FormatDate(3, 1), "");
    EXPECT_EQ(FormatDate(jan5_2003_, 21), "");
    EXPECT_EQ(FormatDate(DateToDayNumber({2003, 9, 30}), 4), "September 30, 2003");
}

TEST_F(PicturesTest, TimePicturesShowTheirTemplates) {
    const ClockValue morning = TimeToClock({9, 5, 7, 42});
    const ClockValue evening = TimeToClock({21, 5, 7, 0});
    EXPECT_EQ(FormatTime(morning, 1), "09:05");
    EXPECT_EQ(FormatTime(morning, 2), "0905");
    EXPECT_EQ(FormatTime(morning, 3), "9:05AM");
    EXPECT_EQ(FormatTime(evening, 3), "9:05PM");
    EXPECT_EQ(FormatTime(morning, 4), "09:05:07");
    EXPECT_EQ(FormatTime(evening, 5), "210507");
    EXPECT_EQ(FormatTime(evening, 6), "9:05:07PM");
    EXPECT_EQ(FormatTime(morning, 7), "09:05 AM");
    EXPECT_EQ(FormatTime(evening, 8), "09:05:07 PM");
    EXPECT_EQ(FormatTime(TimeToClock({0, 30, 0, 0}), 3), "12:30AM");
    EXPECT_EQ(FormatTime(TimeToClock({12, 30, 0, 0}), 3), "12:30PM");
    EXPECT_EQ(FormatTime(0, 4), "");
    EXPECT_EQ(FormatTime(-1, 4), "");
    EXPECT_EQ(FormatTime(kLastClockValue + 1, 4), "");
}

TEST_F(PicturesTest, EveryDatePictureRoundTrips) {
    // Dates inside the two-digit year window (around 2026: 1946..2045), and at the ends of
    // months and years.
    const CalendarDate samples[] = {{2003, 1, 5},  {2003, 6, 15},  {1999, 12, 31},
                                    {2000, 2, 29}, {2045, 11, 30}, {1946, 3, 1}};
    for (const auto& date : samples) {
        const DayNumber day = DateToDayNumber(date);
        const DayNumber first_of_month = DateToDayNumber({date.year, date.month, 1});
        for (int picture = 1; picture <= kDatePictureCount; ++picture) {
            const auto text = FormatDate(day, picture);
            const auto back = ParseDate(text, picture);
            ASSERT_TRUE(back.has_value()) << "@D" << picture << " '" << text << "'";
            const bool has_day = picture < 13 || picture > 16;
            EXPECT_EQ(*back, has_day ? day : first_of_month) << "@D" << picture << " " << text;
        }
    }
}

TEST_F(PicturesTest, EveryTimePictureRoundTrips) {
    for (ClockValue c = 1; c <= kLastClockValue; c += 86413) {
        for (int picture = 1; picture <= kTimePictureCount; ++picture) {
            const auto text = FormatTime(c, picture);
            const auto back = ParseTime(text, picture);
            ASSERT_TRUE(back.has_value()) << "@T" << picture << " '" << text << "'";
            EXPECT_EQ(FormatTime(*back == 0 ? 1 : *back, picture), text)
                << "@T" << picture << " clock " << c;
        }
    }
}

TEST_F(PicturesTest, TypedDatesAreReadLeniently) {
    EXPECT_EQ(ParseDate("", 1), 0);
    EXPECT_EQ(ParseDate("   ", 8), 0);
    EXPECT_EQ(ParseDate("6/15/03", 1), june15_2003_);
    EXPECT_EQ(ParseDate("06-15-2003", 2), june15_2003_);
    EXPECT_EQ(ParseDate("061503", 1), june15_2003_);
    EXPECT_EQ(ParseDate("15 june 2003", 8), june15_2003_);
    EXPECT_EQ(ParseDate("20030615", 12), june15_2003_);
    EXPECT_EQ(ParseDate("030615", 12), june15_2003_);
    EXPECT_EQ(ParseDate("Sunday, June 15, 2003", 18), june15_2003_);
    EXPECT_EQ(ParseDate("June 15, 2003", 18), june15_2003_);
    EXPECT_FALSE(ParseDate("2/30/03", 1).has_value());
    EXPECT_FALSE(ParseDate("2/29/1900", 2).has_value());
    EXPECT_FALSE(ParseDate("13/01/03", 1).has_value());
    EXPECT_FALSE(ParseDate("15 Jux 2003", 8).has_value());
    EXPECT_FALSE(ParseDate("1/2/3/4", 1).has_value());
    EXPECT_FALSE(ParseDate("1/2", 1).has_value());
    EXPECT_FALSE(ParseDate("1/1/1800", 2).has_value());
}

TEST_F(PicturesTest, TypedTimesAreReadLeniently) {
    EXPECT_EQ(ParseTime("", 4), 0);
    EXPECT_EQ(ParseTime("9:30", 1), TimeToClock({9, 30, 0, 0}));
    EXPECT_EQ(ParseTime("930", 2), TimeToClock({9, 30, 0, 0}));
    EXPECT_EQ(ParseTime("9:30pm", 3), TimeToClock({21, 30, 0, 0}));
    EXPECT_EQ(ParseTime("12:10 AM", 3), TimeToClock({0, 10, 0, 0}));
    EXPECT_EQ(ParseTime("12:10 p", 3), TimeToClock({12, 10, 0, 0}));
    EXPECT_EQ(ParseTime("23:59:59.99", 4), kLastClockValue);
    EXPECT_EQ(ParseTime("00:00", 1), 0);
    EXPECT_FALSE(ParseTime("24:00", 1).has_value());
    EXPECT_FALSE(ParseTime("10:60", 1).has_value());
    EXPECT_FALSE(ParseTime("13:00 PM", 3).has_value());
    EXPECT_FALSE(ParseTime("ten", 1).has_value());
}

TEST_F(PicturesTest, RegionalSettingsShapeTheRegionalPictures) {
    std::map<std::string, std::string> intl = {{"iTime", "1"},
                                               {"iTLzero", "0"},
                                               {"sTime", "."},
                                               {"s1159", "morning"},
                                               {"sShortDate", "dd.MM.yyyy"},
                                               {"sLongDate", "dddd d MMMM yyyy"}};
    auto settings = RegionalSettingsFrom([&](std::string_view key) -> std::optional<std::string> {
        const auto it = intl.find(std::string(key));
        if (it == intl.end()) return std::nullopt;
        return it->second;
    });
    EXPECT_EQ(settings.am_marker, "mo");  // at most two characters are kept
    EXPECT_EQ(settings.pm_marker, "PM");  // a missing key keeps its default
    SetRegionalSettings(settings);

    EXPECT_EQ(FormatDate(june15_2003_, 17), "15.06.2003");
    EXPECT_EQ(FormatDate(june15_2003_, 18), "Sunday 15 June 2003");
    EXPECT_EQ(ParseDate("15.06.2003", 17), june15_2003_);
    EXPECT_EQ(ParseDate("Sunday 15 June 2003", 18), june15_2003_);
    EXPECT_EQ(FormatTime(TimeToClock({7, 5, 9, 0}), 8), "7.05.09");
    EXPECT_EQ(FormatTime(TimeToClock({19, 5, 9, 0}), 7), "19.05");

    const auto shape = AnalyseShortDate("yyyy-MM-dd");
    EXPECT_EQ(std::string(shape.order, 3), "yMd");
    EXPECT_EQ(shape.separator, "-");
    EXPECT_TRUE(shape.four_digit_year);
    EXPECT_TRUE(shape.day_leading_zero);
}

TEST_F(PicturesTest, RegionalSettingsAreReadOnce) {
    int reads = 0;
    InstallRegionalSettingsLoader([&](std::string_view) -> std::optional<std::string> {
        ++reads;
        return std::nullopt;
    });
    // Already read by SetUp: the loader is not consulted again.
    EXPECT_EQ(CurrentRegionalSettings().short_date, "MM/dd/yy");
    EXPECT_EQ(reads, 0);
    InstallRegionalSettingsLoader(nullptr);
}

}  // namespace
}  // namespace zelt::runtime
