#include <gtest/gtest.h>

#include "runtime/file/record_filter.hpp"
#include "runtime/file/table.hpp"

namespace zelt::runtime {
namespace {

TEST(RecordFilterTest, CompilerAnswersPassThroughAndScopesRestoreThePrevious) {
    Table table(TableDeclaration("T", "T", "DOS"));
    const ScopedRecordFilterCompiler none{{}};
    EXPECT_EQ(CompileRecordFilter(table, "x").error, err::UnsupportedFunction);
    {
        const ScopedRecordFilterCompiler outer([](Table&, std::string_view text) {
            if (text == "bad") return CompiledRecordFilter{{}, err::InvalidIndexString};
            if (text == "silent") return CompiledRecordFilter{};
            return CompiledRecordFilter{[yes = text == "yes"] { return yes; }, err::NoError};
        });
        const auto yes = CompileRecordFilter(table, "yes");
        ASSERT_EQ(yes.error, err::NoError);
        EXPECT_TRUE(yes.filter());
        EXPECT_FALSE(CompileRecordFilter(table, "no").filter());
        EXPECT_EQ(CompileRecordFilter(table, "bad").error, err::InvalidIndexString);
        EXPECT_FALSE(CompileRecordFilter(table, "bad").filter);
        // Neither a filter nor a code: taken as a refusal.
        EXPECT_EQ(CompileRecordFilter(table, "silent").error, err::InvalidExpression);
        {
            const ScopedRecordFilterCompiler inner{{}};
            EXPECT_FALSE(RecordFilterCompilerInstalled());
        }
        EXPECT_TRUE(RecordFilterCompilerInstalled());
    }
    EXPECT_FALSE(RecordFilterCompilerInstalled());
}

}  // namespace
}  // namespace zelt::runtime
