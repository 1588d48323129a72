// What a browse hands to its view: filter expressions from ranges and named filters, and
// the thumb's distributions between percentiles and key values.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/browse/view_manager.hpp"

namespace zelt::framework {
namespace {

runtime::Binding Fixed(std::string value) {
    return runtime::Show([value] { return value; });
}

ViewField Text(std::string label, bool no_case = false) {
    return ViewField{std::move(label), {}, true, no_case};
}

TEST(BrowseFilterTest, RangesAndNamedFiltersMakeOneExpression) {
    SortOrder order;
    EXPECT_EQ(BuildFilterExpression(order), "");

    order.Limit = LimitType::Fixed;
    order.RangeList.push_back({ViewField{"APPS1:P_Ref", {}, false, false}, Fixed(" 12 "), {}});
    order.RangeList.push_back({Text("APPS1:Application", true), Fixed("o'brien.app   "), {}});
    EXPECT_EQ(BuildFilterExpression(order),
              "APPS1:P_Ref = 12 AND UPPER(APPS1:Application) = 'O''BRIEN.APP'");

    order.Limit = LimitType::Between;
    order.RangeList.back().high = Fixed("t");
    EXPECT_EQ(BuildFilterExpression(order),
              "APPS1:P_Ref = 12 AND UPPER(APPS1:Application) >= 'O''BRIEN.APP' AND "
              "UPPER(APPS1:Application) <= 'T'");

    order.Filter = {{"tagged", "APP:Tag = 1"}, {"big", "APP:Priority > 5"}};
    order.RangeList.clear();
    order.Limit = LimitType::None;
    EXPECT_EQ(BuildFilterExpression(order), "(APP:Tag = 1) AND (APP:Priority > 5)");
}

TEST(BrowseFilterTest, ACurrentLimitTakesTheFieldsOwnValueAndLongExpressionsAreNeverCut) {
    std::string project = "Build tools";
    SortOrder order;
    order.Limit = LimitType::Current;
    order.RangeList.push_back(
        {ViewField{"PRO:ProjectName", runtime::Use(project), true, false}, {}, {}});
    EXPECT_EQ(BuildFilterExpression(order), "PRO:ProjectName = 'Build tools'");

    // A cut expression would mean something else: a long one is kept whole (the view
    // refuses it), and the range part stands on its own.
    order.Filter = {{"long", std::string(6000, 'x')}};
    EXPECT_EQ(BuildFilterExpression(order).size(), 6038u);
    EXPECT_EQ(BuildRangeExpression(order), "PRO:ProjectName = 'Build tools'");
}

TEST(BrowseDistributionTest, NamesTableSpreadsSurnames) {
    const auto& names = StepDistribution::NameTable();
    ASSERT_EQ(names.size(), 100u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    StepDistribution d(LookupMode::Names, step::Letters, "X:");
    EXPECT_EQ(d.ValueOf(1), "X:   ");
    EXPECT_EQ(d.ValueOf(100), "X:YOR");
    EXPECT_EQ(d.ValueOf(0), "X:   ") << "out of range is held at the ends";
    EXPECT_EQ(d.PercentileOf("X:miller"), 61) << "MIL";
    EXPECT_EQ(d.PercentileOf("X:Mil"), 61);
    EXPECT_EQ(d.PercentileOf("X:Mik"), 60) << "the last entry not above the value";
    EXPECT_EQ(d.PercentileOf("X:"), 1);
    EXPECT_EQ(d.PercentileOf("X:zz"), 100);
    for (int p = 1; p <= 100; ++p) EXPECT_EQ(d.PercentileOf(d.ValueOf(p)), p);
}

TEST(BrowseDistributionTest, ADescendingKeyRunsTheOtherWay) {
    StepDistribution d(LookupMode::Names, step::Letters | step::Descending);
    EXPECT_EQ(d.ValueOf(1), "WOL") << "the thumb at the top maps to the last entries";
    EXPECT_EQ(d.ValueOf(100), "   ") << "100 - 100 is 0, read as 1";
    EXPECT_EQ(d.ValueOf(99), "   ");
    for (int p = 1; p <= 99; ++p) EXPECT_EQ(d.PercentileOf(d.ValueOf(p)), p);

    NumericDistribution n(0, 990, step::Descending);
    EXPECT_EQ(n.ValueOf(1), "980");
    EXPECT_EQ(n.PercentileOf("980"), 1);
}

TEST(BrowseDistributionTest, AlphabeticTableHoldsTheFirstHundredEntries) {
    const auto& t = StepDistribution::AlphabeticTable();
    ASSERT_EQ(t.size(), 100u);
    EXPECT_EQ(t[0], "  ");
    EXPECT_EQ(t[3], "AT");
    EXPECT_EQ(t[4], "B ");
    EXPECT_EQ(t[99], "YT");
    EXPECT_TRUE(std::is_sorted(t.begin(), t.end()));
    StepDistribution d(LookupMode::Alphabetic, step::Letters);
    EXPECT_EQ(d.PercentileOf("Zebra"), 100);
    EXPECT_EQ(d.PercentileOf("bz"), 8) << "\"BT\"";
}

TEST(BrowseDistributionTest, FromTheDataTableAndKeyNumbers) {
    StepDistribution d(LookupMode::FromData, step::Letters | step::Digits);
    EXPECT_EQ(d.TestLen, 4);
    EXPECT_EQ(d.SortChars, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    std::vector<std::string> values;
    for (char c = 'A'; c <= 'J'; ++c)
        for (int i = 0; i < 10; ++i) values.push_back(std::string(1, c) + std::to_string(i) + "XY");
    d.Fill(values);
    EXPECT_EQ(d.Ref[0], "    ");
    EXPECT_EQ(d.Ref[1], "A1XY");
    EXPECT_EQ(d.Ref[99], "J9XY");
    EXPECT_TRUE(std::is_sorted(d.Ref.begin(), d.Ref.end()));
    EXPECT_EQ(d.PercentileOf("e5xy"), 46);
    EXPECT_EQ(d.ValueOf(46), "E5XY");
    EXPECT_EQ(d.KeyNumber("0001"), 1u);
    EXPECT_EQ(d.KeyNumber("10"), 36u * 36 * 36);
    EXPECT_EQ(d.KeyNumber("a"), 0u) << "a character not in SortChars counts 0";

    StepDistribution both(LookupMode::FromData, step::BothCases | step::Punctuation);
    EXPECT_EQ(both.SortChars.size(), 52u + 30u) << "thirty distinct punctuation characters";
    both.Fill({});
    EXPECT_EQ(both.Ref[50], "    ");
}

TEST(BrowseDistributionTest, NumericKeysMapLinearly) {
    NumericDistribution d(100, 199);
    EXPECT_EQ(d.ValueOf(1), "100");
    EXPECT_EQ(d.ValueOf(100), "199");
    EXPECT_EQ(d.ValueOf(50), "149");
    EXPECT_EQ(d.PercentileOf("149"), 50);
    EXPECT_EQ(d.PercentileOf("5"), 1);
    EXPECT_EQ(d.PercentileOf("5000"), 100);
    EXPECT_EQ(NumericDistribution(7, 7).PercentileOf("7"), 1)
        << "an empty span does not divide by zero";
}

}  // namespace
}  // namespace zelt::framework
