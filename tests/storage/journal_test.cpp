// Commit, recovery and crash consistency: every write and flush point of a scripted
// workload is a crash point, and each must reopen to exactly the state before or after a
// commit, with a two-file transaction all-or-nothing.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "storage/io/io_fault_seam.hpp"
#include "storage/journal/control_files.hpp"
#include "storage/pagefile/file_header.hpp"
#include "storage/pagefile/page_codec.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using io::IoFaultSeam;
using io::SeamAction;
using testing::Model;
using testing::OpenFile;
using testing::ReadAll;
using testing::ReadItems;
using testing::ScratchDir;
using testing::VerifyTree;
using testing::WriteAll;

// In-process crash tests do not need the device flush; it only costs time.
class NoDeviceSync : public ::testing::Environment {
  public:
    void SetUp() override { IoFaultSeam::SetDeviceSync(false); }
};
[[maybe_unused]] auto* const kNoSync = ::testing::AddGlobalTestEnvironment(new NoDeviceSync);

FileHeader HeaderOf(const std::filesystem::path& path) {
    std::string bytes = ReadAll(path);
    bytes.resize(512);
    return FileHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

std::string Key(int n) {
    return "item" + std::to_string(100000 + n);
}

// One commit of the scripted workload: what it does to the two files.
struct Step {
    std::function<void(Model&, Model&)> change;
    bool both = false;  // a transaction over both files
};

std::vector<Step> Workload() {
    std::vector<Step> steps;
    // Inserts that split pages and grow the tree.
    steps.push_back({[](Model& a, Model&) {
        for (int i = 0; i < 120; ++i) a[Key(i)] = std::string(60, 'a');
    }});
    // Items that change page size classes: sections rotate.
    steps.push_back({[](Model& a, Model&) {
        for (int i = 0; i < 120; i += 3) a[Key(i)] = std::string(700, 'b');
    }});
    // Deletes that empty pages.
    steps.push_back({[](Model& a, Model&) {
        for (int i = 0; i < 120; i += 2) a.erase(Key(i));
    }});
    // A transaction over both files.
    steps.push_back({[](Model& a, Model& b) {
                         for (int i = 200; i < 230; ++i) a[Key(i)] = "t";
                         for (int i = 0; i < 40; ++i) b[Key(i)] = std::string(100, 'c');
                     },
                     true});
    steps.push_back({[](Model& a, Model&) {
        for (int i = 1; i < 120; i += 4) a.erase(Key(i));
        a[Key(5000)] = "z";
    }});
    return steps;
}

// Applies the difference between `from` and `to` through the file's own calls.
bool ApplyDiff(ItemFile& file, const Model& from, const Model& to) {
    bool ok = true;
    for (auto& [key, data] : from) {
        auto it = to.find(key);
        if (it == to.end()) ok = file.Erase(key).ok() && ok;
    }
    for (auto& [key, data] : to) {
        auto it = from.find(key);
        if (it == from.end() || it->second != data) ok = file.Replace(key, data).ok() && ok;
    }
    return ok;
}

struct Outcome {
    int acknowledged = 0;  // commits that completed before the machine stopped
};

// Runs the workload on a.plm and b.plm in `dir`; returns the commits acknowledged while
// the seam had not stopped the disk.
// `b_name` may name b in a directory of its own ("two/b.plm").
Outcome RunWorkload(const ScratchDir& dir, std::vector<std::pair<Model, Model>>* states,
                    Share share = Share::DenyNone, const std::string& b_name = "b.plm") {
    Outcome outcome;
    std::unique_ptr<ItemFile> a;
    std::unique_ptr<ItemFile> b;
    OpenOptions options{Access::ReadWrite, share, Creation::OpenOrCreate, {}};
    std::filesystem::create_directories((dir / b_name).parent_path());
    if (!ItemFile::Open(dir / "a.plm", options, a).ok() ||
        !ItemFile::Open(dir / b_name, options, b).ok()) {
        return outcome;
    }
    Model ma, mb;
    if (states) states->push_back({ma, mb});
    for (const Step& step : Workload()) {
        Model na = ma, nb = mb;
        step.change(na, nb);
        bool ok = true;
        if (step.both) {
            Transaction tx;
            ok = tx.Enlist(*a).ok() && tx.Enlist(*b).ok();
            ok = ok && ApplyDiff(*a, ma, na) && ApplyDiff(*b, mb, nb);
            ok = ok && tx.Commit().ok();
        } else {
            ok = a->BeginWrite().ok() && ApplyDiff(*a, ma, na);
            ok = a->Finish().ok() && ok;
        }
        if (!ok) break;  // the program gives up at its first failed commit
        if (!IoFaultSeam::Stopped()) outcome.acknowledged++;
        ma = na;
        mb = nb;
        if (states) states->push_back({ma, mb});
    }
    a->Close();
    b->Close();
    return outcome;
}

TEST(CrashTest, EveryWriteAndFlushPointReopensToACommittedState) {
    std::vector<std::pair<Model, Model>> states;
    std::int64_t events = 0;
    {
        ScratchDir dir;
        IoFaultSeam::Disarm();
        Outcome clean = RunWorkload(dir, &states);
        events = IoFaultSeam::Count();
        ASSERT_EQ(clean.acknowledged, 5);
    }
    ASSERT_GT(events, 50);
    int covered = 0;
    for (SeamAction action : {SeamAction::Stop, SeamAction::Fail}) {
        for (std::int64_t point = 1; point <= events; ++point) {
            ScratchDir dir;
            IoFaultSeam::Arm(action, point);
            Outcome run = RunWorkload(dir, nullptr);
            IoFaultSeam::Disarm();
            SCOPED_TRACE(::testing::Message()
                         << (action == SeamAction::Stop ? "stop" : "fail") << " at " << point);
            // The reader sees the state without writing; the writer then resolves the file.
            for (Access access : {Access::ReadOnly, Access::ReadWrite}) {
                std::unique_ptr<ItemFile> a = OpenFile(dir / "a.plm", access);
                std::unique_ptr<ItemFile> b = OpenFile(dir / "b.plm", access);
                ASSERT_TRUE(a && b);
                std::pair<Model, Model> seen{ReadItems(*a), ReadItems(*b)};
                EXPECT_EQ(VerifyTree(*a), seen.first.size());
                seen.first.erase(
                    std::string(kMarkerKey));  // the transaction marker is the engine's own
                seen.second.erase(std::string(kMarkerKey));
                int k = run.acknowledged;
                bool matches = false;
                for (int i = 0; i < static_cast<int>(states.size()); ++i) {
                    if (i != k && i != k + 1) continue;
                    if (states[static_cast<std::size_t>(i)] == seen) matches = true;
                }
                EXPECT_TRUE(matches) << "acknowledged " << run.acknowledged << ", a holds "
                                     << seen.first.size() << ", b holds " << seen.second.size();
            }
            // After the writer, the file is consistent on disk and takes new commits.
            auto a = OpenFile(dir / "a.plm");
            EXPECT_TRUE(a->Insert("after", "crash").ok());
            FileHeader h = HeaderOf(dir / "a.plm");
            EXPECT_EQ(h.committed_end(), h.journal_end());
            ++covered;
        }
    }
    RecordProperty("crash_points", covered);
    std::printf(
        "crash points covered: %d (stop and fail at each of %lld write/flush/truncate calls)\n",
        covered, static_cast<long long>(events));
}

// A disk may keep writes in its cache and lose any of them when the machine stops; only
// what a flush has taken is sure. At every flush the machine stops instead, and the
// unflushed writes are lost in several patterns: all of them, only the headers at offset
// 0, only the rest, every other one; the names of new files whose directory was not
// flushed since are lost with all writes, or alone. Files only this handle writes close
// their journal without waiting for a flush, so both kinds of file are run, and the
// transaction runs once more over files in two directories.
TEST(CrashTest, WritesLostSinceTheLastFlushStillReopenToACommittedState) {
    struct Loss {
        const char* name;
        std::function<bool(std::size_t index, bool header)> undone;
        bool entries = false;  // the names of files created since their directory's last flush
    };
    const std::vector<Loss> losses = {
        {"all", [](std::size_t, bool) { return true; }, true},
        {"headers", [](std::size_t, bool header) { return header; }},
        {"pages", [](std::size_t, bool header) { return !header; }},
        {"odd", [](std::size_t i, bool) { return i % 2 == 1; }},
        {"even", [](std::size_t i, bool) { return i % 2 == 0; }},
        {"new names", [](std::size_t, bool) { return false; }, true},
    };
    int covered = 0;
    struct Layout {
        Share share;
        std::string b_name;
        const char* name;
    };
    for (const Layout& layout :
         {Layout{Share::DenyWrite, "b.plm", "deny write"},
          Layout{Share::DenyNone, "b.plm", "deny none"},
          Layout{Share::DenyNone, "two/b.plm", "deny none, two directories"}}) {
        SCOPED_TRACE(layout.name);
        const Share share = layout.share;
        std::vector<std::pair<Model, Model>> states;
        std::vector<std::int64_t> flushes;
        {
            ScratchDir dir;
            IoFaultSeam::Disarm();
            IoFaultSeam::TrackUnflushed(true);
            ASSERT_EQ(RunWorkload(dir, &states, share, layout.b_name).acknowledged, 5);
            flushes = IoFaultSeam::FlushPoints();
            IoFaultSeam::TrackUnflushed(false);
        }
        ASSERT_GT(flushes.size(), 10u);
        for (std::int64_t point : flushes) {
            for (const Loss& loss : losses) {
                ScratchDir dir;
                IoFaultSeam::TrackUnflushed(true);
                IoFaultSeam::Arm(SeamAction::Stop, point);
                Outcome run = RunWorkload(dir, nullptr, share, layout.b_name);
                IoFaultSeam::Disarm();
                const std::size_t unflushed = loss.entries ? IoFaultSeam::UnflushedEntryCount()
                                                           : IoFaultSeam::UnflushedCount();
                IoFaultSeam::UndoUnflushed([&](std::size_t i, std::uint64_t offset) {
                    return loss.undone(i, offset == 0);
                });
                if (loss.entries) IoFaultSeam::DropUnflushedEntries();
                IoFaultSeam::TrackUnflushed(false);
                if (unflushed == 0) continue;
                SCOPED_TRACE(::testing::Message()
                             << "stop at flush " << point << ", lost " << loss.name);
                std::unique_ptr<ItemFile> a = OpenFile(dir / "a.plm");
                std::unique_ptr<ItemFile> b = OpenFile(dir / layout.b_name);
                ASSERT_TRUE(a && b);
                std::pair<Model, Model> seen{ReadItems(*a), ReadItems(*b)};
                EXPECT_EQ(VerifyTree(*a), seen.first.size());
                seen.first.erase(std::string(kMarkerKey));
                seen.second.erase(std::string(kMarkerKey));
                const int k = run.acknowledged;
                bool matches = false;
                for (int i = k; i <= k + 1 && i < static_cast<int>(states.size()); ++i) {
                    if (states[static_cast<std::size_t>(i)] == seen) matches = true;
                }
                EXPECT_TRUE(matches) << "acknowledged " << k << ", a holds " << seen.first.size()
                                     << ", b holds " << seen.second.size();
                ++covered;
            }
        }
    }
    std::printf("lost-write crash points covered: %d\n", covered);
}

TEST(CrashTest, OnlySingleFileCommitsLeaveTheirClosingHeaderUnflushed) {
    ScratchDir dir;
    IoFaultSeam::Disarm();
    IoFaultSeam::TrackUnflushed(true);
    OpenOptions options{Access::ReadWrite, Share::DenyWrite, Creation::OpenOrCreate, {}};
    std::unique_ptr<ItemFile> a;
    std::unique_ptr<ItemFile> b;
    ASSERT_TRUE(ItemFile::Open(dir / "a.plm", options, a).ok());
    ASSERT_TRUE(ItemFile::Open(dir / "b.plm", options, b).ok());
    {
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok() && tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Insert("one", "1").ok() && b->Insert("one", "1").ok());
        ASSERT_TRUE(tx.Commit().ok());
    }
    // Both journals are closed on disk: a recovery never asks the control files again.
    EXPECT_EQ(IoFaultSeam::UnflushedCount(), 0u);
    ASSERT_TRUE(a->BeginWrite().ok() && a->Insert("two", "2").ok() && a->Finish().ok());
    EXPECT_GT(IoFaultSeam::UnflushedCount(), 0u);
    a->Close();
    b->Close();
    EXPECT_EQ(IoFaultSeam::UnflushedCount(), 0u);
    IoFaultSeam::TrackUnflushed(false);
}

// Commits one change and stops the disk right after phase 1: the journal is whole on disk
// and the header at offset 0 points to it.
void CommitAndStopAfterJournal(const std::filesystem::path& path,
                               const Model& base = {{"old", "1"}}) {
    for (std::int64_t point = 1; point < 100; ++point) {
        std::filesystem::remove(path);
        {
            auto file = OpenFile(path);
            ASSERT_TRUE(file->BeginWrite().ok());
            for (const auto& [key, data] : base) ASSERT_TRUE(file->Insert(key, data).ok());
            ASSERT_TRUE(file->Finish().ok());
        }
        {
            auto file = OpenFile(path);
            IoFaultSeam::Arm(SeamAction::Stop, point);
            file->Insert("new", "2");
            IoFaultSeam::Disarm();
            file.reset();
        }
        FileHeader h = HeaderOf(path);
        if (h.committed_end() != h.journal_end() &&
            std::filesystem::file_size(path) >= h.journal_end())
            return;
    }
    FAIL() << "no stop point left a whole journal";
}

TEST(RecoveryTest, WholeJournalRollsForwardAndAReaderReadsThroughIt) {
    ScratchDir dir;
    CommitAndStopAfterJournal(dir / "j.plm");
    std::string before = ReadAll(dir / "j.plm");
    {
        auto reader = OpenFile(dir / "j.plm", Access::ReadOnly);
        EXPECT_EQ(ReadItems(*reader), (Model{{"new", "2"}, {"old", "1"}}));
    }
    EXPECT_EQ(ReadAll(dir / "j.plm"), before);  // the reader wrote nothing
    {
        auto writer = OpenFile(dir / "j.plm");
        EXPECT_EQ(ReadItems(*writer), (Model{{"new", "2"}, {"old", "1"}}));
        ASSERT_TRUE(writer->Insert("more", "3").ok());  // the writer applies the journal first
        FileHeader h = HeaderOf(dir / "j.plm");
        EXPECT_EQ(h.committed_end(), h.journal_end());
    }
    auto again = OpenFile(dir / "j.plm", Access::ReadOnly);
    EXPECT_EQ(ReadItems(*again).size(), 3u);
}

TEST(RecoveryTest, JournalThatEndsEarlyRollsBack) {
    ScratchDir dir;
    CommitAndStopAfterJournal(dir / "j.plm");
    FileHeader h = HeaderOf(dir / "j.plm");
    std::filesystem::resize_file(dir / "j.plm",
                                 h.journal_end() - 256);  // the header image cut short
    auto file = OpenFile(dir / "j.plm");
    EXPECT_EQ(ReadItems(*file), (Model{{"old", "1"}}));
    ASSERT_TRUE(file->Insert("x", "y").ok());
    EXPECT_EQ(ReadItems(*file).size(), 2u);
}

// A journal block names the page it replaces. A damaged journal must not send a page
// anywhere else: past the end of the layout, over a page of another size, or into the
// journal itself. Such a journal is refused (rolled back) and writes nothing.
TEST(RecoveryTest, JournalBlocksAddressedOutsideTheLayoutAreRefused) {
    Model base;
    for (int i = 0; i < 120; ++i)
        base[Key(i)] = std::string(i % 3 == 0 ? 700 : 60, static_cast<char>('a' + i % 5));
    for (const char* where : {"past the end", "over a page of another size", "into the journal"}) {
        SCOPED_TRACE(where);
        ScratchDir dir;
        const auto path = dir / "j.plm";
        CommitAndStopAfterJournal(path, base);
        const FileHeader h = HeaderOf(path);
        std::string bytes = ReadAll(path);
        const std::size_t block = h.committed_end();
        auto u32_at = [&](std::size_t at) {
            std::uint32_t v = 0;
            for (int i = 3; i >= 0; --i)
                v = v << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
            return v;
        };
        ASSERT_NE(u32_at(block), 0u) << "the journal starts with a page";
        const int size_class = h.ClassOf(static_cast<std::int32_t>((u32_at(block) - 512) / 256));
        std::uint32_t home = h.journal_end() + (1u << 20);
        if (std::string(where) == "into the journal") home = h.committed_end();
        if (std::string(where) == "over a page of another size") {
            for (int k = 1; k <= 59; ++k) {
                if (k != size_class && h.pages(k) > 0)
                    home = static_cast<std::uint32_t>(h.start(k)) * 256 + 512;
            }
        }
        for (int i = 0; i < 4; ++i)
            bytes[block + static_cast<std::size_t>(i)] = static_cast<char>(home >> (8 * i));
        WriteAll(path, bytes);
        auto file = OpenFile(path);
        ASSERT_TRUE(file->Insert("x", "y").ok());  // a writer resolves the journal first
        EXPECT_LT(std::filesystem::file_size(path), h.journal_end() + (1u << 20));
        Model expected = base;
        expected["x"] = "y";
        EXPECT_TRUE(ReadItems(*file) == expected) << "the old state and the item added after it";
        EXPECT_EQ(VerifyTree(*file), expected.size());
    }
}

TEST(RecoveryTest, MarkerWithPendingControlFileRollsBack) {
    ScratchDir dir;
    // A transaction's journal whose control file still holds the number must roll back.
    {
        auto a = OpenFile(dir / "a.plm");
        auto b = OpenFile(dir / "b.plm");
        ASSERT_TRUE(a->Insert("a0", "").ok());
        ASSERT_TRUE(b->Insert("b0", "").ok());
    }
    // Find the stop points of a two-file transaction: before and after the commit point.
    std::vector<std::string> outcomes;
    for (std::int64_t point = 1; point < 200; ++point) {
        ScratchDir run;
        std::filesystem::copy(dir / "a.plm", run / "a.plm");
        std::filesystem::copy(dir / "b.plm", run / "b.plm");
        {
            auto a = OpenFile(run / "a.plm");
            auto b = OpenFile(run / "b.plm");
            IoFaultSeam::Arm(SeamAction::Stop, point);
            Transaction tx;
            tx.Enlist(*a);
            tx.Enlist(*b);
            a->Insert("a1", "");
            b->Insert("b1", "");
            tx.Commit();
            bool stopped = IoFaultSeam::Stopped();
            IoFaultSeam::Disarm();
            if (!stopped) break;
        }
        auto a = OpenFile(run / "a.plm", Access::ReadOnly);
        auto b = OpenFile(run / "b.plm", Access::ReadOnly);
        std::size_t na = ReadItems(*a).size() - ReadItems(*a).count(std::string(kMarkerKey));
        std::size_t nb = ReadItems(*b).size() - ReadItems(*b).count(std::string(kMarkerKey));
        EXPECT_EQ(na, nb) << "stop at " << point;
        std::string outcome = na == 2 ? "after" : "before";
        if (outcomes.empty() || outcomes.back() != outcome) outcomes.push_back(outcome);
        // Each marker names the control file by its absolute path.
        if (na == 2) {
            Bytes marker;
            bool found = false;
            ASSERT_TRUE(a->Find(kMarkerKey, &marker, &found).ok());
            ASSERT_TRUE(found);
            EXPECT_EQ(marker.substr(4), (run / "pelmar.tcf").string() + '\0');
        }
    }
    // Crashes before the control file forgot the number roll back, after it roll forward.
    EXPECT_EQ(outcomes, (std::vector<std::string>{"before", "after"}));
}

// Every write and flush of a commit fails with EIO in turn, for one file and for a
// transaction over two. The operation reports success exactly when its change is there at
// the next open: past the commit point nothing can take it back, so it succeeds, and the
// handle keeps the failure and commits no more (as after any failed flush, since the
// system may already have dropped the writes it held). A failure is "Write Fault", never
// the "Read Fault" of a failed read.
TEST(RecoveryTest, AFailedWriteOrFlushIsReportedExactlyWhenTheChangeIsLost) {
    constexpr runtime::ErrorCode kWriteFault = runtime::err::OsBase + 29;
    ScratchDir dir;
    for (const bool two_files : {false, true}) {
        int successes = 0;
        int failures = 0;
        for (std::int64_t point = 1;; ++point) {
            SCOPED_TRACE(::testing::Message()
                         << (two_files ? "transaction" : "one file") << ", call " << point);
            std::filesystem::remove_all(dir.path());
            std::filesystem::create_directories(dir.path());
            auto a = OpenFile(dir / "a.plm");
            auto b = OpenFile(dir / "b.plm");
            ASSERT_TRUE(a->Insert("a", "1").ok());
            ASSERT_TRUE(b->Insert("a", "1").ok());
            IoFaultSeam::Arm(SeamAction::Fail, point, EIO);
            Status status;
            if (two_files) {
                Transaction tx;
                status = tx.Enlist(*a);
                if (status.ok()) status = tx.Enlist(*b);
                if (status.ok()) status = a->Insert("b", std::string(700, 'b'));
                if (status.ok()) status = b->Insert("b", std::string(900, 'b'));
                if (status.ok()) status = tx.Commit();
            } else {
                status = a->Insert("b", std::string(700, 'b'));
            }
            const bool struck = IoFaultSeam::Count() >= point;
            IoFaultSeam::Disarm();
            if (!struck) break;
            EXPECT_TRUE(status.ok() || status.code == kWriteFault) << status.code;
            if (status.ok()) {
                ++successes;
                if (!a->late_failure().ok()) {
                    EXPECT_EQ(a->Insert("c", "3").code, kWriteFault);
                }
            } else {
                ++failures;
            }
            a.reset();
            b.reset();
            auto again_a = OpenFile(dir / "a.plm", Access::ReadOnly);
            auto again_b = OpenFile(dir / "b.plm", Access::ReadOnly);
            ASSERT_TRUE(again_a && again_b);
            const Model seen_a = ReadItems(*again_a);
            EXPECT_EQ(seen_a.count("b") == 1, status.ok());
            EXPECT_EQ(seen_a.count("c"), 0u);
            if (two_files) {
                EXPECT_EQ(ReadItems(*again_b).count("b") == 1, status.ok());
            }
        }
        // Both sides of the commit point were struck.
        EXPECT_GT(successes, 0);
        EXPECT_GT(failures, 0);
    }
}

TEST(TransactionTest, CommitRollbackAndControlFileLimit) {
    ScratchDir dir;
    auto a = OpenFile(dir / "a.plm");
    auto b = OpenFile(dir / "b.plm");
    {
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok());
        ASSERT_TRUE(tx.Enlist(*b).ok());
        EXPECT_TRUE(a->in_transaction());
        ASSERT_TRUE(a->Insert("k", "1").ok());
        ASSERT_TRUE(b->Insert("k", "2").ok());
        EXPECT_EQ(std::filesystem::file_size(dir / "a.plm"), 0u);  // nothing committed inside
        tx.Rollback();
    }
    EXPECT_TRUE(ReadItems(*a).empty());
    EXPECT_TRUE(ReadItems(*b).empty());
    {
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok());
        ASSERT_TRUE(tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Insert("k", "1").ok());
        ASSERT_TRUE(b->Insert("k", "2").ok());
        ASSERT_TRUE(tx.Commit().ok());
        EXPECT_FALSE(a->in_transaction());
    }
    auto ra = OpenFile(dir / "a.plm", Access::ReadOnly);
    EXPECT_EQ(ReadItems(*ra).count("k"), 1u);
    // The control file exists and holds no pending transaction.
    auto control =
        OpenFile(dir / "pelmar.tcf", Access::ReadOnly, Share::DenyNone, Creation::OpenExisting);
    EXPECT_TRUE(ReadItems(*control).empty());

    // 99 distinct control files are allowed, the 100th is refused.
    std::vector<std::unique_ptr<ItemFile>> files;
    Transaction tx;
    Status last;
    for (int i = 0; i < 100; ++i) {
        std::filesystem::create_directory(dir / ("d" + std::to_string(i)));
        files.push_back(OpenFile(dir / ("d" + std::to_string(i)) / "f.plm"));
        last = tx.Enlist(*files.back());
        if (i < 99) {
            ASSERT_TRUE(last.ok());
        }
    }
    EXPECT_EQ(last.fault, fault::TooManyControlFiles);
    tx.Rollback();
}

// A fault in one file of a transaction drops that file's changes; committing the others
// would leave half of the transaction, so the commit fails with the fault and commits none.
TEST(TransactionTest, AFaultInOneFileFailsTheWholeTransaction) {
    ScratchDir dir;
    auto a = OpenFile(dir / "a.plm");
    auto b = OpenFile(dir / "b.plm");
    for (const bool later : {false, true}) {
        SCOPED_TRACE(later ? "held-back replacement" : "insert");
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok() && tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Insert("k", "1").ok());
        ASSERT_TRUE(b->Insert("k", "1").ok());
        const std::string huge(kItemLimit, 'x');
        EXPECT_EQ((later ? a->ReplaceLater("big", huge) : a->Insert("big", huge)).fault,
                  fault::ItemTooLarge);
        ASSERT_TRUE(b->Insert("more", "2").ok());
        const Status committed = tx.Commit();
        EXPECT_EQ(committed.code, runtime::err::FileSystemError);
        EXPECT_EQ(committed.fault, fault::ItemTooLarge);
        EXPECT_TRUE(ReadItems(*a).empty());
        EXPECT_TRUE(ReadItems(*b).empty());
    }
    // The files take the next transaction as usual.
    Transaction tx;
    ASSERT_TRUE(tx.Enlist(*a).ok() && tx.Enlist(*b).ok());
    ASSERT_TRUE(a->Insert("k", "1").ok() && b->Insert("k", "1").ok());
    ASSERT_TRUE(tx.Commit().ok());
    EXPECT_EQ(ReadItems(*a).count("k"), 1u);
}

TEST(TransactionTest, OneControlFileBesideTheFirstFileOrTheConfiguredOne) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "one");
    std::filesystem::create_directory(dir / "two");
    auto a = OpenFile(dir / "one" / "a.plm");
    auto b = OpenFile(dir / "two" / "b.plm");
    auto marker_of = [](ItemFile& file) {
        Bytes data;
        bool found = false;
        EXPECT_TRUE(file.Find(kMarkerKey, &data, &found).ok());
        return found ? data : std::string("(none)");
    };
    std::vector<std::string> numbers;
    for (int round = 0; round < 2; ++round) {
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok());
        ASSERT_TRUE(tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Replace("x", std::to_string(round)).ok());
        ASSERT_TRUE(b->Replace("y", std::to_string(round)).ok());
        ASSERT_TRUE(tx.Commit().ok());
        // Without a configured name the first file's directory holds the one control file,
        // and both markers name it by its absolute path.
        EXPECT_EQ(marker_of(*a).substr(4), (dir / "one" / "pelmar.tcf").string() + '\0');
        EXPECT_EQ(marker_of(*b), marker_of(*a));
        numbers.push_back(marker_of(*a).substr(0, 4));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "two" / "pelmar.tcf"));
    // A control file never issues a transaction number twice, even within one second.
    EXPECT_NE(numbers[0], numbers[1]);
    {
        Transaction tx;
        std::string configured = (dir / "shared.tcf").string();
        tx.SetControlFile(configured);
        ASSERT_TRUE(tx.Enlist(*a).ok());
        ASSERT_TRUE(tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Replace("x", "3").ok());
        ASSERT_TRUE(b->Replace("y", "4").ok());
        ASSERT_TRUE(tx.Commit().ok());
        EXPECT_EQ(marker_of(*a).substr(4), configured + '\0');
        EXPECT_EQ(marker_of(*b).substr(4), configured + '\0');
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "shared.tcf"));
    // A single changed file commits on its own journal, which takes the marker away.
    {
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok());
        ASSERT_TRUE(tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Replace("x", "5").ok());
        ASSERT_TRUE(tx.Commit().ok());
    }
    EXPECT_EQ(marker_of(*a), "(none)");
    EXPECT_EQ(marker_of(*b).substr(4), (dir / "shared.tcf").string() + '\0');
    Bytes data;
    bool found = false;
    ASSERT_TRUE(a->Find("x", &data, &found).ok());
    EXPECT_EQ(data, "5");
}

}  // namespace
}  // namespace zelt::storage
