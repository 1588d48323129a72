// The main window opened on a catalogue of 100,000 applications against the same window on
// one of 100.
//
// Each catalogue lies in a folder of its own under $ZELT_BENCH_DIR (default
// /tmp/zelt-main-window-bench), with the same ZELT.INI, the same ten projects and the same
// empty log; only the number of applications differs (spread over the projects, every third
// one tagged). They are built once. One run does what the desktop program does (the
// program brought up over the Qt backend, off screen, and RunMainWindow) and notes the time
// from the start to the first paint of the Applications list with its rows; then it shows
// the Projects, Imports, Project Subsets and Applications tabs in turn, noting the time from
// each switch to the first paint of the tab's contents, and closes the window. The IDE
// answers in the process, so no warning stops the opening.
//
// Times are wall-clock, the fastest of nine runs each (the machine may be shared); the first
// paint's processor time is shown beside it. The last lines printed are
//   <catalogue>: first paint X ms (processor X ms); tabs: Projects X ms, Imports X ms, ...
//   tab <name> 100k/100 ratio: X                      (one per tab, target <= 2)
//   peak resident memory: X MiB (X MiB at start)
//   main window 100k/100 ratio: X                    (target <= 2)
#include <sys/resource.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/ide/ide_channel.hpp"
#include "app/program/desktop.hpp"
#include "app/program/program.hpp"
#include "bench/process_measures.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "platform/qt/qt_backend.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace {

using zelt::bench::PeakResidentMiB;
using zelt::bench::ProcessCpuSeconds;

namespace app = zelt::app;
namespace rt = zelt::runtime;
using Clock = std::chrono::steady_clock;

constexpr int kProjects = 10;
constexpr int kRuns = 9;
const QString kTitle = QStringLiteral("Zeltaway --  ZELT v.5.5j");
// The tabs in the order they are shown after the first paint (indexes of ?Sheet1).
constexpr std::array<int, 4> kTabOrder = {1, 2, 3, 0};
constexpr std::array<const char*, 4> kTabNames = {"Applications", "Projects", "Imports",
                                                  "Project Subsets"};

std::filesystem::path Folder(int apps) {
    const char* dir = std::getenv("ZELT_BENCH_DIR");
    std::filesystem::path path = dir ? dir : "/tmp/zelt-main-window-bench";
    path = std::filesystem::absolute(path / ("apps_" + std::to_string(apps)));
    std::filesystem::create_directories(path / "user");
    return path;
}

void SetFileNames(const std::filesystem::path& folder) {
    app::ResetCatalogueGlobals();
    app::AppsFileName = (folder / "APPS.PLM").string();
    app::ProjectsFileName = (folder / "PROJECTS.PLM").string();
    app::TempFileFileName = (folder / "TEMPFILE.PLM").string();
    app::TfFileName = (folder / "TF.PLM").string();
}

// The catalogue of `apps` applications, unless it is there already.
void EnsureCatalogue(int apps) {
    const std::filesystem::path folder = Folder(apps);
    std::ofstream(folder / "ZELT.INI")
        << "[Preserved]\nNewLog=N\nCL_Command=vxide\nFilePath=" << folder.string()
        << "/\nRetainTags=1\n";
    SetFileNames(folder);
    if (std::filesystem::exists(folder / "APPS.PLM") && app::Apps.Open() == 0) {
        const bool good = app::Apps.Records() == apps;
        app::Apps.Close();
        if (good) return;
    }
    std::fprintf(stderr, "building %s (%d applications)\n", folder.c_str(), apps);
    for (const char* name : {"APPS.PLM", "PROJECTS.PLM", "TEMPFILE.PLM", "TF.PLM"})
        std::filesystem::remove(folder / name);
    bool ok = app::Projects.Create() == 0 && app::Projects.Open() == 0;
    for (int p = 1; ok && p <= kProjects; ++p) {
        app::PRO.ProjectName = "Project " + std::to_string(p);
        app::PRO.P_Ref = p;
        ok = app::Projects.Add() == 0;
    }
    app::Projects.Close();
    ok = ok && app::TempFile.Create() == 0 && app::Tf.Create() == 0;
    ok = ok && app::Apps.Create() == 0 && app::Apps.Open() == 0;
    constexpr int kBatch = 20000;
    for (int done = 0; ok && done < apps;) {
        rt::Logout(0, {&app::Apps});
        for (int i = 0; ok && i < kBatch && done < apps; ++i, ++done) {
            app::APP.DrivenPath = "/work/src/group" + std::to_string(done % 97) + "/";
            app::APP.Application = "APP" + std::to_string(done) + ".APP";
            app::APP.Tag = static_cast<std::int16_t>(done % 3 == 0 ? 1 : 0);
            app::APP.Priority = static_cast<std::uint8_t>(1 + done % 255);
            app::APP.Target = "/work/bin/APP" + std::to_string(done) + ".EXE";
            app::APP.P_Ref = done % (kProjects + 1);  // 0: no project
            ok = app::Apps.Add() == 0;
        }
        rt::Commit();
    }
    app::Apps.Close();
    if (!ok) {
        std::fprintf(stderr, "cannot build the catalogue in %s\n", folder.c_str());
        std::exit(1);
    }
}

// An IDE that accepts every conversation and command.
class QuietIde final : public rt::ConversationService {
  public:
    std::optional<rt::InitiateAnswer> Initiate(std::string_view service,
                                               std::string_view topic) override {
        if (!service.empty() && !rt::SameConversationName(service, app::kIdeService))
            return std::nullopt;
        return rt::InitiateAnswer{std::string(app::kIdeService),
                                  topic.empty() ? std::string("System") : std::string(topic)};
    }
    void Execute(rt::ConversationId, std::string, rt::ExecuteReply reply) override { reply(true); }
    std::optional<std::string> Request(rt::ConversationId, std::string_view,
                                       std::uint32_t) override {
        return std::string();
    }
};

struct Times {
    double first_paint = 0;           // seconds from the start
    double first_paint_cpu = 0;       // processor seconds from the start
    std::array<double, 4> tabs = {};  // by tab index: seconds from the switch to its paint
};

// Watches the paints of the main window and drives the run: the first paint of the
// Applications list with rows, then each tab in turn, then the Close button.
class PaintWatch final : public QObject {
  public:
    explicit PaintWatch(Clock::time_point start) : start_(start), start_cpu_(ProcessCpuSeconds()) {}
    Times times;
    bool finished = false;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Paint || step_ > static_cast<int>(kTabOrder.size()))
            return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || widget->window()->windowTitle() != kTitle) return false;
        auto* sheet = widget->window()->findChild<QTabWidget*>(QStringLiteral("?Sheet1"));
        if (!sheet || !Shows(sheet, widget)) return false;
        const auto now = Clock::now();
        if (step_ == 0) {
            times.first_paint = std::chrono::duration<double>(now - start_).count();
            times.first_paint_cpu = ProcessCpuSeconds() - start_cpu_;
        } else {
            times.tabs[static_cast<std::size_t>(kTabOrder[step_ - 1])] =
                std::chrono::duration<double>(now - switched_).count();
        }
        if (std::getenv("ZELT_BENCH_PHASES"))
            std::fprintf(
                stderr, "step %d painted after %.1f ms\n", step_,
                std::chrono::duration<double, std::milli>(now - (step_ == 0 ? start_ : switched_))
                    .count());
        ++step_;
        QTimer::singleShot(0, sheet, [this, sheet] { Next(sheet); });
        return false;
    }

  private:
    // Whether `widget` is the contents of the tab to be waited for: a list or tree of the
    // page that has rows, or the page itself when it has none.
    bool Shows(QTabWidget* sheet, QWidget* widget) const {
        const int tab = step_ == 0 ? 0 : kTabOrder[static_cast<std::size_t>(step_ - 1)];
        QWidget* page = sheet->widget(tab);
        if (!page || sheet->currentIndex() != tab) return false;
        const auto views = page->findChildren<QAbstractItemView*>();
        if (views.isEmpty()) return widget == page || page->isAncestorOf(widget);
        for (QAbstractItemView* view : views) {
            if (widget == view->viewport() && view->model() && view->model()->rowCount() > 0)
                return true;
        }
        return false;
    }
    void Next(QTabWidget* sheet) {
        if (step_ <= static_cast<int>(kTabOrder.size())) {
            switched_ = Clock::now();
            sheet->setCurrentIndex(kTabOrder[static_cast<std::size_t>(step_ - 1)]);
            return;
        }
        finished = true;
        if (auto* close = sheet->window()->findChild<QPushButton*>(QStringLiteral("?BUTTON7")))
            close->click();
    }

    Clock::time_point start_;
    double start_cpu_;
    Clock::time_point switched_;
    int step_ = 0;
};

// One opening of the desktop program on the catalogue of `apps` applications.
Times OpenOnce(int apps) {
    const std::filesystem::path folder = Folder(apps);
    std::filesystem::current_path(folder);  // the program reads the ZELT.INI of its folder
    app::ResetCatalogueGlobals();           // as at the start: names without their folder
    QuietIde ide;
    auto transport = std::make_shared<rt::InProcessTransport>();
    transport->AddServer("zelt.bench.ide", ide);

    const auto start = Clock::now();
    PaintWatch watch(start);
    qApp->installEventFilter(&watch);
    // A run that never paints (a message box in the way) is stopped after a minute.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                for (QLabel* l : w->findChildren<QLabel*>())
                    std::fprintf(stderr, "shown: \"%s\": %s\n",
                                 w->windowTitle().toUtf8().constData(),
                                 l->text().toUtf8().constData());
        std::fprintf(stderr, "the main window did not finish its run\n");
        std::exit(1);
    });
    watchdog.start(std::getenv("ZELT_BENCH_PHASES") ? 10000 : 60000);
    {
        zelt::platform::QtBackend backend;
        app::Program program(backend);
        program.SetIdeServices({[transport](std::string*) { return transport; }, nullptr});
        program.Run([](app::Program& p) { return app::RunMainWindow(p); });
    }
    qApp->removeEventFilter(&watch);
    if (!watch.finished) {
        std::fprintf(stderr, "the main window closed before its tabs were shown\n");
        std::exit(1);
    }
    return watch.times;
}

Times Fastest(const std::vector<Times>& runs) {
    Times best = runs.front();
    for (const Times& t : runs) {
        best.first_paint = std::min(best.first_paint, t.first_paint);
        best.first_paint_cpu = std::min(best.first_paint_cpu, t.first_paint_cpu);
        for (std::size_t i = 0; i < best.tabs.size(); ++i)
            best.tabs[i] = std::min(best.tabs[i], t.tabs[i]);
    }
    return best;
}

void Print(const char* name, const Times& t) {
    std::printf("%s: first paint %.1f ms (processor %.1f ms); tabs:", name, t.first_paint * 1e3,
                t.first_paint_cpu * 1e3);
    for (int tab : kTabOrder)
        std::printf(" %s %.1f ms", kTabNames[static_cast<std::size_t>(tab)],
                    t.tabs[static_cast<std::size_t>(tab)] * 1e3);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const double start_mib = PeakResidentMiB();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    zelt::storage::RegisterPelmarDriver();
    EnsureCatalogue(100);
    EnsureCatalogue(100000);
    // One per-user profile for both, so that both open with the same settings.
    ::setenv("XDG_CONFIG_HOME", Folder(100).append("user").c_str(), 1);
    zelt::platform::InstallIniFileService();
    QApplication application(argc, argv);
    std::vector<Times> small, big;
    OpenOnce(100);
    OpenOnce(100000);  // the big files' pages in the system's cache, as for files in daily use
    for (int i = 0; i < kRuns; ++i) {
        small.push_back(OpenOnce(100));
        big.push_back(OpenOnce(100000));
    }
    const Times s = Fastest(small);
    const Times b = Fastest(big);
    Print("100 applications", s);
    Print("100,000 applications", b);
    for (int tab : kTabOrder) {
        const auto i = static_cast<std::size_t>(tab);
        std::printf("tab %s 100k/100 ratio: %.2f\n", kTabNames[i],
                    s.tabs[i] > 0 ? b.tabs[i] / s.tabs[i] : 0.0);
    }
    std::printf("peak resident memory: %.1f MiB (%.1f MiB at start)\n", PeakResidentMiB(),
                start_mib);
    std::printf("main window 100k/100 ratio: %.2f\n",
                s.first_paint > 0 ? b.first_paint / s.first_paint : 0.0);
    return 0;
}
