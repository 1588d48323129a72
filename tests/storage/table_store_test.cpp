#include <gtest/gtest.h>

#include <cstring>

#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table_declaration.hpp"
#include "storage/tables/item_keys.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage {
namespace {

using runtime::TableDeclaration;
namespace key_attr = runtime::key_attr;
namespace err = runtime::err;

// Records of 16 bytes: a 12-byte name and a LONG number; a unique NOCASE name key (OPT), a
// DUP number key and an INDEX on the number.
class TableStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char buffer[16] = {};
        auto decl = TableDeclaration("T", "T", "PELMAR")
                        .Record({buffer, sizeof buffer})
                        .String("T:Name", 0, 12)
                        .Long("T:Number", 12)
                        .Memo("T:Notes", 300)
                        .Key("T:NameKey", key_attr::Opt | key_attr::NoCase, {"T:Name"})
                        .Key("T:NumberKey", key_attr::Dup, {"T:Number"})
                        .Key("T:NumberIndex", key_attr::Index | key_attr::Dup, {"T:Number"});
        ASSERT_EQ(DefinitionFromDeclaration(decl, definition_), 0);
        ASSERT_TRUE(TableStore::Open(store_, "T", definition_, false, true, table_).ok());
    }

    static Bytes Rec(const std::string& name, std::int32_t number) {
        Bytes r(16, ' ');
        std::memcpy(r.data(), name.data(), std::min<std::size_t>(name.size(), 12));
        std::memcpy(r.data() + 12, &number, 4);
        return r;
    }
    std::uint32_t Add(const std::string& name, std::int32_t number, const std::string& notes = {}) {
        std::uint32_t n = 0;
        const std::vector<Bytes> memos{notes + Bytes(300 - notes.size(), ' ')};
        const Status s = table_->Add(Rec(name, number), &memos, true, &n);
        EXPECT_TRUE(s.ok()) << s.code;
        return n;
    }
    TableCounter Counter(std::uint8_t index) {
        TableCounter c;
        EXPECT_TRUE(table_->ReadCounter(index, &c).ok());
        return c;
    }
    std::size_t ItemsWithPrefix(const Bytes& prefix) {
        std::size_t n = 0;
        for (const auto& [k, v] : store_.Items())
            if (HasPrefix(k, prefix)) ++n;
        return n;
    }
    Bytes KeyPrefix(std::uint8_t k) {
        Bytes p = TablePrefix(table_->Id());
        p.push_back(static_cast<char>(k));
        return p;
    }

    MemoryItemStore store_;
    TableDefinition definition_;
    std::unique_ptr<TableStore> table_;
};

TEST_F(TableStoreTest, CreationWritesDirectoryDefinitionCountersAndCollation) {
    EXPECT_TRUE(store_.Items().count(DirectoryItemKey("T")));
    EXPECT_TRUE(store_.Items().count(DefinitionChunkKey(table_->Id(), 0)));
    EXPECT_TRUE(store_.Items().count(CollationItemKey(table_->Id())));
    EXPECT_EQ(store_.Items().at(CollationItemKey(table_->Id())).size(), 1153u);
    for (std::uint8_t index : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}, kRecordCounter})
        EXPECT_TRUE(store_.Items().count(CounterItemKey(table_->Id(), index)));
    // A second table of the file gets an identifier of its own; reopening finds the first.
    TableDefinition same = definition_;
    std::unique_ptr<TableStore> other;
    ASSERT_TRUE(TableStore::Open(store_, "OTHER", same, false, true, other).ok());
    EXPECT_NE(other->Id(), table_->Id());
    TableDefinition adopted;  // no fields: takes the stored definition
    std::unique_ptr<TableStore> again;
    ASSERT_TRUE(TableStore::Open(store_, "T", adopted, false, false, again).ok());
    EXPECT_EQ(again->Id(), table_->Id());
    EXPECT_EQ(adopted.fields.size(), 2u);
    EXPECT_EQ(TableStore::Open(store_, "NONE", adopted, false, false, again).code,
              err::FileNotFound);
}

TEST_F(TableStoreTest, ChangeMovesEntriesAndKeepsCounts) {
    const auto a = Add("alpha", 1, "first notes");
    const auto b = Add("beta", 2);
    EXPECT_LT(a, b);
    EXPECT_EQ(Counter(kRecordCounter).count, 2u);
    EXPECT_EQ(Counter(0).count, 2u);
    // The INDEX is not maintained: its mark drops to the first record added.
    EXPECT_EQ(Counter(2).second, a);
    EXPECT_EQ(ItemsWithPrefix(KeyPrefix(2)), 0u);

    // Renaming onto another record's name is refused and changes nothing.
    EXPECT_EQ(table_->Change(a, Rec("alpha", 1), Rec("BETA", 1), nullptr).code,
              err::CreatesDuplicateKey);
    std::uint32_t found = 0;
    bool hit = false;
    ASSERT_TRUE(table_->FindByKey(0, Rec("ALPHA", 0), &found, nullptr, &hit).ok());
    EXPECT_TRUE(hit);
    EXPECT_EQ(found, a);

    // A blank name leaves the OPT key; the count follows.
    ASSERT_TRUE(table_->Change(a, Rec("alpha", 1), Rec("", 5), nullptr).ok());
    EXPECT_EQ(Counter(0).count, 1u);
    ASSERT_TRUE(table_->FindByKey(1, Rec("", 5), &found, nullptr, &hit).ok());
    EXPECT_TRUE(hit);
    EXPECT_EQ(found, a);
    ASSERT_TRUE(table_->FindByKey(1, Rec("", 1), &found, nullptr, &hit).ok());
    EXPECT_FALSE(hit);
    Bytes stored;
    ASSERT_TRUE(table_->ReadRecord(a, &stored, &hit).ok());
    EXPECT_EQ(stored, Rec("", 5));
    std::vector<Bytes> memos;
    ASSERT_TRUE(table_->ReadMemos(a, &memos).ok());
    EXPECT_EQ(memos[0].substr(0, 11), "first notes");
}

TEST_F(TableStoreTest, DeleteRemovesEntriesMemosAndCounts) {
    const auto a = Add("alpha", 1, Bytes(290, 'm'));
    Add("beta", 1);
    EXPECT_EQ(ItemsWithPrefix(MemoPrefix(table_->Id(), a)), 2u);  // 256 + 34 bytes
    ASSERT_TRUE(table_->Delete(a).ok());
    EXPECT_EQ(ItemsWithPrefix(MemoPrefix(table_->Id(), a)), 0u);
    EXPECT_EQ(Counter(kRecordCounter).count, 1u);
    EXPECT_EQ(Counter(0).count, 1u);
    EXPECT_EQ(Counter(1).count, 1u);
    EXPECT_EQ(ItemsWithPrefix(KeyPrefix(1)), 1u);
    EXPECT_EQ(table_->Delete(a).code, err::RecordNotAvailable);
}

TEST_F(TableStoreTest, BuildsCompleteKeysFromTheirMark) {
    Add("one", 3);
    std::uint32_t appended = 0;
    ASSERT_TRUE(table_->Add(Rec("two", 2), nullptr, false, &appended).ok());
    Add("three", 1);  // behind the mark: not entered either
    EXPECT_EQ(Counter(0).second, appended);
    EXPECT_EQ(Counter(0).count, 1u);
    ASSERT_TRUE(table_->BuildKey(0, false).ok());
    EXPECT_EQ(Counter(0).count, 3u);
    EXPECT_EQ(Counter(0).second, 0u);
    EXPECT_EQ(ItemsWithPrefix(KeyPrefix(0)), 3u);
    // The INDEX gets entries only when built.
    ASSERT_TRUE(table_->BuildKey(2, false).ok());
    EXPECT_EQ(ItemsWithPrefix(KeyPrefix(2)), 3u);
    EXPECT_EQ(Counter(2).second, 0u);
    // A full build of an already complete key changes nothing.
    ASSERT_TRUE(table_->BuildKey(1, true).ok());
    EXPECT_EQ(Counter(1).count, 3u);
}

TEST_F(TableStoreTest, EmptyKeepsDefinitionAndFlags) {
    Add("one", 1);
    Add("two", 2);
    TableCounter flags = Counter(kRecordCounter);
    flags.second = 42;
    ASSERT_TRUE(table_->WriteCounter(kRecordCounter, flags).ok());
    ASSERT_TRUE(table_->Empty().ok());
    EXPECT_EQ(Counter(kRecordCounter).count, 0u);
    EXPECT_EQ(Counter(kRecordCounter).second, 42u);
    EXPECT_EQ(ItemsWithPrefix(TypePrefix(table_->Id(), item_type::Record)), 0u);
    EXPECT_EQ(ItemsWithPrefix(KeyPrefix(0)), 0u);
    EXPECT_TRUE(store_.Items().count(DefinitionChunkKey(table_->Id(), 0)));
    // A missing counter is made at its first use.
    store_.Erase(CounterItemKey(table_->Id(), 1), nullptr);
    Add("three", 3);
    EXPECT_EQ(Counter(1).count, 1u);
}

TEST_F(TableStoreTest, CreateReplacesAnExistingTable) {
    Add("one", 1);
    const TableId old_id = table_->Id();
    std::unique_ptr<TableStore> fresh;
    ASSERT_TRUE(TableStore::Create(store_, "T", definition_, false, fresh).ok());
    EXPECT_NE(fresh->Id(), old_id);
    EXPECT_EQ(ItemsWithPrefix(TablePrefix(old_id)), 0u);
    std::vector<std::string> names;
    ASSERT_TRUE(TableStore::TableNames(store_, names).ok());
    EXPECT_EQ(names, std::vector<std::string>{"T"});
}

TEST(TableStoreOemTest, OemTablesStoreTextConvertedAndCollateByTheOemSequence) {
    char buffer[8] = {};
    auto decl = TableDeclaration("O", "O", "PELMAR")
                    .Oem()
                    .Record({buffer, sizeof buffer})
                    .String("O:Name", 0, 8)
                    .Key("O:NameKey", 0, {"O:Name"});
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(decl, d), 0);
    MemoryItemStore store;
    std::unique_ptr<TableStore> table;
    ASSERT_TRUE(TableStore::Open(store, "O", d, true, true, table).ok());
    EXPECT_TRUE(table->Oem());
    std::uint32_t n = 0;
    ASSERT_TRUE(table->Add("caf\xE9    ", nullptr, true, &n).ok());
    EXPECT_EQ(store.Items().at(RecordItemKey(table->Id(), n)), "caf\x82    ");
    Bytes back;
    bool found = false;
    ASSERT_TRUE(table->ReadRecord(n, &back, &found).ok());
    EXPECT_EQ(back, "caf\xE9    ");
    // Reopened without the attribute, the stored flag still makes it an OEM table.
    TableDefinition again = d;
    std::unique_ptr<TableStore> reopened;
    ASSERT_TRUE(TableStore::Open(store, "O", again, false, false, reopened).ok());
    EXPECT_TRUE(reopened->Oem());
}

TEST(TableStoreBlobTest, BlobsBeyondSixteenBitChunkNumbersAreRefusedKeepingTheStoredOnes) {
    char buffer[4] = {};
    auto decl = TableDeclaration("B", "B", "PELMAR")
                    .Record({buffer, sizeof buffer})
                    .Long("B:Number", 0)
                    .Blob("B:Data");
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(decl, d), 0);
    MemoryItemStore store;
    std::unique_ptr<TableStore> table;
    ASSERT_TRUE(TableStore::Open(store, "B", d, true, true, table).ok());
    std::uint32_t n = 0;
    const std::vector<Bytes> small{Bytes(300, 'x')};
    ASSERT_TRUE(table->Add(Bytes(4, '\0'), &small, true, &n).ok());
    // 65536 chunks of 256 bytes is the most a blob can have.
    const std::vector<Bytes> too_big{Bytes(kMemoChunk * 65536 + 1, 'y')};
    EXPECT_EQ(table->WriteMemos(n, too_big).code, err::UnsupportedFunction);
    std::vector<Bytes> back;
    ASSERT_TRUE(table->ReadMemos(n, &back).ok());
    EXPECT_EQ(back.at(0), small[0]);
}

}  // namespace
}  // namespace zelt::storage
