// The application form on real tables: splitting the full name, the choosers, the checks of
// Ok (the source file, the priority, the target asked about once), and what it keeps.
#include <unistd.h>

#include "app/forms/update_apps.hpp"
#include "tests/forms/forms_fixture.hpp"

namespace zelt::app::testing {
namespace {

using Ctl = UpdateAppsCtl;
using framework::RequestChange;
using framework::RequestDelete;
using framework::RequestInsert;
using framework::ResponseCancelled;
using framework::ResponseCompleted;
namespace btn = runtime::button;

class UpdateAppsTest : public FormsTest {
  protected:
    framework::ResponseCode Run(framework::RequestCode request) {
        return framework::CallWithRequest(request, [this] { UpdateApps(errors); });
    }
    // An insert as a browse starts it: the record prepared first.
    framework::ResponseCode Insert() {
        AppsRelations.OpenAll();
        AppsManager.PrepareRecord();
        const auto response = Run(RequestInsert);
        AppsRelations.CloseAll();
        return response;
    }
    // Reads the stored application by name and folder into APP.
    bool Stored(const std::string& dir, const std::string& name) {
        AppsRelations.OpenAll();
        APP.DrivenPath = dir;
        APP.Application = name;
        const bool found = AppsManager.Fetch(AppsTable::DriveKey) == framework::LevelOk;
        AppsRelations.CloseAll();
        return found;
    }
    runtime::Window* Form() { return session.system.FindWindow("Record will be Added"); }
};

TEST_F(UpdateAppsTest, AFullNameWithoutAFolderIsAFileNameAlone) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    MakeFile("LOOSE.APP");
    MakeFile("LOOSE.EXE");
    script.Type(Ctl::FullName, "LOOSE.APP");
    script.Run([this] {
        EXPECT_EQ(APP.DrivenPath.Clip(), "");
        EXPECT_EQ(APP.Application.Clip(), "LOOSE.APP");
        EXPECT_EQ(Form()->Focus(), Ctl::DrivenPath) << "the focus skips the lookup button";
    });
    script.Type(Ctl::Target, "LOOSE.EXE");
    script.Type(Ctl::Priority, "5");
    script.Press(Ctl::Ok);
    EXPECT_EQ(Insert(), ResponseCompleted);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(Captions().empty());
    ASSERT_TRUE(Stored("", "LOOSE.APP"));
    EXPECT_EQ(APP.Priority, 5);
    EXPECT_EQ(APP.Target.Clip(), "LOOSE.EXE");
}

TEST_F(UpdateAppsTest, AMissingTargetIsQuestionedOncePerForm) {
    const std::string app = MakeFile("src/ORDERS.APP");
    script.Type(Ctl::FullName, app);
    script.Type(Ctl::Target, "ORDERS.EXE");
    script.Type(Ctl::Priority, "3");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Yes).Expecting("Use .APP directory for target also?");
    script.Run([this] {
        EXPECT_EQ(APP.Target.Clip(), Dir() + "src/ORDERS.EXE")
            << "Yes puts the target beside the application";
        EXPECT_EQ(Form()->Focus(), Ctl::Target);
    });
    script.Press(Ctl::Ok);  // the target is still missing: saved without a second question
    EXPECT_EQ(Insert(), ResponseCompleted);
    EXPECT_EQ(Captions(), Texts{"Confirm"});
    ASSERT_TRUE(Stored(Dir() + "src/", "ORDERS.APP"));
    EXPECT_EQ(APP.Target.Clip(), Dir() + "src/ORDERS.EXE");
    const int beeps = script.Beeps();

    // A missing target given with a folder is not offered the application's folder; the
    // user is told why the form stays open.
    const std::string other = MakeFile("src/OTHER.APP");
    script.Type(Ctl::FullName, other);
    script.Type(Ctl::Target, "/nowhere/OTHER.EXE");
    script.Type(Ctl::Priority, "3");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Ok).Expecting("/nowhere/OTHER.EXE was not found");
    script.Run([this] { EXPECT_EQ(Form()->Focus(), Ctl::Target); });
    script.Press(Ctl::Ok);
    EXPECT_EQ(Insert(), ResponseCompleted);
    EXPECT_EQ(Captions(), (Texts{"Confirm", "Target Not Found"}));
    EXPECT_EQ(script.Beeps(), beeps + 1);
    ASSERT_TRUE(Stored(Dir() + "src/", "OTHER.APP"));
    EXPECT_EQ(APP.Target.Clip(), "/nowhere/OTHER.EXE");
}

TEST_F(UpdateAppsTest, OkRefusesAMissingSourceAndPrioritiesOutOfRange) {
    const std::string app = MakeFile("src/ORDERS.APP");
    const std::string exe = MakeFile("src/ORDERS.EXE");
    script.Type(Ctl::FullName, Dir() + "src/NOTHERE.APP");
    script.Type(Ctl::Target, exe);
    script.Type(Ctl::Priority, "9");
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Ok).Expecting("Source file not found, fool.");
    script.Run([this] { EXPECT_EQ(Form()->Focus(), Ctl::LookupFile); });
    script.Type(Ctl::FullName, app);
    for (const char* priority : {"0", "256", "300", "x"}) {
        script.Type(Ctl::Priority, priority);
        script.Press(Ctl::Ok);
        script.AnswerMessage(btn::Ok).Expecting("from 1 to 255");
        script.Run([this] {
            EXPECT_EQ(Form()->Focus(), Ctl::Priority);
            EXPECT_TRUE(Form()->IsOpen());
        });
    }
    script.Type(Ctl::Priority, "255");
    script.Press(Ctl::Ok);
    EXPECT_EQ(Insert(), ResponseCompleted);
    EXPECT_EQ(Captions(),
              (Texts{"Don't Do That!", "Priority", "Priority", "Priority", "Priority"}));
    ASSERT_TRUE(Stored(Dir() + "src/", "ORDERS.APP"));
    EXPECT_EQ(APP.Priority, 255);
}

TEST_F(UpdateAppsTest, ChangeKeepsTheProjectAndTheChoosersFillTheNames) {
    const std::int32_t project = StoreProject("Billing");
    const std::string app = MakeFile("src/ORDERS.APP");
    const std::string moved = MakeFile("new/MOVED.APP");
    const std::string exe = MakeFile("new/MOVED.DLL");
    StoreApp(Dir() + "src/", "ORDERS.APP", project, 4);

    script.Run([this, app] {
        runtime::Window* form = session.system.FindWindow("Record will be Changed");
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->Value(Ctl::FullName), app);
        EXPECT_EQ(form->Value(Ctl::Priority), "4");
        EXPECT_TRUE(form->Control(Ctl::DrivenPath).read_only);
    });
    script.Press(Ctl::LookupFile);
    script.ChooseFile(moved);
    script.Press(Ctl::LookupFile2);
    script.ChooseFile(exe);
    script.Press(Ctl::Ok);
    AppsRelations.OpenAll();
    APP.DrivenPath = Dir() + "src/";
    APP.Application = "ORDERS.APP";
    ASSERT_EQ(AppsManager.Fetch(AppsTable::DriveKey), framework::LevelOk);  // the caller reads it
    EXPECT_EQ(Run(RequestChange), ResponseCompleted);
    AppsRelations.CloseAll();
    ASSERT_EQ(script.Choosers().size(), 2u);
    EXPECT_EQ(script.Choosers()[0].title, "Choose a File");
    EXPECT_EQ(
        script.Choosers()[0].filters,
        (std::vector<runtime::FileFilter>{
            {"Application files", "*.app"}, {"Dictionary Files", "*.dct"}, {"Projects", "*.prj"}}));
    EXPECT_EQ(script.Choosers()[1].title, "Set Target");
    EXPECT_EQ(script.Choosers()[1].filters,
              (std::vector<runtime::FileFilter>{
                  {"Executable files", "*.EXE"}, {"DLLs", "*.DLL"}, {"Libraries", "*.LIB"}}));
    EXPECT_FALSE(Stored(Dir() + "src/", "ORDERS.APP"));
    ASSERT_TRUE(Stored(Dir() + "new/", "MOVED.APP"));
    EXPECT_EQ(APP.Target.Clip(), exe);
    EXPECT_EQ(std::int32_t{APP.P_Ref}, project) << "the form keeps the project it does not show";
    EXPECT_EQ(APP.Priority, 4);
}

TEST_F(UpdateAppsTest, DeleteIsDoneBeforeTheFormShows) {
    StoreApp("/src/", "ORDERS.APP", 0);
    ASSERT_TRUE(Stored("/src/", "ORDERS.APP"));
    script.AnswerMessage(btn::Yes);
    AppsRelations.OpenAll();
    AppsManager.Fetch(AppsTable::DriveKey);
    EXPECT_EQ(Run(RequestDelete), ResponseCompleted);
    AppsRelations.CloseAll();
    EXPECT_EQ(Captions(), Texts{"Confirm Delete"});
    EXPECT_FALSE(Stored("/src/", "ORDERS.APP"));
}

// Names are typed and chosen as UTF-8 and stored as Windows-1252; what the table cannot
// hold is refused where it comes in, named, and never stored.
TEST_F(UpdateAppsTest, TypedAndChosenNamesAreStoredInTheTablesCharactersOrRefused) {
    const std::string app = MakeFile("caf\xC3\xA9/cr\xC3\xA8me.APP");
    MakeFile("caf\xC3\xA9/cr\xC3\xA8me.EXE");
    script.Type(Ctl::FullName, Dir() +
                                   "\xC5\x82\xC3\xB3"
                                   "d\xC5\xBA/A.APP");  // łódź
    script.AnswerMessage(btn::Ok).Expecting("the character \"\xC5\x82\" (U+0142) cannot be stored");
    script.Run([this] {
        EXPECT_EQ(Form()->Value(Ctl::FullName), "") << "the typed text is not taken";
        EXPECT_EQ(Form()->Focus(), Ctl::FullName);
        EXPECT_EQ(APP.Application.Clip(), "");
    });
    script.Type(Ctl::FullName, app);
    script.Press(Ctl::LookupFile2);
    script.ChooseFile(Dir() + "\xE2\x9C\x93.EXE");  // ✓, chosen in the file dialog
    script.AnswerMessage(btn::Ok).Expecting("(U+2713) cannot be stored");
    script.Type(Ctl::Target, Dir() + "caf\xC3\xA9/cr\xC3\xA8me.EXE");
    script.Type(Ctl::Priority, "2");
    script.Run([this] {
        EXPECT_EQ(Form()->Value(Ctl::DrivenPath), Dir() + "caf\xC3\xA9/") << "shown as UTF-8";
    });
    script.Press(Ctl::Ok);
    EXPECT_EQ(Insert(), ResponseCompleted);
    EXPECT_EQ(Captions(), (Texts{"Invalid Input", "Invalid Input"}));
    ASSERT_TRUE(Stored(Dir() + "caf\xE9/", "cr\xE8me.APP"));
    EXPECT_EQ(APP.Target.Clip(), Dir() + "caf\xE9/cr\xE8me.EXE");
}

}  // namespace
}  // namespace zelt::app::testing
