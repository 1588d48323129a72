// The process's window system: the backend in use, the open windows, and the services every
// window procedure calls (message boxes, popups, choosers, beep, sounds, report preview).
//
// One window system is installed at a time (InstallWindowSystem, or ScopedWindowSystem in
// tests); windows and the free service functions use the installed one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/window/window_backend.hpp"

namespace zelt::runtime {

class WindowSystem {
  public:
    explicit WindowSystem(WindowBackend& backend) : backend_(backend) {}
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    WindowBackend& Backend() { return backend_; }

    // The key code of the last event that carried one (an alert key, a double click), for
    // the whole process; a window opened by a key clears it so that the key does not act
    // again there.
    int LastKeycode() const { return last_keycode_; }
    void SetLastKeycode(int keycode) { last_keycode_ = keycode; }

    // The icon of every window that declares none (the program's icon).
    void SetDefaultIcon(std::string name) { default_icon_ = std::move(name); }
    const std::string& DefaultIcon() const { return default_icon_; }

    // Open windows in the order they were opened; the last is the active one.
    const std::vector<Window*>& OpenWindows() const { return windows_; }
    Window* ActiveWindow() const { return windows_.empty() ? nullptr : windows_.back(); }
    // The most recently opened window with that title, or nullptr.
    Window* FindWindow(std::string_view title) const;

    int Message(const MessageRequest& request);
    int Message(std::string_view text, std::string_view caption = {},
                StockIcon icon = StockIcon::None, int buttons = button::Ok, int default_button = 0);
    // Popup from one text ("&Insert|-|~&Delete"); the chosen number, 0 for none.
    int Popup(std::string_view entries);
    std::optional<std::string> ChooseFile(const FileChooserRequest& request);
    std::optional<std::string> ChooseDirectory(const DirectoryChooserRequest& request);
    void Beep();
    void Activate(Window& window);
    void PlaySound(const std::string& file);
    // Busy cursor, counted: shown while any BusyCursor lives.
    void PushBusy();
    void PopBusy();

    bool PreviewReport(const ReportDocument& report);
    bool PrintReport(const ReportDocument& report);
    bool SaveReportPdf(const ReportDocument& report, const std::string& path);

    // Stops everything: every window closes and every accept loop ends; message boxes answer
    // their default button. Used when a test script fails and for a program halt.
    void Halt(std::string reason);
    bool IsHalted() const { return halted_; }
    const std::string& HaltReason() const { return halt_reason_; }

    // For windows.
    void WindowOpening(Window& window);
    void WindowClosing(Window& window);

  private:
    WindowBackend& backend_;
    std::vector<Window*> windows_;
    std::string default_icon_;
    int last_keycode_ = 0;
    int busy_ = 0;
    bool halted_ = false;
    std::string halt_reason_;
};

// The installed window system. Installing nullptr removes it.
WindowSystem* CurrentWindowSystem();
WindowSystem* InstallWindowSystem(WindowSystem* system);

class ScopedWindowSystem {
  public:
    explicit ScopedWindowSystem(WindowSystem& system) : previous_(InstallWindowSystem(&system)) {}
    ~ScopedWindowSystem() { InstallWindowSystem(previous_); }
    ScopedWindowSystem(const ScopedWindowSystem&) = delete;
    ScopedWindowSystem& operator=(const ScopedWindowSystem&) = delete;

  private:
    WindowSystem* previous_;
};

class BusyCursor {
  public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    WindowSystem* system_;
};

// The services of the installed window system, for window procedures. Without a window
// system a message answers its default button and a chooser answers nothing.
int Message(std::string_view text, std::string_view caption = {}, StockIcon icon = StockIcon::None,
            int buttons = button::Ok, int default_button = 0);
int Popup(std::string_view entries);
void Beep();
void PlaySoundFile(const std::string& file);
std::optional<std::string> ChooseFile(const FileChooserRequest& request);
std::optional<std::string> ChooseDirectory(const DirectoryChooserRequest& request);

// How list cells and entries show a value under a picture ("@D1", "@T4", "@n3"). Without a
// formatter installed, date and time pictures show day numbers and clock values by the
// runtime's pictures, and any other text is shown as it is.
using PictureFormatter =
    std::function<std::string(std::string_view value, std::string_view picture)>;
// How text typed under a picture becomes the value stored; nothing when the text is no
// valid value (the variable then keeps its value and the control the text typed).
using PictureParser =
    std::function<std::optional<std::string>(std::string_view text, std::string_view picture)>;
void InstallPictureFormatter(PictureFormatter format, PictureParser parse);
std::string FormatByPicture(std::string_view value, std::string_view picture);
std::optional<std::string> ParseByPicture(std::string_view text, std::string_view picture);

}  // namespace zelt::runtime
