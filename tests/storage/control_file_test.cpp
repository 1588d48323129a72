// Transactions over several files and their control file under crashes: a stop at any
// write or flush, with the control file there, missing, damaged or busy when the files
// reopen, never leaves a file half-applied or the files of one transaction apart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "runtime/errors/error_codes.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "runtime/values/clock_source.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "storage/io/io_fault_seam.hpp"
#include "storage/journal/control_files.hpp"
#include "storage/journal/journal.hpp"
#include "storage_test_util.hpp"
#include "tools/plm/check.hpp"

namespace zelt::storage {
namespace {

using io::IoFaultSeam;
using io::SeamAction;
using testing::Model;
using testing::OpenFile;
using testing::ScratchDir;

std::string Key(int n) {
    return "item" + std::to_string(100000 + n);
}

// The items of `file` without the engine's own transaction marker. A torn file may walk
// in circles, so the walk gives up after far more items than any test stores.
Model TableItems(ItemFile& file) {
    Model items;
    ItemCursor cursor(file);
    Status status = cursor.First();
    for (int steps = 0; status.ok() && cursor.Valid() && steps < 5000; ++steps) {
        items[cursor.key()] = cursor.data();
        status = cursor.Next();
    }
    if (!status.ok())
        items["(walk failed)"] = std::to_string(status.code) + "/" + std::to_string(status.fault);
    items.erase(std::string(kMarkerKey));
    return items;
}

Status TryOpen(const std::filesystem::path& path, std::unique_ptr<ItemFile>& out,
               Access access = Access::ReadWrite) {
    return ItemFile::Open(path, {access, Share::DenyNone, Creation::OpenExisting, {}}, out);
}

// Files journaled by earlier versions name their control file by the marker text
// "C:\PELMAR.TCF": the "pelmar.tcf" beside the data file. A journal whose transaction
// number that control file still holds rolls back; one whose number it does not hold rolls
// forward.
TEST(ControlFileTest, TheCompatibilityMarkerAsksTheControlFileBesideTheFile) {
    constexpr std::uint32_t kNumber = 4242;
    for (const bool number_held : {true, false}) {
        SCOPED_TRACE(number_held ? "number held" : "number not held");
        ScratchDir dir;
        const auto path = dir / "old.plm";
        ASSERT_TRUE(OpenFile(path)->Insert("a", "1").ok());
        {
            auto file = OpenFile(path, Access::ReadWrite, Share::DenyAll);
            ASSERT_TRUE(file->BeginWrite().ok());
            ItemFileState& st = file->state();
            st.tree->Insert("b", "2");
            st.tree->Insert(kMarkerKey, MarkerData(kNumber, kDefaultControlMarker));
            CommitPhase1(st);                       // the journal stands, pointed to from offset 0
            IoFaultSeam::Arm(SeamAction::Stop, 1);  // and the program stops here
        }
        IoFaultSeam::Disarm();
        {
            auto control = OpenFile(dir / std::string(kControlFileName));
            ASSERT_TRUE(
                control->Insert(TransactionKey(number_held ? kNumber : kNumber + 1), {}).ok());
        }
        std::unique_ptr<ItemFile> file;
        ASSERT_TRUE(TryOpen(path, file).ok());
        const Model items = TableItems(*file);
        EXPECT_EQ(items.count("a"), 1u);
        EXPECT_EQ(items.count("b"), number_held ? 0u : 1u);
    }
}

// A journal whose control file is missing cannot be resolved: 65, and every message names
// the control file with its full path (the item file, `plm check`, the driver's error text).
TEST(ControlFileTest, UnableToRollbackNamesTheControlFile) {
    ScratchDir dir;
    const auto path = dir / "old.plm";
    ASSERT_TRUE(OpenFile(path)->Insert("a", "1").ok());
    {
        auto file = OpenFile(path, Access::ReadWrite, Share::DenyAll);
        ASSERT_TRUE(file->BeginWrite().ok());
        ItemFileState& st = file->state();
        st.tree->Insert("b", "2");
        st.tree->Insert(kMarkerKey, MarkerData(7, kDefaultControlMarker));
        CommitPhase1(st);
        IoFaultSeam::Arm(SeamAction::Stop, 1);
    }
    IoFaultSeam::Disarm();
    const std::string control = (dir / std::string(kControlFileName)).string();
    std::unique_ptr<ItemFile> file;
    std::string detail;
    EXPECT_EQ(ItemFile::Open(path, {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, {}},
                             file, &detail)
                  .code,
              runtime::err::UnableToRollback);
    EXPECT_NE(detail.find(control), std::string::npos) << detail;
    EXPECT_NE(detail.find("missing"), std::string::npos) << detail;

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(plm::Check({"check", path.string()}, out, err), 1);
    EXPECT_NE(out.str().find("(65)"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(control), std::string::npos) << out.str();

    RegisterPelmarDriver();
    runtime::FixedString<260> name(path.string());
    char record[4] = {};
    runtime::Table table(runtime::TableDeclaration("OLD", "OLD", "PELMAR")
                             .NameVariable(name.Span())
                             .Record({record, sizeof record})
                             .Long("OLD:Number", 0));
    EXPECT_EQ(table.Open(0x40), runtime::err::UnableToRollback);
    EXPECT_NE(runtime::CurrentErrorText().find("Unable To ROLLBACK Transaction"),
              std::string::npos);
    EXPECT_NE(runtime::CurrentErrorText().find(control), std::string::npos)
        << runtime::CurrentErrorText();
}

// A file that once took part in a transaction over two files later commits alone. Its
// control file is gone by then, and the commit stops at every write and flush: the file
// reopens to the state before or after that commit, never to a mix of the two.
TEST(ControlFileTest, APlainCommitAfterATransactionReopensWholeWithoutItsControlFile) {
    ScratchDir dir;
    Model before;
    {
        auto a = OpenFile(dir / "a.plm");
        auto b = OpenFile(dir / "b.plm");
        ASSERT_TRUE(a->BeginWrite().ok());
        for (int i = 0; i < 58; ++i) {
            before[Key(i)] = std::string(200, 'o');
            ASSERT_TRUE(a->Insert(Key(i), before[Key(i)]).ok());
        }
        ASSERT_TRUE(a->Finish().ok());
        Transaction tx;
        ASSERT_TRUE(tx.Enlist(*a).ok() && tx.Enlist(*b).ok());
        ASSERT_TRUE(a->Insert("t", "1").ok() && b->Insert("t", "1").ok());
        ASSERT_TRUE(tx.Commit().ok());
        before["t"] = "1";
    }
    Model after = before;
    for (int i = 0; i < 58; ++i) after[Key(i)] = std::string(230, 'n');
    int stops = 0;
    for (std::int64_t point = 1;; ++point) {
        ScratchDir run;
        std::filesystem::copy(dir / "a.plm", run / "a.plm");  // no control file beside it
        {
            auto a = OpenFile(run / "a.plm");
            IoFaultSeam::Arm(SeamAction::Stop, point);
            bool ok = a->BeginWrite().ok();
            for (int i = 0; i < 58 && ok; ++i) ok = a->Replace(Key(i), after[Key(i)]).ok();
            ok = a->Finish().ok() && ok;
            const bool stopped = IoFaultSeam::Stopped();
            IoFaultSeam::Disarm();
            ASSERT_TRUE(ok);
            if (!stopped) break;
        }
        ++stops;
        std::unique_ptr<ItemFile> a;
        const Status opened = TryOpen(run / "a.plm", a);
        ASSERT_TRUE(opened.ok()) << "stop at " << point << ": " << opened.code << "/"
                                 << opened.fault;
        const Model seen = TableItems(*a);
        int fresh = 0;
        for (const auto& [key, data] : seen) fresh += data == std::string(230, 'n') ? 1 : 0;
        EXPECT_TRUE(seen == before || seen == after) << "stop at " << point << ": " << seen.size()
                                                     << " items, " << fresh << " of 58 changed";
        // Once that commit is done with, the file no longer names a control file.
        if (seen == after) {
            bool found = true;
            ASSERT_TRUE(a->Find(kMarkerKey, nullptr, &found).ok());
            EXPECT_FALSE(found) << "stop at " << point;
        }
    }
    EXPECT_GT(stops, 5);
}

// Runs a virtual clock fast for as long as it lives, so that waits with a time limit on
// the runtime clock end at once.
class FastClock {
  public:
    FastClock()
        : clock_(std::make_shared<runtime::VirtualClockSource>(runtime::LocalDateTime{})),
          scoped_(clock_),
          thread_([this] {
              while (!stop_) {
                  clock_->AdvanceMs(500);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~FastClock() {
        stop_ = true;
        thread_.join();
    }
    FastClock(const FastClock&) = delete;
    FastClock& operator=(const FastClock&) = delete;

  private:
    std::shared_ptr<runtime::VirtualClockSource> clock_;
    runtime::ScopedClockSource scoped_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// How the control file stands when the files of a stopped transaction reopen.
enum class Control { There, Missing, Damaged, Busy };
const char* NameOf(Control c) {
    switch (c) {
        case Control::There:
            return "there";
        case Control::Missing:
            return "missing";
        case Control::Damaged:
            return "damaged";
        case Control::Busy:
            return "busy";
    }
    return "";
}

// Puts the control file out of reach for as long as it lives, then back as it was.
class ControlOutOfReach {
  public:
    ControlOutOfReach(const std::filesystem::path& path, Control how) : path_(path) {
        if (how == Control::There || !std::filesystem::exists(path)) return;
        saved_ = testing::ReadAll(path);
        if (how == Control::Missing) std::filesystem::remove(path);
        if (how == Control::Damaged) testing::WriteAll(path, std::string(1024, 'x'));
        if (how == Control::Busy) {
            EXPECT_TRUE(
                ItemFile::Open(
                    path, {Access::ReadWrite, Share::DenyAll, Creation::OpenExisting, {}}, holder_)
                    .ok());
            clock_ = std::make_unique<FastClock>();
        }
        moved_ = true;
    }
    ~ControlOutOfReach() {
        clock_.reset();
        holder_.reset();
        if (moved_) testing::WriteAll(path_, saved_);
    }
    ControlOutOfReach(const ControlOutOfReach&) = delete;
    ControlOutOfReach& operator=(const ControlOutOfReach&) = delete;

  private:
    std::filesystem::path path_;
    std::string saved_;
    bool moved_ = false;
    std::unique_ptr<ItemFile> holder_;
    std::unique_ptr<FastClock> clock_;
};

// Stops a transaction over two files at every write and flush. With the control file
// missing, damaged or busy, each file either reopens to a whole state or is refused with
// 65 ("Unable To ROLLBACK Transaction"), and the files that open agree; with the control
// file back, both open and agree.
void StopATransactionEverywhere(const std::filesystem::path& dir_a,
                                const std::filesystem::path& dir_b,
                                const std::filesystem::path& control) {
    const Model before{{"a0", "0"}, {"k", std::string(300, 'o')}};
    Model after = before;
    after["a1"] = "1";
    after["k"] = std::string(900, 'n');
    int stops = 0;
    int refused = 0;
    for (std::int64_t point = 1;; ++point) {
        for (const auto& path : {dir_a / "a.plm", dir_b / "b.plm", control})
            std::filesystem::remove(path);
        {
            auto a = OpenFile(dir_a / "a.plm");
            auto b = OpenFile(dir_b / "b.plm");
            for (auto* file : {a.get(), b.get()}) {
                for (const auto& [key, data] : before) ASSERT_TRUE(file->Insert(key, data).ok());
            }
        }
        {
            auto a = OpenFile(dir_a / "a.plm");
            auto b = OpenFile(dir_b / "b.plm");
            IoFaultSeam::Arm(SeamAction::Stop, point);
            Transaction tx;
            bool ok = tx.Enlist(*a).ok() && tx.Enlist(*b).ok();
            for (auto* file : {a.get(), b.get()}) {
                ok = ok && file->Insert("a1", "1").ok() && file->Replace("k", after["k"]).ok();
            }
            ok = tx.Commit().ok() && ok;
            const bool stopped = IoFaultSeam::Stopped();
            IoFaultSeam::Disarm();
            ASSERT_TRUE(ok);
            if (!stopped) break;
        }
        ++stops;
        for (Control how : {Control::Missing, Control::Damaged, Control::Busy, Control::There}) {
            SCOPED_TRACE(::testing::Message()
                         << "stop at " << point << ", control file " << NameOf(how));
            std::vector<Model> seen;
            {
                ControlOutOfReach away(control, how);
                for (const auto& path : {dir_a / "a.plm", dir_b / "b.plm"}) {
                    std::unique_ptr<ItemFile> file;
                    const Status opened = TryOpen(path, file, Access::ReadOnly);
                    if (!opened.ok()) {
                        EXPECT_NE(how, Control::There) << path;
                        EXPECT_EQ(opened.code, runtime::err::UnableToRollback) << path;
                        ++refused;
                        continue;
                    }
                    seen.push_back(TableItems(*file));
                    EXPECT_TRUE(seen.back() == before || seen.back() == after)
                        << path << " holds " << seen.back().size();
                }
            }
            if (seen.size() == 2) {
                EXPECT_EQ(seen[0], seen[1]);
            }
            if (how == Control::There) {
                EXPECT_EQ(seen.size(), 2u);
            }
        }
        // A writer resolves both files for good.
        auto a = OpenFile(dir_a / "a.plm");
        auto b = OpenFile(dir_b / "b.plm");
        ASSERT_TRUE(a && b);
        EXPECT_EQ(TableItems(*a), TableItems(*b)) << "stop at " << point;
    }
    EXPECT_GT(stops, 10);
    EXPECT_GT(refused, 0);
    std::printf("transaction stop points: %d, opens refused for want of the control file: %d\n",
                stops, refused);
}

TEST(ControlFileTest, ATransactionStoppedAnywhereReopensAllOrNothingWhateverItsControlFile) {
    ScratchDir dir;
    StopATransactionEverywhere(dir.path(), dir.path(), dir / "pelmar.tcf");
}

// Files in two directories share one control file, in the first file's directory: the
// transaction has one commit point.
TEST(ControlFileTest, ATransactionOverTwoDirectoriesHasOneCommitPoint) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "one");
    std::filesystem::create_directory(dir / "two");
    StopATransactionEverywhere(dir / "one", dir / "two", dir / "one" / "pelmar.tcf");
    EXPECT_FALSE(std::filesystem::exists(dir / "two" / "pelmar.tcf"));
}

}  // namespace
}  // namespace zelt::storage
