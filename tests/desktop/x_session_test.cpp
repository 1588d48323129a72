// The desktop program under a real X server (Xvfb) with a window manager (openbox), driven by
// real input events (xdotool), on the demonstration catalogue and on a catalogue of 300
// applications, with the stand-in IDE on the test's bus. What an off-screen test cannot see
// is checked here: where windows open, where the keyboard goes, a thumb dragged by the
// mouse. Each step is photographed into the build tree (screenshots/x). The test is skipped
// only when Xvfb, openbox or xdotool is not installed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>

namespace zelt::testing {
namespace {

namespace fs = std::filesystem;

const QString kMainTitle = QStringLiteral("Zeltaway --  ZELT v.5.5j");
// The accelerators of "Gen && Make    (.APP)" (K: G, E, N, M and A are taken), "View &Log"
// and "&Tag" as the main window settles them.
const QString kMakeKey = QStringLiteral("alt+k");
const QString kLogKey = QStringLiteral("alt+l");
const QString kTagKey = QStringLiteral("alt+t");
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_desktop";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);  // never destroyed
    return *app;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The screen as Xvfb keeps it in its frame buffer file (an XWD image of 32-bit pixels).
QImage ReadFrameBuffer(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = f.readAll();
    if (data.size() < 100) return {};
    auto word = [&](int i) { return qFromBigEndian<quint32>(data.constData() + 4 * i); };
    const quint32 header = word(0), width = word(4), height = word(5);
    const quint32 bits = word(11), line = word(12), colours = word(19);
    const qsizetype start = static_cast<qsizetype>(header) + 12 * static_cast<qsizetype>(colours);
    if (bits != 32 || start + static_cast<qsizetype>(line) * height > data.size()) return {};
    return QImage(reinterpret_cast<const uchar*>(data.constData() + start), static_cast<int>(width),
                  static_cast<int>(height), static_cast<int>(line), QImage::Format_RGB32)
        .copy();
}

class XSession : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        }
        dir_ = fs::temp_directory_path() / ("zelt_x_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "fb");
        shots_ = QString::fromUtf8(ZELT_SCREENSHOT_DIR) + "/x";
        fs::create_directories(shots_.toStdString());
        StartServer();
        Start(window_manager_, "openbox", {"--sm-disable"});
        QThread::msleep(600);  // the window manager takes over the screen
        Start(ide_, QString::fromUtf8(ZELT_VXIDE_PATH),
              {"--instance", QStringLiteral("zelt_x_%1").arg(::getpid())});
        ASSERT_TRUE(ide_.waitForReadyRead(10000)) << "vxide did not start";
    }
    void TearDown() override {
        for (QProcess* p : {&zelt_, &ide_, &window_manager_, &server_}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // Xvfb on the first free display, its screen kept in a file for the photographs.
    void StartServer() {
        for (int n = 90; n < 140; ++n) {
            if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            display_ = QStringLiteral(":%1").arg(n);
            Start(server_, "Xvfb",
                  {display_, "-screen", "0",
                   QStringLiteral("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight), "-nolisten",
                   "tcp", "-fbdir", QString::fromStdString((dir_ / "fb").string())});
            if (Wait([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); }, 5000))
                return;
            server_.kill();
            server_.waitForFinished(2000);
        }
        FAIL() << "no display for Xvfb";
    }

    void Start(QProcess& p, const QString& program, const QStringList& args,
               const fs::path& cwd = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("WAYLAND_DISPLAY");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (!cwd.empty()) p.setWorkingDirectory(QString::fromStdString(cwd.string()));
        p.start(program, args);
        ASSERT_TRUE(p.waitForStarted(5000)) << program.toStdString();
    }

    // Runs a program to its end in the X session; its output, trimmed.
    QString Run(const QString& program, const QStringList& args, const fs::path& cwd = {}) {
        QProcess p;
        Start(p, program, args, cwd);
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAll()).trimmed();
    }
    QString Xdo(const QStringList& args) { return Run("xdotool", args); }
    void Keys(const QString& keys) {
        Xdo({"key", "--clearmodifiers", keys});
        QThread::msleep(150);
    }

    bool Wait(const std::function<bool()>& done, int timeout_ms = 10000) {
        const std::int64_t end = NowMs() + timeout_ms;
        while (NowMs() < end) {
            if (done()) return true;
            QThread::msleep(50);
        }
        return done();
    }

    // The visible window whose title is `title` exactly, or an empty text.
    QString WindowNamed(const QString& title) {
        const QString ids =
            Xdo({"search", "--onlyvisible", "--name", "^" + QRegularExpressionEscape(title) + "$"});
        return ids.section('\n', 0, 0);
    }
    QString WaitWindow(const QString& title, int timeout_ms = 15000) {
        QString id;
        Wait([&] { return !(id = WindowNamed(title)).isEmpty(); }, timeout_ms);
        return id;
    }
    QRect Geometry(const QString& id) {
        const QString shell = Xdo({"getwindowgeometry", "--shell", id});
        auto value = [&](const char* key) {
            for (const QString& line : shell.split('\n'))
                if (line.startsWith(QString::fromLatin1(key) + "="))
                    return line.section('=', 1).toInt();
            return 0;
        };
        return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
    }
    // Where the window of `title` is once the window manager has placed it: a loaded machine
    // may answer the first look with nothing, or the toolkit may have replaced the window
    // that was found first, so the window is found again until it has a size and keeps its
    // place for two looks.
    QRect Placed(const QString& title) {
        QRect at, last;
        Wait([&] {
            last = at;
            at = Geometry(WindowNamed(title));
            if (at.isEmpty() || at != last) {
                QThread::msleep(100);
                return false;
            }
            return true;
        });
        return at;
    }
    QImage Screen() {
        return ReadFrameBuffer(QString::fromStdString((dir_ / "fb" / "Xvfb_screen0").string()));
    }
    void Shot(const char* name) {
        QThread::msleep(300);  // what the program drew last reaches the screen
        EXPECT_TRUE(Screen().save(shots_ + "/" + name)) << name;
    }

    static QString QRegularExpressionEscape(const QString& s) {
        QString out;
        for (QChar c : s) {
            if (QStringLiteral("\\^$.|?*+()[]{}").contains(c)) out += '\\';
            out += c;
        }
        return out;
    }

    // A field's value in a line of plm's JSON output, as it stands.
    static QString Field(const QString& line, const char* name) {
        const QString key = "\"" + QString::fromLatin1(name) + "\":";
        const int at = line.indexOf(key, 0, Qt::CaseInsensitive);
        if (at < 0) return {};
        QString value = line.mid(at + key.size()).trimmed();
        const int end = value.indexOf(QRegularExpression(QStringLiteral("[,}]")));
        return value.left(end).trimmed().remove('"');
    }

    // A catalogue of `count` untagged applications, priorities rising to 255.
    void MakeLongCatalogue(const fs::path& dir, int count) {
        fs::create_directories(dir);
        std::ofstream schema(dir / "apps.json");
        schema << R"({"fields": [{"name": "APP:DRIVENPATH", "type": "STRING", "size": 80},
            {"name": "APP:APPLICATION", "type": "STRING", "size": 50},
            {"name": "APP:TAG", "type": "SHORT"}, {"name": "APP:PRIORITY", "type": "BYTE"},
            {"name": "APP:TARGET", "type": "STRING", "size": 250}, {"name": "APP:P_REF", "type": "LONG"}],
 "keys": [{"name": "APP:DRIVEKEY", "attributes": 6, "components": ["APP:APPLICATION", "APP:DRIVENPATH"]},
          {"name": "APP:PRIORITYKEY", "attributes": 5, "components": ["APP:PRIORITY", "APP:APPLICATION"]},
          {"name": "APP:P_REFKEY", "attributes": 7, "components": ["APP:P_REF"]}]})";
        schema.close();
        QString rows;
        for (int i = 1; i <= count; ++i)
            rows += QStringLiteral(
                        "{\"APP:DRIVENPATH\": \"/src/\", \"APP:APPLICATION\": "
                        "\"APP%1.APP\", \"APP:PRIORITY\": %2}\n")
                        .arg(i, 3, 10, QLatin1Char('0'))
                        .arg(1 + (i - 1) * 254 / (count - 1));
        QProcess load;
        load.setWorkingDirectory(QString::fromStdString(dir.string()));
        load.start(QString::fromUtf8(ZELT_PLM_PATH), {"load", "APPS.PLM", "--schema", "apps.json"});
        load.waitForStarted();
        load.write(rows.toUtf8());
        load.closeWriteChannel();
        ASSERT_TRUE(load.waitForFinished(20000));
        ASSERT_EQ(load.exitCode(), 0) << load.readAll().toStdString();
        std::ofstream(dir / "ZELT.INI") << "[Preserved]\nNewLog=Y\nCL_Command=" << ZELT_VXIDE_PATH
                                        << "\nFilePath=" << dir.string() << "/\nRetainTags=0\n";
    }

    // The scroll bar of the applications list in a photograph of the main window at `at`
    // and its thumb: a column of light grey that runs down the window's left part, right of
    // the white list, and the lighter run in it below its arrow.
    std::pair<QRect, QRect> ThumbBar(const QRect& at) {
        const QImage image = Screen();
        const int middle = at.top() + at.height() / 2, low = at.top() + at.height() * 2 / 3;
        for (int x = at.left() + at.width() / 4; x < at.left() + at.width() * 4 / 5; ++x) {
            const QRgb groove = image.pixel(x, low);
            if (qGray(groove) < 200 || qGray(groove) > 236) continue;
            if (qGray(image.pixel(x - 12, low)) != 255) continue;  // the list's white
            bool uniform = true;
            for (int y = middle; y <= low && uniform; ++y)
                uniform = image.pixel(x, y) == groove && image.pixel(x + 3, y) == groove;
            if (!uniform) continue;
            const int c = x + 4;
            int y0 = low, y1 = low;
            while (y0 > at.top() && qGray(image.pixel(c, y0 - 1)) < 250) --y0;
            while (y1 < at.bottom() && image.pixel(c, y1 + 1) == groove) ++y1;
            // The thumb: the longest run lighter than the groove (an arrow's is shorter).
            int best = 0, best_length = 0;
            for (int y = y0, run = 0; y <= y1 + 1; ++y) {
                if (y <= y1 && qGray(image.pixel(c, y)) > qGray(groove) + 8) {
                    ++run;
                    continue;
                }
                if (run > best_length) best = y - run, best_length = run;
                run = 0;
            }
            const QRect bar(QPoint(x, y0), QPoint(x + 8, y1));
            return {bar, best_length > 16 ? QRect(x, best, 8, best_length) : QRect()};
        }
        return {};
    }

    fs::path dir_;
    QString shots_;
    QString display_;
    QProcess server_, window_manager_, ide_, zelt_;
};

TEST_F(XSession, PlacesFocusThumbAndTheEventFormUnderARealWindowManager) {
    const std::int64_t started = NowMs();
    const fs::path demo = dir_ / "demo";
    ASSERT_EQ(
        QProcess::execute(
            "bash", {QString::fromUtf8(ZELT_SOURCE_ROOT) + "/scripts/demo-catalogue",
                     QString::fromStdString(demo.string()), QString::fromUtf8(ZELT_BUILD_ROOT)}),
        0);
    Start(zelt_, QString::fromUtf8(ZELT_ZELT_PATH), {}, demo);
    const QString main = WaitWindow(kMainTitle);
    ASSERT_FALSE(main.isEmpty()) << "the main window did not open";
    QThread::msleep(500);  // the lists are filled as the window opens
    Shot("01_main.png");
    const QRect screen(0, 0, kScreenWidth, kScreenHeight);
    const QRect main_at = Placed(kMainTitle);
    EXPECT_TRUE(screen.contains(main_at)) << "the main window lies off the screen";

    // Enter on the list opens the application form, centred over the main window.
    Keys("Return");
    const QString form = WaitWindow("Record will be Changed");
    ASSERT_FALSE(form.isEmpty()) << "the application form did not open";
    Shot("02_application_form.png");
    const QRect form_at = Placed("Record will be Changed");
    EXPECT_LE((form_at.center() - main_at.center()).manhattanLength(), 40)
        << "the form is not centred over the main window";
    EXPECT_TRUE(screen.contains(form_at));
    Keys("Escape");
    EXPECT_TRUE(Wait([&] { return WindowNamed("Record will be Changed").isEmpty(); }))
        << "Escape did not close the form";

    // The make of the tagged applications ends with the keyboard in the list: Enter there
    // opens the application form again.
    Keys(kMakeKey);
    ASSERT_FALSE(WaitWindow("Warning", 60000).isEmpty()) << "the make did not end";
    Shot("03_make_ended.png");
    Keys("Return");
    bool form_again = false;
    for (int attempt = 0; attempt < 4 && !form_again; ++attempt) {
        QThread::msleep(400);  // the batch closes its tables after the message
        Keys("Return");
        form_again = !WaitWindow("Record will be Changed", 1500).isEmpty();
    }
    EXPECT_TRUE(form_again) << "after the make the keyboard was not in the list";
    Shot("04_focus_after_make.png");
    Keys("Escape");
    Wait([&] { return WindowNamed("Record will be Changed").isEmpty(); });

    // The other tabs, the project form and the picker, photographed.
    Keys("alt+p");
    Keys("alt+e");  // Expand All, which gives the tree the keyboard
    Shot("05_tab_projects.png");
    Keys("Down");  // the first project
    Keys("alt+g");
    const QString project = WaitWindow("Project will be Updated");
    EXPECT_FALSE(project.isEmpty()) << "the project form did not open";
    Shot("06_project_form.png");
    Keys("alt+a");
    EXPECT_FALSE(WaitWindow("Select Application").isEmpty()) << "the picker did not open";
    Shot("07_picker.png");
    Keys("Escape");
    Wait([&] { return WindowNamed("Select Application").isEmpty(); });
    Keys("Escape");
    EXPECT_TRUE(Wait([&] { return WindowNamed("Project will be Updated").isEmpty(); }));
    Keys("ctrl+Tab");
    Shot("08_tab_imports.png");
    Keys("alt+s");
    Shot("09_tab_subsets.png");
    Keys("alt+a");

    // An event edited in the activity record form keeps its seconds.
    const QString before =
        Run(QString::fromUtf8(ZELT_PLM_PATH), {"dump", "TEMPFILE.PLM"}, demo).section('\n', 0, 0);
    Keys(kLogKey);
    const QString log = WaitWindow("Activity Log");
    ASSERT_FALSE(log.isEmpty()) << "the activity log did not open";
    const QRect log_at = Placed("Activity Log");
    EXPECT_LE((log_at.center() - main_at.center()).manhattanLength(), 40);
    EXPECT_TRUE(screen.contains(log_at));
    Shot("10_activity_log.png");
    Keys("ctrl+f");
    EXPECT_FALSE(WaitWindow("Query by Example").isEmpty()) << "Ctrl+F did not open the query";
    Shot("11_query_form.png");
    Keys("Escape");
    Wait([&] { return WindowNamed("Query by Example").isEmpty(); });
    Keys("ctrl+Return");
    const QString record = WaitWindow("DDE Activity Record");
    ASSERT_FALSE(record.isEmpty()) << "the event form did not open";
    EXPECT_LE((Placed("DDE Activity Record").center() - log_at.center()).manhattanLength(), 40);
    Keys("Tab Tab Tab End");
    Xdo({"type", "--delay", "20", " (seen)"});
    Shot("12_event_form.png");
    Keys("alt+o");
    EXPECT_TRUE(Wait([&] { return WindowNamed("DDE Activity Record").isEmpty(); }));
    Shot("13_event_edited.png");
    const QString after =
        Run(QString::fromUtf8(ZELT_PLM_PATH), {"dump", "TEMPFILE.PLM"}, demo).section('\n', 0, 0);
    EXPECT_TRUE(after.contains("(seen)")) << after.toStdString();
    EXPECT_EQ(Field(after, "TMP:CLOCK"), Field(before, "TMP:CLOCK")) << "the time lost its seconds";
    Keys("alt+p");
    EXPECT_FALSE(WaitWindow("ZELT5.5 Activity Log").isEmpty()) << "no print preview";
    Shot("14_print_preview.png");
    Keys("Escape");
    Wait([&] { return WindowNamed("ZELT5.5 Activity Log").isEmpty(); });
    Keys("Escape");  // the log closes
    Keys("alt+F4");
    EXPECT_TRUE(zelt_.waitForFinished(10000));

    // A list of 300 applications: the thumb dragged to the bottom shows the last rows, and
    // the application tagged there is one of the last.
    const fs::path big = dir_ / "big";
    MakeLongCatalogue(big, 300);
    Start(zelt_, QString::fromUtf8(ZELT_ZELT_PATH), {}, big);
    const QString big_main = WaitWindow(kMainTitle);
    ASSERT_FALSE(big_main.isEmpty());
    QThread::msleep(300);
    QRect bar, thumb;
    Xdo({"mousemove", "0", "0"});  // the pointer out of the picture
    ASSERT_TRUE(Wait(
        [&] {  // the window is placed and drawn: the bar stays where it is
            const QRect last = bar;
            QThread::msleep(300);
            std::tie(bar, thumb) = ThumbBar(Geometry(big_main));
            return !thumb.isEmpty() && bar == last;
        },
        30000))
        << "no scroll bar found";
    Xdo({"mousemove", QString::number(thumb.center().x()), QString::number(thumb.center().y())});
    Xdo({"mousedown", "1"});
    for (int y = thumb.center().y(); y <= bar.bottom() + 20; y += 40) {
        Xdo({"mousemove", QString::number(thumb.center().x()), QString::number(y)});
        QThread::msleep(30);
    }
    Xdo({"mousemove", QString::number(thumb.center().x()), QString::number(bar.bottom() + 20)});
    Shot("15_thumb_dragged.png");
    Xdo({"mouseup", "1"});
    QThread::msleep(300);
    Keys(kTagKey);
    Keys("alt+F4");
    EXPECT_TRUE(zelt_.waitForFinished(10000));
    const QString tagged = Run(QString::fromUtf8(ZELT_PLM_PATH), {"dump", "APPS.PLM"}, big);
    int tagged_priority = 0;
    for (const QString& line : tagged.split('\n'))
        if (Field(line, "APP:TAG") == "1") tagged_priority = Field(line, "APP:PRIORITY").toInt();
    EXPECT_GE(tagged_priority, 250) << "the thumb at the bottom did not show the last rows";
    EXPECT_LT(NowMs() - started, 60000) << "the session took over a minute";
}

}  // namespace
}  // namespace zelt::testing
