// The main window drawn by the Qt backend off screen, on each of its four tabs, with the
// settings window and the activity log opened from it: each is photographed to the build
// tree's screenshots folder and checked for its title and the texts of its controls.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "app/batches/batch_engine.hpp"
#include "app/main_window/main_window.hpp"
#include "framework/window/window_message_presenter.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "platform/qt/qt_backend.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/window/window_system.hpp"
#include "tests/app/dictionary_fixture.hpp"
#include "tests/app/ide_test_support.hpp"

// The font configuration library keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace zelt::app::testing {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_main_window_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* app =
        new QApplication(argc, argv);  // never destroyed: Qt cleans up itself
    return *app;
}

std::set<QString> TextsOf(QWidget* top) {
    std::set<QString> texts;
    for (auto* label : top->findChildren<QLabel*>())
        if (label->isVisibleTo(top)) texts.insert(label->text());
    for (auto* button : top->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(top)) texts.insert(button->text());
    for (auto* bar : top->findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i) texts.insert(bar->tabText(i));
    for (auto* view : top->findChildren<QTreeView*>())
        for (int c = 0; c < view->model()->columnCount(); ++c)
            texts.insert(view->model()->headerData(c, Qt::Horizontal).toString());
    return texts;
}

QWidget* Shown(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

// One photograph: once the window titled `title` shows, its picture is saved, its texts
// checked, and `then` acts on it.
struct Shot {
    QString title;
    const char* file;
    std::vector<QString> expected;
    std::function<void(QWidget*)> then;
    std::function<bool(QWidget*)> ready = {};  // none: as soon as it shows
};

class MainWindowScreens : public DictionaryTest {
  protected:
    MainWindowScreens() : app_(App()), system_(backend_), installed_(system_) {}

    void SetUp() override {
        DictionaryTest::SetUp();
        ResetCatalogueGlobals();
        previous_ = fs::current_path();
        fs::current_path(dir_);
        fs::create_directories(ZELT_SCREENSHOT_DIR);
        std::ofstream(dir_ / "ZELT.INI")
            << "[Preserved]\nNewLog=N\nCL_Command=vxide\nFilePath=" << dir_.string()
            << "/\nRetainTags=1\n";
        profile_.emplace(std::make_shared<platform::IniFileService>(dir_ / "user" / "profile.ini"));
        errors.SetPresenter(&presenter_);
        AppsFileName = Path("APPS.PLM");
        ProjectsFileName = Path("PROJECTS.PLM");
        TempFileFileName = Path("TEMPFILE.PLM");
        ProjectsRelations.OpenAll();
        const std::int32_t billing = AddProject("Billing");
        AddProject("Reports");
        AddApp("/work/src/billing/", "INVOICES.APP", billing);
        AddApp("/work/src/billing/", "LEDGER.APP", billing);
        AddApp("/work/src/", "ORDERS.APP", 0);
        APP.Target = "/work/bin/ORDERS.EXE";
        APP.Priority = 12;
        APP.Tag = 1;
        AppsManager.Update();
        ProjectsRelations.CloseAll();
        TempFileRelations.OpenAll();
        for (const char* text : {"Begin Make", "Make Finished"}) AppendEvent("ORDERS.APP", text);
        TempFileRelations.CloseAll();
        ResetCatalogueGlobals();
        transport_->AddServer("zelt.test.ide", server_);
        services_.ide.connect = [this](std::string*) { return transport_; };
        services_.ide.starter = &starter_;
    }
    void TearDown() override {
        for (QTimer* t : timers_) delete t;
        fs::current_path(previous_);
        DictionaryTest::TearDown();
    }

    // Plays the shots in order, each once its window shows.
    void Play(std::vector<Shot> shots) {
        shots_ = std::move(shots);
        auto* tick = new QTimer;
        timers_.push_back(tick);
        QObject::connect(tick, &QTimer::timeout, [this, tick] {
            if (next_ >= shots_.size()) return tick->stop();
            const Shot& shot = shots_[next_];
            QWidget* top = Shown(shot.title);
            if (!top || (shot.ready && !shot.ready(top))) return;
            QApplication::processEvents();
            EXPECT_TRUE(top->grab().toImage().save(QString::fromUtf8(ZELT_SCREENSHOT_DIR) + "/" +
                                                   shot.file));
            const auto texts = TextsOf(top);
            for (const QString& text : shot.expected)
                EXPECT_TRUE(texts.count(text))
                    << shot.file << ": no \"" << text.toStdString() << "\"";
            ++next_;
            shot.then(top);
        });
        tick->start(30);
    }

    static void Click(QWidget* top, const char* name) {
        top->findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
    static void ShowTab(QWidget* top, int index) {
        top->findChild<QTabWidget*>(QStringLiteral("?Sheet1"))->setCurrentIndex(index);
    }

    QApplication& app_;
    platform::QtBackend backend_;
    runtime::WindowSystem system_;
    runtime::ScopedWindowSystem installed_;
    framework::WindowMessagePresenter presenter_;
    std::optional<runtime::ScopedProfileService> profile_;
    zelt::testing::ScriptedServer server_;
    std::shared_ptr<runtime::InProcessTransport> transport_ =
        std::make_shared<runtime::InProcessTransport>();
    zelt::testing::FakeStarter starter_;
    MainWindowServices services_;
    std::vector<Shot> shots_;
    std::size_t next_ = 0;
    std::vector<QTimer*> timers_;
    fs::path previous_;
};

const QString kTitle = QStringLiteral("Zeltaway --  ZELT v.5.5j");

TEST_F(MainWindowScreens, TheFourTabsTheSettingsWindowAndTheActivityLog) {
    const std::vector<QString> always = {"&Applications",
                                         "&Projects",
                                         "Imports",
                                         "Project &Subsets",
                                         "Gen && Ma&ke    (.APP)",
                                         "Gen && Make  (P&roject)",
                                         "Export APP",
                                         "Export DCT",
                                         "Configure ZELT",
                                         "Empty Log",
                                         "View &Log",
                                         "Print L&og",
                                         "Start Vextor",
                                         "Disconnect",
                                         "Close",
                                         "DDE Time Out (in minutes):",
                                         "Last Action:",
                                         "Connected to Vextor"};
    auto with = [&](std::vector<QString> more) {
        more.insert(more.end(), always.begin(), always.end());
        return more;
    };
    Play({
        {kTitle, "main_applications.png",
         with({"&Tag", "&Insert", "Chan&ge", "&Delete", "&Untag All", "Path", ".App"}),
         [](QWidget* top) { ShowTab(top, 1); }},
        {kTitle, "main_projects.png", with({"&Expand All", "Co&ntract All"}),
         [](QWidget* top) { ShowTab(top, 2); }},
        {kTitle, "main_imports.png",
         with({"Have you backed up?", "Importing will destroy the .APP or .DCT file.",
               "Any errors can result in the loss of a file.", "I'm Sure", "Import DCT",
               "Import APP"}),
         [](QWidget* top) { ShowTab(top, 3); }},
        {kTitle,
         "main_subsets.png",
         {"Project ID", "Project Name", "Application", "Untag All",
          "Gen && &Make  (Project Subset)", "Edit Project", "&Toggle"},
         [](QWidget* top) {
             ShowTab(top, 0);
             Click(top, "?BUTTON16");
         }},
        {QStringLiteral("ZELT \"Menu\""),
         "settings.png",
         {"Create a &new activity log each time you start ZELT?",
          "Command &String to start Vextor:", "&Path to ZELT files:",
          " Save and restore project subset tags", "&Ok", "&Cancel"},
         [](QWidget* top) { Click(top, "?CancelButton"); }},
        {kTitle, "main_after_settings.png", {}, [](QWidget* top) { Click(top, "?Event"); }},
        {QStringLiteral("Activity Log"),
         "activity_log.png",
         {"Application", "Date", "Time", "Event", "&Insert", "&View", "&Delete", "&Print Log",
          "&Close"},
         [](QWidget* top) { Click(top, "?Close"); }},
        {kTitle, "main_after_log.png", {}, [](QWidget* top) { Click(top, "?BUTTON21"); }},
        {QStringLiteral("ZELT5.5 Activity Log"),
         "print_preview.png",
         {"Zoom In", "Zoom Out", "Fit Page"},
         [](QWidget* top) { static_cast<QDialog*>(top)->reject(); }},
        {kTitle, "main_closing.png", {}, [](QWidget* top) { Click(top, "?BUTTON7"); }},
    });
    Main(errors, services_);
    EXPECT_EQ(next_, shots_.size());
}

}  // namespace
}  // namespace zelt::app::testing

namespace zelt::app::testing {
namespace {

TEST_F(MainWindowScreens, TheLayoutStaysAndTheKeyboardIsBackInTheListAfterAMake) {
    QRect groups;
    int width = 0;
    auto right_column = [](QWidget* top) {
        QRect r;
        for (const char* name : {"?GROUP1", "?GROUP4", "?BUTTON7"}) {
            QWidget* w = top->findChild<QWidget*>(QString::fromLatin1(name));
            r = r.united(QRect(w->mapTo(top, QPoint(0, 0)), w->size()));
        }
        return r;
    };
    Play({
        {kTitle,
         "layout_start.png",
         {},
         [&](QWidget* top) {
             width = top->width();
             groups = right_column(top);
             EXPECT_FALSE(top->findChild<QPushButton*>(QStringLiteral("?Generate"))->isEnabled())
                 << "Gen & Make (Project) is for the Projects tab";
             ShowTab(top, 3);
             QApplication::processEvents();
             EXPECT_EQ(right_column(top), groups) << "the right-hand column moved";
             ShowTab(top, 0);
             Click(top, "?ExecuteApp");  // ORDERS.APP is tagged; its file is missing
         }},
        {kTitle,
         "layout_after_make.png",
         {},
         [&](QWidget* top) {
             QApplication::processEvents();
             EXPECT_EQ(top->width(), width) << "the window widened for the progress bar";
             QWidget* list = top->findChild<QTreeView*>(QStringLiteral("?List"));
             EXPECT_EQ(top->focusWidget(), list) << "the keyboard is not in the list";
             Click(top, "?BUTTON7");
         },
         [](QWidget* top) {
             auto* status = top->findChild<QLabel*>(QStringLiteral("?StatusMsg"));
             return status && status->text() == "Processing Complete" &&
                    !top->findChild<QPushButton*>(QStringLiteral("?CancelBatch"))->isVisible();
         }},
    });
    Main(errors, services_);
    EXPECT_EQ(next_, shots_.size());
}

}  // namespace
}  // namespace zelt::app::testing
