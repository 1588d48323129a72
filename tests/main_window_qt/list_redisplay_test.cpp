// A list redisplayed by the program keeps where the user scrolled and what was selected: the
// rows that changed are told as changed data, never as a new model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <string>
#include <vector>

#include "platform/qt/qt_backend.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::platform {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_main_window_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

TEST(ListRedisplay, KeepsTheScrollPositionAndTheSelectionAndTellsOnlyChangedRows) {
    App();
    QtBackend backend;
    runtime::WindowSystem system(backend);
    runtime::ScopedWindowSystem installed(system);
    std::vector<std::string> rows;
    for (int i = 1; i <= 200; ++i) rows.push_back("row " + std::to_string(i));
    runtime::QueueList<std::string> source(
        rows, {[](const std::string& r) { return runtime::ListCell(r); }});
    runtime::WindowDeclaration d("Rows");
    runtime::ListFormat format;
    format.columns = {runtime::ListColumn("Name", 20)};
    d.List("?List", format).Hint(20, 8);
    runtime::Window window(std::move(d));
    ASSERT_TRUE(window.Open());
    window.SetListSource(1, &source);
    window.SetChoice(1, 120);
    QApplication::processEvents();
    auto* view = backend.WidgetOf(window)->findChild<QTreeView*>(QStringLiteral("?List"));
    ASSERT_NE(view, nullptr);
    view->verticalScrollBar()->setValue(90);
    int resets = 0;
    std::vector<int> changed;
    QObject::connect(view->model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(
        view->model(), &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& first, const QModelIndex&) { changed.push_back(first.row()); });

    window.Display();  // as a new status text redisplays the whole window
    rows[124] = "row 125, changed";
    window.RowsChanged(1);
    rows.push_back("row 201");  // one more at the end
    window.RowsChanged(1);
    QApplication::processEvents();

    EXPECT_EQ(resets, 0);
    EXPECT_EQ(changed, std::vector<int>{124});
    EXPECT_EQ(view->verticalScrollBar()->value(), 90);
    EXPECT_EQ(view->currentIndex().row(), 119);
    EXPECT_EQ(view->model()->rowCount(), 201);
    window.Close();
}

}  // namespace
}  // namespace zelt::platform
