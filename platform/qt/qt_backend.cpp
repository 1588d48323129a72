#include "platform/qt/qt_backend.hpp"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>

#include "platform/qt/qt_icons.hpp"
#include "platform/qt/qt_report.hpp"
#include "platform/qt/qt_report_preview.hpp"
#include "platform/qt/qt_window.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::platform {

using namespace zelt::runtime;

QtBackend::QtBackend() = default;
QtBackend::~QtBackend() = default;

QWidget* QtBackend::WidgetOf(const Window& window) const {
    auto it = windows_.find(&window);
    return it == windows_.end() ? nullptr : it->second->Top();
}

QWidget* QtBackend::ControlWidget(const Window& window, ControlNumber control) const {
    auto it = windows_.find(&window);
    return it == windows_.end() ? nullptr : it->second->Widget(control);
}

QWidget* QtBackend::DialogParent() const {
    // Dialogs belong to the window the program works in last (the one opened last that is
    // in sight), so that they open over it and stay in front of it.
    if (WindowSystem* system = CurrentWindowSystem()) {
        const auto& open = system->OpenWindows();
        for (auto it = open.rbegin(); it != open.rend(); ++it) {
            QWidget* top = WidgetOf(**it);
            if (top && top->isVisible()) return top;
        }
    }
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (const auto& [window, qt] : windows_) {
        if (qt->Top()->isVisible()) return qt->Top();
    }
    return nullptr;
}

void QtBackend::WindowOpened(Window& window) {
    // A window opened while another is open is that one's dialog.
    auto qt = std::make_unique<QtWindow>(window, DialogParent());
    qt->Show();
    windows_[&window] = std::move(qt);
}

void QtBackend::WindowClosed(Window& window) {
    windows_.erase(&window);
    // A loop still waiting on the window stops waiting; its Accept then answers false.
    for (auto& wait : waits_) {
        if (wait.window == &window) wait.loop->quit();
    }
}

void QtBackend::ControlChanged(Window& window, ControlNumber control) {
    auto it = windows_.find(&window);
    if (it != windows_.end()) it->second->Sync(control);
}

void QtBackend::FocusChanged(Window& window, ControlNumber control) {
    auto it = windows_.find(&window);
    if (it != windows_.end()) it->second->Focus(control);
}

void QtBackend::WaitForInput(Window& window, std::optional<std::int64_t> deadline_ms) {
    if (halted_ || !window.Pending().empty()) return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    if (deadline_ms) {
        const std::int64_t wait =
            std::max<std::int64_t>(0, *deadline_ms - CurrentClockSource().MonotonicMs());
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(std::min<std::int64_t>(wait, 24LL * 3600 * 1000)));
    }
    waits_.push_back({&window, &loop});
    loop.exec();
    waits_.pop_back();
}

void QtBackend::WaitForInputOrDescriptor(Window& window, int descriptor,
                                         std::optional<std::int64_t> deadline_ms) {
    if (descriptor < 0) return WaitForInput(window, deadline_ms);
    if (halted_ || !window.Pending().empty()) return;
    // The window paints and takes input meanwhile; the descriptor ends the wait as an event
    // for the window would.
    QEventLoop loop;
    QSocketNotifier readable(static_cast<qintptr>(descriptor), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    if (deadline_ms) {
        const std::int64_t wait =
            std::max<std::int64_t>(0, *deadline_ms - CurrentClockSource().MonotonicMs());
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(std::min<std::int64_t>(wait, 24LL * 3600 * 1000)));
    }
    waits_.push_back({&window, &loop});
    loop.exec();
    waits_.pop_back();
}

int QtBackend::WatchDescriptor(int descriptor, std::function<void()> ready) {
    auto notifier =
        std::make_unique<QSocketNotifier>(static_cast<qintptr>(descriptor), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [ready = std::move(ready)] { ready(); });
    const int id = ++last_watch_;
    watches_[id] = std::move(notifier);
    return id;
}

void QtBackend::UnwatchDescriptor(int id) {
    watches_.erase(id);
}

void QtBackend::PollInput(Window&) {
    if (!halted_) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtBackend::EventQueued(Window& window) {
    if (!waits_.empty() && waits_.back().window == &window) waits_.back().loop->quit();
}

void QtBackend::Halted() {
    halted_ = true;
    for (auto& wait : waits_) wait.loop->quit();
}

int QtBackend::ShowMessage(const MessageRequest& request) {
    QMessageBox box(DialogParent());
    box.setWindowTitle(QString::fromStdString(request.caption));
    box.setText(QString::fromStdString(MessageLines(request.text)));
    box.setTextFormat(Qt::PlainText);
    if (request.icon != StockIcon::None)
        box.setIconPixmap(StockIconOf(request.icon).pixmap(48, 48));
    std::map<QAbstractButton*, int> bits;
    const int default_bit = EffectiveDefaultButton(request);
    QAbstractButton* escape = nullptr;
    for (int bit : ButtonsOf(request.buttons)) {
        const auto role = bit == button::Yes || bit == button::Ok || bit == button::Retry
                              ? QMessageBox::AcceptRole
                          : bit == button::Help ? QMessageBox::HelpRole
                                                : QMessageBox::RejectRole;
        QPushButton* b = box.addButton(QString::fromStdString(std::string(ButtonLabel(bit))), role);
        b->setObjectName(QString::fromStdString(std::string(ButtonLabel(bit))));
        bits[b] = bit;
        if (bit == default_bit) box.setDefaultButton(b);
        if (bit == button::Cancel || (bit == button::No && !escape) ||
            (bit == button::Ok && !escape))
            escape = b;
    }
    if (escape) box.setEscapeButton(escape);
    // The box is at least as wide as its title, with room for the title bar's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont bold = box.font();
        bold.setBold(true);
        const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) +
                          5 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
    auto it = bits.find(box.clickedButton());
    return it == bits.end() ? default_bit : it->second;
}

int QtBackend::ShowPopup(const PopupMenu& menu) {
    QMenu popup(DialogParent());
    std::map<QAction*, int> numbers;
    for (const auto& entry : menu.entries) {
        if (entry.separator) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(QString::fromStdString(entry.text));
        action->setEnabled(entry.enabled);
        numbers[action] = entry.number;
    }
    QAction* chosen = popup.exec(QCursor::pos());
    auto it = numbers.find(chosen);
    return it == numbers.end() ? 0 : it->second;
}

namespace {
// "Application files (*.app *.APP)": patterns in either case, as Linux names are.
QString FilterText(const std::vector<FileFilter>& filters) {
    QStringList parts;
    for (const auto& f : filters) {
        QStringList patterns;
        for (const QString& p : QString::fromStdString(f.pattern).split(';', Qt::SkipEmptyParts)) {
            const QString trimmed = p.trimmed();
            patterns << trimmed.toLower();
            if (trimmed.toUpper() != trimmed.toLower()) patterns << trimmed.toUpper();
        }
        patterns.removeDuplicates();
        parts << QString::fromStdString(f.name) + " (" + patterns.join(' ') + ")";
    }
    return parts.join(QStringLiteral(";;"));
}
}  // namespace

std::optional<std::string> QtBackend::ChooseFile(const FileChooserRequest& request) {
    QString start = QString::fromStdString(request.start_directory);
    if (!request.file_name.empty())
        start = QFileInfo(start, QString::fromStdString(request.file_name)).filePath();
    const QString title = QString::fromStdString(request.title);
    const QString chosen = request.save ? QFileDialog::getSaveFileName(DialogParent(), title, start,
                                                                       FilterText(request.filters))
                                        : QFileDialog::getOpenFileName(DialogParent(), title, start,
                                                                       FilterText(request.filters));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> QtBackend::ChooseDirectory(const DirectoryChooserRequest& request) {
    const QString chosen =
        QFileDialog::getExistingDirectory(DialogParent(), QString::fromStdString(request.title),
                                          QString::fromStdString(request.start_directory));
    if (chosen.isEmpty()) return std::nullopt;
    // Table names are the directory run together with the file name: keep the separator.
    return (chosen.endsWith('/') ? chosen : chosen + '/').toStdString();
}

void QtBackend::Beep() {
    QApplication::beep();
}

void QtBackend::Activate(Window& window) {
    if (QWidget* w = WidgetOf(window)) {
        w->raise();
        w->activateWindow();
    }
}

void QtBackend::SetBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtBackend::PlaySound(const std::string& file) {
    // A missing file plays nothing. The sound is played to its end before the program goes
    // on, by the desktop's sound player when there is one, else the bell stands for it.
    const QString path = QString::fromStdString(file);
    if (!QFileInfo::exists(path)) return;
    for (const char* player : {"pw-play", "paplay", "aplay"}) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(player));
        if (program.isEmpty()) continue;
        QProcess process;
        process.start(program, {path});  // arguments, never a shell
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return;
        process.kill();
        process.waitForFinished(1000);
    }
    QApplication::beep();
}

bool QtBackend::PreviewReport(const ReportDocument& report) {
    ReportPreviewWindow preview(report, DialogParent());
    preview.exec();
    return preview.Printed();
}

bool QtBackend::PrintReport(const ReportDocument& report) {
    return PrintReportWithDialog(report, DialogParent());
}

bool QtBackend::SaveReportPdf(const ReportDocument& report, const std::string& path) {
    return SaveReportPdfFile(report, path);
}

}  // namespace zelt::platform
