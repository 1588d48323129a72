// A browse over a real Pelmar table of people (name unique, city, amount) in a window with
// Insert, Change, Delete, Query and Close buttons, for the query and edit-in-place tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../runtime/file_test_dir.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/file_manager.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/file/fixed_string.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/framework/controller_support.hpp"

namespace zelt::framework::testing {

#pragma pack(push, 1)
struct PeopleRecord {
    runtime::FixedString<20> Name;
    runtime::FixedString<20> City;
    std::int32_t Amount;
};
#pragma pack(pop)

// The table file with its managers, opened and filled.
struct PeopleTable {
    explicit PeopleTable(ErrorReporter& errors)
        : table(runtime::TableDeclaration("PEOPLE", "PEO", "PELMAR")
                    .FileName(dir.File("PEOPLE.PLM"))
                    .Record(runtime::AsBytes(rec))
                    .String("PEO:Name", 0, 20)
                    .String("PEO:City", 20, 20)
                    .Long("PEO:Amount", 40)
                    .Key("PEO:NameKey", 0, {"PEO:Name"})) {
        storage::RegisterPelmarDriver();
        manager.Init(table, errors);
        manager.AddKey(0, "Name");
        tracker.Init(manager);
        EXPECT_EQ(tracker.OpenAll(), LevelOk);
    }
    ~PeopleTable() {
        tracker.CloseAll();
        manager.Kill();
        tracker.Kill();
    }
    void Add(const char* name, const char* city, int amount) {
        rec.Name = name;
        rec.City = city;
        rec.Amount = amount;
        EXPECT_EQ(manager.Insert(), LevelOk) << name;
    }
    // Every stored record as "name/city/amount", by name.
    std::vector<std::string> Stored() {
        std::vector<std::string> out;
        table.SetKey(0);
        while (table.Next() == 0)
            out.push_back(rec.Name.Clip() + "/" + rec.City.Clip() + "/" +
                          std::to_string(rec.Amount));
        return out;
    }

    testing_support::TestDir dir;
    PeopleRecord rec{};
    runtime::Table table;
    FileManager manager;
    RelationTracker tracker;
};

class PeopleList : public WindowController {
  public:
    enum Ctl : int { List = 1, Insert, Change, Delete, Query, Print, Tools, Close };

    PeopleList(ErrorReporter& errors, PeopleTable& people)
        : WindowController(errors, Declaration(), "PeopleList"),
          people_(people),
          record_(people.tracker),
          view_(people.table) {}

    BrowseController browse;
    std::function<void(BrowseController&)> setup;

    static runtime::WindowDeclaration Declaration() {
        runtime::WindowDeclaration w("People");
        w.List("?List", runtime::ListFormat{{{"Name", 20}, {"Amount", 6}}, {}, true})
            .Immediate()
            .Hint(30, 8);
        w.Button("?Insert", "&Insert");
        w.Button("?Change", "&Change");
        w.Button("?Delete", "&Delete");
        w.Button("?Query", "&Query");
        w.Button("?Print", "&Print");
        w.Button("?Tools", "&Toolbox");
        w.Button("?Close", "Close");
        return w;
    }
    Level Init() override {
        WindowController::Init();
        browse.Init(*this, List, view_, record_, Errors);
        browse.ActiveOrder().Order = "PEO:NameKey";
        browse.AddField(FieldBinding(people_.table, 0));
        browse.AddField(FieldBinding(people_.table, 2));
        browse.InsertControl = Insert;
        browse.ChangeControl = Change;
        browse.DeleteControl = Delete;
        browse.QueryControl = Query;
        browse.PrintControl = Print;
        browse.ToolControl = Tools;
        AddButton(Close, ResponseCancelled);
        if (setup) setup(browse);
        OpenWindow();
        return LevelOk;
    }
    // The names in the list.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& r : browse.ListQueue()) out.push_back(r.values.at(0));
        return out;
    }

  private:
    PeopleTable& people_;
    TrackedRecord record_;
    TableView view_;
};

}  // namespace zelt::framework::testing
