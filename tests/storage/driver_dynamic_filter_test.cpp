#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <set>

#include "pelmar_table_fixture.hpp"
#include "runtime/file/build_progress.hpp"
#include "runtime/file/record_filter.hpp"

namespace zelt::storage::pelmar_tests {
namespace {

namespace err = runtime::err;
using Names = std::vector<std::string>;

// Filters of the form "MIN=n": the people numbered n or above. The filter reads the record
// buffer, as a real one does, and notes every name it was shown.
class DynamicFilterTest : public PelmarTableTest {
  protected:
    runtime::CompiledRecordFilter Compile(runtime::Table&, std::string_view text) {
        int min = 0;
        if (text.substr(0, 4) != "MIN=" ||
            std::from_chars(text.data() + 4, text.data() + text.size(), min).ec != std::errc())
            return {{}, err::InvalidExpression};
        return {[this, min] {
                    shown_.insert(rec_.name.Clip());
                    return rec_.number >= min;
                },
                err::NoError};
    }

    runtime::ScopedRecordFilterCompiler compiler_{
        [this](runtime::Table& t, std::string_view text) { return Compile(t, text); }};
    std::set<std::string> shown_;
};

TEST_F(DynamicFilterTest, IndexHoldsOnlyMatchingRecordsInKeyOrderAndTheBufferStays) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 2.0}, {"Bob", 9.0}, {"Cid", 1.0}, {"Dee", 5.0}, {"Eve", 7.0}});
    t.ClearRecord();
    rec_.name = "caller";
    rec_.number = 42;
    t.MemoBuffer(kNotes).replace(0, 4, "mine");
    t.MemoBuffer(kPhoto) = std::string("\0\1", 2);
    const PersonRow before = rec_;
    const std::string notes = t.MemoBuffer(kNotes);

    ASSERT_EQ(t.BuildDynamic(kDynamic, "-PEO:Score", "MIN=3"), 0) << runtime::CurrentErrorText();
    EXPECT_EQ(std::memcmp(&rec_, &before, sizeof rec_), 0);
    EXPECT_EQ(t.MemoBuffer(kNotes), notes);
    EXPECT_EQ(t.MemoBuffer(kPhoto), std::string("\0\1", 2));
    EXPECT_EQ(shown_, (std::set<std::string>{"Ann", "Bob", "Cid", "Dee", "Eve"}));
    EXPECT_EQ(t.RecordsKey(kDynamic), 3);
    EXPECT_EQ(NamesInOrder(t, kDynamic), (Names{"Eve", "Dee", "Cid"}));

    // Without a filter the same index takes every record again.
    ASSERT_EQ(t.BuildDynamic(kDynamic), 0);
    EXPECT_EQ(t.RecordsKey(kDynamic), 5);
    EXPECT_EQ(NamesInOrder(t, kDynamic), (Names{"Bob", "Eve", "Dee", "Ann", "Cid"}));
    // A filter nobody passes leaves an empty index.
    ASSERT_EQ(t.BuildDynamic(kDynamic, "PEO:Name", "MIN=99"), 0);
    EXPECT_EQ(t.RecordsKey(kDynamic), 0);
    EXPECT_EQ(NamesInOrder(t, kDynamic), Names{});
}

TEST_F(DynamicFilterTest, RefusedBuildsLeaveTheIndexAsItWas) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 2.0}, {"Bob", 9.0}, {"Cid", 1.0}, {"Dee", 5.0}});
    ASSERT_EQ(t.BuildDynamic(kDynamic, "PEO:Name", "MIN=2"), 0);
    const Names built{"Bob", "Cid", "Dee"};

    // A bad filter text, bad components, a key that is no dynamic index, no open table.
    EXPECT_EQ(t.BuildDynamic(kDynamic, "-PEO:Number", "number >= 2"), err::InvalidExpression);
    EXPECT_EQ(runtime::CurrentErrorCode(), err::InvalidExpression);
    EXPECT_EQ(t.BuildDynamic(kDynamic, "PEO:Nope", "MIN=1"), err::InvalidIndexString);
    EXPECT_EQ(t.BuildDynamic(kScoreKey, "", "MIN=1"), err::UnsupportedFunction);
    EXPECT_EQ(t.BuildDynamic(kScoreKey), err::UnsupportedFunction);  // with or without one
    EXPECT_EQ(t.BuildDynamic(9, "", "MIN=1"), err::InvalidKeyFile);
    EXPECT_EQ(t.RecordsKey(kDynamic), 3);
    EXPECT_EQ(NamesInOrder(t, kDynamic), built);  // neither the order nor the entries moved
    EXPECT_EQ(t.RecordsKey(kScoreKey), 4);

    // With no compiler installed a filtered build is not served.
    {
        runtime::ScopedRecordFilterCompiler none{{}};
        EXPECT_FALSE(runtime::RecordFilterCompilerInstalled());
        EXPECT_EQ(t.BuildDynamic(kDynamic, "-PEO:Number", "MIN=1"), err::UnsupportedFunction);
    }
    EXPECT_TRUE(runtime::RecordFilterCompilerInstalled());
    EXPECT_EQ(NamesInOrder(t, kDynamic), built);

    ASSERT_EQ(t.Close(), 0);
    EXPECT_EQ(t.BuildDynamic(kDynamic, "", "MIN=1"), err::FileNotOpen);
}

TEST_F(DynamicFilterTest, FilteredBuildsReportProgressAndCanBeCancelled) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 2.0}, {"Bob", 9.0}, {"Cid", 1.0}, {"Dee", 5.0}});
    t.ClearRecord();
    rec_.name = "caller";
    const PersonRow before = rec_;
    int reports = 0;
    {
        runtime::ScopedBuildProgress cancel([&](const runtime::BuildProgress& p) {
            EXPECT_EQ(p.key, kDynamic);
            EXPECT_EQ(p.total, 4);
            return ++reports < 3;
        });
        EXPECT_EQ(t.BuildDynamic(kDynamic, "PEO:Name", "MIN=1"), err::BuildCancelled);
    }
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(std::memcmp(&rec_, &before, sizeof rec_), 0);

    // A filtered build started while another runs is refused.
    runtime::ErrorCode nested = err::NoError;
    {
        runtime::ScopedBuildProgress reenter([&](const runtime::BuildProgress&) {
            if (nested == err::NoError) nested = t.BuildDynamic(kDynamic, "", "MIN=1");
            return true;
        });
        EXPECT_EQ(t.BuildDynamic(kDynamic, "PEO:Number"), 0);
    }
    EXPECT_EQ(nested, err::BuildInProgress);
    ASSERT_EQ(t.BuildDynamic(kDynamic, "PEO:Name", "MIN=1"), 0);
    EXPECT_EQ(t.RecordsKey(kDynamic), 4);
}

}  // namespace
}  // namespace zelt::storage::pelmar_tests
