// What a window system needs from its toolkit: showing windows and their controls, waiting
// for input, and the modal services (message boxes, popups, choosers, report preview).
//
// The model (Window, WindowSystem) holds all state; a backend shows it and turns what the
// user does into the model's user-action calls (Window::UserPress, UserType, ...), which
// queue the events. Implemented by the scripted headless backend (tests) and the Qt backend.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "runtime/window/choosers.hpp"
#include "runtime/window/message_box.hpp"
#include "runtime/window/popup_menu.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

class Window;
class ReportDocument;

class WindowBackend {
  public:
    virtual ~WindowBackend() = default;

    // The window opened: build and show it from its declaration and state.
    virtual void WindowOpened(Window& window) = 0;
    // The window closed: take it off the screen. No call for it follows.
    virtual void WindowClosed(Window& window) = 0;
    // A control's state changed (text, value, flags, choice, rows); 0 = the window's own
    // attributes (title, timer).
    virtual void ControlChanged(Window& window, ControlNumber control) = 0;
    // The focus moved to `control`.
    virtual void FocusChanged(Window& window, ControlNumber control) = 0;

    // Runs the toolkit until an event was queued for `window`, or until the monotonic clock
    // reaches `deadline_ms` (none: no limit), or the window system was halted. May return
    // early; the caller looks again.
    virtual void WaitForInput(Window& window, std::optional<std::int64_t> deadline_ms) = 0;
    // Like WaitForInput, and it also returns once `descriptor` (-1: none) is readable: for a
    // program that waits on a file descriptor and keeps its window alive meanwhile. A backend
    // that cannot watch descriptors waits for input only (its caller looks again after the
    // deadline).
    virtual void WaitForInputOrDescriptor(Window& window, int descriptor,
                                          std::optional<std::int64_t> deadline_ms) {
        (void)descriptor;
        WaitForInput(window, deadline_ms);
    }
    // Calls `ready` whenever `descriptor` becomes readable while the toolkit waits for input;
    // the id for UnwatchDescriptor, or 0 when the backend cannot (the program then looks on
    // its timer).
    virtual int WatchDescriptor(int descriptor, std::function<void()> ready) {
        (void)descriptor, (void)ready;
        return 0;
    }
    virtual void UnwatchDescriptor(int id) { (void)id; }
    // Lets what the user has done so far reach `window` without waiting for more: for a
    // window shown during work that cannot give the loop back (a progress window).
    virtual void PollInput(Window& window) = 0;
    // An event was queued for `window` (a backend waiting for it stops waiting).
    virtual void EventQueued(Window& window) = 0;
    // The window system was halted: every wait ends.
    virtual void Halted() = 0;

    // Modal services.
    virtual int ShowMessage(const MessageRequest& request) = 0;  // the button pressed
    virtual int ShowPopup(const PopupMenu& menu) = 0;            // 0 = nothing chosen
    virtual std::optional<std::string> ChooseFile(const FileChooserRequest& request) = 0;
    virtual std::optional<std::string> ChooseDirectory(const DirectoryChooserRequest& request) = 0;
    virtual void Beep() = 0;
    virtual void Activate(Window& window) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void PlaySound(const std::string& file) = 0;  // a missing file plays nothing

    // Shows the pages; true when the user asked for them to be printed (and they were).
    virtual bool PreviewReport(const ReportDocument& report) = 0;
    virtual bool PrintReport(const ReportDocument& report) = 0;
    // Writes the pages to a PDF file; false when that failed.
    virtual bool SaveReportPdf(const ReportDocument& report, const std::string& path) = 0;
};

}  // namespace zelt::runtime
