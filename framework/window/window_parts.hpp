// The pieces a window may have besides its controls: components that take part in its
// events (browses), a toolbar, a resizer and a text translator.
#pragma once

#include "framework/levels.hpp"
#include "runtime/window/window.hpp"

namespace zelt::framework {

// Something registered with a window that takes part in its life and events.
class WindowComponent {
  public:
    virtual ~WindowComponent() = default;
    virtual void Kill() = 0;
    virtual void Reset(bool force) = 0;
    // True when the component needs the window to reset.
    virtual bool NeedsReset() = 0;
    // Writes the controls back into their buffers.
    virtual void Update() = 0;
    // Sees the window's current event; LevelNotify consumes it, LevelFatal ends the loop.
    virtual Level HandleEvent() = 0;
    virtual void SetAlerts() = 0;
    virtual void UpdateWindow() = 0;
};

// Toolbar navigation requests (the record-navigation buttons of a form); InsertAgain asks
// for one more new record after an insert.
enum class NavigationRequest : int {
    None = 0,
    Next,
    Previous,
    First,
    Last,
    PageDown,
    PageUp,
    InsertAgain
};

// The toolbar target of a window: it sees accepted events first and keeps the pending
// record-navigation request.
class ToolbarTarget {
  public:
    virtual ~ToolbarTarget() = default;
    // An accepted event of control `control`; LevelNotify consumes it.
    virtual Level TakeAccepted(runtime::ControlNumber control) = 0;
    virtual NavigationRequest PendingNavigation() const = 0;
    virtual void ClearNavigation() = 0;
    // The toolbar shows the state of the control with the focus.
    virtual void Update() {}
    virtual void Kill() {}
};

// The toolbar's history ("ditto") button.
inline constexpr runtime::ControlNumber kToolbarHistoryButton = 3012;

class WindowResizer {
  public:
    virtual ~WindowResizer() = default;
    virtual void Resize(runtime::Window& window) = 0;
    virtual void Kill() {}
};

class WindowTranslator {
  public:
    virtual ~WindowTranslator() = default;
    virtual void TranslateWindow(runtime::Window& window) = 0;
};

}  // namespace zelt::framework
