// A small table of people over the "PELMAR" driver for the driver's operation tests:
// a NOCASE name key, a DUP score key, a unique number key, a dynamic index, a MEMO and a
// binary BLOB.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../runtime/file_test_dir.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::storage::pelmar_tests {

#pragma pack(push, 1)
struct PersonRow {
    runtime::FixedString<20> name;
    std::int32_t number;
    double score;
};
#pragma pack(pop)

class PelmarTableTest : public ::testing::Test {
  protected:
    static constexpr int kNameKey = 0;
    static constexpr int kScoreKey = 1;
    static constexpr int kNumberKey = 2;
    static constexpr int kDynamic = 3;
    static constexpr int kNotes = 0;  // MEMO of 100
    static constexpr int kPhoto = 1;  // binary BLOB

    static void SetUpTestSuite() { RegisterPelmarDriver(); }

    runtime::TableDeclaration People(const char* driver = "PELMAR") {
        return runtime::TableDeclaration("PEOPLE", "PEO", driver)
            .NameVariable(name_.Span())
            .Record(runtime::AsBytes(rec_))
            .String("PEO:Name", 0, 20)
            .Long("PEO:Number", 20)
            .Real("PEO:Score", 24)
            .Memo("PEO:Notes", 100)
            .Blob("PEO:Photo")
            .Key("PEO:NameKey", runtime::key_attr::NoCase, {"PEO:Name"})
            .Key("PEO:ScoreKey", runtime::key_attr::Dup, {"-PEO:Score", "PEO:Name"})
            .Key("PEO:NumberKey", runtime::key_attr::Primary, {"PEO:Number"})
            .Key("PEO:Dyn", runtime::key_attr::Index | runtime::key_attr::Dynamic,
                 std::vector<std::string>{});
    }

    void SetUp() override { name_ = dir_.File("PEOPLE"); }

    // Creates and opens the table with the given people (number i + 1, score as given).
    void CreateWith(runtime::Table& t, const std::vector<std::pair<std::string, double>>& people) {
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(runtime::access::ReadWrite | runtime::access::DenyNone), 0);
        std::int32_t number = 1;
        for (const auto& [name, score] : people) {
            t.ClearRecord();
            rec_.name = name;
            rec_.number = number++;
            rec_.score = score;
            ASSERT_EQ(t.Add(), 0) << name << ": " << runtime::CurrentErrorText();
        }
    }

    std::vector<std::string> NamesInOrder(runtime::Table& t, int key) {
        std::vector<std::string> names;
        t.SetKey(key);
        while (t.Next() == 0) names.push_back(rec_.name.Clip());
        return names;
    }

    testing_support::TestDir dir_;
    runtime::FixedString<200> name_;
    PersonRow rec_{};
};

}  // namespace zelt::storage::pelmar_tests
