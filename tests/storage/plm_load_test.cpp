// `plm load` takes records exactly as written or refuses them with the field's name: numbers
// out of range, texts outside the ANSI set or not UTF-8, texts and decimals that do not fit.
// What `dump` writes loads back, and two loads into one file take turns.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "../runtime/file_test_dir.hpp"
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

constexpr const char* kSchema = R"({"fields": [
    {"name": "K", "type": "STRING", "size": 5},
    {"name": "T", "type": "STRING", "size": 10},
    {"name": "R", "type": "REAL"},
    {"name": "S", "type": "SREAL"},
    {"name": "D", "type": "DECIMAL", "size": 4, "places": 2}],
  "memos": [{"name": "M", "size": 8}],
  "keys": [{"name": "KEY", "attributes": 0, "components": ["K"]}]})";

class PlmLoadTest : public ::testing::Test {
  protected:
    void SetUp() override { std::ofstream(schema_) << kSchema; }

    PlmRun Load(const std::string& lines, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"load", table_, "--schema", schema_};
        args.insert(args.end(), more.begin(), more.end());
        return Plm(args, lines);
    }
    std::string Dump() { return Plm({"dump", table_}).out; }
    long Records() {
        const std::string dump = Dump();
        return std::count(dump.begin(), dump.end(), '\n');
    }

    TestDir dir_;
    std::string schema_ = dir_.File("s.json");
    std::string table_ = dir_.File("T.PLM");
};

TEST_F(PlmLoadTest, RealsOutOfRangeAreRefusedNeverStoredAsInfinity) {
    for (const char* line : {R"({"K": "a", "R": 1e400})", R"({"K": "a", "R": -1e309})",
                             R"({"K": "a", "S": 1e39})", R"({"K": "a", "S": 1e-50})"}) {
        const PlmRun load = Load(line);
        EXPECT_EQ(load.code, 1) << line;
        EXPECT_TRUE(load.err.starts_with("plm: line 1")) << load.err;
        EXPECT_NE(load.err.find(": value out of range for "), std::string::npos) << load.err;
    }
    EXPECT_EQ(Dump(), "");
    // The largest values of each type are in range and read back as written.
    ASSERT_EQ(Load(R"({"K": "b", "R": 1.7976931348623157e308, "S": 3.4028235e38})").code, 0);
    EXPECT_NE(Dump().find(R"("R": 1.7976931348623157e+308, "S": 3.4028235e+38)"), std::string::npos)
        << Dump();
}

TEST_F(PlmLoadTest, TextsGoThroughTheAnsiTableAndMustBeUtf8) {
    const PlmRun load =
        Load("{\"K\": \"a\", \"T\": \"\u20AC \u2019 \u00E9\", \"M\": \"\u0160\"}\n");
    ASSERT_EQ(load.code, 0) << load.err;
    EXPECT_NE(Dump().find("\"T\": \"\u20AC \u2019 \u00E9\", \"R\""), std::string::npos) << Dump();
    EXPECT_NE(Dump().find("\"M\": \"\u0160\""), std::string::npos) << Dump();
    // Stored as the ANSI bytes of those characters.
    std::ifstream file(table_, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(bytes.find("\x80 \x92 \xE9"), std::string::npos);

    for (const std::string line :
         {R"({"K": "b", "T": "\u0080"})", R"({"K": "b", "T": "\u0092"})",
          R"({"K": "b", "T": "\u4e2d"})", R"({"K": "b", "M": "\u4e2d"})"}) {
        const PlmRun refused = Load(line);
        EXPECT_EQ(refused.code, 1) << line;
        EXPECT_NE(refused.err.find("is not in the ANSI character set"), std::string::npos)
            << refused.err;
    }
    for (const std::string line :
         {"{\"K\": \"b\", \"T\": \"\xC0\xAF\"}", "{\"K\": \"b\", \"T\": \"\xE2\x82\"}",
          "{\"K\": \"b\", \"T\": \"\xED\xA0\x80\"}"}) {
        const PlmRun refused = Load("\n" + line);
        EXPECT_EQ(refused.code, 1);
        EXPECT_TRUE(refused.err.starts_with("plm: line 2, column ")) << refused.err;
        EXPECT_NE(refused.err.find("UTF-8"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(Records(), 1);
}

TEST_F(PlmLoadTest, TextsTooLongAreRefusedOrCutOnlyWhenAsked) {
    const std::string lines = R"({"K": "abcdeX"})"
                              "\n"
                              R"({"K": "abcdeY"})"
                              "\n";
    const PlmRun load = Load(lines);
    EXPECT_EQ(load.code, 1);
    EXPECT_EQ(load.err,
              "plm: line 1: text too long for K: 6 characters, room for 5 (--truncate cuts it)\n");
    EXPECT_EQ(Load(R"({"K": "m", "M": "123456789"})").err,
              "plm: line 1: text too long for M: 9 characters, room for 8 (--truncate cuts it)\n");
    EXPECT_EQ(Dump(), "");
    // Blanks past the end are the padding a STRING has anyway.
    EXPECT_EQ(Load(R"({"K": "ab   ", "T": "x            "})").code, 0);

    const PlmRun cut = Load(lines, {"--truncate"});
    EXPECT_EQ(cut.code, 1);
    EXPECT_EQ(cut.err, "plm: line 2: Creates Duplicate Key (40)\n");
    EXPECT_NE(Dump().find(R"("K": "abcde")"), std::string::npos);
}

TEST_F(PlmLoadTest, DecimalsKeepEveryDigitOrAreRefused) {
    EXPECT_EQ(Load(R"({"K": "a", "D": "1.234"})").err,
              "plm: line 1: too many decimal places for D: 1.234 (it keeps 2; --truncate cuts the "
              "rest)\n");
    EXPECT_EQ(Load(R"({"K": "a", "D": 1.234})").code, 1);
    EXPECT_EQ(Load(R"({"K": "a", "D": ""})").err,
              "plm: line 1: not a decimal number for D: \"\"\n");
    EXPECT_EQ(Load(R"({"K": "a", "D": ""})", {"--truncate"}).code, 1);
    EXPECT_EQ(Load(R"({"K": "a", "D": "1e3"})").code, 1);
    EXPECT_EQ(Load(R"({"K": "a", "D": "100000.00"})").err,
              "plm: line 1: value too large for D: 100000.00\n");
    EXPECT_EQ(Dump(), "");

    ASSERT_EQ(Load(R"({"K": "b", "D": "1.230"})"
                   "\n"
                   R"({"K": "c", "D": -0.5})")
                  .code,
              0);
    ASSERT_EQ(Load(R"({"K": "d", "D": "-1.239"})", {"--truncate"}).code, 0);
    const std::string dump = Dump();
    EXPECT_NE(dump.find(R"("K": "b", "T": "", "R": 0.0, "S": 0.0, "D": "1.23")"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find(R"("D": "-0.50")"), std::string::npos) << dump;
    EXPECT_NE(dump.find(R"("D": "-1.23")"), std::string::npos) << dump;
}

TEST_F(PlmLoadTest, SchemasWithPackedDecimalsAreRefusedByName) {
    std::ofstream(schema_)
        << R"({"fields": [{"name": "P", "type": "PDECIMAL", "size": 4, "places": 2}]})";
    const PlmRun load = Load("");
    EXPECT_EQ(load.code, 1);
    EXPECT_EQ(load.err, "plm: " + schema_ +
                            ": field P: PDECIMAL is not a record field type of Pelmar tables\n");
    EXPECT_FALSE(std::filesystem::exists(table_));
}

TEST_F(PlmLoadTest, DumpLoadsBackAsTheSameRecords) {
    ASSERT_EQ(Load("{\"K\": \"a\", \"T\": \"caf\u00E9 \u20AC\", \"R\": 0.1, \"S\": 0.1, \"D\": "
                   "\"-12.5\", \"M\": \"x\"}\n"
                   R"({"K": "b", "T": "tab\t\"q\"", "R": -2.5e-300, "S": 16777217, "D": 99.99})"
                   "\n")
                  .code,
              0);
    const std::string first = Dump();
    const std::string again = dir_.File("AGAIN.PLM");
    std::ofstream(dir_.File("again.json")) << Plm({"schema", table_}).out;
    const PlmRun load = Plm({"load", again, "--schema", dir_.File("again.json")}, first);
    ASSERT_EQ(load.code, 0) << load.err;
    EXPECT_EQ(Plm({"dump", again}).out, first);
    EXPECT_NE(first.find(R"("R": 0.1, "S": 0.1, "D": "-12.50")"), std::string::npos) << first;
}

TEST_F(PlmLoadTest, MalformedLinesNameTheirLineAndColumn) {
    const PlmRun load = Load(R"({"K": "a"})"
                             "\n"
                             R"({"K": "b",, "T": "x"})"
                             "\n");
    EXPECT_EQ(load.code, 1);
    EXPECT_EQ(load.err.substr(0, 34), "plm: line 2, column 11: syntax err") << load.err;
    EXPECT_EQ(Load(R"({"K": "c", "K": "d"})").err, "plm: line 1: member \"K\" given twice\n");
    std::ofstream(schema_) << "{\"fields\": [\n  {\"name\": \"K\" \"type\": \"LONG\"}]}";
    EXPECT_TRUE(Load("").err.starts_with("plm: " + schema_ + ": line 2, column 21: syntax error"))
        << Load("").err;
}

// A stream over a pipe that tells the test, through `ready`, when it is first read.
class PipeInput : public std::streambuf {
  public:
    PipeInput(int fd, int ready) : fd_(fd), ready_(ready) {}

  private:
    int_type underflow() override {
        if (ready_ >= 0) {
            (void)!::write(ready_, "r", 1);
            ready_ = -1;
        }
        const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n <= 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + n);
        return traits_type::to_int_type(buffer_[0]);
    }
    int fd_;
    int ready_;
    char buffer_[256];
};

TEST_F(PlmLoadTest, ASecondLoadWaitsForTheFirstOrSaysTheFileIsInUse) {
    int data[2];
    int ready[2];
    ASSERT_EQ(::pipe(data), 0);
    ASSERT_EQ(::pipe(ready), 0);
    const auto load_in_child = [&](std::istream& in, std::vector<std::string> more) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(data[1]);  // the input ends when the test closes its end
            std::vector<std::string> args{"load", table_, "--schema", schema_};
            args.insert(args.end(), more.begin(), more.end());
            std::ostringstream out;
            std::ostringstream err;
            ::_exit(RunPlm(args, in, out, err));
        }
        return child;
    };
    PipeInput pipe_input(data[0], ready[1]);
    std::istream first_input(&pipe_input);
    const pid_t first = load_in_child(first_input, {});
    ::close(data[0]);
    ::close(ready[1]);
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1),
              1);  // the first load holds the file and reads its input

    const PlmRun refused = Load(R"({"K": "b"})", {"--wait", "0.2"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err,
              "plm: " + table_ + ": the file is in use by another program (waited 0.2 seconds)\n");

    std::istringstream second_input(R"({"K": "c"})");
    const pid_t second = load_in_child(second_input, {"--wait", "60"});
    ::usleep(300000);  // most often the second load is waiting by now; it passes either way
    ASSERT_EQ(::write(data[1], "{\"K\": \"a\"}\n", 11), 11);
    ::close(data[1]);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Records(), 2);
}

}  // namespace
}  // namespace zelt::plm
