// The Qt backend on the off-screen platform: the demonstration window clicked through, a
// screenshot, a report saved as PDF and read back, nested loops and message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>
#include <deque>
#include <functional>
#include <string>

#include "platform/qt/qt_backend.hpp"
#include "platform/qt/qt_report_preview.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"
#include "tests/qt/qt_test_support.hpp"
#include "tools/window_demo/demo_window.hpp"

// The font configuration library keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace zelt::platform {
namespace {

using namespace zelt::runtime;

class QtBackendTest : public ::testing::Test {
  protected:
    QtBackendTest() : app_(App()), system_(backend_), installed_(system_) {}
    QApplication& app_;
    QtBackend backend_;
    WindowSystem system_;
    ScopedWindowSystem installed_;
};

const QString kDemo = QStringLiteral("ZELT Window Demonstration");

TEST_F(QtBackendTest, TheDemonstrationWindowIsClickedThroughAndPhotographed) {
    tools::DemoState state;
    state.items = {{"Settings", 50, false}, {"Catalogue", 10, true}, {"Make batch", 20, false}};
    Driver d(system_);
    QString question;
    QString default_label;
    d.Then([] { return TopWindow(kDemo) != nullptr; });
    d.Then([] {
        auto* name = Find<QLineEdit>(kDemo, "?Name");
        auto* priority = Find<QSpinBox>(kDemo, "?Priority");
        if (!name || !priority) return false;
        QTest::keyClicks(name, "Qt item");
        QTest::keyClick(name, Qt::Key_Return);
        priority->setValue(7);
        Find<QCheckBox>(kDemo, "?Tagged")->click();
        QTest::mouseClick(Find<QPushButton>(kDemo, "?AddItem"), Qt::LeftButton);
        return true;
    });
    d.Then([&state] {
        auto* list = Find<QTreeView>(kDemo, "?ItemList");
        if (!list || list->model()->rowCount() != 4) return false;
        EXPECT_EQ(state.items.back().name, "Qt item");
        // The new row is the current one, and the list shows the priority column's text.
        EXPECT_EQ(list->currentIndex().row(), 3);
        EXPECT_EQ(list->model()->index(3, 2).data().toString(), QStringLiteral("7"));
        return true;
    });
    d.Then([] {
        QWidget* top = TopWindow(kDemo);
        top->resize(720, 540);
        QTest::mouseClick(Find<QLineEdit>(kDemo, "?Name"),
                          Qt::LeftButton);  // the status line follows the focus
        QApplication::processEvents();
        auto* status = top->findChild<QStatusBar*>();
        EXPECT_TRUE(status &&
                    status->currentMessage() == QStringLiteral("Type the name of a new item"));
        const QImage shot = top->grab().toImage();
        EXPECT_TRUE(shot.save(QStringLiteral("window_demo.png")));
        EXPECT_GE(shot.width(), 400);
        QTest::mouseClick(Find<QPushButton>(kDemo, "?Menu"), Qt::LeftButton);
        return true;
    });
    d.Then([] {  // the popup menu: sort by name
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return false;
        const auto actions = menu->actions();
        EXPECT_EQ(actions.size(), 5);
        EXPECT_TRUE(actions[2]->isSeparator());
        EXPECT_FALSE(actions[3]->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(actions[0]).center());
        return true;
    });
    d.Then([&state] {
        if (state.log.empty() || state.log.back() != "sort name") return false;
        auto* tabs = Find<QTabWidget>(kDemo, "?Sheet");
        tabs->setCurrentIndex(1);  // the tree tab
        return true;
    });
    d.Then([] {
        auto* tree = Find<QTreeView>(kDemo, "?ItemTree");
        if (!tree || !tree->isVisible()) return false;
        // The tree shows its groups open: root, Tagged with two items, Untagged with two.
        const QModelIndex root = tree->model()->index(0, 0);
        EXPECT_EQ(tree->model()->rowCount(root), 2);
        EXPECT_TRUE(tree->isExpanded(tree->model()->index(0, 0, root)));
        EXPECT_EQ(tree->model()->rowCount(tree->model()->index(0, 0, root)), 2);
        QApplication::processEvents();
        EXPECT_TRUE(TopWindow(kDemo)->grab().save(QStringLiteral("window_demo_tree.png")));
        tree->collapse(tree->model()->index(1, 0, root));  // the user folds "Untagged"
        return true;
    });
    d.Then([&state] {
        if (state.log.back() != "contract Untagged") return false;
        auto* tree = Find<QTreeView>(kDemo, "?ItemTree");
        const QModelIndex root = tree->model()->index(0, 0);
        const QModelIndex untagged = tree->model()->index(1, 0, root);
        EXPECT_EQ(tree->model()->rowCount(untagged), 0);
        EXPECT_TRUE(tree->model()->hasChildren(untagged));  // still offers to open
        EXPECT_FALSE(tree->isExpanded(untagged));
        EXPECT_TRUE(tree->isExpanded(tree->model()->index(0, 0, root)));
        tree->expand(untagged);
        return true;
    });
    d.Then([&state] {
        if (state.log.back() != "expand Untagged") return false;
        auto* tree = Find<QTreeView>(kDemo, "?ItemTree");
        const QModelIndex untagged = tree->model()->index(1, 0, tree->model()->index(0, 0));
        EXPECT_EQ(tree->model()->rowCount(untagged), 2);
        EXPECT_TRUE(tree->isExpanded(untagged));
        QTest::mouseClick(Find<QPushButton>(kDemo, "?Report"), Qt::LeftButton);
        return true;
    });
    d.Then([] {  // the print preview, maximised
        auto* preview = dynamic_cast<ReportPreviewWindow*>(QApplication::activeModalWidget());
        if (!preview) return false;
        EXPECT_TRUE(preview->windowState() & Qt::WindowMaximized);
        preview->reject();
        return true;
    });
    d.Then([&state] {
        if (state.log.back() != "report previewed") return false;
        QTest::mouseClick(Find<QPushButton>(kDemo, "?Close"), Qt::LeftButton);
        return true;
    });
    d.Then([&question, &default_label] {
        return ClickMessageButton("&Yes", &question, &default_label);
    });
    tools::RunDemoWindow(state);

    EXPECT_TRUE(d.Done());
    EXPECT_EQ(question, QStringLiteral("Close the demonstration?"));
    EXPECT_EQ(default_label, QStringLiteral("&No"));
    ASSERT_EQ(state.items.size(), 4u);
    EXPECT_EQ(state.items[0].name, "Catalogue");
    EXPECT_EQ(state.items[2].name, "Qt item");
    EXPECT_EQ(state.items[2].priority, 7);
    EXPECT_TRUE(state.items[2].tagged);
    EXPECT_EQ(state.log.back(), "close");
    EXPECT_EQ(TopWindow(kDemo), nullptr);
}

TEST_F(QtBackendTest, ATwoPageReportIsSavedAsPdf) {
    tools::DemoState state;
    state.items = {{"Catalogue", 10, true}, {"Make batch", 20, false}};
    const auto report = tools::DemoReport(state, 60);
    ASSERT_EQ(report.PageCount(), 2);
    const QString path = QStringLiteral("window_demo_report.pdf");
    QFile::remove(path);
    ASSERT_TRUE(system_.SaveReportPdf(report, path.toStdString()));
    const std::string info = RunTool(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(
        QString::fromStdString(info).contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b"))))
        << info;
    const QString text = QString::fromStdString(
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, "-"}));
    EXPECT_TRUE(text.contains(QStringLiteral("ZELT Demonstration Report"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("60\\s+Make batch\\s+20\\s+No"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page\\s+2"))))
        << text.toStdString();
    // A file that cannot be written is reported, not passed over.
    EXPECT_FALSE(system_.SaveReportPdf(report, "/nonexistent-dir/report.pdf"));
}

TEST_F(QtBackendTest, NestedLoopsAndPostsReachTheRightLoop) {
    WindowDeclaration decl("Nested");
    decl.Timer(2);                    // 20 ms
    decl.Button("?Start", "&Start");  // 1
    decl.Button("?Other", "&Other");  // 2
    Window w(decl);
    Driver d(system_);
    std::vector<std::string> outer;
    int inner_ticks = 0;
    d.Then([] {
        auto* b = Find<QPushButton>(QStringLiteral("Nested"), "?Start");
        if (!b) return false;
        b->click();
        return true;
    });
    w.Open();
    while (w.Accept()) {
        // The window manager may move and size the window on its own: not part of this test.
        if (w.Event() == event::Timer || w.Event() == event::Sized || w.Event() == event::Moved)
            continue;
        outer.push_back(std::string(EventNameOf(w.Event())) + "#" + std::to_string(w.Field()));
        if (w.Event() == event::Accepted && w.Field() == 1) {
            // A nested loop on the timer; then a second window whose loop posts back here.
            while (w.Accept()) {
                if (w.Event() == event::Timer && ++inner_ticks == 3) break;
            }
            Window form(WindowDeclaration("Form"));
            form.Open();
            while (form.Accept()) {
                if (form.Event() == event::OpenWindow) {
                    w.Post(event::Accepted, 2);
                    form.Post(event::CloseWindow);
                }
            }
        } else if (w.Event() == event::Accepted && w.Field() == 2) {
            w.Close();
        }
    }
    EXPECT_EQ(inner_ticks, 3);
    EXPECT_EQ(outer, (std::vector<std::string>{"EVENT:OpenWindow#0", "EVENT:GainFocus#0",
                                               "EVENT:Accepted#1", "EVENT:LoseFocus#0",
                                               "EVENT:Accepted#2"}));
}

TEST_F(QtBackendTest, MessageBoxesShowTheirButtonsAndAnswerTheOnePressed) {
    Driver d(system_);
    QString text;
    QString default_label;
    d.Then([&] { return ClickMessageButton("&No", &text, &default_label); });
    d.Then([] { return ClickMessageButton("O&k"); });
    EXPECT_EQ(
        Message("Are you entirely sure?|Really?", "Best be sure, chaver", StockIcon::Exclamation,
                button::Yes | button::No | button::Cancel, button::Cancel),
        button::No);
    EXPECT_EQ(text, QStringLiteral("Are you entirely sure?\nReally?"));
    EXPECT_EQ(default_label, QStringLiteral("&Cancel"));
    EXPECT_EQ(Message("Done"), button::Ok);
    EXPECT_TRUE(d.Done());
}

}  // namespace
}  // namespace zelt::platform

namespace zelt::platform {
namespace {

struct Line {
    std::string text;
};

TEST_F(QtBackendTest, ABrowseListLeavesScrollingToItsProgram) {
    std::vector<Line> loaded{{"Alpha"}, {"Bravo"}, {"Charlie"}};
    QueueList<Line> rows(loaded, {[](const Line& l) { return ListCell(l.text); }});
    ListFormat format;
    format.columns = {ListColumn("Name", 20)};
    WindowDeclaration decl("Browse");
    decl.List("?Browse", format).Immediate().Hint(30, 8);  // 1
    Window w(decl);
    Driver d(system_);
    std::vector<std::string> seen;
    QTreeView* view = nullptr;
    QScrollBar* thumb = nullptr;
    bool resized = false;
    d.Then([&] {
        view = Find<QTreeView>(QStringLiteral("Browse"), "?Browse");
        thumb = Find<QScrollBar>(QStringLiteral("Browse"), "?Browse:thumb");
        if (!view || !thumb) return false;
        EXPECT_EQ(w.VisibleRows(1), view->viewport()->height() / view->sizeHintForRow(0));
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_S);
        thumb->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QWheelEvent wheel(QPointF(5, 5), view->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        thumb->setSliderDown(true);
        thumb->setValue(60);
        thumb->setSliderDown(false);
        return true;
    });
    d.Then([&] {
        if (seen.size() < 5) return false;
        EXPECT_EQ(w.Thumb(1), 42);  // the program placed it
        EXPECT_EQ(thumb->value(), 42);
        EXPECT_EQ(view->currentIndex().row(), 1);
        QWidget* top = TopWindow(QStringLiteral("Browse"));
        resized = true;
        top->resize(top->width() + 40, top->height() + 40);
        return true;
    });
    d.Then([&] {
        if (seen.size() < 6) return false;
        w.Close();
        return true;
    });
    w.Open();
    w.SetListSource(1, &rows);
    while (w.Accept()) {
        const EventCode e = w.Event();
        if (e == event::OpenWindow || e == event::GainFocus || e == event::Selected ||
            e == event::Moved)
            continue;
        if (e == event::Sized && !resized) continue;  // placed by the window manager, not the user
        seen.push_back(std::string(EventNameOf(e)));
        if (e == event::ScrollDrag) {
            EXPECT_EQ(w.Thumb(1), 60);
            w.SetThumb(1, 42);
            w.SetChoice(1, 2);
        }
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"EVENT:ScrollDown", "EVENT:Locate", "EVENT:PageDown",
                                        "EVENT:ScrollUp", "EVENT:ScrollDrag", "EVENT:Sized"}));
    EXPECT_TRUE(d.Done());
}

TEST_F(QtBackendTest, TheProgramPlacesAndHidesItsWindow) {
    WindowDeclaration decl("Placed");
    decl.Button("?Ok", "&Ok");
    Window w(decl);
    WindowGeometry g;
    g.x = 40;
    g.y = 30;
    g.width = 320;
    g.height = 200;
    w.SetGeometry(g);
    w.SetVisible(false);
    w.Open();
    QWidget* top = backend_.WidgetOf(w);
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(top->isVisible());
    w.SetVisible(true);
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->geometry(), QRect(40, 30, 320, 200));
    EXPECT_EQ(w.Geometry().width, 320);
    w.Close();
    EXPECT_EQ(backend_.WidgetOf(w), nullptr);
}

}  // namespace
}  // namespace zelt::platform

namespace zelt::platform {
namespace {

// A queue of a hundred thousand rows that counts the cells read.
class CountingRows final : public ListSource {
  public:
    int RowCount() const override { return 100000; }
    ListCell Cell(int row, int column) const override {
        ++reads;
        return ListCell("Row " + std::to_string(row) + "." + std::to_string(column));
    }
    mutable long reads = 0;
};

TEST_F(QtBackendTest, ALongListReadsOnlyTheRowsInSight) {
    CountingRows rows;
    ListFormat format;
    format.columns = {ListColumn("Name", 20), ListColumn("More", 10)};
    WindowDeclaration decl("Long");
    decl.List("?Long", format).Hint(30, 10);
    Window w(decl);
    w.Open();
    w.SetListSource(1, &rows);
    auto* view = Find<QTreeView>(QStringLiteral("Long"), "?Long");
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(view->grab().save(QStringLiteral("window_long_list.png")));
    const long shown = rows.reads;
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 2000) << "cells read to show the first rows";
    rows.reads = 0;
    w.SetChoice(1, 99990);  // the program moves far down: the view follows, still reading little
    QApplication::processEvents();
    EXPECT_EQ(view->currentIndex().row(), 99989);
    EXPECT_EQ(view->model()->index(99989, 0).data().toString(), QStringLiteral("Row 99990.1"));
    EXPECT_LT(rows.reads, 2000);
    w.Close();
}

}  // namespace
}  // namespace zelt::platform

namespace zelt::platform {
namespace {

TEST_F(QtBackendTest, PromptsFindTheirInputsWhicheverComesFirst) {
    std::string log = "N";
    std::string run;
    std::string dir;
    std::uint8_t retain = 0;
    WindowDeclaration d("ZELT \"Menu\"");
    d.Resizable(false);
    d.Prompt("?PROMPT1", "Create a &new activity log each time you start ZELT?");  // 1
    d.Option("?GLO:UseNewLog").Use(Use(log));                                      // 2
    d.Radio("?RADIO1", "No").Value("N");                                           // 3
    d.Radio("?RADIO2", "Yes").Value("Y");                                          // 4
    d.End();
    d.Prompt("?GLO:RunString:Prompt", "Command &String to start Vextor:");                 // 5
    d.Entry("?GLO:RunString", 254).Use(Use(run));                                          // 6
    d.Button("?LookupFile", "...");                                                        // 7
    d.Entry("?GLO:FilePath", 64).Use(Use(dir));                                            // 8
    d.Prompt("?PROMPT3", "&Path to ZELT files:");                                          // 9
    d.Button("?BUTTON4", " ... ");                                                         // 10
    d.Check("?GLO:RetainTags", " Save and restore project subset tags").Use(Use(retain));  // 11
    d.Button("?OkButton", "&Ok").Default();                                                // 12
    d.Button("?CancelButton", "&Cancel");                                                  // 13
    Window w(d);
    w.Open();
    const QString title = QStringLiteral("ZELT \"Menu\"");
    QWidget* top = TopWindow(title);
    ASSERT_NE(top, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(top->grab().save(QStringLiteral("window_settings.png")));
    auto* prompt3 = Find<QLabel>(title, "?PROMPT3");
    auto* path = Find<QLineEdit>(title, "?GLO:FilePath");
    auto* lookup = Find<QPushButton>(title, "?BUTTON4");
    auto* prompt1 = Find<QLabel>(title, "?PROMPT1");
    ASSERT_TRUE(prompt3 && path && lookup && prompt1);
    EXPECT_EQ(prompt3->buddy(), path);  // the prompt after its entry still leads to it
    EXPECT_EQ(prompt1->buddy(), Find<QRadioButton>(title, "?RADIO1"));
    // The prompt, the entry and its lookup button share one row.
    const int y = path->mapTo(top, QPoint(0, path->height() / 2)).y();
    EXPECT_NEAR(prompt3->mapTo(top, QPoint(0, prompt3->height() / 2)).y(), y, 3);
    EXPECT_NEAR(lookup->mapTo(top, QPoint(0, lookup->height() / 2)).y(), y, 3);
    EXPECT_GT(lookup->mapTo(top, QPoint(0, 0)).x(), path->mapTo(top, QPoint(0, 0)).x());
    w.Close();
}

}  // namespace
}  // namespace zelt::platform

namespace zelt::platform {
namespace {

TEST_F(QtBackendTest, AListCellIsEditedInAnEntryOverIt) {
    std::vector<Line> loaded{{"Alpha"}, {"Bravo"}, {"Charlie"}};
    QueueList<Line> rows(loaded, {[](const Line& l) { return ListCell(l.text); }});
    ListFormat format;
    format.columns = {ListColumn("Name", 20)};
    WindowDeclaration decl("Edit");
    decl.List("?Names", format).Immediate().Hint(30, 8);
    Window w(decl);
    w.Open();
    w.SetListSource(1, &rows);
    w.EditCell(1, 2, 1, "Bravo");
    QApplication::processEvents();
    auto* view = Find<QTreeView>(QStringLiteral("Edit"), "?Names");
    auto* entry = Find<QLineEdit>(QStringLiteral("Edit"), "?Names:edit");
    ASSERT_TRUE(view && entry);
    EXPECT_EQ(entry->text(), QStringLiteral("Bravo"));
    EXPECT_EQ(entry->geometry(), view->visualRect(view->model()->index(1, 0)));
    QTest::keyClicks(entry, "Delta");  // replaces the selected text
    QTest::keyClick(entry, Qt::Key_Return);
    ASSERT_TRUE(w.Accept());
    while (w.Event() != event::AlertKey) ASSERT_TRUE(w.Accept());
    EXPECT_EQ(w.Keycode(), key::Enter);
    EXPECT_EQ(w.EditText(1), "Delta");
    QTest::keyClick(entry, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(w.Accept());
    EXPECT_EQ(w.Keycode(), key::Shift + key::Tab);
    w.EndEdit(1);
    QApplication::processEvents();
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("Edit"), "?Names:edit"), nullptr);
    w.Close();
}

}  // namespace
}  // namespace zelt::platform

namespace zelt::platform {
namespace {

struct Tagged {
    int priority;
    bool tagged;
};

TEST_F(QtBackendTest, ADialogOpensCentredOverItsWindowAsWideAsItsTitleAndEscapeCancelsIt) {
    std::vector<Tagged> items{{255, true}, {100, false}};
    QueueList<Tagged> rows(items,
                           {[](const Tagged& t) { return ListCell::Icon(t.tagged ? 1 : 0); },
                            [](const Tagged& t) { return ListCell(std::to_string(t.priority)); }});
    ListFormat format;
    format.columns = {ListColumn::IconColumn(), ListColumn({}, 3, Align::Right, "@n3"),
                      ListColumn("Path", 30)};
    format.icons = {"check"};
    WindowDeclaration main_decl("Main");
    main_decl.List("?List", format).Immediate().Hint(40, 8).At(0, 0, 1, 3);  // 1
    main_decl.Button("?Go", "&Go").At(1, 0);                                 // 2
    main_decl.Progress("?Progress").Hidden().At(1, 1);                       // 3
    main_decl.Button("?Stop", "Cancel").Hidden().At(1, 2);                   // 4
    Window main(main_decl);
    WindowGeometry middle;  // in the middle of the screen, so that nothing pushes the dialog
    middle.x = 150;
    middle.y = 100;
    middle.width = 500;
    middle.height = 400;
    main.Open();
    main.SetGeometry(middle);
    main.SetListSource(1, &rows);
    QWidget* main_top = backend_.WidgetOf(main);
    ASSERT_NE(main_top, nullptr);
    QApplication::processEvents();

    // One row height with an icon and without; the priority column shows 255 whole.
    auto* view = main_top->findChild<QTreeView*>(QStringLiteral("?List"));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->sizeHintForRow(0), view->sizeHintForRow(1));
    EXPECT_GE(view->columnWidth(1),
              view->fontMetrics().horizontalAdvance(QStringLiteral("255")) + 8);
    EXPECT_GE(view->columnWidth(0), 16 + 4) << "the icon column shows its icon whole";

    // The progress bar and the Cancel beside it appear without the window growing.
    const QSize before = main_top->sizeHint();
    main.Unhide(3);
    main.Unhide(4);
    QApplication::processEvents();
    EXPECT_EQ(main_top->sizeHint(), before);
    EXPECT_EQ(main.Text(4), "&Cancel") << "every Cancel has its accelerator";

    const QString title = QStringLiteral("Best be sure, chaver, and sure again");
    WindowDeclaration dialog_decl(title.toStdString());
    dialog_decl.Resizable(false);
    dialog_decl.Entry("?Text", 5);            // 1
    dialog_decl.Button("?Ok", "&Ok");         // 2
    dialog_decl.Button("?Cancel", "Cancel");  // 3
    Window dialog(dialog_decl);
    dialog.Open();
    QWidget* dialog_top = backend_.WidgetOf(dialog);
    ASSERT_NE(dialog_top, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(dialog_top->parentWidget(), main_top) << "the dialog belongs to its window";
    EXPECT_TRUE(dialog_top->isWindow());
    const QRect d = dialog_top->geometry(), m = main_top->geometry();
    EXPECT_LE((d.center() - m.center()).manhattanLength(), 8)  // the frames may differ
        << d.x() << "," << d.y() << " " << d.width() << "x" << d.height() << " over " << m.x()
        << "," << m.y() << " " << m.width() << "x" << m.height();
    QFont bold = dialog_top->font();
    bold.setBold(true);
    EXPECT_GT(dialog_top->width(), QFontMetrics(bold).horizontalAdvance(title));
    const QRect screen = dialog_top->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(dialog_top->geometry()));

    // Escape in the entry is the Cancel button; Alt+C does not type a "c".
    auto* entry = dialog_top->findChild<QLineEdit*>(QStringLiteral("?Text"));
    ASSERT_NE(entry, nullptr);
    entry->setFocus();
    QTest::keyClick(entry, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(entry->text().isEmpty());
    QTest::keyClick(entry, Qt::Key_Escape);
    ASSERT_FALSE(dialog.Pending().empty());
    EXPECT_EQ(dialog.Pending().back().code, event::Accepted);
    EXPECT_EQ(dialog.Pending().back().field, 3);
    dialog.Close();
    main.Close();
}

}  // namespace
}  // namespace zelt::platform
