#include <filesystem>

#include "dictionary_fixture.hpp"

namespace zelt::app::testing {
namespace {

using framework::LevelOk;

TEST_F(DictionaryTest, LazyNestedOpenOnTheEventLog) {
    ASSERT_EQ(TempFileManager.Open(), LevelOk);
    ASSERT_EQ(TempFileManager.Open(), LevelOk);
    // Nothing touched the disk yet.
    EXPECT_FALSE(std::filesystem::exists(Path("TEMPFILE.PLM")));
    TMP.Apps = "MAIN.APP";
    TMP.Date = 80000;
    TMP.Clock = 4000001;
    TMP.Event = "Begin Make";
    // The first record operation creates and opens the file and keeps the buffer.
    ASSERT_EQ(TempFileManager.Insert(), LevelOk);
    EXPECT_TRUE(std::filesystem::exists(Path("TEMPFILE.PLM")));
    EXPECT_EQ(TMP.Event.Clip(), "Begin Make");
    EXPECT_EQ(TempFile.Records(), 1);

    TempFileManager.Close();
    EXPECT_EQ(TempFile.Records(), 1);  // still open
    TempFileManager.Close();
    TempFile.Records();
    EXPECT_EQ(runtime::CurrentErrorCode(), runtime::err::FileNotOpen);

    // Reading it back through a new open finds the event, with the equal-time one too.
    ASSERT_EQ(TempFileManager.Open(), LevelOk);
    ASSERT_EQ(TempFileManager.Insert(), LevelOk);  // same date and time: both are kept
    TempFile.SetKey(TempFile.clockkey);
    int events = 0;
    while (TempFileManager.Next() == LevelOk) ++events;
    EXPECT_EQ(events, 2);
    EXPECT_TRUE(TempFileManager.State().AtEOF);
    TempFileManager.Close();
    EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(DictionaryTest, UsingATableBeforeOpeningItEndsTheProgram) {
    EXPECT_EQ(TfManager.Next(), framework::LevelFatal);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "File Usage Error");
    EXPECT_EQ(presenter.shown[0].text, "Attempt to use file (" + Path("TF.PLM") +
                                           ") before it was opened  Press OK to end this "
                                           "application");
    EXPECT_EQ(halts, (std::vector<std::string>{"3:File Usage Error"}));
}

TEST_F(DictionaryTest, TheAliasReadsTheSameFileWithItsOwnBuffer) {
    ASSERT_EQ(AppsRelations.OpenAll(), LevelOk);
    AddApp("/a/", "FIRST.APP", 0);
    AddApp("/a/", "SECOND.APP", 0);
    ASSERT_EQ(Apps1Relations.OpenAll(), LevelOk)
        << (presenter.shown.empty() ? "" : presenter.shown.back().text);
    APPS1.Application = "SECOND.APP";
    APPS1.DrivenPath = "/a/";
    ASSERT_EQ(Apps1Manager.Fetch(Apps1.DriveKey), LevelOk);
    EXPECT_EQ(APPS1.Application.Clip(), "SECOND.APP");
    EXPECT_EQ(APP.Application.Clip(), "SECOND.APP");  // the last one added, untouched

    // Preparing a record of the alias goes through the aliased manager, buffer and all.
    APPS1.Application = "NEW.APP";
    ASSERT_EQ(Apps1Manager.PrepareRecord(true), LevelOk);
    EXPECT_EQ(APPS1.Application.Clip(), "NEW.APP");
    Apps1Relations.CloseAll();
    AppsRelations.CloseAll();
    EXPECT_EQ(Apps1Manager.AliasedFile, &AppsManager);
    EXPECT_EQ(Apps1Relations.AliasFile, &AppsRelations);
}

TEST_F(DictionaryTest, ManagersCarryTheCatalogueSettings) {
    for (framework::FileManager* m : {&AppsManager, &DeletionFileManager, &TempFileManager,
                                      &ProjectsManager, &TfManager, &Apps1Manager}) {
        EXPECT_TRUE(m->Settings.Create);
        EXPECT_TRUE(m->Settings.LazyOpen);
        EXPECT_EQ(m->Settings.LockRecover, 10);
        EXPECT_EQ(m->Settings.OpenMode, 0x42);
    }
    EXPECT_TRUE(ProjectsManager.HasAutoInc());
    EXPECT_FALSE(AppsManager.HasAutoInc());
    EXPECT_EQ(ProjectsManager.PrimaryKey(), 2);
    EXPECT_EQ(AppsManager.Keys().size(), 3u);
    EXPECT_EQ(AppsManager.Keys()[0].Fields[0].FieldName, "UPPER(APP:Application)");
    ASSERT_EQ(ProjectsRelations.Relations().size(), 2u);
    EXPECT_EQ(ProjectsRelations.Relations()[0].UpdateMode, framework::ModeClear);
    EXPECT_EQ(ProjectsRelations.Relations()[0].DeleteMode, framework::ModeCascade);
    EXPECT_EQ(ProjectsRelations.Relations()[1].UpdateMode, framework::ModeNone);
    EXPECT_EQ(AppsRelations.Relations().at(0).File, &ProjectsRelations);
    EXPECT_EQ(AppsRelations.Relations().at(0).HisKey, -1);
}

}  // namespace
}  // namespace zelt::app::testing
