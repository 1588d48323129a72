// A browse over a Pelmar table file: paging through records with equal keys returns to the
// exact record, so no row is shown twice or left out.
#include <gtest/gtest.h>

#include "../runtime/file_test_dir.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/window/key_codes.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework {
namespace {

#pragma pack(push, 1)
struct ItemRecord {
    std::int32_t Group;
    runtime::FixedString<10> Name;
};
#pragma pack(pop)

class ItemList : public WindowController {
  public:
    ItemList(ErrorReporter& errors, runtime::Table& table, ItemRecord& item,
             RelationTracker& tracker)
        : WindowController(errors, Declaration(), "ItemList"),
          table_(table),
          record_(tracker),
          view_(table),
          item_(item) {}
    BrowseController browse;
    static runtime::WindowDeclaration Declaration() {
        runtime::WindowDeclaration w("Items");
        w.List("?List", runtime::ListFormat{{{"Name", 10}}, {}, true}).Immediate().Hint(10, 3);
        return w;
    }
    Level Init() override {
        WindowController::Init();
        browse.Init(*this, 1, view_, record_, Errors);
        browse.ActiveOrder().Order = "+ITM:Group";
        browse.AddField(FieldBinding(table_, 1));
        browse.SetFilter("ITM:Name <> 'skip'");
        OpenWindow();
        return LevelOk;
    }
    std::string Highlighted() const {
        const int c = browse.CurrentChoice;
        return c >= 1 ? browse.ListQueue()[static_cast<std::size_t>(c - 1)].values.at(0)
                      : std::string();
    }

  private:
    runtime::Table& table_;
    TrackedRecord record_;
    TableView view_;
    ItemRecord& item_;
};

TEST(BrowsePelmarTest, PagingThroughEqualKeysShowsEveryRecordOnce) {
    storage::RegisterPelmarDriver();
    testing_support::TestDir dir;
    testing::ControllerSession s;
    ItemRecord item{};
    runtime::Table table(runtime::TableDeclaration("ITEMS", "ITM", "PELMAR")
                             .FileName(dir.File("ITEMS.PLM"))
                             .Record(runtime::AsBytes(item))
                             .Long("ITM:Group", 0)
                             .String("ITM:Name", 4, 10)
                             .Key("ITM:GroupKey", runtime::key_attr::Dup, {"ITM:Group"}));
    FileManager manager;
    manager.Init(table, s.errors);
    manager.AddKey(0, "Group");
    RelationTracker tracker;
    tracker.Init(manager);
    ASSERT_EQ(tracker.OpenAll(), LevelOk);
    std::vector<std::string> stored;
    for (const char* name : {"n1", "n2", "skip", "n3", "n4", "n5", "n6", "n7"}) {
        item.Group = 1;
        item.Name = name;
        ASSERT_EQ(manager.Insert(), LevelOk) << name;
        if (std::string(name) != "skip") stored.push_back(name);
    }

    ItemList w(s.errors, table, item, tracker);
    std::vector<std::string> seen;
    auto& script = s.session.script;
    script.Run([&] { seen.push_back(w.Highlighted()); });
    for (int i = 0; i < 8; ++i) {
        script.Key(1, runtime::key::Down);
        script.Run([&] {
            if (w.Highlighted() != seen.back()) seen.push_back(w.Highlighted());
        });
    }
    script.Key(1, runtime::key::PageUp);
    script.Key(1, runtime::key::PageUp);
    script.Run([&] {
        std::vector<std::string> top;
        for (const auto& r : w.browse.ListQueue()) top.push_back(r.values.at(0));
        EXPECT_EQ(top, (std::vector<std::string>{"n1", "n2", "n3"})) << "back to the first record";
        EXPECT_EQ(w.Highlighted(), "n3") << "the second page up read one row";
    });
    script.CloseBox();
    w.Run();
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, stored) << "in equal-key order every record once, the filtered one left out";
    tracker.CloseAll();
    manager.Kill();
    tracker.Kill();
}

}  // namespace
}  // namespace zelt::framework
