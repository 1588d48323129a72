#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../runtime/file_test_dir.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "runtime/errors/error_state.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::app {
namespace {

namespace err = runtime::err;

// The catalogue tables on real Pelmar files in a fresh directory.
class CatalogueStorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::RegisterPelmarDriver();
        ResetCatalogueGlobals();
        GLO.FilePath = dir_.Path() + "/";
        for (auto* name : {&AppsFileName, &TempFileFileName, &ProjectsFileName, &TfFileName})
            *name = GLO.FilePath.Clip() + name->Clip();
    }
    void TearDown() override {
        for (runtime::Table* t :
             std::initializer_list<runtime::Table*>{&Apps, &Apps1, &TempFile, &Projects, &Tf})
            t->Close();
        ResetCatalogueGlobals();
    }

    static void AddApp(const char* path, const char* name, std::uint8_t priority) {
        Apps.ClearRecord();
        APP.DrivenPath = path;
        APP.Application = name;
        APP.Priority = priority;
        ASSERT_EQ(Apps.Add(), 0) << name << ": " << runtime::CurrentErrorText();
    }

    testing_support::TestDir dir_;
};

TEST_F(CatalogueStorageTest, ApplicationsAreUniqueByNameAndDirectoryIgnoringCase) {
    EXPECT_EQ(Apps.FileName(), dir_.Path() + "/APPS.PLM");
    ASSERT_EQ(Apps.Create(), 0);
    ASSERT_EQ(Apps.Open(0x42), 0);
    AddApp("/src/one/", "MAIN.APP", 5);
    AddApp("/src/two/", "MAIN.APP", 5);  // same name, other directory
    Apps.ClearRecord();
    APP.DrivenPath = "/SRC/ONE/";
    APP.Application = "main.app";
    EXPECT_EQ(Apps.Add(), err::CreatesDuplicateKey);
    AddApp("/src/one/", "ALPHA.APP", 5);
    AddApp("/src/one/", "ZED.APP", 1);

    // Equal priorities come by file name.
    std::vector<std::string> order;
    Apps.SetKey(AppsTable::PriorityKey);
    while (Apps.Next() == 0)
        order.push_back(APP.Application.Clip() + "@" + std::to_string(APP.Priority));
    EXPECT_EQ(order,
              (std::vector<std::string>{"ZED.APP@1", "ALPHA.APP@5", "MAIN.APP@5", "MAIN.APP@5"}));

    // APPS1 reads the same file through its own buffer.
    ASSERT_EQ(Apps1.Open(0x42), 0);
    EXPECT_EQ(Apps1.Records(), 4);
    Apps1.SetKey(Apps1Table::DriveKey);
    ASSERT_EQ(Apps1.Next(), 0);
    EXPECT_EQ(APPS1.Application.Clip(), "ALPHA.APP");
    EXPECT_EQ(APP.Application.Clip(), "MAIN.APP");  // APPS is left where it was
    // Applications without a project are left out of the project key.
    EXPECT_EQ(Apps.RecordsKey(AppsTable::P_RefKey), 0);
}

TEST_F(CatalogueStorageTest, EventsInTheSameHundredthAreBothKept) {
    ASSERT_EQ(TempFile.Create(), 0);
    ASSERT_EQ(TempFile.Open(0x42), 0);
    for (const char* text : {"Begin Make", "Make Finished"}) {
        TMP.Apps = "MAIN.APP";
        TMP.Date = 80000;
        TMP.Clock = 360001;
        TMP.Event = text;
        ASSERT_EQ(TempFile.Add(), 0);
    }
    TMP.Date = 79999;
    TMP.Event = "earlier";
    ASSERT_EQ(TempFile.Add(), 0);
    std::vector<std::string> events;
    TempFile.SetKey(TempFileTable::clockkey);
    while (TempFile.Next() == 0) events.push_back(TMP.Event.Clip());
    EXPECT_EQ(events, (std::vector<std::string>{"earlier", "Begin Make", "Make Finished"}));
}

TEST_F(CatalogueStorageTest, ProjectsAreUniqueByNameAndNumber) {
    ASSERT_EQ(Projects.Create(), 0);
    ASSERT_EQ(Projects.Open(0x42), 0);
    PRO.ProjectName = "Tools";
    PRO.P_Ref = 1;
    ASSERT_EQ(Projects.Add(), 0);
    PRO.ProjectName = "TOOLS";
    PRO.P_Ref = 2;
    EXPECT_EQ(Projects.Add(), err::CreatesDuplicateKey);
    PRO.ProjectName = "Games";
    PRO.P_Ref = 1;
    EXPECT_EQ(Projects.Add(), err::CreatesDuplicateKey);
    PRO.P_Ref = 2;
    ASSERT_EQ(Projects.Add(), 0);
    // The highest project number, as auto-numbering reads it.
    Projects.SetKey(ProjectsTable::ProjectIDKey);
    ASSERT_EQ(Projects.Previous(), 0);
    const std::int32_t highest = PRO.P_Ref;
    EXPECT_EQ(highest, 2);
}

}  // namespace
}  // namespace zelt::app
