// The window system's key codes (runtime/window/key_codes.hpp) of Qt's key events.
#pragma once

class QKeyEvent;

namespace zelt::platform {

// The key code of a key event, with Shift, Ctrl and Alt added; 0 for a key without a code
// (a printable character, say).
int KeyCodeOf(const QKeyEvent* e);

}  // namespace zelt::platform
