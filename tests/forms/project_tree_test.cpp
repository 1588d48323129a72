// The project tree in a window of its own on real tables: the build, expanding and
// contracting, the rebuild that keeps what was open, and edits through the real forms.
#include "app/tree/project_tree.hpp"
#include "app/forms/update_apps.hpp"
#include "app/forms/update_projects.hpp"
#include "runtime/window/key_codes.hpp"
#include "tests/forms/forms_fixture.hpp"

namespace zelt::app::testing {
namespace {

namespace btn = runtime::button;
namespace key = runtime::key;

struct TreeCtl {
    enum : int { RelTree = 1, Expand, Contract, Insert2, Change2, Delete2, Close };
};

runtime::WindowDeclaration HostDeclaration() {
    runtime::WindowDeclaration w("Tree Host");
    w.Tree("?RelTree", ProjectTreeFormat());
    w.Button("?Expand", "&Expand All");
    w.Button("?Contract", "Co&ntract All");
    w.Button("?Insert:2", "&Insert");
    w.Button("?Change:2", "Chan&ge");
    w.Button("?Delete:2", "&Delete");
    w.Button("?Close", "Close");
    return w;
}

struct NavigatingToolbar final : framework::ToolbarTarget {
    framework::NavigationRequest pending = framework::NavigationRequest::None;
    framework::Level TakeAccepted(runtime::ControlNumber) override { return framework::LevelOk; }
    framework::NavigationRequest PendingNavigation() const override { return pending; }
    void ClearNavigation() override { pending = framework::NavigationRequest::None; }
};

class TreeHost final : public framework::WindowController {
  public:
    explicit TreeHost(framework::ErrorReporter& errors)
        : WindowController(errors, HostDeclaration(), "Main"),
          tree(*this,
               {TreeCtl::RelTree, TreeCtl::Expand, TreeCtl::Contract, TreeCtl::Insert2,
                TreeCtl::Change2, TreeCtl::Delete2},
               StandardTreeForms(errors)) {}
    framework::Level Init() override {
        WindowController::Init();
        AddButton(TreeCtl::Close, framework::ResponseCancelled);
        tree.Init();
        OpenWindow();
        return framework::LevelOk;
    }
    ProjectTree tree;
};

class ProjectTreeTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        alpha = StoreProject("Alpha");
        StoreProject("Beta");
        gamma = StoreProject("Gamma");
        StoreApp("/a/", "A2.APP", alpha);
        StoreApp("/a/", "A1.APP", alpha);
        StoreApp("/g/", "G1.APP", gamma);
    }
    // The tree as rows: "+" a collapsed project, "-" an open one, apps indented.
    std::string Shape() const {
        std::string out;
        for (const RelTreeEntry& e : host.tree.Queue()) {
            if (!out.empty()) out += "|";
            if (e.Level == tree_level::Root)
                out += e.Display;
            else if (std::abs(e.Level) == tree_level::Project)
                out += (e.Level < 0 ? "+" : e.Loaded ? "-" : " ") + e.Display;
            else
                out += "  " + e.Display;
        }
        return out;
    }
    std::string Selected() const {
        const int row = host.Window().Choice(TreeCtl::RelTree);
        return row >= 1 ? host.tree.Queue().at(static_cast<std::size_t>(row - 1)).Display
                        : "<none>";
    }
    // Opens and closes another window: the host loses and regains the focus.
    void ChangeFocus() {
        script.Run([] {
            runtime::Window other(runtime::WindowDeclaration("Elsewhere"));
            other.Open();
            other.Close();
        });
    }
    void Run() {
        script.Press(TreeCtl::Close);
        host.Run();
    }

    TreeHost host{errors};
    std::int32_t alpha = 0, gamma = 0;
};

TEST_F(ProjectTreeTest, ProjectsOpenByKeysAndEventsAndOnlyWhenTheyHaveApplications) {
    script.Run([this] { EXPECT_EQ(Shape(), "PROJECTS|+Alpha| Beta|+Gamma"); });
    script.SelectRow(TreeCtl::RelTree, 3);
    script.Key(TreeCtl::RelTree, key::Right);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|+Alpha| Beta|+Gamma")
            << "a project without applications stays shut";
        EXPECT_TRUE(host.tree.LoadedLevels().empty());
    });
    script.SelectRow(TreeCtl::RelTree, 2);
    script.Key(TreeCtl::RelTree, key::Right);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|-Alpha|  A2.APP|  A1.APP| Beta|+Gamma");
        EXPECT_EQ(host.tree.Queue()[1].Icon, tree_icon::Open);
        EXPECT_EQ(host.tree.Queue()[2].Icon, tree_icon::ShutFold);
        EXPECT_EQ(host.tree.LoadedLevels().size(), 1u);
    });
    script.Expand(TreeCtl::RelTree, 6);  // Gamma, by the tree's own expand event
    script.SelectRow(TreeCtl::RelTree, 2);
    script.Key(TreeCtl::RelTree, key::Left);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|+Alpha| Beta|-Gamma|  G1.APP");
        EXPECT_EQ(host.tree.Queue()[1].Icon, tree_icon::Pick);
        EXPECT_EQ(Selected(), "Alpha");
    });
    script.Press(TreeCtl::Expand);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|-Alpha|  A2.APP|  A1.APP|-Beta|-Gamma|  G1.APP");
        EXPECT_EQ(Selected(), "Alpha") << "the selected node stays selected";
    });
    Run();
}

TEST_F(ProjectTreeTest, OpenProjectsSurviveARebuildAndAFocusChangeUntilContractAll) {
    script.SelectRow(TreeCtl::RelTree, 4);
    script.Key(TreeCtl::RelTree, key::Right);  // Gamma
    script.SelectRow(TreeCtl::RelTree, 5);     // G1.APP
    script.Run([this] {
        StoreApp("/g/", "G2.APP", gamma);
        StoreApp("/a/", "A3.APP", alpha);
    });
    ChangeFocus();
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|+Alpha| Beta|-Gamma|  G1.APP|  G2.APP");
        EXPECT_EQ(Selected(), "G1.APP");
    });
    script.Press(TreeCtl::Contract);
    script.Run([this] {
        EXPECT_TRUE(host.tree.LoadedLevels().empty());
        EXPECT_EQ(Selected(), "Gamma")
            << "an application that is no longer shown gives way to its project";
    });
    ChangeFocus();
    script.Run([this] { EXPECT_EQ(Shape(), "PROJECTS|+Alpha| Beta|+Gamma"); });
    Run();
}

TEST_F(ProjectTreeTest, InsertOnTheRootAddsAProjectAndOnAProjectOrApplicationAnApplication) {
    const std::string exe = MakeFile("new/NEW.EXE");
    script.Press(TreeCtl::Insert2);  // the root row
    script.Type(UpdateProjectsCtl::ProjectName, "Delta").In("New Project");
    script.Press(UpdateProjectsCtl::Ok);
    script.Run([this] { EXPECT_EQ(Selected(), "Delta"); });

    script.SelectRow(TreeCtl::RelTree, 2);  // Alpha
    script.Press(TreeCtl::Insert2);
    script.Run([this] { EXPECT_EQ(std::int32_t{APP.P_Ref}, alpha) << "primed with its project"; });
    script.Type(UpdateAppsCtl::FullName, MakeFile("new/B.APP"));
    script.Type(UpdateAppsCtl::Target, exe);
    script.Type(UpdateAppsCtl::Priority, "1");
    script.Press(UpdateAppsCtl::Ok);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|-Alpha|  A2.APP|  A1.APP|  B.APP| Beta| Delta|+Gamma");
        EXPECT_EQ(Selected(), "B.APP") << "the new application is shown and selected";
    });
    script.Press(TreeCtl::Insert2);  // on B.APP, an application row of Alpha
    script.Type(UpdateAppsCtl::FullName, MakeFile("new/C.APP"));
    script.Type(UpdateAppsCtl::Target, exe);
    script.Type(UpdateAppsCtl::Priority, "2");
    script.Press(UpdateAppsCtl::Ok);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|-Alpha|  A2.APP|  A1.APP|  B.APP|  C.APP| Beta| Delta|+Gamma");
        EXPECT_EQ(Selected(), "C.APP");
    });
    Run();
    EXPECT_TRUE(Captions().empty());
}

TEST_F(ProjectTreeTest, DeletingAProjectRowDeletesItsApplications) {
    script.SelectRow(TreeCtl::RelTree, 4);  // Gamma
    script.Key(TreeCtl::RelTree, key::Right);
    script.SelectRow(TreeCtl::RelTree, 2);  // Alpha
    script.Press(TreeCtl::Delete2);
    script.AnswerMessage(btn::Yes);  // Confirm Delete
    script.Run([this] { EXPECT_EQ(Shape(), "PROJECTS| Beta|-Gamma|  G1.APP"); });
    script.SelectRow(TreeCtl::RelTree, 4);  // G1.APP, from the popup menu
    script.Key(TreeCtl::RelTree, key::MouseRight);
    script.ChoosePopup("Delete");
    script.AnswerMessage(btn::Yes);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS| Beta|-Gamma");
        EXPECT_EQ(Selected(), "Gamma");
    });
    Run();
    EXPECT_EQ(Applications(), "");
    EXPECT_EQ(Captions(), (Texts{"Confirm Delete", "Confirm Delete"}));
    ASSERT_EQ(script.Popups().size(), 1u);
    EXPECT_EQ(script.Popups()[0],
              (Texts{"&Insert", "Chan&ge", "&Delete", "-", "&Expand All", "Co&ntract All"}));
}

TEST_F(ProjectTreeTest, ADoubleClickChangesAndTheToolbarMovesOnOrInsertsAgain) {
    NavigatingToolbar toolbar;
    host.SetToolbar(&toolbar);
    script.DoubleClick(TreeCtl::RelTree, 2);  // Alpha
    script.Run([&] { toolbar.pending = framework::NavigationRequest::Next; });
    script.Press(UpdateProjectsCtl::Cancel).In("Project will be Updated");
    script.Run([this] {
        EXPECT_EQ(Selected(), "A2.APP") << "next: into the project, opened first";
        EXPECT_NE(session.system.FindWindow("Record will be Changed"), nullptr);
    });
    script.Press(UpdateAppsCtl::Cancel);
    // Insert again after a new project: the root row again, so another project.
    script.SelectRow(TreeCtl::RelTree, 1);
    script.Press(TreeCtl::Insert2);
    script.Type(UpdateProjectsCtl::ProjectName, "Delta");
    script.Run([&] { toolbar.pending = framework::NavigationRequest::InsertAgain; });
    script.Press(UpdateProjectsCtl::Ok);
    script.Type(UpdateProjectsCtl::ProjectName, "Epsilon").In("New Project");
    script.Press(UpdateProjectsCtl::Ok);
    script.Run([this] {
        EXPECT_EQ(Shape(), "PROJECTS|-Alpha|  A2.APP|  A1.APP| Beta| Delta| Epsilon|+Gamma");
        EXPECT_EQ(Selected(), "Epsilon");
        ASSERT_EQ(host.tree.LoadSelectedProject(), framework::LevelOk);
        EXPECT_EQ(PRO.ProjectName.Clip(), "Epsilon") << "the project a whole-project make takes";
    });
    Run();
}

TEST_F(ProjectTreeTest, AProjectsTableThatCannotBeReadClosesTheWindow) {
    ProjectsRelations.OpenAll();
    ProjectsManager.EnsureOpen();
    runtime::Logout(1, {&Projects});
    for (int i = 0; i < 300; ++i) {
        PRO.ProjectName = "Project " + std::to_string(1000 + i);
        PRO.P_Ref = 10 + i;
        Projects.Add();
    }
    runtime::Commit();
    ProjectsRelations.CloseAll();
    const auto size = std::filesystem::file_size(Path("PROJECTS.PLM"));
    std::fstream file(Path("PROJECTS.PLM"), std::ios::in | std::ios::out | std::ios::binary);
    for (std::uintmax_t at : {size / 3, size / 2, size * 2 / 3}) {
        file.seekp(static_cast<std::streamoff>(at));
        file << std::string(700, 'Z');
    }
    file.close();
    host.Run();  // no step: the window closes by itself
    EXPECT_FALSE(host.Window().IsOpen());
    EXPECT_LT(host.tree.Queue().size(), 303u);
}

}  // namespace
}  // namespace zelt::app::testing
