// The application form, the project form and the application picker drawn by the Qt
// backend off screen: each is photographed to the build tree's screenshots folder and
// checked for its title and the texts of its controls.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <set>

#include "app/forms/select_app.hpp"
#include "app/forms/update_apps.hpp"
#include "app/forms/update_projects.hpp"
#include "app/tree/project_tree.hpp"
#include "platform/qt/qt_backend.hpp"
#include "platform/qt/qt_icons.hpp"
#include "runtime/window/window_system.hpp"
#include "tests/app/dictionary_fixture.hpp"

// The font configuration library keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace zelt::app::testing {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_forms_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* app =
        new QApplication(argc, argv);  // never destroyed: Qt cleans up itself
    return *app;
}

// Every text the window shows on labels, buttons, tabs and list headers.
std::set<QString> TextsOf(QWidget* top) {
    std::set<QString> texts;
    for (auto* label : top->findChildren<QLabel*>()) texts.insert(label->text());
    for (auto* button : top->findChildren<QAbstractButton*>()) texts.insert(button->text());
    for (auto* bar : top->findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i) texts.insert(bar->tabText(i));
    for (auto* view : top->findChildren<QTreeView*>())
        for (int c = 0; c < view->model()->columnCount(); ++c)
            texts.insert(view->model()->headerData(c, Qt::Horizontal).toString());
    return texts;
}

class FormsScreens : public DictionaryTest {
  protected:
    FormsScreens() : app_(App()), system_(backend_), installed_(system_) {}

    void SetUp() override {
        DictionaryTest::SetUp();
        std::filesystem::create_directories(ZELT_SCREENSHOT_DIR);
        ProjectsRelations.OpenAll();
        beta_ = AddProject("Billing");
        AddApp("/work/src/billing/", "INVOICES.APP", beta_);
        AddApp("/work/src/billing/", "LEDGER.APP", beta_);
        AddApp("/work/src/", "ORDERS.APP", 0);
        APP.Target = "/work/bin/ORDERS.EXE";
        APP.Priority = 12;
        APP.Tag = 1;
        AppsManager.Update();
    }
    void TearDown() override {
        ProjectsRelations.CloseAll();
        DictionaryTest::TearDown();
    }

    // Once the window titled `title` shows: its photograph, its texts checked, then the
    // button `close` pressed.
    void Photograph(const QString& title, const char* file, const std::vector<QString>& expected,
                    const char* close) {
        auto* tick = new QTimer;
        QObject::connect(tick, &QTimer::timeout, [=, this] {
            QWidget* top = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == title) top = w;
            if (!top) return;
            tick->stop();
            QApplication::processEvents();
            const QImage shot = top->grab().toImage();
            EXPECT_TRUE(shot.save(QString::fromUtf8(ZELT_SCREENSHOT_DIR) + "/" + file));
            const auto texts = TextsOf(top);
            for (const QString& text : expected)
                EXPECT_TRUE(texts.count(text)) << file << ": no \"" << text.toStdString() << "\"";
            top->findChild<QPushButton*>(QString::fromLatin1(close))->click();
            shots_ += 1;
        });
        tick->start(20);
        watch_.push_back(tick);
    }
    ~FormsScreens() override {
        for (QTimer* t : watch_) delete t;
    }

    QApplication& app_;
    platform::QtBackend backend_;
    runtime::WindowSystem system_;
    runtime::ScopedWindowSystem installed_;
    std::vector<QTimer*> watch_;
    std::int32_t beta_ = 0;
    int shots_ = 0;
};

TEST_F(FormsScreens, TheApplicationForm) {
    Photograph("Record will be Changed", "update_apps.png",
               {"App. &Name:", " ...", "Drive N Path:", "Application:", "Target:", "...",
                "\"Target\" must include path, file name and extension",
                "Priority:", "and match Project settings.", "Tag", "&Ok", "&Cancel"},
               "?Cancel");
    EXPECT_EQ(framework::CallWithRequest(framework::RequestChange, [this] { UpdateApps(errors); }),
              framework::ResponseCancelled);
    EXPECT_EQ(shots_, 1);
}

TEST_F(FormsScreens, TheProjectForm) {
    PRO.ProjectName = "Billing";
    ASSERT_EQ(ProjectsManager.Fetch(ProjectsTable::ProjectNameKey), framework::LevelOk);
    Photograph(
        "Project will be Updated", "update_projects.png",
        {"General", "A&pplications", "Project Name:", "Project Applications:", "Priority",
         "Drive & P ath", "Application", "&Add App", "&Remove App", "Chan&ge", "&Ok", "&Cancel"},
        "?Cancel");
    framework::CallWithRequest(framework::RequestChange, [this] { UpdateProjects(errors); });
    EXPECT_EQ(shots_, 1);
}

TEST_F(FormsScreens, ThePicker) {
    Photograph("Select Application", "select_app.png",
               {"Priority", "Drive & P ath", "Application", "&Add to Project", "&Insert", "Chan&ge",
                "&Delete", "APP &Name", "&Priority", "&Close"},
               "?Close");
    EXPECT_EQ(framework::CallWithRequest(framework::RequestSelect, [this] { SelectApp(errors); }),
              framework::ResponseCancelled);
    EXPECT_EQ(shots_, 1);
}

// The tree in a window of its own, with every project open.
class TreeWindow final : public framework::WindowController {
  public:
    explicit TreeWindow(framework::ErrorReporter& errors)
        : WindowController(errors, Declaration(), "Main"),
          tree(*this, {1, 2, 3, 4, 5, 6}, StandardTreeForms(errors)) {}
    static runtime::WindowDeclaration Declaration() {
        runtime::WindowDeclaration w("Projects");
        w.Tree("?RelTree", ProjectTreeFormat()).Hint(30, 8);
        for (const char* b :
             {"&Expand All", "Co&ntract All", "&Insert", "Chan&ge", "&Delete", "Close"})
            w.Button(std::string("?") + runtime::StripAccelerator(b), b);
        return w;
    }
    framework::Level Init() override {
        WindowController::Init();
        AddButton(7, framework::ResponseCancelled);
        tree.Init();
        tree.ExpandAll();
        OpenWindow();
        return framework::LevelOk;
    }
    ProjectTree tree;
};

TEST_F(FormsScreens, TheProjectTreeWithItsShippedIcons) {
    AddProject("Archive");
    EXPECT_FALSE(platform::IconByName("~pick.ico").isNull());
    for (const char* name : {"folder", "folder-open", "application-x-executable"})
        EXPECT_TRUE(
            QFile::exists(QStringLiteral(":/zelt/icons/%1-16.png").arg(QLatin1String(name))))
            << name;
    Photograph("Projects", "project_tree.png",
               {"&Expand All", "Co&ntract All", "&Insert", "Chan&ge", "&Delete"}, "?Close");
    TreeWindow window(errors);
    window.Run();
    EXPECT_EQ(shots_, 1);
}

}  // namespace
}  // namespace zelt::app::testing
