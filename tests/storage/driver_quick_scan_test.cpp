// "QUICKSCAN=ON" ... "=OFF": a browse's reads of one page share one read operation, so
// the header is checked and the reader slot taken once; the slot is free again when the
// scan ends, closes or gives way to a write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "pelmar_table_fixture.hpp"

namespace zelt::storage::pelmar_tests {
namespace {

class QuickScanTest : public PelmarTableTest {
  protected:
    static void SetUpTestSuite() {
        PelmarTableTest::SetUpTestSuite();
        runtime::RegisterDriver(std::make_shared<PelmarDriver>("PELMAR_B"));
    }

    // Whether some handle holds one of the reader slots (1023 bytes at 2^31) of the file.
    bool ReaderSlotTaken() {
        const int fd = ::open(dir_.File("PEOPLE.PLM").c_str(), O_RDWR);
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = 1LL << 31;
        probe.l_len = 1023;
        EXPECT_EQ(::fcntl(fd, F_OFD_GETLK, &probe), 0);
        ::close(fd);
        return probe.l_type != F_UNLCK;
    }
};

TEST_F(QuickScanTest, ReadsShareOneOperationUntilTheScanEnds) {
    runtime::Table t(People());
    CreateWith(t, {{"Ann", 1.0}, {"Bob", 2.0}, {"Cy", 3.0}, {"Dee", 4.0}});
    ASSERT_EQ(t.SetKey(kNameKey), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_FALSE(ReaderSlotTaken());  // a plain read is one operation
    EXPECT_EQ(t.Send("QUICKSCAN=on"), "ON");
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "Bob");
    EXPECT_TRUE(ReaderSlotTaken());
    // A change inside the scan is written as ever, and the scan reads on.
    rec_.score = 9.0;
    ASSERT_EQ(t.Put(), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(rec_.name.Clip(), "Cy");
    EXPECT_TRUE(ReaderSlotTaken());
    EXPECT_EQ(t.Send("QUICKSCAN=OFF"), "OFF");
    EXPECT_FALSE(ReaderSlotTaken());

    // Another station writes once the scan is over, and the next read sees it.
    runtime::Table theirs(People("PELMAR_B"));
    ASSERT_EQ(theirs.Open(0x42), 0);
    rec_.number = 2;
    ASSERT_EQ(theirs.Get(kNumberKey), 0);
    EXPECT_EQ(rec_.score, 9.0);
    rec_.score = 5.0;
    ASSERT_EQ(theirs.Put(), 0);
    rec_.number = 2;
    ASSERT_EQ(t.Get(kNumberKey), 0);
    EXPECT_EQ(rec_.score, 5.0);

    // Closing in the middle of a scan ends it.
    t.Send("QUICKSCAN=ON");
    ASSERT_EQ(t.SetKey(kNameKey), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_TRUE(ReaderSlotTaken());
    t.Close();
    EXPECT_FALSE(ReaderSlotTaken());
    rec_.name = "Eve";
    rec_.number = 5;
    EXPECT_EQ(theirs.Add(), 0);
}

}  // namespace
}  // namespace zelt::storage::pelmar_tests
