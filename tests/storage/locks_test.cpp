// Share modes, the writer byte, reader slots and record bytes. Locks belong to the open
// file, so two handles in one process exclude each other as two processes do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using testing::OpenFile;
using testing::ScratchDir;

Status TryOpen(const std::filesystem::path& path, Access access, Share share,
               std::unique_ptr<ItemFile>& out) {
    return ItemFile::Open(path, {access, share, Creation::OpenOrCreate, {}}, out);
}

TEST(LocksTest, ShareModesRefuseConflictingOpensWithAccessDenied) {
    ScratchDir dir;
    auto path = dir / "s.plm";
    std::unique_ptr<ItemFile> first, second;
    ASSERT_TRUE(TryOpen(path, Access::ReadWrite, Share::DenyAll, first).ok());
    EXPECT_EQ(TryOpen(path, Access::ReadOnly, Share::DenyNone, second).code,
              runtime::err::AccessDenied);
    first.reset();

    ASSERT_TRUE(TryOpen(path, Access::ReadWrite, Share::DenyWrite, first).ok());
    EXPECT_TRUE(TryOpen(path, Access::ReadOnly, Share::DenyNone, second).ok());  // others may read
    second.reset();
    EXPECT_EQ(TryOpen(path, Access::ReadWrite, Share::DenyNone, second).code,
              runtime::err::AccessDenied);
    // Denying write to a file someone already writes is refused as well.
    EXPECT_EQ(TryOpen(path, Access::ReadOnly, Share::DenyWrite, second).code,
              runtime::err::AccessDenied);
    first.reset();

    ASSERT_TRUE(TryOpen(path, Access::ReadWrite, Share::DenyNone, first).ok());
    EXPECT_TRUE(TryOpen(path, Access::ReadWrite, Share::DenyNone, second).ok());
    std::unique_ptr<ItemFile> third;
    EXPECT_EQ(TryOpen(path, Access::ReadOnly, Share::DenyAll, third).code,
              runtime::err::AccessDenied);
    second.reset();
    first.reset();
    EXPECT_TRUE(
        TryOpen(path, Access::ReadOnly, Share::DenyAll, third).ok());  // all closed: free again
}

// Starting a file anew while another handle has it open would take its committed items
// away under it, whatever share mode both chose: refused with 5, and nothing is lost.
TEST(LocksTest, CreatingAFileAnewIsRefusedWhileAnotherHandleHasItOpen) {
    ScratchDir dir;
    auto path = dir / "n.plm";
    auto writer = OpenFile(path);
    ASSERT_TRUE(writer->Insert("kept", "1").ok());
    for (Share share : {Share::DenyNone, Share::DenyWrite, Share::DenyAll}) {
        std::unique_ptr<ItemFile> anew;
        const Status status =
            ItemFile::Open(path, {Access::ReadWrite, share, Creation::AlwaysNew, {}}, anew);
        EXPECT_EQ(status.code, runtime::err::AccessDenied);
    }
    Bytes data;
    bool found = false;
    ASSERT_TRUE(writer->Find("kept", &data, &found).ok());
    EXPECT_TRUE(found);
    writer.reset();
    std::unique_ptr<ItemFile> anew;  // nobody has it open now
    ASSERT_TRUE(
        ItemFile::Open(path, {Access::ReadWrite, Share::DenyNone, Creation::AlwaysNew, {}}, anew)
            .ok());
    EXPECT_TRUE(testing::ReadItems(*anew).empty());
}

TEST(LocksTest, RecordBytesAndTheWriterByteExcludeOtherHandles) {
    ScratchDir dir;
    auto one = OpenFile(dir / "r.plm");
    auto two = OpenFile(dir / "r.plm");
    bool got = false;
    ASSERT_TRUE(one->TryLockRecord(7, &got).ok());
    EXPECT_TRUE(got);
    ASSERT_TRUE(two->TryLockRecord(7, &got).ok());
    EXPECT_FALSE(got);
    ASSERT_TRUE(two->TryLockRecord(8, &got).ok());
    EXPECT_TRUE(got);
    ASSERT_TRUE(one->UnlockRecord(7).ok());
    ASSERT_TRUE(two->TryLockRecord(7, &got).ok());
    EXPECT_TRUE(got);

    ASSERT_TRUE(one->BeginWrite().ok());
    EXPECT_EQ(two->BeginWrite().code, runtime::err::AccessDenied);
    ASSERT_TRUE(one->Finish().ok());
    EXPECT_TRUE(two->BeginWrite().ok());
    EXPECT_TRUE(two->Finish().ok());

    // Readers take distinct slots and do not exclude each other.
    ASSERT_TRUE(one->BeginRead().ok());
    EXPECT_TRUE(two->BeginRead().ok());
    EXPECT_NE(one->state().reader_slot(), two->state().reader_slot());
    EXPECT_TRUE(one->Finish().ok());
    EXPECT_TRUE(two->Finish().ok());
}

// Reader slots run from 0 to 1022 and the writer byte lies just above them. With readers
// in the first and the last slot another handle still gets the writer byte, the writer
// leaves both slots alone, and a reader seeded on the last slot wraps round past both.
TEST(LocksTest, ReadersInTheFirstAndLastSlotLeaveTheWriterByteAlone) {
    ScratchDir dir;
    const auto path = dir / "s.plm";
    auto first = OpenFile(path);
    auto last = OpenFile(path);
    auto writer = OpenFile(path);
    auto third = OpenFile(path);
    const int probe = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    auto taken = [&](std::uint64_t offset) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = 1;
        return ::fcntl(probe, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    };
    first->state().PreferReaderSlot(0);
    last->state().PreferReaderSlot(1022);
    // No ASSERT while readers hold their slots: a commit would wait for them for ever.
    ASSERT_TRUE(first->BeginRead().ok());
    ASSERT_TRUE(last->BeginRead().ok() || (first->Finish(), false));
    EXPECT_EQ(last->state().reader_slot(), 1022u);
    const bool writing = writer->BeginWrite().ok();
    EXPECT_TRUE(writing);
    if (writing) {
        EXPECT_TRUE(taken(kLockBase) && taken(kLockBase + 1022) && taken(kWriterByte));
        EXPECT_TRUE(writer->Insert("w", "1").ok());
        EXPECT_TRUE(taken(kLockBase) && taken(kLockBase + 1022));
    }
    third->state().PreferReaderSlot(1022);
    EXPECT_TRUE(third->BeginRead().ok());
    EXPECT_EQ(third->state().reader_slot(), 1u);
    EXPECT_TRUE(third->Finish().ok());
    EXPECT_TRUE(first->Finish().ok() && last->Finish().ok());
    if (writing) {
        EXPECT_TRUE(writer->Finish().ok());  // commits once the readers have gone
    }
    EXPECT_FALSE(taken(kLockBase) || taken(kLockBase + 1022) || taken(kWriterByte));
    ::close(probe);
}

TEST(LocksTest, AReaderSeesAnotherHandlesCommitAtItsNextOperation) {
    ScratchDir dir;
    auto writer = OpenFile(dir / "v.plm");
    auto reader = OpenFile(dir / "v.plm", Access::ReadOnly);
    ASSERT_TRUE(writer->Insert("n", "1").ok());
    Bytes data;
    bool found = false;
    ASSERT_TRUE(reader->Find("n", &data, &found).ok());
    EXPECT_EQ(data, "1");
    for (int i = 2; i < 40; ++i) {
        ASSERT_TRUE(writer->Replace("n", std::to_string(i)).ok());
        ASSERT_TRUE(writer->Insert("k" + std::to_string(i), std::string(500, 'x')).ok());
        ASSERT_TRUE(reader->Find("n", &data, &found).ok());
        EXPECT_EQ(data, std::to_string(i));
    }
    EXPECT_EQ(testing::ReadItems(*reader).size(), 39u);
}

// The phase and the locks held follow the operation frame and the transaction: a shared
// file holds its reader slot only while reading and the writer byte while writing and for
// as long as it is enlisted; a fault inside the transaction fails its commit, and the file
// ends idle with nothing held, so another handle writes at once.
TEST(LocksTest, PhasesAndLocksFollowOperationsAndTransactions) {
    using Held = HeldLocks::Operation;
    ScratchDir dir;
    auto file = OpenFile(dir / "p.plm");
    auto other = OpenFile(dir / "p.plm");
    ItemFileState& st = file->state();
    EXPECT_EQ(st.phase(), FilePhase::kIdle);
    ASSERT_TRUE(file->BeginRead().ok());
    EXPECT_EQ(st.phase(), FilePhase::kReading);
    EXPECT_EQ(st.locks().operation, Held::kReader);
    ASSERT_TRUE(file->BeginWrite().ok());
    EXPECT_EQ(st.phase(), FilePhase::kWriting);
    EXPECT_EQ(st.locks().operation, Held::kWriter);
    ASSERT_TRUE(file->Insert("a", "1").ok());
    ASSERT_TRUE(file->Finish().ok());
    EXPECT_EQ(st.phase(), FilePhase::kIdle);
    EXPECT_EQ(st.locks().operation, Held::kNone);
    EXPECT_FALSE(st.locks().exclusive);
    {
        Transaction transaction;
        ASSERT_TRUE(transaction.Enlist(*file).ok());
        EXPECT_EQ(st.phase(), FilePhase::kEnlisted);
        EXPECT_EQ(st.locks().operation, Held::kWriter);
        EXPECT_EQ(other->Insert("o", "1").code, runtime::err::AccessDenied);
        ASSERT_TRUE(file->BeginRead().ok());
        EXPECT_EQ(st.phase(), FilePhase::kEnlistedBusy);
        EXPECT_TRUE(st.write_state());
        ASSERT_TRUE(file->Insert("b", "2").ok());
        file->Abandon(Status::Fault(fault::ItemTreeLinks));
        EXPECT_EQ(st.phase(), FilePhase::kEnlisted);
        EXPECT_EQ(transaction.Commit().fault, fault::ItemTreeLinks);
    }
    EXPECT_EQ(st.phase(), FilePhase::kIdle);
    EXPECT_EQ(st.locks().operation, Held::kNone);
    EXPECT_TRUE(other->Insert("o", "1").ok());
    bool found = true;
    ASSERT_TRUE(file->Find("b", nullptr, &found).ok());
    EXPECT_FALSE(found);
    ASSERT_TRUE(file->Close().ok());
    EXPECT_EQ(st.phase(), FilePhase::kClosed);
}

}  // namespace
}  // namespace zelt::storage
