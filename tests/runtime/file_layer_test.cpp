#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"

namespace zelt::runtime {
namespace {

#pragma pack(push, 1)
struct SampleRecord {
    FixedString<10> name;
    std::int32_t number;
    std::uint8_t flag;
};
#pragma pack(pop)
static_assert(sizeof(SampleRecord) == 15);

// A driver that records the calls it gets and answers with a chosen code.
class RecordingDriver final : public FileDriver {
  public:
    std::string_view Name() const override { return "RECORDING"; }
    std::string_view Description() const override { return "Recording"; }
    bool Supports(FileOp op) const override { return op != FileOp::Pack; }
    bool SupportsFieldType(std::uint8_t) const override { return true; }
    ErrorCode Call(FileOp op, Table&, DriverArgs& args) override {
        calls.push_back({op, args.key, args.pointer, args.number, args.text});
        if (answer == err::FileSystemError) {
            args.file_error_code = "1602";
            args.file_error_text = "Possible data corruption in file";
        }
        args.result_number = 7;
        args.result_text = "seven";
        return answer;
    }

    struct Seen {
        FileOp op;
        int key;
        std::uint32_t pointer;
        std::int64_t number;
        std::string text;
    };
    std::vector<Seen> calls;
    ErrorCode answer = err::NoError;
};

class FileLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        driver_ = std::make_shared<RecordingDriver>();
        RegisterDriver(driver_);
    }
    TableDeclaration Declaration() {
        return TableDeclaration("SAMPLE", "SAM", "recording")
            .NameVariable(name_.Span())
            .Record(AsBytes(record_))
            .String("SAM:Name", 0, 10)
            .Long("SAM:Number", 10)
            .Byte("SAM:Flag", 14)
            .Memo("SAM:Notes", 20)
            .Key("SAM:NameKey", key_attr::NoCase | key_attr::Opt, {"SAM:Name"})
            .Key("SAM:NumberKey", key_attr::Dup, {"-SAM:Number", "SAM:Name"});
    }

    std::shared_ptr<RecordingDriver> driver_;
    FixedString<64> name_{"SAMPLE.PLM"};
    SampleRecord record_{};
};

TEST_F(FileLayerTest, DeclarationResolvesLabelsComponentsAndStoredNames) {
    const auto decl = Declaration();
    EXPECT_TRUE(decl.ComponentsResolved());
    EXPECT_EQ(decl.RecordLength(), 15u);
    ASSERT_EQ(decl.Fields().size(), 3u);
    EXPECT_EQ(decl.Fields()[1].StoredName(), "SAM:NUMBER");
    EXPECT_EQ(decl.KeyNumber("sam:numberkey"), 1);
    const auto& key = decl.Keys()[1];
    ASSERT_EQ(key.components.size(), 2u);
    EXPECT_EQ(key.components[0].field, 1);
    EXPECT_TRUE(key.components[0].descending);
    EXPECT_EQ(key.components[1].field, 0);
    EXPECT_FALSE(key.components[1].descending);
    EXPECT_EQ(key.StoredLabel(), "SAM:NUMBERKEY");

    auto bad = Declaration().Key("SAM:Typo", 0, {"SAM:Nmae"});
    EXPECT_FALSE(bad.ComponentsResolved());
}

TEST_F(FileLayerTest, NameVariableIsReadAtEveryCall) {
    Table table(Declaration());
    EXPECT_EQ(table.FileName(), "SAMPLE.PLM");
    name_ = "/data/" + name_.Clip();
    EXPECT_EQ(table.FileName(), "/data/SAMPLE.PLM");
}

TEST_F(FileLayerTest, StatementsReachTheDriverWithTheirOperationNumbers) {
    Table table(Declaration());
    table.Open(0x42);
    table.SetKeyKey(1);
    table.Next();
    table.GetByPointer(12);
    table.Hold(3);
    table.Lock();
    EXPECT_EQ(table.Records(), 7);
    EXPECT_EQ(table.Send("FULLBUILD"), "seven");
    ASSERT_EQ(driver_->calls.size(), 8u);
    EXPECT_EQ(static_cast<int>(driver_->calls[0].op), 25);
    EXPECT_EQ(driver_->calls[0].number, 0x42);
    EXPECT_EQ(static_cast<int>(driver_->calls[1].op), 45);
    EXPECT_EQ(driver_->calls[1].key, 1);
    EXPECT_EQ(static_cast<int>(driver_->calls[2].op), 24);
    EXPECT_EQ(static_cast<int>(driver_->calls[3].op), 16);
    EXPECT_EQ(driver_->calls[3].pointer, 12u);
    EXPECT_EQ(static_cast<int>(driver_->calls[4].op), 19);
    EXPECT_EQ(driver_->calls[4].number, 3);
    EXPECT_EQ(static_cast<int>(driver_->calls[5].op), 20);
    EXPECT_EQ(static_cast<int>(driver_->calls[6].op), 32);
    EXPECT_EQ(static_cast<int>(driver_->calls[7].op), 60);
    EXPECT_EQ(driver_->calls[7].text, "FULLBUILD");
    EXPECT_EQ(FileOpName(FileOp::SetKeyKeyPtr), "SETkeykeyptr");
    EXPECT_EQ(FileOpName(FileOp::BlobGetProp), "BLOB_GET_PROP");
}

TEST_F(FileLayerTest, EveryStatementLeavesTheErrorState) {
    Table table(Declaration());
    driver_->answer = err::CreatesDuplicateKey;
    EXPECT_EQ(table.Add(), err::CreatesDuplicateKey);
    EXPECT_EQ(CurrentErrorCode(), 40);
    EXPECT_EQ(CurrentErrorText(), "Creates Duplicate Key");

    driver_->answer = err::FileSystemError;
    EXPECT_EQ(table.Put(), err::FileSystemError);
    EXPECT_EQ(CurrentErrorText(), "File System Error");
    EXPECT_EQ(CurrentFileErrorCode(), "1602");
    EXPECT_EQ(CurrentFileErrorText(), "Possible data corruption in file");

    driver_->answer = err::NoError;
    EXPECT_EQ(table.Next(), 0);
    EXPECT_EQ(CurrentErrorCode(), 0);
    EXPECT_EQ(CurrentErrorText(), "");

    // An operation the driver does not serve, and a driver nobody registered.
    EXPECT_EQ(table.Pack(), err::UnsupportedFunction);
    Table orphan(TableDeclaration("ORPHAN", "ORP", "NOSUCHDRIVER"));
    EXPECT_EQ(orphan.Open(), err::UnsupportedFunction);
    EXPECT_EQ(CurrentErrorText(), "Unsupported File Driver Function");
}

TEST_F(FileLayerTest, ClearRecordBlanksTextsAndZeroesNumbers) {
    Table table(Declaration());
    record_.name = "abc";
    record_.number = 42;
    record_.flag = 1;
    table.MemoBuffer(0) = "short";
    table.ClearRecord();
    EXPECT_EQ(record_.name.View(), std::string(10, ' '));
    const std::int32_t number = record_.number;  // packed: read by value
    EXPECT_EQ(number, 0);
    EXPECT_EQ(record_.flag, 0);
    EXPECT_EQ(table.MemoBuffer(0), std::string(20, ' '));
}

TEST_F(FileLayerTest, TransactionsEnlistEveryTableAndEndOncePerDriver) {
    Table a(Declaration());
    Table b(Declaration());
    EXPECT_EQ(Commit(), err::LogoutNotActive);
    EXPECT_EQ(Logout(1, {&a, &b}), 0);
    EXPECT_TRUE(TransactionActive());
    EXPECT_EQ(Logout(1, {&a}), err::LogoutAlreadyActive);
    driver_->calls.clear();
    EXPECT_EQ(Commit(), 0);
    ASSERT_EQ(driver_->calls.size(), 1u);
    EXPECT_EQ(driver_->calls[0].op, FileOp::Commit);
    EXPECT_FALSE(TransactionActive());
    EXPECT_EQ(Rollback(), err::LogoutNotActive);
    EXPECT_EQ(CurrentErrorText(), "LOGOUT Not Active");

    // A table that cannot join makes the whole LOGOUT fail and rolls back the others.
    driver_->answer = err::AccessDenied;
    EXPECT_EQ(Logout(1, {&a, &b}), err::AccessDenied);
    EXPECT_FALSE(TransactionActive());
    EXPECT_EQ(CurrentErrorCode(), err::AccessDenied);
}

TEST_F(FileLayerTest, CloseNotifiesTheCallbackWithoutDisturbingTheError) {
    struct Counter final : FileCallback {
        bool Notify(FileOp op, Table&) override {
            seen.push_back(op);
            PostError(err::AccessDenied);  // whatever it does must not leak out
            return true;
        }
        std::vector<FileOp> seen;
    } counter;
    Table table(Declaration());
    table.SetCallback(&counter);
    driver_->answer = err::NoError;
    EXPECT_EQ(table.Close(), 0);
    EXPECT_EQ(CurrentErrorCode(), 0);
    ASSERT_EQ(counter.seen.size(), 1u);
    EXPECT_EQ(counter.seen[0], FileOp::Close);
}

TEST(FixedStringTest, AssignmentCutsAndPadsAndClipDropsBlanks) {
    FixedString<5> s;
    EXPECT_EQ(s.View(), "     ");
    s = "abcdefgh";
    EXPECT_EQ(s.View(), "abcde");
    s = "ab ";
    EXPECT_EQ(s.Clip(), "ab");
    FixedCString<4> c("long text");
    EXPECT_EQ(c.View(), "lon");
    EXPECT_EQ(ClipText(std::string_view("x  \0zz", 6)), "x");
}

}  // namespace
}  // namespace zelt::runtime
