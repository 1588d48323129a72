// The Qt 6 Widgets window backend: real windows for the window model.
//
// Create a QApplication first, then the backend and a WindowSystem over it:
//
//   QApplication app(argc, argv);
//   zelt::platform::QtBackend backend;
//   zelt::runtime::WindowSystem system(backend);
//   zelt::runtime::ScopedWindowSystem installed(system);
//   RunMainWindow();
//
// Every declared control becomes a widget named after the control ("?Insert"), laid out by
// Qt layouts in declaration order; lists and trees are views over models that read the
// program's queue row by row as they are shown. Accept loops wait in a QEventLoop each, so
// loops nest; timers run on QTimer against the installed clock.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "runtime/window/window_backend.hpp"

class QEventLoop;
class QSocketNotifier;
class QWidget;

namespace zelt::platform {

class QtWindow;

class QtBackend final : public runtime::WindowBackend {
  public:
    QtBackend();
    ~QtBackend() override;

    // The top-level widget of an open window, or nullptr.
    QWidget* WidgetOf(const runtime::Window& window) const;
    // The widget of a control of an open window, or nullptr.
    QWidget* ControlWidget(const runtime::Window& window, runtime::ControlNumber control) const;

    void WindowOpened(runtime::Window& window) override;
    void WindowClosed(runtime::Window& window) override;
    void ControlChanged(runtime::Window& window, runtime::ControlNumber control) override;
    void FocusChanged(runtime::Window& window, runtime::ControlNumber control) override;
    void WaitForInput(runtime::Window& window, std::optional<std::int64_t> deadline_ms) override;
    void WaitForInputOrDescriptor(runtime::Window& window, int descriptor,
                                  std::optional<std::int64_t> deadline_ms) override;
    int WatchDescriptor(int descriptor, std::function<void()> ready) override;
    void UnwatchDescriptor(int id) override;
    void PollInput(runtime::Window& window) override;
    void EventQueued(runtime::Window& window) override;
    void Halted() override;
    int ShowMessage(const runtime::MessageRequest& request) override;
    int ShowPopup(const runtime::PopupMenu& menu) override;
    std::optional<std::string> ChooseFile(const runtime::FileChooserRequest& request) override;
    std::optional<std::string> ChooseDirectory(
        const runtime::DirectoryChooserRequest& request) override;
    void Beep() override;
    void Activate(runtime::Window& window) override;
    void SetBusyCursor(bool busy) override;
    void PlaySound(const std::string& file) override;
    bool PreviewReport(const runtime::ReportDocument& report) override;
    bool PrintReport(const runtime::ReportDocument& report) override;
    bool SaveReportPdf(const runtime::ReportDocument& report, const std::string& path) override;

  private:
    struct Wait {
        runtime::Window* window;
        QEventLoop* loop;
    };
    QWidget* DialogParent() const;

    std::map<const runtime::Window*, std::unique_ptr<QtWindow>> windows_;
    std::vector<Wait> waits_;
    std::map<int, std::unique_ptr<QSocketNotifier>> watches_;
    int last_watch_ = 0;
    bool halted_ = false;
};

}  // namespace zelt::platform
