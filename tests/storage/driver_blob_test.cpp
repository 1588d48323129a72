#include <gtest/gtest.h>

#include "pelmar_table_fixture.hpp"

namespace zelt::storage::pelmar_tests {
namespace {

namespace err = runtime::err;

class DriverBlobTest : public PelmarTableTest {
  protected:
    // Every byte value, zero bytes among them, over several memo chunks.
    static std::string AllBytes(std::size_t n) {
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 256);
        return bytes;
    }
};

TEST_F(DriverBlobTest, TakenBytesTravelWithTheRecordAndYieldEmptiesTheBlob) {
    runtime::Table t(People());
    CreateWith(t, {});
    const std::string photo = AllBytes(1000);
    t.ClearRecord();
    rec_.name = "Ann";
    rec_.number = 1;
    ASSERT_EQ(t.BlobTake(kPhoto, photo), 0);
    EXPECT_EQ(t.BlobSize(kPhoto), 1000);
    ASSERT_EQ(t.BlobTake(kNotes, "short note"), 0);
    EXPECT_EQ(t.MemoBuffer(kNotes), "short note" + std::string(90, ' '));  // a MEMO keeps its size
    ASSERT_EQ(t.Add(), 0);
    rec_.name = "Bob";
    rec_.number = 2;
    ASSERT_EQ(t.BlobTake(kPhoto, std::string("\0", 1)), 0);
    ASSERT_EQ(t.Add(), 0);

    t.ClearRecord();
    rec_.number = 1;
    ASSERT_EQ(t.Get(kNumberKey), 0);
    EXPECT_EQ(t.MemoBuffer(kPhoto), photo);
    EXPECT_EQ(t.BlobProperty(kNotes, "size"), "100");
    std::string handed;
    ASSERT_EQ(t.BlobYield(kPhoto, &handed), 0);
    EXPECT_EQ(handed, photo);
    EXPECT_EQ(t.BlobSize(kPhoto), 0);
    ASSERT_EQ(t.BlobYield(kNotes, &handed), 0);
    EXPECT_EQ(handed.substr(0, 11), "short note ");
    EXPECT_EQ(t.MemoBuffer(kNotes), std::string(100, ' '));

    // Putting the emptied blob removes its chunks.
    ASSERT_EQ(t.Put(), 0);
    t.ClearRecord();
    rec_.number = 2;
    ASSERT_EQ(t.Get(kNumberKey), 0);
    EXPECT_EQ(t.MemoBuffer(kPhoto), std::string("\0", 1));
    rec_.number = 1;
    ASSERT_EQ(t.Get(kNumberKey), 0);
    EXPECT_EQ(t.BlobSize(kPhoto), 0);
    EXPECT_EQ(t.MemoBuffer(kNotes), std::string(100, ' '));
}

TEST_F(DriverBlobTest, PropertiesAndTheirRefusals) {
    runtime::Table t(People());
    ASSERT_EQ(t.BlobTake(kPhoto, AllBytes(10)), 0);
    EXPECT_EQ(t.BlobProperty(kPhoto, "SIZE"), "10");
    EXPECT_EQ(t.BlobProperty(kPhoto, "binary"), "1");
    EXPECT_EQ(t.BlobProperty(kPhoto, "Blob"), "1");
    EXPECT_EQ(t.BlobProperty(kPhoto, "LIMIT"), "16777216");
    EXPECT_EQ(t.BlobProperty(kPhoto, "LABEL"), "PEO:Photo");
    EXPECT_EQ(t.BlobProperty(kPhoto, "NAME"), "PEO:PHOTO");
    EXPECT_EQ(t.BlobProperty(kNotes, "BINARY"), "0");
    EXPECT_EQ(t.BlobProperty(kNotes, "BLOB"), "0");
    EXPECT_EQ(t.BlobProperty(kNotes, "LIMIT"), "100");

    // SIZE cuts or extends a BLOB with zero bytes.
    ASSERT_EQ(t.SetBlobProperty(kPhoto, "size", "4"), 0);
    EXPECT_EQ(t.MemoBuffer(kPhoto), AllBytes(4));
    ASSERT_EQ(t.SetBlobProperty(kPhoto, "SIZE", "6"), 0);
    EXPECT_EQ(t.MemoBuffer(kPhoto), AllBytes(4) + std::string(2, '\0'));
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "SIZE", "six"), err::InvalidNumberOfParameters);
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "SIZE", "-1"), err::InvalidNumberOfParameters);
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "SIZE", "16777217"), err::UnsupportedFunction);
    EXPECT_EQ(t.SetBlobProperty(kNotes, "SIZE", "5"), err::UnsupportedFunction);
    // Read only and unknown names.
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "BINARY", "0"), err::UnsupportedFunction);
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "LIMIT", "10"), err::UnsupportedFunction);
    EXPECT_EQ(t.BlobProperty(kPhoto, "COLOUR"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), err::UnsupportedFunction);
    EXPECT_EQ(t.SetBlobProperty(kPhoto, "", "1"), err::InvalidNumberOfParameters);
    EXPECT_EQ(t.BlobSize(kPhoto), 6);

    // Blob numbers out of range.
    std::string out = "left";
    EXPECT_EQ(t.BlobTake(2, "x"), err::InvalidFieldTypeDescriptor);
    EXPECT_EQ(t.BlobYield(-1, &out), err::InvalidFieldTypeDescriptor);
    EXPECT_EQ(out, "");
    EXPECT_EQ(t.BlobProperty(7, "SIZE"), "");
    EXPECT_EQ(runtime::CurrentErrorCode(), err::InvalidFieldTypeDescriptor);
    EXPECT_EQ(t.SetBlobProperty(2, "SIZE", "1"), err::InvalidFieldTypeDescriptor);
}

TEST_F(DriverBlobTest, ContentsBeyondWhatCanBeStoredAreRefused) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 1.0}});
    EXPECT_EQ(t.BlobTake(kNotes, std::string(101, 'n')), err::UnsupportedFunction);
    EXPECT_EQ(t.MemoBuffer(kNotes), std::string(100, ' '));  // untouched
    ASSERT_EQ(t.BlobTake(kPhoto, "kept"), 0);
    EXPECT_EQ(t.BlobTake(kPhoto, std::string(16777217, 'x')), err::UnsupportedFunction);
    EXPECT_EQ(t.MemoBuffer(kPhoto), "kept");

    // A buffer grown past the limit by hand is refused by add and put alike; nothing is
    // written.
    t.ClearRecord();
    rec_.name = "Bob";
    rec_.number = 2;
    t.MemoBuffer(kPhoto).assign(16777217, 'x');
    EXPECT_EQ(t.Add(), err::UnsupportedFunction);
    EXPECT_EQ(t.Records(), 1);
    t.MemoBuffer(kPhoto).clear();
    rec_.number = 1;
    ASSERT_EQ(t.Get(kNumberKey), 0);
    t.MemoBuffer(kPhoto).assign(16777217, 'x');
    EXPECT_EQ(t.Put(), err::UnsupportedFunction);
    t.MemoBuffer(kPhoto).clear();
    ASSERT_EQ(t.Get(kNumberKey), 0);
    EXPECT_EQ(t.BlobSize(kPhoto), 0);
}

}  // namespace
}  // namespace zelt::storage::pelmar_tests
