// What the IDE routines need from the main window. The main window implements it; tests
// implement it with a recorder.
#pragma once

#include <string_view>

#include "runtime/events/event_codes.hpp"

namespace zelt::app {

class IdeWindow {
  public:
    virtual ~IdeWindow() = default;
    // A modal message box with no caption, no icon and the default OK button; returns when
    // the user has closed it.
    virtual void ShowMessage(std::string_view text) = 0;
    // Redisplays the window, so that the status fields show the current StatusMsg.
    virtual void Redisplay() = 0;
    // Moves the focus to the applications list ?List.
    virtual void SelectApplicationsList() = 0;
    // Posts a window event (EVENT:DDEclosed) to the window; it is delivered by the window's
    // event loop, never from inside this call.
    virtual void PostEvent(runtime::EventCode event) = 0;
    // Asked repeatedly while the program waits for a starting IDE to answer: true when the
    // user chose to stop waiting.
    virtual bool StartCancelled() { return false; }
    // Told once the program has started the IDE: its output goes to the file at `path`.
    virtual void IdeOutputGoesTo(std::string_view path) { (void)path; }
};

}  // namespace zelt::app
