// The History window drawn by the Qt backend off screen, on a log of several applications'
// makes: the window, its two charts and its printed list are photographed to the build
// tree's screenshots folder (history_*.png), and checked for what they show.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QtCharts/QChartView>
#include <QtCharts/QScatterSeries>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/history/history_window.hpp"
#include "framework/window/window_message_presenter.hpp"
#include "platform/qt/qt_backend.hpp"
#include "runtime/window/window_system.hpp"
#include "tests/app/dictionary_fixture.hpp"

namespace zelt::app::testing {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_main_window_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // never destroyed
    return *app;
}

QWidget* Shown(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

class HistoryScreens : public DictionaryTest {
  protected:
    HistoryScreens() : app_(App()), system_(backend_), installed_(system_) {}

    void SetUp() override {
        DictionaryTest::SetUp();
        std::filesystem::create_directories(ZELT_SCREENSHOT_DIR);
        errors.SetPresenter(&presenter_);
        TempFileRelations.OpenAll();
        // name, seconds taken (negative: failed), one make an hour
        const std::vector<std::pair<const char*, std::vector<int>>> makes = {
            {"ORDERS.APP", {62, 58, 71, 66, -300, 64, 59, 80, 77, 69, 73, 65}},
            {"INVOICES.APP", {130, 128, -40, 141, 150, 139}},
            {"LEDGER.APP", {22, 25, 21}},
            {"REPORTS.APP", {310, 295, -12, 330}},
        };
        for (const auto& [name, seconds] : makes) {
            for (std::size_t i = 0; i < seconds.size(); ++i) {
                const int start = 3600 * static_cast<int>(i + 1);
                Add(name, start, "Begin Make");
                Add(name, start + std::abs(seconds[i]),
                    seconds[i] < 0 ? "Error 5 Access Denied" : "Make Finished");
            }
        }
        Add("LEDGER.APP", 50000, ".APP not found");
        TempFileRelations.CloseAll();
    }
    void TearDown() override {
        for (QTimer* t : timers_) delete t;
        DictionaryTest::TearDown();
    }
    static void Add(const char* name, int second, const char* text) {
        TMP.Apps = name;
        TMP.Date = 82000;
        TMP.Clock = second * 100 + 1;
        TMP.Event = text;
        EXPECT_EQ(TempFile.Add(), runtime::err::NoError);
    }
    // Saves the widget's picture in the screenshots folder and says where.
    static void Photograph(QWidget* w, const char* file) {
        const QString path = QString::fromUtf8(ZELT_SCREENSHOT_DIR) + "/" + file;
        EXPECT_TRUE(w->grab().toImage().save(path)) << file;
        std::printf("screenshot: %s\n", path.toUtf8().constData());
    }

    // Runs `step` on the window titled `title` once it shows and `ready` says so.
    void When(const QString& title, std::function<bool(QWidget*)> ready,
              std::function<void(QWidget*)> step) {
        steps_.push_back({title, std::move(ready), std::move(step)});
    }
    void Play() {
        auto* tick = new QTimer;
        timers_.push_back(tick);
        QObject::connect(tick, &QTimer::timeout, [this, tick] {
            if (next_ >= steps_.size()) return tick->stop();
            const Step& step = steps_[next_];
            QWidget* top = Shown(step.title);
            if (!top || !step.ready(top)) return;
            QApplication::processEvents();
            ++next_;
            step.run(top);
        });
        tick->start(30);
    }

    struct Step {
        QString title;
        std::function<bool(QWidget*)> ready;
        std::function<void(QWidget*)> run;
    };
    QApplication& app_;
    platform::QtBackend backend_;
    runtime::WindowSystem system_;
    runtime::ScopedWindowSystem installed_;
    framework::WindowMessagePresenter presenter_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::vector<QTimer*> timers_;
};

QList<QChartView*> Charts(QWidget* top) {
    return top->findChildren<QChartView*>();
}

QString FirstApplication(QWidget* top) {
    const auto* list = top->findChild<QTreeView*>();
    return list->model()->index(0, 0).data().toString();
}

TEST_F(HistoryScreens, TheListAndBothChartsShowAndTheListPrints) {
    const QString title = QStringLiteral("Build History");
    const auto charted = [](QWidget* top) {
        const auto charts = Charts(top);
        return charts.size() == 2 && !charts[0]->chart()->series().isEmpty() &&
               !charts[1]->chart()->series().isEmpty();
    };
    When(title, charted, [](QWidget* top) {
        Photograph(top, "history_window.png");
        const auto charts = Charts(top);
        Photograph(charts[0], "history_durations.png");
        Photograph(charts[1], "history_slowest.png");
        // INVOICES.APP first by name: six makes, the failed one marked.
        EXPECT_EQ(FirstApplication(top), "INVOICES.APP");
        EXPECT_EQ(charts[0]->chart()->title(), "INVOICES.APP: the last 6 makes");
        const auto* failed = qobject_cast<QScatterSeries*>(charts[0]->chart()->series().at(1));
        ASSERT_NE(failed, nullptr);
        EXPECT_EQ(failed->count(), 1);
        EXPECT_EQ(charts[1]->chart()->title(), "The slowest applications by median duration");
        top->findChild<QRadioButton*>(QStringLiteral("?SortBy:Median"))->click();
    });
    When(
        title, [](QWidget* top) { return FirstApplication(top) == "REPORTS.APP"; },
        [](QWidget* top) {
            Photograph(top, "history_by_median.png");
            top->findChild<QPushButton*>(QStringLiteral("?Print"))->click();
        });
    When(
        QStringLiteral("ZELT5.5 Build History"), [](QWidget*) { return true; },
        [](QWidget* top) {
            Photograph(top, "history_print_preview.png");
            static_cast<QDialog*>(top)->reject();
        });
    When(
        title, [](QWidget*) { return true; },
        [](QWidget* top) { top->findChild<QPushButton*>(QStringLiteral("?Close"))->click(); });
    Play();
    ShowHistory(errors);
    EXPECT_EQ(next_, steps_.size());
}

}  // namespace
}  // namespace zelt::app::testing
