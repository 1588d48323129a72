// Two tables of one program on one file, and keys whose entries share long prefixes,
// through the "PELMAR" driver.
#include <algorithm>
#include <string>
#include <vector>

#include "pelmar_table_fixture.hpp"

namespace zelt::storage::pelmar_tests {
namespace {

using runtime::FixedString;
using runtime::Table;
using runtime::TableDeclaration;
namespace err = runtime::err;

// The people table, also under a second driver object that behaves as another station.
class PelmarSharingTest : public PelmarTableTest {
  protected:
    static void SetUpTestSuite() {
        PelmarTableTest::SetUpTestSuite();
        runtime::RegisterDriver(std::make_shared<PelmarDriver>("PELMAR_B"));
    }
};

// Two tables of one program on one file exclude each other exactly as two stations do:
// holds and record locks belong to the open table, not to the shared file.
TEST_F(PelmarSharingTest, HoldsAndLocksBelongToEachOpenTableOfOneProgram) {
    Table first(People());
    CreateWith(first, {{"Alice", 1}});
    Table second(People());
    ASSERT_EQ(second.Open(0x42), 0);
    Table station(People("PELMAR_B"));
    ASSERT_EQ(station.Open(0x42), 0);

    rec_.number = 1;
    first.Hold();
    ASSERT_EQ(first.Get(2), 0);
    rec_.number = 1;
    second.Hold();
    EXPECT_EQ(second.Get(2), err::RecordIsAlreadyHeld);
    // The second table's release and refused writes leave the first one's hold alone.
    ASSERT_EQ(second.Release(), 0);
    rec_.number = 1;
    ASSERT_EQ(second.Get(2), 0);
    rec_.score = 9;
    EXPECT_EQ(second.Put(), err::AccessDenied);
    EXPECT_EQ(second.Delete(), err::RecordNotAvailable);
    rec_.number = 1;
    station.Hold();
    EXPECT_EQ(station.Get(2), err::RecordIsAlreadyHeld);
    ASSERT_EQ(first.Release(), 0);
    rec_.number = 1;
    second.Hold();
    EXPECT_EQ(second.Get(2), 0);
    ASSERT_EQ(second.Release(), 0);

    ASSERT_EQ(first.Lock(), 0);
    EXPECT_EQ(second.Lock(0), err::FileIsAlreadyLocked);
    ASSERT_EQ(second.Unlock(), 0);
    EXPECT_EQ(station.Lock(0), err::FileIsAlreadyLocked);
    ASSERT_EQ(first.Unlock(), 0);
    EXPECT_EQ(second.Lock(0), 0);
    // Closing a table gives up its holds and locks.
    ASSERT_EQ(second.Close(), 0);
    EXPECT_EQ(first.Lock(0), 0);
}

// A table opened deny-write writes without record locks while it is the program's only
// table on the file; a second table of the program brings them back, so its hold still
// refuses the exclusive table's PUT and DELETE.
TEST_F(PelmarSharingTest, ExclusiveTableHonoursHoldsOfTheProgramsOtherTables) {
    Table owner(People());
    CreateWith(owner, {{"Alice", 1}, {"Bob", 2}});
    ASSERT_EQ(owner.Close(), 0);
    ASSERT_EQ(owner.Open(runtime::access::ReadWrite | runtime::access::DenyWrite), 0);
    Table reader(People());
    ASSERT_EQ(reader.Open(runtime::access::ReadOnly | runtime::access::DenyNone), 0);
    rec_.number = 1;
    reader.Hold();
    ASSERT_EQ(reader.Get(2), 0);
    rec_.number = 1;
    ASSERT_EQ(owner.Get(2), 0);
    rec_.score = 7;
    EXPECT_EQ(owner.Put(), err::AccessDenied);
    EXPECT_EQ(owner.Delete(), err::RecordNotAvailable);
    ASSERT_EQ(reader.Close(), 0);
    EXPECT_EQ(owner.Put(), 0) << runtime::CurrentErrorText();
    rec_.number = 1;
    ASSERT_EQ(owner.Get(2), 0);
    EXPECT_EQ(rec_.score, 7);
    EXPECT_EQ(owner.Delete(), 0);
}

// NEXT reads ahead of its position; what it read must give way to every change made
// since: an entry added just behind the position, a key changed inside a transaction, a
// record changed inside one (held back until the commit), and a PREVIOUS in between.
TEST_F(PelmarSharingTest, AWalkSeesEveryChangeMadeAheadOfItsPosition) {
    Table walker(People());
    CreateWith(walker, {{"Anna", 1}, {"Cora", 2}, {"Emma", 3}, {"Gina", 4}, {"Ines", 5}});
    Table other(People());
    ASSERT_EQ(other.Open(runtime::access::ReadWrite | runtime::access::DenyNone), 0);
    const auto next = [&] { return walker.Next() == 0 ? rec_.name.Clip() : std::string("(end)"); };
    const auto rename = [&](const char* from, const char* to) {
        rec_.name = from;
        ASSERT_EQ(other.Get(kNameKey), 0);
        rec_.name = to;
        ASSERT_EQ(other.Put(), 0) << runtime::CurrentErrorText();
    };
    walker.SetKey(kNameKey);
    EXPECT_EQ(next(), "Anna");
    EXPECT_EQ(next(), "Cora");
    other.ClearRecord();
    rec_.name = "Dora";
    rec_.number = 6;
    ASSERT_EQ(other.Add(), 0);
    EXPECT_EQ(next(), "Dora");
    ASSERT_EQ(runtime::Logout(1, {&other}), 0);
    rename("Gina", "Fay");
    EXPECT_EQ(next(), "Emma");
    EXPECT_EQ(next(), "Fay");
    ASSERT_EQ(runtime::Commit(), 0);
    ASSERT_EQ(walker.Previous(), 0);
    EXPECT_EQ(rec_.name.Clip(), "Emma");
    EXPECT_EQ(next(), "Fay");
    EXPECT_EQ(next(), "Ines");
    EXPECT_EQ(next(), "(end)");

    // In record order the items read ahead are the records themselves.
    walker.SetFile();
    EXPECT_EQ(next(), "Anna");
    EXPECT_EQ(next(), "Cora");
    ASSERT_EQ(runtime::Logout(1, {&other}), 0);
    rec_.name = "Emma";
    ASSERT_EQ(other.Get(kNameKey), 0);
    rec_.score = 42;
    ASSERT_EQ(other.Put(), 0);
    ASSERT_EQ(walker.Next(), 0);
    EXPECT_EQ(rec_.score, 42);
    ASSERT_EQ(runtime::Commit(), 0);
}

// Key entries whose encoded bytes share far more than 63 leading bytes, and records that
// do, read back exactly by key, in key order and after the file was closed.
TEST_F(PelmarSharingTest, KeysSharingLongPrefixesReadBackExactly) {
#pragma pack(push, 1)
    struct PathRecord {
        FixedString<120> path;
        std::int32_t number;
    } row{};
#pragma pack(pop)
    FixedString<200> file_name;
    file_name = dir_.File("PATHS");
    auto declaration = [&] {
        return TableDeclaration("PATHS", "PAT", "PELMAR")
            .NameVariable(file_name.Span())
            .Record(runtime::AsBytes(row))
            .String("PAT:Path", 0, 120)
            .Long("PAT:Number", 120)
            .Key("PAT:PathKey", 0, {"PAT:Path"})
            .Key("PAT:NumberKey", 0, {"PAT:Number"});
    };
    const std::string stem =
        "/home/builder/projects/catalogue/applications/release/" + std::string(30, 'x');
    std::vector<std::string> paths;
    for (int i = 0; i < 200; ++i) paths.push_back(stem + std::to_string(1000 + (i * 7919) % 1000));
    {
        Table t(declaration());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(0x42), 0);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            row.path = paths[i];
            row.number = static_cast<std::int32_t>(i);
            ASSERT_EQ(t.Add(), 0);
        }
    }
    Table t(declaration());
    ASSERT_EQ(t.Open(0x40), 0);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        row.path = paths[i];
        ASSERT_EQ(t.Get(0), 0) << paths[i];
        EXPECT_EQ(row.number, static_cast<std::int32_t>(i));
        row.number = static_cast<std::int32_t>(i);
        ASSERT_EQ(t.Get(1), 0);
        EXPECT_EQ(row.path.Clip(), paths[i]);
    }
    std::vector<std::string> sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> walked;
    t.SetKey(0);
    while (t.Next() == 0) walked.push_back(std::string(row.path.Clip()));
    EXPECT_EQ(walked, sorted);
}

}  // namespace
}  // namespace zelt::storage::pelmar_tests
