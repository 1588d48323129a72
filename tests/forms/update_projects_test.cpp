// The project form and the application picker on real tables: membership through Add App
// and Remove App, the picker's two sorts with their locators, and a cancelled new project.
#include "app/forms/update_projects.hpp"
#include "app/forms/select_app.hpp"
#include "tests/forms/forms_fixture.hpp"

namespace zelt::app::testing {
namespace {

using Ctl = UpdateProjectsCtl;
using Pick = SelectAppCtl;
namespace btn = runtime::button;

class UpdateProjectsTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        alpha = StoreProject("Alpha");
        beta = StoreProject("Beta");
        StoreApp("/a/", "X.APP", alpha, 2);
        StoreApp("/b/", "Y.APP", beta, 1);
        StoreApp("/l/", "LOOSE.APP", 0, 3);
    }
    // Runs the form on the project named `name` (insert when empty), with the tables open
    // as the tree or a list would have them.
    framework::ResponseCode RunForm(const std::string& name) {
        ProjectsRelations.OpenAll();
        if (name.empty()) {
            ProjectsManager.PrepareRecord();
        } else {
            PRO.ProjectName = name;
            EXPECT_EQ(ProjectsManager.Fetch(ProjectsTable::ProjectNameKey), framework::LevelOk);
        }
        const auto response = framework::CallWithRequest(
            name.empty() ? framework::RequestInsert : framework::RequestChange,
            [this] { UpdateProjects(errors); });
        ProjectsRelations.CloseAll();
        return response;
    }
    // The applications the open project form lists.
    Texts Listed(const char* title) {
        runtime::Window* form = session.system.FindWindow(title);
        return form ? Column(*form, Ctl::Browse2, 3) : Texts{"<no form>"};
    }
    // Picks `row` in the picker that Add App opens.
    void PickRow(int row) {
        script.SelectRow(Pick::Browse1, row);
        script.Press(Pick::Select2);
    }

    std::int64_t ProjectCount() {
        ProjectsRelations.OpenAll();
        ProjectsManager.EnsureOpen();
        const std::int64_t n = Projects.Records();
        ProjectsRelations.CloseAll();
        return n;
    }

    std::int32_t alpha = 0, beta = 0;
};

TEST_F(UpdateProjectsTest, AddAppMovesAnApplicationFromAnotherProject) {
    script.Run([this] { EXPECT_EQ(Listed("Project will be Updated"), Texts{"Y.APP"}); });
    script.Press(Ctl::AddAppButton);
    PickRow(3);  // by name: LOOSE.APP, X.APP, Y.APP... the third is Y, already here
    script.Press(Ctl::AddAppButton);
    PickRow(2);  // X.APP, from Alpha
    script.Run([this] {
        EXPECT_EQ(Listed("Project will be Updated"), (Texts{"Y.APP", "X.APP"})) << "by priority";
    });
    script.Press(Ctl::Ok);
    RunForm("Beta");
    EXPECT_EQ(Applications(), "X.APP:2 Y.APP:2 LOOSE.APP:0 ");
    EXPECT_TRUE(Captions().empty());
}

TEST_F(UpdateProjectsTest, RemoveAppAsksAndKeepsTheApplication) {
    script.Press(Ctl::RemoveAppButton);
    script.AnswerMessage(btn::No).Expecting("remove this app from the project?");
    script.Run([this] { EXPECT_EQ(Listed("Project will be Updated"), Texts{"Y.APP"}); });
    script.Press(Ctl::RemoveAppButton);
    script.AnswerMessage(btn::Yes);
    script.Run([this] { EXPECT_EQ(Listed("Project will be Updated"), Texts{}); });
    script.Press(Ctl::Cancel);
    RunForm("Beta");
    EXPECT_EQ(Applications(), "X.APP:1 Y.APP:0 LOOSE.APP:0 ")
        << "the record stays, without a project";
    EXPECT_EQ(Captions(), (Texts{"Confirm", "Confirm"}));
}

TEST_F(UpdateProjectsTest, ThePickerSortsByItsTabsAndLocates) {
    StoreApp("/z/", "Z.APP", 0, 3);
    APP.Application = "KEPT.APP";
    runtime::Window* picker = nullptr;
    auto highlighted = [&picker] {
        return picker->CellText(Pick::Browse1, picker->Choice(Pick::Browse1), 3);
    };
    script.Run([&] {
        picker = session.system.FindWindow("Select Application");
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(Column(*picker, Pick::Browse1, 3),
                  (Texts{"LOOSE.APP", "X.APP", "Y.APP", "Z.APP"}));
    });
    script.Press(Pick::Tab3);
    script.Run([&] {
        EXPECT_EQ(Column(*picker, Pick::Browse1, 3),
                  (Texts{"Y.APP", "X.APP", "LOOSE.APP", "Z.APP"}));
        EXPECT_EQ(Column(*picker, Pick::Browse1, 1), (Texts{"1", "2", "3", "3"}));
    });
    script.SelectRow(Pick::Browse1, 1);
    script.Char(Pick::Browse1, '3');  // the first application of priority 3, whatever its name
    script.Run([&] { EXPECT_EQ(highlighted(), "LOOSE.APP"); });
    script.Press(Pick::Tab2);
    script.Run([&] { EXPECT_EQ(highlighted(), "LOOSE.APP") << "a new sort keeps the record"; });
    script.Char(Pick::Browse1, 'y');
    script.Run([&] { EXPECT_EQ(highlighted(), "Y.APP"); });
    script.Press(Pick::Close);
    AppsRelations.OpenAll();
    EXPECT_EQ(framework::CallWithRequest(framework::RequestSelect, [this] { SelectApp(errors); }),
              framework::ResponseCancelled);
    AppsRelations.CloseAll();
    EXPECT_EQ(APP.Application.Clip(), "KEPT.APP") << "a cancelled pick leaves the buffer";
}

TEST_F(UpdateProjectsTest, ACancelledNewProjectGivesItsApplicationsBack) {
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Ok).Expecting("A project needs a name.");
    script.Type(Ctl::ProjectName, "Gamma");
    script.Press(Ctl::AddAppButton);
    PickRow(2);  // X.APP, from Alpha
    script.Run([this] { EXPECT_EQ(Listed("New Project"), Texts{"X.APP"}); });
    script.Press(Ctl::Cancel);
    script.AnswerMessage(btn::No).Expecting("save the changes");
    EXPECT_EQ(RunForm(""), framework::ResponseCancelled);
    EXPECT_EQ(Applications(), "X.APP:1 Y.APP:2 LOOSE.APP:0 ")
        << "nothing deleted with the reserved project";
    EXPECT_EQ(ProjectCount(), 2);

    script.Type(Ctl::ProjectName, "Gamma");
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm(""), framework::ResponseCompleted);
    EXPECT_EQ(ProjectCount(), 3);
    EXPECT_EQ(Captions(), (Texts{"Project Name", "Save Record"}));
}

}  // namespace
}  // namespace zelt::app::testing

namespace zelt::app::testing {
namespace {

TEST_F(UpdateProjectsTest, AnExistingNameIsRefusedOnceAndADeleteCountsTheApplications) {
    script.Type(Ctl::ProjectName, "alpha");  // names are compared without case
    script.Press(Ctl::Ok);
    script.AnswerMessage(btn::Ok).Expecting("There is a project named \"alpha\" already.");
    script.Run([this] {
        runtime::Window* form = session.system.FindWindow("Project will be Updated");
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->Focus(), Ctl::ProjectName);
    });
    script.Type(Ctl::ProjectName, "Gamma");
    script.Press(Ctl::Ok);
    EXPECT_EQ(RunForm("Beta"), framework::ResponseCompleted);
    EXPECT_EQ(Captions(), Texts{"Project Name"});

    StoreApp("/a/", "Z.APP", alpha, 4);
    script.AnswerMessage(btn::No).Expecting("holds 2 applications, which will be deleted");
    script.AnswerMessage(btn::Yes).Expecting("holds 2 applications");
    for (int round = 0; round < 2; ++round) {
        ProjectsRelations.OpenAll();
        PRO.ProjectName = "Alpha";
        ASSERT_EQ(ProjectsManager.Fetch(ProjectsTable::ProjectNameKey), framework::LevelOk);
        framework::CallWithRequest(framework::RequestDelete, [this] { UpdateProjects(errors); });
        ProjectsRelations.CloseAll();
    }
    EXPECT_EQ(ProjectCount(), 1);  // Gamma, once Beta; No kept Alpha the first time
    EXPECT_EQ(Applications(), "Y.APP:2 LOOSE.APP:0 ");
}

}  // namespace
}  // namespace zelt::app::testing
