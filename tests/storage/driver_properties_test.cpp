#include <gtest/gtest.h>

#include "pelmar_table_fixture.hpp"

namespace zelt::storage::pelmar_tests {
namespace {

namespace err = runtime::err;

class DriverPropertiesTest : public PelmarTableTest {};

TEST_F(DriverPropertiesTest, TableFactsAnsweredByTheDriver) {
    runtime::Table t(People());
    name_ = dir_.File("PEOPLE") + "\\!staff";
    // Facts of the declaration need no open table; names compare ignoring case and blanks.
    EXPECT_EQ(t.GetProperty("driver"), "PELMAR");
    EXPECT_EQ(t.GetProperty("Description"), "Pelmar (PLM)");
    EXPECT_EQ(t.GetProperty(" FileName "), dir_.File("PEOPLE.PLM"));
    EXPECT_EQ(t.GetProperty("TABLENAME"), "STAFF");
    EXPECT_EQ(t.GetProperty("NAME"), t.Name());
    EXPECT_EQ(t.GetProperty("RecordLength"), std::to_string(sizeof(PersonRow)));
    EXPECT_EQ(t.GetProperty("FIELDS"), "3");
    EXPECT_EQ(t.GetProperty("MEMOS"), "2");
    EXPECT_EQ(t.GetProperty("KEYS"), "4");
    EXPECT_EQ(t.GetProperty("OEM"), "0");
    EXPECT_EQ(t.GetProperty("OPEN"), "0");
    EXPECT_EQ(t.GetProperty("RECORDS"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), err::FileNotOpen);

    CreateWith(t, {{"Ann", 1.0}, {"Bob", 2.0}});
    EXPECT_EQ(t.GetProperty("OPEN"), "1");
    EXPECT_EQ(t.GetProperty("records"), "2");
    EXPECT_EQ(t.GetProperty("FULLBUILD"), "OFF");
    t.Send("FULLBUILD=ON");
    EXPECT_EQ(t.GetProperty("FULLBUILD"), "ON");

    // Facts cannot be set.
    EXPECT_EQ(t.SetProperty("Records", "7"), err::UnsupportedFunction);
    EXPECT_EQ(t.SetProperty("fullbuild", "OFF"), err::UnsupportedFunction);
    EXPECT_EQ(t.GetProperty("RECORDS"), "2");
}

TEST_F(DriverPropertiesTest, CallerNamesAreKeptPerTableAndPerKey) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 1.0}});
    EXPECT_EQ(t.SetProperty("Colour", "blue"), 0);
    EXPECT_EQ(t.GetProperty("COLOUR"), "blue");
    EXPECT_EQ(t.GetProperty("never set"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), 0);
    EXPECT_EQ(t.SetKeyProperty(kNameKey, "colour", "red"), 0);
    EXPECT_EQ(t.SetKeyProperty(kScoreKey, "colour", "green"), 0);
    EXPECT_EQ(t.GetKeyProperty(kNameKey, "Colour"), "red");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "COLOUR"), "green");
    EXPECT_EQ(t.GetProperty("colour"), "blue");  // the table's own stays apart

    // They outlive a close; another table over the same file has its own.
    ASSERT_EQ(t.Close(), 0);
    EXPECT_EQ(t.GetProperty("colour"), "blue");
    runtime::Table other(People());
    EXPECT_EQ(other.GetProperty("colour"), "");

    // Refusals: no name, a key out of range.
    EXPECT_EQ(t.SetProperty("  ", "x"), err::InvalidNumberOfParameters);
    EXPECT_EQ(t.SetKeyProperty(4, "colour", "x"), err::InvalidKeyFile);
    EXPECT_EQ(t.GetKeyProperty(-1, "colour"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), err::InvalidKeyFile);
}

TEST_F(DriverPropertiesTest, KeyFacts) {
    runtime::Table t(People());
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "LABEL"), "PEO:ScoreKey");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "Name"), "PEO:SCOREKEY");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "COMPONENTS"), "-PEO:Score,PEO:Name");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "ComponentCount"), "2");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "DUP"), "1");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "NOCASE"), "0");
    EXPECT_EQ(t.GetKeyProperty(kNameKey, "NOCASE"), "1");
    EXPECT_EQ(t.GetKeyProperty(kNumberKey, "PRIMARY"), "1");
    EXPECT_EQ(t.GetKeyProperty(kNumberKey, "ATTRIBUTES"),
              std::to_string(runtime::key_attr::Primary));
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "DYNAMIC"), "1");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "INDEX"), "1");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "OPT"), "0");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "COMPONENTS"), "");
    EXPECT_EQ(t.SetKeyProperty(kScoreKey, "dup", "0"), err::UnsupportedFunction);
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "RECORDS"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), err::FileNotOpen);

    CreateWith(t, {{"Ann", 1.0}, {"Bob", 2.0}, {"Cid", 3.0}});
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "RECORDS"), "3");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "COMPLETE"), "1");
    t.ClearRecord();
    rec_.name = "Dee";
    rec_.number = 9;
    ASSERT_EQ(t.Append(), 0);  // keys wait for the next build
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "COMPLETE"), "0");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "RECORDS"), "3");
    ASSERT_EQ(t.Build(), 0);
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "COMPLETE"), "1");
    EXPECT_EQ(t.GetKeyProperty(kScoreKey, "RECORDS"), "4");

    // A dynamic index is complete after an unfiltered build, until the next write.
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "COMPLETE"), "0");
    ASSERT_EQ(t.BuildDynamic(kDynamic, "-PEO:Number"), 0);
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "COMPONENTS"), "-PEO:Number");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "RECORDS"), "4");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "COMPLETE"), "1");
    t.ClearRecord();
    rec_.name = "Eve";
    rec_.number = 10;
    ASSERT_EQ(t.Add(), 0);
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "COMPLETE"), "0");
    EXPECT_EQ(t.GetKeyProperty(kDynamic, "RECORDS"), "4");
}

}  // namespace
}  // namespace zelt::storage::pelmar_tests
