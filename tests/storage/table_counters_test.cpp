// A table's counters inside transactions on a real file: held back until the commit, seen
// at once by reads and walks, dropped by a rollback, and consistent with the records and
// key entries at every point where the machine may stop during the commit.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/file/table_declaration.hpp"
#include "storage/io/io_fault_seam.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/item_keys.hpp"
#include "storage/tables/table_store.hpp"
#include "storage_test_util.hpp"

namespace zelt::storage {
namespace {

using io::IoFaultSeam;
using io::SeamAction;
using runtime::TableDeclaration;
using testing::OpenFile;
using testing::ScratchDir;
namespace key_attr = runtime::key_attr;

// Records of 16 bytes: a 12-byte name (unique key) and a LONG number (DUP key).
TableDefinition Definition() {
    static char buffer[16] = {};
    auto decl = TableDeclaration("T", "T", "PELMAR")
                    .Record({buffer, sizeof buffer})
                    .String("T:Name", 0, 12)
                    .Long("T:Number", 12)
                    .Key("T:NameKey", key_attr::NoCase, {"T:Name"})
                    .Key("T:NumberKey", key_attr::Dup, {"T:Number"});
    TableDefinition definition;
    EXPECT_EQ(DefinitionFromDeclaration(decl, definition), 0);
    return definition;
}

Bytes Rec(int i) {
    Bytes r(16, ' ');
    const std::string name = "name" + std::to_string(i);
    std::memcpy(r.data(), name.data(), name.size());
    const std::int32_t number = i % 7;
    std::memcpy(r.data() + 12, &number, 4);
    return r;
}

struct Counts {
    std::uint32_t records = 0;  // counter items
    std::uint32_t by_name = 0;
    std::uint32_t by_number = 0;
    std::size_t record_items = 0;  // what the file holds
    std::size_t name_entries = 0;
    std::size_t number_entries = 0;
};

std::size_t ItemsWithPrefix(ItemStore& store, const Bytes& prefix) {
    std::size_t n = 0;
    Bytes at = prefix;
    SeekMode mode = SeekMode::AtOrAfter;
    for (;;) {
        Bytes key;
        bool found = false;
        EXPECT_TRUE(store.Seek(at, mode, &key, nullptr, &found).ok());
        if (!found || !HasPrefix(key, prefix)) return n;
        ++n;
        at = key;
        mode = SeekMode::After;
    }
}

Counts CountsOf(TableStore& table) {
    Counts c;
    TableCounter counter;
    EXPECT_TRUE(table.ReadCounter(kRecordCounter, &counter).ok());
    c.records = counter.count;
    EXPECT_TRUE(table.ReadCounter(0, &counter).ok());
    c.by_name = counter.count;
    EXPECT_TRUE(table.ReadCounter(1, &counter).ok());
    c.by_number = counter.count;
    c.record_items = ItemsWithPrefix(table.Store(), TypePrefix(table.Id(), item_type::Record));
    Bytes prefix = TablePrefix(table.Id());
    c.name_entries = ItemsWithPrefix(table.Store(), prefix + '\0');
    c.number_entries = ItemsWithPrefix(table.Store(), prefix + '\1');
    return c;
}

void ExpectConsistent(const Counts& c, std::size_t records) {
    EXPECT_EQ(c.records, records);
    EXPECT_EQ(c.record_items, records);
    EXPECT_EQ(c.by_name, records);
    EXPECT_EQ(c.name_entries, records);
    EXPECT_EQ(c.by_number, records);
    EXPECT_EQ(c.number_entries, records);
}

// Opens (creating when asked) table T of `path`.
struct OpenTable {
    std::unique_ptr<ItemFile> file;
    std::unique_ptr<ItemFileStore> store;
    std::unique_ptr<TableStore> table;

    OpenTable(const std::filesystem::path& path, bool create) {
        file = OpenFile(path, Access::ReadWrite, Share::DenyWrite);
        if (!file) return;
        store = std::make_unique<ItemFileStore>(*file);
        TableDefinition definition = Definition();
        EXPECT_TRUE(file->BeginWrite().ok());
        EXPECT_TRUE(TableStore::Open(*store, "T", definition, false, create, table).ok());
        EXPECT_TRUE(file->Finish().ok());
    }
};

// One record added (or deleted) in one operation of the file, as the driver does it.
Status AddOne(OpenTable& t, int i, std::uint32_t* number) {
    Status status = t.file->BeginWrite();
    if (status.ok()) status = t.table->Add(Rec(i), nullptr, true, number);
    if (!status.ok()) {
        t.file->Abandon();
        return status;
    }
    return t.file->Finish();
}
Status DeleteOne(OpenTable& t, std::uint32_t number) {
    Status status = t.file->BeginWrite();
    if (status.ok()) status = t.table->Delete(number);
    if (!status.ok()) {
        t.file->Abandon();
        return status;
    }
    return t.file->Finish();
}

// Adds records 0..9 in their own commits, then in one transaction adds 10..49, walks the
// table half-way and deletes three records: 47 records when it commits.
void RunTransaction(const std::filesystem::path& path, bool rollback = false) {
    OpenTable t(path, true);
    ASSERT_TRUE(t.table);
    std::uint32_t number = 0;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(AddOne(t, i, &number).ok());
    Transaction tx;
    ASSERT_TRUE(tx.Enlist(*t.file).ok());
    std::vector<std::uint32_t> numbers;
    for (int i = 10; i < 50; ++i) {
        ASSERT_TRUE(AddOne(t, i, &number).ok());
        numbers.push_back(number);
        if (i == 30) ExpectConsistent(CountsOf(*t.table), 31);  // reads and walks see them
    }
    for (int i : {3, 17, 25}) ASSERT_TRUE(DeleteOne(t, numbers[static_cast<std::size_t>(i)]).ok());
    ExpectConsistent(CountsOf(*t.table), 47);
    if (rollback) {
        tx.Rollback();
        ExpectConsistent(CountsOf(*t.table), 10);
    } else {
        tx.Commit();
    }
}

TEST(TableCountersTest, TransactionCountsAreSeenAtOnceCommittedOnceAndDroppedByARollback) {
    ScratchDir dir;
    RunTransaction(dir / "rolled.plm", true);
    ExpectConsistent(CountsOf(*OpenTable(dir / "rolled.plm", false).table), 10);
    RunTransaction(dir / "t.plm");
    {
        OpenTable reopened(dir / "t.plm", false);
        ExpectConsistent(CountsOf(*reopened.table), 47);
        // Outside a transaction counters are written with each record as before.
        std::uint32_t number = 0;
        ASSERT_TRUE(AddOne(reopened, 99, &number).ok());
    }
    ExpectConsistent(CountsOf(*OpenTable(dir / "t.plm", false).table), 48);
}

TEST(TableCountersTest, EveryStopDuringTheTransactionLeavesCountsMatchingTheRecords) {
    IoFaultSeam::SetDeviceSync(false);
    std::int64_t events = 0;
    {
        ScratchDir dir;
        IoFaultSeam::Disarm();
        RunTransaction(dir / "t.plm");
        events = IoFaultSeam::Count();
    }
    for (std::int64_t point = 1; point <= events; ++point) {
        ScratchDir dir;
        IoFaultSeam::Arm(SeamAction::Stop, point);
        {
            OpenTable t(dir / "t.plm", true);
            if (t.table) {
                std::uint32_t number = 0;
                for (int i = 0; i < 10; ++i) AddOne(t, i, &number);
                Transaction tx;
                tx.Enlist(*t.file);
                for (int i = 10; i < 50; ++i) AddOne(t, i, &number);
                tx.Commit();
            }
        }
        IoFaultSeam::Disarm();
        SCOPED_TRACE(::testing::Message() << "stop at " << point);
        std::unique_ptr<ItemFile> probe;
        if (!ItemFile::Open(dir / "t.plm",
                            {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, {}}, probe)
                 .ok()) {
            continue;  // stopped before the file had anything on disk
        }
        ItemFileStore store(*probe);
        TableDefinition definition = Definition();
        std::unique_ptr<TableStore> table;
        if (TableStore::Open(store, "T", definition, false, false, table).code ==
            runtime::err::FileNotFound) {
            continue;  // stopped before the table's first commit
        }
        ASSERT_TRUE(table);
        const Counts c = CountsOf(*table);
        EXPECT_TRUE(c.records <= 10 || c.records == 50) << c.records;
        ExpectConsistent(c, c.records);
    }
    IoFaultSeam::SetDeviceSync(true);
}

}  // namespace
}  // namespace zelt::storage
