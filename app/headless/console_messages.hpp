// Messages without windows: every message box goes to standard error with its caption, and
// a window that tries to open is refused. The headless mode installs these in place of the
// window system's toolkit and the error reporter's presenter.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "framework/message_presenter.hpp"
#include "runtime/window/window_backend.hpp"

namespace zelt::app {

// "Caption: text" ("|" a line break; the caption left out when blank), with the answer
// appended for a box that asked more than OK.
std::string ConsoleMessageText(std::string_view caption, std::string_view text, int buttons,
                               int answer);
// Writes the text and a line end to `stream` and flushes it.
void WriteLine(std::FILE* stream, std::string_view text);

// The error reporter's messages on standard error; each answers its default button.
class ConsolePresenter final : public framework::MessagePresenter {
  public:
    std::uint32_t PlainMessage(std::string_view text, std::string_view caption, std::uint32_t icon,
                               std::uint32_t buttons, std::uint32_t default_button,
                               std::uint32_t style) override;
    std::uint32_t ShowHistory(std::string_view caption, std::uint32_t icon, std::uint32_t buttons,
                              std::uint32_t default_button,
                              const std::vector<framework::HistoryEntry>& history) override;
};

// A window backend that shows nothing: message boxes go to standard error and answer their
// default button, choosers and popups answer nothing, and opening a window halts the window
// system (the headless mode never opens one).
class ConsoleBackend final : public runtime::WindowBackend {
  public:
    // The title of the first window that tried to open; empty when none did.
    const std::string& RefusedWindow() const { return refused_; }

    void WindowOpened(runtime::Window& window) override;
    void WindowClosed(runtime::Window&) override {}
    void ControlChanged(runtime::Window&, runtime::ControlNumber) override {}
    void FocusChanged(runtime::Window&, runtime::ControlNumber) override {}
    void WaitForInput(runtime::Window&, std::optional<std::int64_t>) override {}
    void PollInput(runtime::Window&) override {}
    void EventQueued(runtime::Window&) override {}
    void Halted() override {}
    int ShowMessage(const runtime::MessageRequest& request) override;
    int ShowPopup(const runtime::PopupMenu&) override { return 0; }
    std::optional<std::string> ChooseFile(const runtime::FileChooserRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseDirectory(const runtime::DirectoryChooserRequest&) override {
        return std::nullopt;
    }
    void Beep() override {}
    void Activate(runtime::Window&) override {}
    void SetBusyCursor(bool) override {}
    void PlaySound(const std::string&) override {}
    bool PreviewReport(const runtime::ReportDocument&) override { return false; }
    bool PrintReport(const runtime::ReportDocument&) override { return false; }
    // Through the runtime's installed PDF writer (false when none is installed).
    bool SaveReportPdf(const runtime::ReportDocument& report, const std::string& path) override;

  private:
    std::string refused_;
};

}  // namespace zelt::app
