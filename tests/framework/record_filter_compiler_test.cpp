// The framework's filter expressions as the compiler of filtered dynamic indexes.
#include <gtest/gtest.h>

#include "../runtime/file_test_dir.hpp"
#include "framework/browse/record_filter_compiler.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::framework {
namespace {

namespace err = runtime::err;

#pragma pack(push, 1)
struct ItemRecord {
    std::int32_t Group;
    runtime::FixedString<10> Name;
};
#pragma pack(pop)

class RecordFilterCompilerTest : public ::testing::Test {
  protected:
    RecordFilterCompilerTest()
        : table_(runtime::TableDeclaration("ITEMS", "ITM", "PELMAR")
                     .FileName(dir_.File("ITEMS.PLM"))
                     .Record(runtime::AsBytes(item_))
                     .Long("ITM:Group", 0)
                     .String("ITM:Name", 4, 10)
                     .Key("ITM:NameKey", runtime::key_attr::Dup, {"ITM:Name"})
                     .Key("ITM:Picked", runtime::key_attr::Index | runtime::key_attr::Dynamic,
                          std::vector<std::string>{})) {}

    void SetUp() override {
        storage::RegisterPelmarDriver();
        ASSERT_EQ(table_.Create(), 0);
        ASSERT_EQ(table_.Open(), 0);
        const std::pair<int, const char*> items[] = {
            {1, "apple"}, {2, "banana"}, {2, "Cherry"}, {2, "avocado"}, {3, "date"}};
        for (const auto& [group, name] : items) {
            item_.Group = group;
            item_.Name = name;
            ASSERT_EQ(table_.Add(), 0);
        }
    }

    std::vector<std::string> Picked() {
        std::vector<std::string> names;
        table_.SetKey(1);
        while (table_.Next() == 0) names.push_back(item_.Name.Clip());
        return names;
    }

    testing_support::TestDir dir_;
    ItemRecord item_{};
    runtime::Table table_;
};

TEST_F(RecordFilterCompilerTest, InstalledCompilerBuildsFilteredDynamicIndexes) {
    const runtime::ScopedRecordFilterCompiler restore{{}};
    InstallRecordFilterCompiler();
    ASSERT_TRUE(runtime::RecordFilterCompilerInstalled());

    item_.Group = 77;
    item_.Name = "mine";
    // Labels are found whatever their case; texts compare without their padding.
    ASSERT_EQ(table_.BuildDynamic(1, "-ITM:Name", "itm:group = 2 AND UPPER(ITM:Name) >= 'B'"), 0)
        << runtime::CurrentErrorText();
    EXPECT_EQ(item_.Group, 77);
    EXPECT_EQ(item_.Name.Clip(), "mine");
    EXPECT_EQ(table_.RecordsKey(1), 2);
    EXPECT_EQ(Picked(), (std::vector<std::string>{"banana", "Cherry"}));

    ASSERT_EQ(table_.BuildDynamic(1, "ITM:Name", "NOT ITM:Group = 2"), 0);
    EXPECT_EQ(Picked(), (std::vector<std::string>{"apple", "date"}));
}

TEST_F(RecordFilterCompilerTest, TextsThatDoNotParseAreRefused) {
    const runtime::ScopedRecordFilterCompiler scoped(CompileTableFilter);
    ASSERT_EQ(table_.BuildDynamic(1, "ITM:Name", "ITM:Group = 3"), 0);
    for (const char* bad : {"ITM:Group =", "ITM:Nope = 1", "(ITM:Group = 1", "ITM:Name = 'open"}) {
        EXPECT_EQ(table_.BuildDynamic(1, "-ITM:Name", bad), err::InvalidExpression) << bad;
        EXPECT_EQ(runtime::CurrentErrorText(), "Invalid expression for EVALUATE");
    }
    EXPECT_EQ(Picked(), std::vector<std::string>{"date"});
}

}  // namespace
}  // namespace zelt::framework
