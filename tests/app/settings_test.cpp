// Start-up settings on real table files in a fresh current directory: the first run, the
// settings window, "NewLog", the subset tags kept in TF, and the per-user profile copy.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/settings/get_config.hpp"
#include "app/settings/opening_steps.hpp"
#include "app/settings/profile_settings.hpp"
#include "app/settings/settings_file.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "runtime/window/headless_backend.hpp"
#include "tests/app/dictionary_fixture.hpp"

namespace zelt::app {
namespace {

namespace fs = std::filesystem;
using runtime::button::Ok;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

SubsetTagEntry Tag(std::string_view name, std::string_view dir, std::uint8_t priority,
                   std::string_view target) {
    SubsetTagEntry entry;
    entry.AppName = name;
    entry.DrivePath = dir;
    entry.Priority = priority;
    entry.Target = target;
    return entry;
}

class SettingsTest : public testing::DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        ResetCatalogueGlobals();  // bare table names: the settings decide where they go
        previous_dir_ = fs::current_path();
        fs::current_path(dir_);
        session_.script.SetFailureHandler([](const std::string& f) { ADD_FAILURE() << f; });
    }
    void TearDown() override {
        fs::current_path(previous_dir_);
        DictionaryTest::TearDown();
    }
    void WriteIni(const std::string& text) { std::ofstream(dir_ / "ZELT.INI") << text; }
    std::int64_t LogRecords() {
        TempFileManager.Open();
        TempFileManager.EnsureOpen();
        const std::int64_t n = TempFile.Records();
        TempFileManager.Close();
        return n;
    }

    runtime::HeadlessSession session_;
    runtime::ScopedProfileService profile_{
        std::make_shared<platform::IniFileService>(dir_ / "user" / "profile.ini")};
    fs::path previous_dir_;
};

TEST_F(SettingsTest, FirstRunWarnsAsksForSettingsAndCreatesTablesUnderTheChosenDirectory) {
    fs::create_directories(dir_ / "tables");
    session_.script.AnswerMessage(Ok).Expecting("not currently running");
    session_.script.Type(GetConfigCtl::FilePath, (dir_ / "tables").string());  // no "/"
    session_.script.Type(GetConfigCtl::RunString, "vxide --result-delay 10");
    session_.script.Press(GetConfigCtl::UseNewLogYes);
    session_.script.Press(GetConfigCtl::OkButton);

    WarnIdeNotRunning();
    SubsetTagQueue tags;
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {[this] { GetConfig(errors); }, &tags, true}));

    ASSERT_EQ(session_.script.Messages().size(), 1u);
    EXPECT_EQ(session_.script.Messages()[0].request.caption, "Warning");
    EXPECT_EQ(session_.script.Sounds(), std::vector<std::string>{"ir_inter.wav"});
    const std::string dir = (dir_ / "tables").string() + "/";
    EXPECT_EQ(Slurp(dir_ / "ZELT.INI"),
              "[Preserved]\nNewLog=Y\nCL_Command=vxide --result-delay 10\n"
              "FilePath=" +
                  dir + "\nRetainTags=0\n");
    EXPECT_EQ(AppsFileName.Clip(), dir + "APPS.PLM");
    EXPECT_EQ(TempFileFileName.Clip(), dir + "TEMPFILE.PLM");
    ProjectsManager.Open();
    AddProject("Orders");
    ProjectsManager.Close();
    EXPECT_TRUE(fs::exists(dir + "PROJECTS.PLM"));
    EXPECT_TRUE(fs::exists(dir + "TEMPFILE.PLM"));  // created anew: NewLog is "Y"
    EXPECT_FALSE(fs::exists(dir_ / "PROJECTS.PLM"));
}

TEST_F(SettingsTest, SettingsWindowRefusesAPathTooLongForTheTableNamesAndCancelKeepsBlanks) {
    const std::string too_long = "/" + std::string(52, 'd');  // 53 with its "/" added
    session_.script.Type(GetConfigCtl::FilePath, too_long);
    session_.script.Press(GetConfigCtl::OkButton);
    session_.script.AnswerMessage(Ok).Expecting("at most 52");
    session_.script.Press(GetConfigCtl::CancelButton);

    EXPECT_EQ(GetConfig(errors), framework::ResponseCancelled);
    EXPECT_FALSE(fs::exists(dir_ / "ZELT.INI"));  // nothing saved
    ASSERT_EQ(session_.script.Messages().size(), 1u);
    EXPECT_EQ(session_.script.Messages()[0].request.caption, "Path to ZELT files");

    // A hand-edited ZELT.INI with such a path: the tables are not opened under a cut name.
    WriteIni("[Preserved]\nNewLog=N\nCL_Command=x\nFilePath=" + too_long + "/\n");
    testing::RecordingPresenter shown;
    errors.SetPresenter(&shown);
    EXPECT_FALSE(LoadSettingsAtOpening(errors, {}));
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_NE(shown.shown[0].text.find("cannot be opened"), std::string::npos);
    EXPECT_EQ(AppsFileName.Clip(), "APPS.PLM");
}

TEST_F(SettingsTest, NewLogEmptiesTheLogAtEveryStartAndNKeepsIt) {
    WriteIni("[Preserved]\nNewLog=N\nCL_Command=vxide\nFilePath=" + dir_.string() + "/\n");
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {}));
    TempFileManager.Open();
    TempFileManager.EnsureOpen();
    TMP.Apps = "A.APP";
    TMP.Event = "Begin Make";
    ASSERT_EQ(TempFile.Add(), runtime::err::NoError);
    TempFileManager.Close();

    ResetCatalogueGlobals();
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {}));
    EXPECT_EQ(LogRecords(), 1);

    ResetCatalogueGlobals();
    WriteIni("[Preserved]\nNewLog=Y\nCL_Command=vxide\nFilePath=" + dir_.string() + "/\n");
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {}));
    EXPECT_EQ(LogRecords(), 0);
}

TEST_F(SettingsTest, SubsetTagsRoundTripThroughTfAndSwitchingRetainOffDeletesItsFile) {
    WriteIni("[Preserved]\nNewLog=N\nCL_Command=vxide\nFilePath=" + dir_.string() +
             "/\nRetainTags=1\n");
    SubsetTagQueue tags;
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {{}, &tags, true}));
    EXPECT_TRUE(tags.empty());
    InsertByName(tags, Tag("ZED.APP", "/w/", 2, "/w/ZED.EXE"));
    InsertByName(tags, Tag("ALPHA.APP", "/w/", 9, "/w/ALPHA.DLL"));
    SaveSettingsAtClosing(tags);
    EXPECT_TRUE(fs::exists(dir_ / "TF.PLM"));

    ResetCatalogueGlobals();
    SubsetTagQueue restored{Tag("STALE.APP", "/", 1, "")};
    ASSERT_TRUE(LoadSettingsAtOpening(errors, {{}, &restored, true}));
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored[0].AppName.Clip(), "ALPHA.APP");
    EXPECT_EQ(restored[0].Priority, 9);
    EXPECT_EQ(restored[0].Target.Clip(), "/w/ALPHA.DLL");
    EXPECT_EQ(restored[1].AppName.Clip(), "ZED.APP");

    // "Save and restore project subset tags" switched off: TF's file goes at once.
    session_.script.Press(GetConfigCtl::RetainTags);
    session_.script.Press(GetConfigCtl::OkButton);
    EXPECT_EQ(GetConfig(errors), framework::ResponseCompleted);
    EXPECT_EQ(GLO.RetainTags, 0);
    EXPECT_FALSE(fs::exists(dir_ / "TF.PLM"));
    EXPECT_NE(Slurp(dir_ / "ZELT.INI").find("RetainTags=0"), std::string::npos);
}

TEST_F(SettingsTest, ProfileCopyCarriesThreeSettingsAcrossRuns) {
    GLO.UseNewLog = "Y";
    GLO.RunString = "vxide --log /tmp/x";
    GLO.FilePath = "/data/zelt/";
    GLO.RetainTags = 1;
    ProfileSettings first;
    first.Init("");
    GLO.UseNewLog = "Y";  // Init loaded blanks from the empty profile; the run changed them
    GLO.RunString = "vxide --log /tmp/x";
    GLO.FilePath = "/data/zelt/";
    first.Save();
    first.Kill();

    ResetCatalogueGlobals();
    ProfileSettings second;
    second.Init("");
    EXPECT_EQ(GLO.UseNewLog.Clip(), "Y");
    EXPECT_EQ(std::string(GLO.RunString.View()), "vxide --log /tmp/x");
    EXPECT_EQ(GLO.FilePath.Clip(), "/data/zelt/");
    EXPECT_EQ(GLO.RetainTags, 0);  // not kept in the profile
    second.Kill();
    const std::string profile = Slurp(dir_ / "user" / "profile.ini");
    EXPECT_NE(profile.find("GLO:RunString=vxide --log /tmp/x"), std::string::npos);
    EXPECT_EQ(profile.find("RetainTags"), std::string::npos);
}

TEST_F(SettingsTest, CheckSettingsFileNamesTheFirstLineThatDoesNotFit) {
    EXPECT_EQ(CheckSettingsFile(), std::nullopt);  // missing: blank settings
    WriteIni("; comment\n[Preserved]\nNewLog=Y\nRetainTags=1\nWaitMinutes=2\n[Other]\nx=y\n");
    EXPECT_EQ(CheckSettingsFile(), std::nullopt);
    EXPECT_EQ(ReadWaitMinutes(), 2);
    WriteIni("[Preserved]\nNewLog=Y\nRetainTags=yes\n");
    EXPECT_EQ(CheckSettingsFile().value_or(""),
              "ZELT.INI line 3: RetainTags must be 0 or 1, not \"yes\"");
    WriteIni("[Preserved\n");
    EXPECT_EQ(CheckSettingsFile().value_or(""),
              "ZELT.INI line 1: a section header must read [name]");
    WriteIni("[Preserved]\nFilePath /tmp\n");
    EXPECT_NE(CheckSettingsFile().value_or("").find("line 2: expected key=value"),
              std::string::npos);
    WriteIni("[Preserved]\nWaitMinutes=0\n");
    EXPECT_NE(CheckSettingsFile().value_or("").find("WaitMinutes"), std::string::npos);
    EXPECT_EQ(ReadWaitMinutes(), kNoWaitLimit);
}

}  // namespace
}  // namespace zelt::app
