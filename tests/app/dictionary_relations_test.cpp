#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "dictionary_fixture.hpp"

#include "framework/relation_tracker.hpp"
#include "runtime/file/file_driver.hpp"

namespace zelt::app::testing {
namespace {

using framework::LevelNotify;
using framework::LevelOk;

TEST_F(DictionaryTest, ProjectsAreNumberedAndApplicationsAreUniqueByNameAndFolder) {
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    ASSERT_EQ(AppsRelations.OpenAll(), LevelOk);
    EXPECT_EQ(AddProject("Alpha"), 1);
    EXPECT_EQ(AddProject("Beta"), 2);
    // A project stored with number 41 by other means: the next one is 42.
    PRO.ProjectName = "Imported";
    PRO.P_Ref = 41;
    ASSERT_EQ(Projects.Add(), runtime::err::NoError);
    EXPECT_EQ(AddProject("Gamma"), 42);

    AddApp("/src/one/", "MAIN.APP", 1);
    AddApp("/src/two/", "MAIN.APP", 1);  // same name elsewhere: fine
    EXPECT_TRUE(presenter.shown.empty());
    AddApp("/src/one/", "main.app", 2, LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "Duplicate Key Error");
    EXPECT_EQ(presenter.shown[0].text,
              "Adding this record creates a duplicate entry for the key: APP:DriveKey");

    // A project name is unique as well.
    presenter.shown.clear();
    EXPECT_EQ(ProjectsManager.PrepareRecord(), LevelOk);
    PRO.ProjectName = "ALPHA";
    EXPECT_EQ(ProjectsManager.Insert(), LevelNotify);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Duplicate Key Error"}));
    EXPECT_EQ(ProjectsManager.ReleaseAutoNumber(&ProjectsRelations), LevelOk);
    EXPECT_EQ(Projects.Records(), 4);

    AppsRelations.CloseAll();
    ProjectsRelations.CloseAll();
    EXPECT_TRUE(halts.empty());
}

TEST_F(DictionaryTest, DeletingAProjectDeletesItsApplicationsAndRenumberingClearsThem) {
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    std::int32_t alpha = AddProject("Alpha");
    std::int32_t beta = AddProject("Beta");
    AddApp("/a/", "A1.APP", alpha);
    AddApp("/a/", "A2.APP", alpha);
    AddApp("/b/", "B1.APP", beta);
    AddApp("/l/", "LOOSE.APP", 0);
    ProjectsRelations.CloseAll();

    // A new number for Beta: its applications lose their project.
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    PRO.ProjectName = "Beta";
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    ProjectsRelations.SaveLinks();
    PRO.P_Ref = 7;
    EXPECT_EQ(ProjectsRelations.Update(), LevelOk);
    EXPECT_EQ(Applications(), "A1.APP:1 A2.APP:1 B1.APP:0 LOOSE.APP:0 ");
    ProjectsRelations.CloseAll();

    // Deleting Alpha takes its applications with it, and nothing else.
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    PRO.ProjectName = "Alpha";
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    presenter.answers = {framework::button::Yes};
    EXPECT_EQ(ProjectsRelations.Delete(true), LevelOk);
    EXPECT_EQ(presenter.Captions(), (std::vector<std::string>{"Confirm Delete"}));
    EXPECT_EQ(Applications(), "B1.APP:0 LOOSE.APP:0 ");
    EXPECT_EQ(Projects.Records(), 1);
    ProjectsRelations.CloseAll();
    EXPECT_EQ(ProjectsManager.State().Opened, 0);
    EXPECT_EQ(AppsManager.State().Opened, 0);
}

TEST_F(DictionaryTest, RestrictModeRefusesNamingTheApplicationsFile) {
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    std::int32_t alpha = AddProject("Alpha");
    AddApp("/a/", "A1.APP", alpha);
    ProjectsRelations.CloseAll();

    // The same tables under a relation that refuses both changes and deletions.
    framework::RelationTracker strict;
    strict.Init(ProjectsManager);
    strict.AddRelation(AppsRelations, framework::ModeRestrict, framework::ModeRestrict,
                       Apps.P_RefKey);
    ASSERT_TRUE(strict.AddLink("PRO:P_Ref", "APP:P_Ref"));

    ASSERT_EQ(strict.OpenAll(), LevelOk);
    PRO.ProjectName = "Alpha";
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    strict.SaveLinks();
    PRO.P_Ref = 9;
    EXPECT_EQ(strict.Update(), LevelNotify);
    EXPECT_EQ(std::int32_t{PRO.P_Ref}, alpha);
    presenter.answers = {framework::button::No};
    EXPECT_EQ(strict.Delete(false), LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 3u);
    EXPECT_EQ(presenter.shown[0].caption, "Referential Integrity Update Error");
    EXPECT_EQ(presenter.shown[0].text,
              "This record is referenced from the file " + Path("APPS.PLM") +
                  ". Linking field(s) have been restricted from change and have been reset to "
                  "original values.");
    EXPECT_EQ(presenter.shown[1].caption, "Referential Integrity Delete Error");
    EXPECT_EQ(presenter.shown[1].text,
              "This record is referenced from the file " + Path("APPS.PLM") +
                  ". This record cannot be deleted while these references exist.");
    EXPECT_EQ(presenter.shown[2].caption, "Record Delete Error");
    strict.CloseAll();
    strict.Kill();
    EXPECT_EQ(Applications(), "A1.APP:1 ");
    // Nothing was stored of the refused change either.
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    PRO.ProjectName = "Alpha";
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    EXPECT_EQ(std::int32_t{PRO.P_Ref}, alpha);
    ProjectsRelations.CloseAll();
}

// A copy of PROJECTS opened by a second driver object, which acts as another station.
struct OtherStation {
    OtherStation() {
        static bool registered = false;
        if (!registered) {
            runtime::RegisterDriver(std::make_shared<storage::PelmarDriver>("PELMAR_OTHER"));
            registered = true;
        }
    }
    ProjectsRecord rec{};
    runtime::Table projects{
        runtime::TableDeclaration("PROJECTS", "PRO", "PELMAR_OTHER")
            .NameVariable(ProjectsFileName.Span())
            .Record(runtime::AsBytes(rec))
            .String("PRO:ProjectName", offsetof(ProjectsRecord, ProjectName), 50)
            .Long("PRO:P_Ref", offsetof(ProjectsRecord, P_Ref))
            .Key("PRO:ProjectNameKey", runtime::key_attr::Opt | runtime::key_attr::NoCase,
                 {"PRO:ProjectName"})
            .Key("PRO:ProjectIDKey",
                 runtime::key_attr::Opt | runtime::key_attr::NoCase | runtime::key_attr::Primary,
                 {"PRO:P_Ref"})};
};

// Runs this test program once more as another station that renames a project.
int RenameInAnotherProcess(const std::string& file, const std::string& from,
                           const std::string& to) {
    std::string filter = "--gtest_filter=DictionaryOtherStation.RenameProject";
    std::string env_file = "ZELT_STATION_FILE=" + file;
    std::string env_from = "ZELT_STATION_FROM=" + from;
    std::string env_to = "ZELT_STATION_TO=" + to;
    char* argv[] = {const_cast<char*>("/proc/self/exe"), filter.data(), nullptr};
    char* envp[] = {env_file.data(), env_from.data(), env_to.data(),
                    const_cast<char*>("ASAN_OPTIONS=detect_leaks=0"), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp) != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The other station's side; does nothing unless started by RenameInAnotherProcess.
TEST(DictionaryOtherStation, RenameProject) {
    const char* file = std::getenv("ZELT_STATION_FILE");
    if (!file) GTEST_SKIP() << "runs only as the other station";
    storage::RegisterPelmarDriver();
    ProjectsFileName = file;
    ASSERT_EQ(Projects.Share(), runtime::err::NoError);
    PRO.ProjectName = std::getenv("ZELT_STATION_FROM");
    ASSERT_EQ(Projects.Get(Projects.ProjectNameKey), runtime::err::NoError);
    PRO.ProjectName = std::getenv("ZELT_STATION_TO");
    ASSERT_EQ(Projects.Put(), runtime::err::NoError);
    ASSERT_EQ(Projects.Close(), runtime::err::NoError);
}

TEST_F(DictionaryTest, ChangeByAnotherStationLeavesTheirRecordInTheBuffer) {
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    AddProject("Alpha");

    // A form loads the record watched, the other station changes it, the form saves.
    PRO.ProjectName = "Alpha";
    Projects.Watch();
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    ProjectsRelations.SaveLinks();
    ASSERT_EQ(RenameInAnotherProcess(Path("PROJECTS.PLM"), "Alpha", "Alpha (theirs)"), 0);

    PRO.ProjectName = "Alpha (mine)";
    EXPECT_EQ(ProjectsRelations.Update(true), LevelNotify);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].caption, "Record Was Not Updated");
    EXPECT_EQ(presenter.shown[0].text.rfind("This record was changed by another station. Those "
                                            "changes will now be displayed.",
                                            0),
              0u);
    EXPECT_EQ(PRO.ProjectName.Clip(), "Alpha (theirs)");

    // Without a form the plain message; the buffer again shows the stored record.
    PRO.ProjectName = "Alpha (mine)";
    ASSERT_EQ(RenameInAnotherProcess(Path("PROJECTS.PLM"), "Alpha (theirs)", "Alpha (again)"), 0);
    EXPECT_EQ(ProjectsManager.Update(), LevelNotify);
    EXPECT_EQ(presenter.shown.back().text, "This record was changed by another station.");
    EXPECT_EQ(PRO.ProjectName.Clip(), "Alpha (again)");

    // Nobody changed it since: saving goes through.
    PRO.ProjectName = "Alpha (mine)";
    EXPECT_EQ(ProjectsRelations.Update(), LevelOk);
    ProjectsRelations.CloseAll();
}

TEST_F(DictionaryTest, FailedDeletionUnderLogoutLeavesNothingBehind) {
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    std::int32_t alpha = AddProject("Alpha");
    AddApp("/a/", "A1.APP", alpha);
    AddApp("/a/", "A2.APP", alpha);
    ProjectsRelations.CloseAll();

    // The other station holds the project, so its own deletion fails after the
    // applications were deleted.
    OtherStation other;
    ASSERT_EQ(other.projects.Share(), runtime::err::NoError);
    ASSERT_EQ(other.projects.Hold(), runtime::err::NoError);
    other.rec.ProjectName = "Alpha";
    ASSERT_EQ(other.projects.Get(0), runtime::err::NoError);

    ProjectsRelations.UseLogout = true;
    ASSERT_EQ(ProjectsRelations.OpenAll(), LevelOk);
    PRO.ProjectName = "Alpha";
    ASSERT_EQ(ProjectsManager.Fetch(Projects.ProjectNameKey), LevelOk);
    presenter.answers = {framework::button::No};
    EXPECT_EQ(ProjectsRelations.Delete(false), LevelNotify);
    EXPECT_EQ(presenter.Captions(),
              (std::vector<std::string>{"Record was not deleted", "Record Delete Error"}))
        << presenter.shown.front().text;
    EXPECT_TRUE(ProjectsRelations.UseLogout);
    EXPECT_EQ(Applications(), "A1.APP:1 A2.APP:1 ");
    EXPECT_EQ(Projects.Records(), 1);
    EXPECT_FALSE(runtime::TransactionActive());

    // Once the other station lets go, the same deletion goes through, in one transaction.
    other.projects.Release();
    other.projects.Close();
    presenter.shown.clear();
    EXPECT_EQ(ProjectsRelations.Delete(false), LevelOk);
    EXPECT_TRUE(presenter.shown.empty());
    EXPECT_EQ(Applications(), "");
    EXPECT_EQ(Projects.Records(), 0);
    ProjectsRelations.CloseAll();
}

}  // namespace
}  // namespace zelt::app::testing
