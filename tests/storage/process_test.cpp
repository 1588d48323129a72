// Separate processes on one file: a reader that follows a writer's commits, record bytes
// held across processes, and writers killed with SIGKILL at arbitrary moments.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "storage/io/io_fault_seam.hpp"
#include "storage/journal/control_files.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using testing::OpenFile;
using testing::ScratchDir;

bool ReadByte(int fd, char& c) {
    return ::read(fd, &c, 1) == 1;
}
void WriteByte(int fd, char c) {
    [[maybe_unused]] auto n = ::write(fd, &c, 1);
}

TEST(ProcessTest, ReaderProcessSeesEachCommitAndRecordBytesExclude) {
    ScratchDir dir;
    auto path = dir / "p.plm";
    auto writer = OpenFile(path);
    ASSERT_TRUE(writer->Insert("n", "0").ok());
    bool got = false;
    ASSERT_TRUE(writer->TryLockRecord(5, &got).ok());
    ASSERT_TRUE(got);
    int to_child[2], to_parent[2];
    ASSERT_EQ(::pipe(to_child), 0);
    ASSERT_EQ(::pipe(to_parent), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = 0;
        std::unique_ptr<ItemFile> reader;
        Status opened = ItemFile::Open(
            path, {Access::ReadWrite, Share::DenyNone, Creation::OpenExisting, {}}, reader);
        if (!opened.ok()) {
            std::fprintf(stderr, "reader process: open gave %d/%d\n", opened.code, opened.fault);
            _exit(10);
        }
        bool held = true;
        reader->TryLockRecord(5, &held);
        if (held) rc = 11;  // the parent holds record 5
        bool other = false;
        reader->TryLockRecord(6, &other);
        if (!other) rc = 12;
        // Ready: from here on the two processes take turns. (A reader that tries its slot
        // while the other process commits is refused with 5, so the turns matter.)
        WriteByte(to_parent[1], rc == 0 ? 'r' : 'n');
        char c = 0;
        for (int i = 1; rc == 0 && ReadByte(to_child[0], c) && c != 'q'; ++i) {
            Bytes data;
            bool found = false;
            if (!reader->Find("n", &data, &found).ok() || data != std::to_string(i)) rc = 13;
            if (rc == 0 && !reader->Insert("child" + std::to_string(i), "c").ok()) rc = 14;
            WriteByte(to_parent[1], rc == 0 ? 'y' : 'n');
        }
        reader.reset();
        _exit(rc);
    }
    ::close(to_child[0]);
    ::close(to_parent[1]);
    char ready = 0;
    ASSERT_TRUE(ReadByte(to_parent[0], ready));
    ASSERT_EQ(ready, 'r');
    for (int i = 1; i <= 20; ++i) {
        ASSERT_TRUE(writer->Replace("n", std::to_string(i)).ok());
        WriteByte(to_child[1], 'g');
        char answer = 0;
        if (!ReadByte(to_parent[0], answer) || answer != 'y') {
            int status = 0;
            ::waitpid(pid, &status, 0);
            FAIL() << "round " << i << ": reader process ended with " << WEXITSTATUS(status)
                   << (WIFSIGNALED(status) ? " (signal)" : "");
        }
    }
    WriteByte(to_child[1], 'q');
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::close(to_child[1]);
    ::close(to_parent[0]);
    // The child's commits reached the parent too.
    EXPECT_EQ(testing::ReadItems(*writer).size(), 21u);
}

// One round of a kill test: a child process opens its files (`open`) and makes commit
// after commit (`commit(n)` for n = `from`, `from` + 1, ...), telling the parent the
// number of each one acknowledged, until the parent kills it after a random pause (after
// its first acknowledgement when `after_first`). Returns the last number acknowledged
// (`from` - 1 for none), or -1 when the child ended on its own.
int KillRound(int from, std::mt19937& rng, int max_pause_us, bool after_first,
              const std::function<bool()>& open, const std::function<bool(int)>& commit) {
    int acks[2];
    if (::pipe(acks) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::close(acks[0]);
        if (!open()) _exit(3);
        for (int n = from;; ++n) {
            if (!commit(n)) _exit(4);
            if (::write(acks[1], &n, sizeof n) != sizeof n) _exit(5);
        }
    }
    ::close(acks[1]);
    int acknowledged = from - 1;
    int n = 0;
    if (after_first && ::read(acks[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n))
        acknowledged = n;
    std::this_thread::sleep_for(
        std::chrono::microseconds(rng() % static_cast<unsigned>(max_pause_us)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    while (::read(acks[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) acknowledged = n;
    ::close(acks[0]);
    return WIFSIGNALED(status) ? acknowledged : -1;
}

std::string CommitKey(char prefix, int n) {
    char key[16];
    std::snprintf(key, sizeof key, "%c%08d", prefix, n);
    return key;
}

TEST(ProcessTest, KilledWritersLeaveEveryAcknowledgedCommit) {
    ScratchDir dir;
    auto path = dir / "k.plm";
    std::mt19937 rng(42);
    int acknowledged = 0;
    int rounds = 0;
    for (; rounds < 30; ++rounds) {
        std::unique_ptr<ItemFile> child;
        acknowledged = KillRound(
            acknowledged + 1, rng, 30000, true,
            [&] {
                return ItemFile::Open(
                           path, {Access::ReadWrite, Share::DenyNone, Creation::OpenOrCreate, {}},
                           child)
                    .ok();
            },
            [&](int n) {
                return child
                    ->Insert(CommitKey('c', n),
                             std::string(static_cast<std::size_t>(n % 7) * 90, 'd'))
                    .ok();
            });
        ASSERT_GE(acknowledged, 0) << "the child ended on its own";

        auto file = OpenFile(path, Access::ReadOnly);
        ASSERT_TRUE(file);
        testing::Model items = testing::ReadItems(*file);
        EXPECT_EQ(testing::VerifyTree(*file), items.size());
        // Every acknowledged commit is there; at most the one in flight besides.
        ASSERT_GE(static_cast<int>(items.size()), acknowledged) << "round " << rounds;
        ASSERT_LE(static_cast<int>(items.size()), acknowledged + 1) << "round " << rounds;
        acknowledged = static_cast<int>(items.size());
    }
    std::printf("kill rounds: %d, commits acknowledged: %d\n", rounds, acknowledged);
}

// A writer commits transactions over two files in two directories and is killed at a
// random moment, 200 times: both files always hold the same transactions, every
// acknowledged one among them.
TEST(ProcessTest, KilledTransactionsOverTwoDirectoriesAreNeverTorn) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "one");
    std::filesystem::create_directory(dir / "two");
    const auto path_a = dir / "one" / "a.plm";
    const auto path_b = dir / "two" / "b.plm";
    std::mt19937 rng(7);
    int acknowledged = 0;
    int torn = 0;
    int rounds = 0;
    for (; rounds < 200; ++rounds) {
        std::unique_ptr<ItemFile> a;
        std::unique_ptr<ItemFile> b;
        acknowledged = KillRound(
            acknowledged + 1, rng, 20000, false,
            [&] {
                const OpenOptions options{
                    Access::ReadWrite, Share::DenyNone, Creation::OpenOrCreate, {}};
                return ItemFile::Open(path_a, options, a).ok() &&
                       ItemFile::Open(path_b, options, b).ok();
            },
            [&](int n) {
                Transaction tx;
                return tx.Enlist(*a).ok() && tx.Enlist(*b).ok() &&
                       a->Insert(CommitKey('t', n),
                                 std::string(static_cast<std::size_t>(n % 5) * 120, 'a'))
                           .ok() &&
                       b->Insert(CommitKey('t', n),
                                 std::string(static_cast<std::size_t>(n % 3) * 200, 'b'))
                           .ok() &&
                       tx.Commit().ok();
            });
        ASSERT_GE(acknowledged, 0) << "the child ended on its own";
        if (!std::filesystem::exists(path_a) || !std::filesystem::exists(path_b))
            continue;  // killed before both existed

        auto fa = OpenFile(path_a);
        auto fb = OpenFile(path_b);
        ASSERT_TRUE(fa && fb) << "round " << rounds;
        std::vector<std::string> keys_a, keys_b;
        for (const auto& item : testing::ReadItems(*fa)) keys_a.push_back(item.first);
        for (const auto& item : testing::ReadItems(*fb)) keys_b.push_back(item.first);
        std::erase(keys_a, std::string(kMarkerKey));
        std::erase(keys_b, std::string(kMarkerKey));
        if (keys_a != keys_b) ++torn;
        EXPECT_EQ(keys_a, keys_b) << "round " << rounds;
        ASSERT_GE(static_cast<int>(keys_a.size()), acknowledged) << "round " << rounds;
        ASSERT_LE(static_cast<int>(keys_a.size()), acknowledged + 1) << "round " << rounds;
        acknowledged = static_cast<int>(keys_a.size());
    }
    EXPECT_EQ(torn, 0);
    std::printf("transaction kill rounds: %d, transactions acknowledged: %d, torn: %d\n", rounds,
                acknowledged, torn);
}

// Data that run-length coding cannot shrink, so that pages fill and split: `length` bytes
// drawn from `seed`.
std::string Noise(unsigned seed, std::size_t length) {
    std::mt19937 rng(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

// A writer that keeps the file to itself commits 31 records and dies without closing: the
// header that closed its last journal is written but not flushed. A second writer opens
// the file, begins to commit a rewrite of records and the machine stops; the power cut then loses
// any sector of the writes no flush covered, of either process. Every seed must open with all 31
// records, each as committed: rewritten when the second writer's commit finished before the stop,
// else either as they were or as rewritten, never a mix.
TEST(ProcessTest, ACrashASecondWriterAndAPowerCutKeepAcknowledgedRecords) {
    constexpr int kRecords = 31;
    constexpr int kRewrites = 5;
    int torn = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        ScratchDir dir;
        const auto path = dir / "cut.plm";
        const std::string log = (dir / "unflushed.log").string();
        std::mt19937 rng(seed);
        const auto first_value = [&](int n) {
            return Noise(seed * 1000 + static_cast<unsigned>(n),
                         200 + 37 * static_cast<std::size_t>(n));
        };
        const auto rewritten = [&](int n) {
            return Noise(seed * 1000 + 500 + static_cast<unsigned>(n),
                         200 + 37 * static_cast<std::size_t>(n));
        };
        const auto rewritten_record = [](int r) { return 3 + 6 * r; };
        const auto run = [](const std::function<int()>& body) {
            const pid_t pid = ::fork();
            if (pid == 0) _exit(body());
            int status = 0;
            ::waitpid(pid, &status, 0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
        io::IoFaultSeam::LogUnflushedTo(log);
        const int first = run([&] {
            std::unique_ptr<ItemFile> file;
            if (!ItemFile::Open(
                     path, {Access::ReadWrite, Share::DenyWrite, Creation::OpenOrCreate, {}}, file)
                     .ok())
                return 1;
            for (int n = 0; n < kRecords; ++n)
                if (!file->Insert(CommitKey('a', n), first_value(n)).ok()) return 2;
            (void)file.release();  // dies with the file open
            return 0;
        });
        ASSERT_EQ(first, 0) << "seed " << seed;
        const int stop_at = 1 + static_cast<int>(rng() % 3);
        const int second = run([&] {
            io::IoFaultSeam::Arm(io::SeamAction::Stop, stop_at);
            std::unique_ptr<ItemFile> file;
            if (!ItemFile::Open(
                     path, {Access::ReadWrite, Share::DenyNone, Creation::OpenExisting, {}}, file)
                     .ok())
                return 100;
            // One commit that rewrites records all over the file: a long journal.
            Transaction tx;
            if (!tx.Enlist(*file).ok()) return 101;
            for (int r = 0; r < kRewrites; ++r) {
                const int n = rewritten_record(r);
                if (!file->Replace(CommitKey('a', n), rewritten(n)).ok()) return 102;
            }
            const bool committed = tx.Commit().ok() && !io::IoFaultSeam::Stopped();
            const int acknowledged = committed ? kRewrites : 0;
            return acknowledged;
        });
        io::IoFaultSeam::LogUnflushedTo("");
        ASSERT_GE(second, 0);
        ASSERT_LT(second, 100) << "seed " << seed;
        io::IoFaultSeam::UndoLoggedUnflushed(
            log, [&](std::size_t, std::uint64_t) { return rng() % 2 == 0; });
        std::unique_ptr<ItemFile> file;
        const Status opened = ItemFile::Open(
            path, {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, {}}, file);
        EXPECT_TRUE(opened.ok()) << "seed " << seed << ": " << opened.code << "/" << opened.fault;
        if (!opened.ok()) {
            ++torn;
            continue;
        }
        Status walked;
        testing::Model items = testing::ReadItems(*file, &walked);
        int wrong = 0;
        for (int n = 0; n < kRecords; ++n) {
            const auto found = items.find(CommitKey('a', n));
            int r = 0;
            while (r < kRewrites && rewritten_record(r) != n) ++r;
            const bool may_be_first = r == kRewrites || r >= second;
            const bool may_be_rewritten = r < kRewrites;
            if (found == items.end() || !((may_be_first && found->second == first_value(n)) ||
                                          (may_be_rewritten && found->second == rewritten(n))))
                ++wrong;
        }
        const bool whole = walked.ok() && wrong == 0 && items.size() == kRecords;
        EXPECT_TRUE(whole) << "seed " << seed << ": " << wrong << " of " << kRecords
                           << " records lost or mixed, " << items.size() << " items, walk "
                           << walked.code << "/" << walked.fault;
        if (!whole) ++torn;
    }
    EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace zelt::storage
