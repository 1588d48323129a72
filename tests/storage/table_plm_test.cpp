#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../runtime/file_test_dir.hpp"
#include "tools/plm/json.hpp"
#include "tools/plm/plm.hpp"

namespace zelt::plm {
namespace {

using testing_support::TestDir;

struct PlmRun {
    int code;
    std::string out;
    std::string err;
};

PlmRun Plm(std::vector<std::string> args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunPlm(args, in, out, err);
    return {code, out.str(), err.str()};
}

constexpr const char* kEventSchema = R"({"oem": false,
  "fields": [{"name": "TMP:APPS", "type": "STRING", "size": 40},
             {"name": "TMP:DATE", "type": "LONG"},
             {"name": "TMP:CLOCK", "type": "LONG"},
             {"name": "TMP:EVENT", "type": "STRING", "size": 80},
             {"name": "TMP:AMOUNT", "type": "DECIMAL", "size": 4, "places": 2},
             {"name": "TMP:SCORE", "type": "REAL"}],
  "memos": [{"name": "TMP:NOTES", "size": 500}],
  "keys": [{"name": "TMP:CLOCKKEY", "attributes": 7, "components": ["TMP:DATE", "TMP:CLOCK"]},
           {"name": "TMP:NAMEKEY", "attributes": 6, "components": ["TMP:APPS"]}]})";

class PlmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        schema_ = dir_.File("events.json");
        std::ofstream(schema_) << kEventSchema;
        table_ = dir_.File("EVENTS.PLM");
    }

    static std::string Line(int i) {
        return R"({"TMP:APPS": "app)" + std::to_string(i) + R"(.APP", "TMP:DATE": )" +
               std::to_string(80000 + i % 7) + R"(, "TMP:CLOCK": )" + std::to_string(1 + i) +
               R"(, "TMP:EVENT": "Make Finished", "TMP:AMOUNT": "-)" + std::to_string(i) +
               R"(.25", "TMP:SCORE": 0.5, "TMP:NOTES": "note )" + std::to_string(i) + "\"}\n";
    }

    TestDir dir_;
    std::string schema_;
    std::string table_;
};

TEST_F(PlmTest, LoadCheckAndDumpRoundTrip) {
    std::string input;
    for (int i = 0; i < 2000; ++i) input += Line(i);
    const PlmRun load = Plm({"load", table_, "--schema", schema_}, input);
    ASSERT_EQ(load.code, 0) << load.err;
    EXPECT_EQ(load.out, "2000 records added\n");

    const PlmRun check = Plm({"check", table_});
    EXPECT_EQ(check.code, 0) << check.out;
    EXPECT_NE(check.out.find("sound: 1 table(s), 2000 record(s)"), std::string::npos) << check.out;

    const PlmRun dump = Plm({"dump", table_});
    ASSERT_EQ(dump.code, 0) << dump.err;
    std::istringstream lines(dump.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        JsonError error;
        const auto record = ParseJson(line, &error);
        ASSERT_TRUE(record.has_value()) << error.Describe();
        EXPECT_EQ((*record)["TMP:APPS"], "app" + std::to_string(count) + ".APP");
        EXPECT_EQ((*record)["TMP:CLOCK"], 1 + count);
        EXPECT_EQ((*record)["TMP:AMOUNT"], "-" + std::to_string(count) + ".25");
        EXPECT_EQ((*record)["TMP:EVENT"], "Make Finished");
        EXPECT_EQ((*record)["TMP:NOTES"], "note " + std::to_string(count));
        ++count;
    }
    EXPECT_EQ(count, 2000);

    // In key order: by date, then clock.
    const PlmRun by_key = Plm({"dump", table_, "--key", "tmp:clockkey", "--format", "csv"});
    ASSERT_EQ(by_key.code, 0) << by_key.err;
    EXPECT_EQ(by_key.out.substr(0, by_key.out.find('\n')),
              "@record,TMP:APPS,TMP:DATE,TMP:CLOCK,TMP:EVENT,TMP:AMOUNT,TMP:SCORE");
    EXPECT_NE(by_key.out.find("app0.APP,80000,1,"), std::string::npos);

    EXPECT_EQ(Plm({"tables", table_}).out, "UNNAMED\n");
    const PlmRun schema = Plm({"schema", table_});
    ASSERT_EQ(schema.code, 0);
    EXPECT_NE(
        schema.out.find(
            R"({"name": "TMP:CLOCKKEY", "attributes": 7, "components": ["TMP:DATE", "TMP:CLOCK"]})"),
        std::string::npos)
        << schema.out;
}

TEST_F(PlmTest, DuplicateStopsTheLoadKeepingEarlierLines) {
    const std::string input = Line(1) + Line(2) + Line(1) + Line(3);
    const PlmRun load = Plm({"load", table_, "--schema", schema_}, input);
    EXPECT_EQ(load.code, 1);
    EXPECT_EQ(load.err, "plm: line 3: Creates Duplicate Key (40)\n");
    const PlmRun dump = Plm({"dump", table_});
    EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 2);
    EXPECT_EQ(Plm({"check", table_}).code, 0);
}

TEST_F(PlmTest, DamagedAndForeignFilesAreReportedNotPrinted) {
    std::string input;
    for (int i = 0; i < 300; ++i) input += Line(i);
    ASSERT_EQ(Plm({"load", table_, "--schema", schema_}, input).code, 0);
    const auto size = std::filesystem::file_size(table_);
    {
        std::fstream f(table_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size / 2));
        f << std::string(700, '\x33');
    }
    const PlmRun check = Plm({"check", table_});
    EXPECT_EQ(check.code, 1);
    EXPECT_NE(check.out.find("problem(s) found"), std::string::npos) << check.out;
    const PlmRun dump = Plm({"dump", table_});
    EXPECT_EQ(dump.code, 1);
    EXPECT_TRUE(dump.out.empty());
    EXPECT_NE(dump.err.find("File System Error (90)"), std::string::npos) << dump.err;

    const std::string foreign = dir_.File("NOTES.TXT");
    std::ofstream(foreign) << std::string(1000, 'x');
    const PlmRun bad = Plm({"dump", foreign});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err, "plm: " + foreign + ": Invalid Data File (36)\n");
    EXPECT_EQ(Plm({"check", foreign}).code, 1);
    EXPECT_EQ(Plm({"dump", dir_.File("MISSING")}).err,
              "plm: " + dir_.File("MISSING") + ": File Not Found (2)\n");
    EXPECT_EQ(Plm({"frobnicate"}).code, 64);
}

TEST(PlmJsonTest, ParsesAndWritesWhatTheFormatsUse) {
    JsonError error;
    NumberTexts numbers;
    const std::string text =
        R"({"b": [1, -2.50, "x\"y"], "a": 12345678901234567890123.5, "c": null})";
    const auto value = ParseJson(text, &error, &numbers);
    ASSERT_TRUE(value.has_value()) << error.Describe();
    EXPECT_EQ(WriteJson(*value),
              R"({"b": [1, -2.5, "x\"y"], "a": 1.2345678901234568e+22, "c": null})");
    EXPECT_EQ(numbers, (NumberTexts{{"/a", "12345678901234567890123.5"}, {"/b/1", "-2.50"}}));
    EXPECT_FALSE(ParseJson("[1, 2", &error).has_value());
    EXPECT_EQ(error.Describe().substr(0, 19), "line 1, column 5: s") << error.Describe();
    EXPECT_FALSE(ParseJson("{\"a\": 1} x", &error).has_value());
}

}  // namespace
}  // namespace zelt::plm
