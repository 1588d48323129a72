#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "file_test_dir.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"

namespace zelt::runtime {
namespace {

using testing_support::TestDir;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
}

class AsciiDriverTest : public ::testing::Test {
  protected:
    AsciiDriverTest()
        : name_(dir_.File("QRVError.Log")),
          log_(TableDeclaration("ErrorLog", "LOG", "ASCII")
                   .NameVariable(name_.Span())
                   .Record(AsBytes(line_))
                   .String("LOG:TXT", 0, 16)) {}

    TestDir dir_;
    FixedString<200> name_;
    FixedString<16> line_;
    Table log_;
};

TEST_F(AsciiDriverTest, LinesAppendedAreReadBackInOrderClippedAndPadded) {
    EXPECT_EQ(log_.Open(0x42), err::FileNotFound);
    ASSERT_EQ(log_.Create(), 0);
    ASSERT_EQ(log_.Open(0x42), 0);
    line_ = "first line";
    ASSERT_EQ(log_.Add(), 0);
    line_ = "second, much longer than the field";  // cut to 16 by the buffer
    ASSERT_EQ(log_.Append(), 0);
    EXPECT_EQ(ReadWhole(name_.Clip()), "first line\nsecond, much lon\n");
    EXPECT_EQ(log_.Records(), 2);

    ASSERT_EQ(log_.SetFile(), 0);
    EXPECT_FALSE(log_.Eof());
    ASSERT_EQ(log_.Next(), 0);
    EXPECT_EQ(line_.View(), "first line      ");
    EXPECT_EQ(log_.Pointer(), 1u);
    EXPECT_EQ(log_.Bytes(), 10);
    const std::string first = log_.Position();
    ASSERT_EQ(log_.Next(), 0);
    EXPECT_EQ(line_.Clip(), "second, much lon");
    EXPECT_TRUE(log_.Eof());
    EXPECT_EQ(log_.Next(), err::RecordNotAvailable);

    ASSERT_EQ(log_.Reget(first), 0);
    EXPECT_EQ(line_.Clip(), "first line");
    ASSERT_EQ(log_.GetByPointer(12), 0);
    EXPECT_EQ(line_.Clip(), "second, much lon");
    EXPECT_EQ(log_.Close(), 0);
}

TEST_F(AsciiDriverTest, CarriageReturnsAndAMissingLastLineFeedAreRead) {
    {
        std::ofstream out(name_.Clip(), std::ios::binary);
        out << "dos line\r\nlast";
    }
    ASSERT_EQ(log_.Open(0x40), 0);
    EXPECT_EQ(log_.Records(), 2);
    log_.SetFile();
    ASSERT_EQ(log_.Next(), 0);
    EXPECT_EQ(line_.Clip(), "dos line");
    ASSERT_EQ(log_.Next(), 0);
    EXPECT_EQ(line_.Clip(), "last");
    // Opened read only: no appending, no emptying.
    EXPECT_EQ(log_.Add(), err::AccessDenied);
    EXPECT_EQ(log_.Empty(), err::AccessDenied);
}

TEST_F(AsciiDriverTest, StatementsOnAClosedFileOrUnservedOnesFailClearly) {
    EXPECT_EQ(log_.Next(), err::FileNotOpen);
    EXPECT_EQ(log_.Add(), err::FileNotOpen);
    EXPECT_EQ(log_.Put(), err::UnsupportedFunction);
    EXPECT_EQ(log_.Delete(), err::UnsupportedFunction);
    name_ = "";
    EXPECT_EQ(log_.Open(0x42), err::InvalidFilename);
}

TEST_F(AsciiDriverTest, EmptyTruncatesAndRemoveDeletes) {
    ASSERT_EQ(log_.Create(), 0);
    ASSERT_EQ(log_.Open(0x42), 0);
    line_ = "x";
    log_.Add();
    ASSERT_EQ(log_.Empty(), 0);
    EXPECT_EQ(log_.Records(), 0);
    ASSERT_EQ(log_.Remove(), 0);
    EXPECT_FALSE(std::filesystem::exists(name_.Clip()));
}

TEST(DosDriverTest, RemoveDeletesTheFileNamedByTheVariable) {
    TestDir dir;
    FixedString<80> deletion_name;
    Table deletion(TableDeclaration("DeletionFile", "", "DOS").NameVariable(deletion_name.Span()));

    const std::string target = dir.File("OLD.EXE");
    std::ofstream(target) << "made";
    deletion_name = target;
    EXPECT_EQ(deletion.Remove(), 0);
    EXPECT_EQ(CurrentErrorCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(target));

    // No such file any more.
    EXPECT_EQ(deletion.Remove(), err::FileNotFound);
    EXPECT_EQ(CurrentErrorText(), "File Not Found");
    deletion_name = "";
    EXPECT_EQ(deletion.Remove(), err::FileNotFound);

    // A directory is not a file to delete.
    deletion_name = dir.Path();
    EXPECT_EQ(deletion.Remove(), err::AccessDenied);
    EXPECT_TRUE(std::filesystem::exists(dir.Path()));
}

TEST(DosDriverTest, RemoveRefusedByTheSystemGivesAccessDenied) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    TestDir dir;
    const std::string locked_dir = dir.File("locked");
    std::filesystem::create_directory(locked_dir);
    const std::string target = locked_dir + "/KEEP.TXT";
    std::ofstream(target) << "x";
    std::filesystem::permissions(
        locked_dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    FixedString<200> name(target);
    Table deletion(TableDeclaration("DeletionFile", "", "DOS").NameVariable(name.Span()));
    EXPECT_EQ(deletion.Remove(), err::AccessDenied);
    std::filesystem::permissions(locked_dir, std::filesystem::perms::owner_all);
    EXPECT_TRUE(std::filesystem::exists(target));
}

TEST(DosDriverTest, CopyAndRenameKeepTheContents) {
    TestDir dir;
    FixedString<200> name(dir.File("A.BIN"));
    Table file(TableDeclaration("F", "", "DOS").NameVariable(name.Span()));
    ASSERT_EQ(file.Create(), 0);
    std::ofstream(name.Clip(), std::ios::binary) << "payload";
    ASSERT_EQ(file.Copy(dir.File("B.BIN")), 0);
    EXPECT_EQ(ReadWhole(dir.File("B.BIN")), "payload");
    ASSERT_EQ(file.Rename(dir.File("C.BIN")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("A.BIN")));
    EXPECT_EQ(ReadWhole(dir.File("C.BIN")), "payload");
    EXPECT_EQ(file.Copy(dir.File("D.BIN")), err::FileNotFound);
    EXPECT_EQ(file.Add(), err::UnsupportedFunction);
}

}  // namespace
}  // namespace zelt::runtime
