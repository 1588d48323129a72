// The Qt side of each kind of control: how its widget is made, how it shows the model's
// state, how it takes keys and the focus leaving it, and how layout treats it. One entry
// per runtime::ControlKind, so that a new kind is added in one place.
//
//   const QtKindAdapter& kind = QtKind(d.kind);
//   QWidget* w = kind.make(qt_window, n);
//   if (kind.sync) kind.sync(qt_window, n, w, model.Control(n));
#pragma once

#include <cstdint>

#include "runtime/window/window.hpp"

class QKeyEvent;
class QObject;
class QWidget;

namespace zelt::platform {

class QtWindow;

// How the layout of a container places a control.
enum class QtPlacement : std::uint8_t {
    Plain,      // at its own size
    Grows,      // takes the room left over
    Prompt,     // a label: with the input next to it, a row of a form
    Button,     // consecutive buttons make a row of their own
    Container,  // a frame with the controls declared inside it
    Sheet,      // tabs whose pages hold controls, or a bar of tabs alone
    Page,       // a sheet's page: placed by its sheet
};

struct QtKindAdapter {
    QWidget* (*make)(QtWindow& window, runtime::ControlNumber n) = nullptr;
    // Shows the model's state beyond tip, status, visibility and enabling (none: nothing).
    void (*sync)(QtWindow& window, runtime::ControlNumber n, QWidget* w,
                 const runtime::ControlState& s) = nullptr;
    // A key pressed on the control; true when the model took it (none: alert keys only).
    bool (*key)(QtWindow& window, runtime::ControlNumber n, QKeyEvent* e) = nullptr;
    // The focus left the control.
    void (*focus_out)(QtWindow& window, runtime::ControlNumber n, QObject* watched) = nullptr;
    QtPlacement placement = QtPlacement::Plain;
    bool named = true;           // the window names it after the control (a list: itself)
    bool watched = true;         // its events reach the window (a page's do not; a list: itself)
    bool own_state = true;       // tip, visibility... on its widget (a page: on its sheet's bar)
    bool form_input = false;     // joins a prompt next to it in a row of a form
    bool fills_page = false;     // a page holding it needs no stretch below
    bool prompt_target = false;  // a prompt's accelerator may move the focus to it
};

const QtKindAdapter& QtKind(runtime::ControlKind kind);

// The width of a character of a widget's font, for widths declared in characters.
int QtCharWidth(const QWidget* w);

}  // namespace zelt::platform
