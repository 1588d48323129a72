// What the user does to a window's controls, as the backends report it: each turns into the
// model's change of state and the events the program hears of.
#include <algorithm>
#include <iterator>
#include <optional>

#include "runtime/window/control_kinds.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

namespace {
// The event a key on a list that the program scrolls itself becomes; 0 for none.
EventCode ScrollEventOf(int keycode) {
    switch (keycode) {
        case key::Up:
            return event::ScrollUp;
        case key::Down:
            return event::ScrollDown;
        case key::PageUp:
            return event::PageUp;
        case key::PageDown:
            return event::PageDown;
        case key::Home:
        case key::CtrlHome:
            return event::ScrollTop;
        case key::End:
        case key::CtrlEnd:
            return event::ScrollBottom;
        default:
            return 0;
    }
}

// Where a key moves the highlight of a list of `rows` rows (not yet clamped); none for a key
// that does not move it.
std::optional<int> RowAfterKey(int row, int rows, int keycode) {
    switch (keycode) {
        case key::Up:
            return row - 1;
        case key::Down:
            return row + 1;
        case key::PageUp:
            return row - 10;
        case key::PageDown:
            return row + 10;
        case key::Home:
        case key::CtrlHome:
            return 1;
        case key::End:
        case key::CtrlEnd:
            return rows;
        default:
            return std::nullopt;
    }
}
}  // namespace

bool Window::UserFocus(ControlNumber n) {
    if (!Focusable(n)) return false;
    MoveFocus(n);
    return true;
}

bool Window::UserPress(ControlNumber n) {
    if (!IsReachable(n)) return false;
    const auto& d = *Declared(n);
    switch (KindTraits(d.kind).press) {
        case PressAction::Tab: {
            const int index = TabIndex(n);
            if (Control(d.parent).choice == index) return true;
            Queue({event::TabChanging, d.parent, 0, 0});
            State(d.parent).choice = index;
            Changed(d.parent);
            Queue({event::NewSelection, d.parent, 0, 0});
            return true;
        }
        case PressAction::Toggle:
            if (Control(n).read_only) return false;
            MoveFocus(n);
            SetValue(n, Control(n).value == d.true_value ? d.false_value : d.true_value);
            UpdateOne(n);
            Queue({event::Accepted, n, 0, 0});
            return true;
        case PressAction::Choose:
            if (Control(d.parent).read_only) return false;
            MoveFocus(n);
            SetValue(d.parent, d.radio_value);
            UpdateOne(d.parent);
            Queue({event::Accepted, d.parent, 0, 0});
            return true;
        case PressAction::Accept:
            MoveFocus(n);
            UpdateOne(n);
            Queue({event::Accepted, n, 0, 0});
            return true;
        case PressAction::None:
            break;
    }
    return false;
}

bool Window::UserType(ControlNumber n, std::string_view text) {
    if (!IsReachable(n) || Control(n).read_only) return false;
    if (IsList(n) && Editing(n)) {
        State(n).edit_text = std::string(text);
        return true;
    }
    if (!KindTraits(Declared(n)->kind).typed) return false;
    MoveFocus(n);
    // Text that the variable cannot hold is refused here, where it was typed: the user is
    // told why, the control shows the variable's value again and keeps the focus.
    if (const auto refusal = Declared(n)->use.Refusal(text)) {
        Message(*refusal, "Invalid Input", StockIcon::Exclamation);
        DisplayOne(n);
        return true;
    }
    SetValue(n, std::string(text));
    UpdateOne(n);
    Queue({event::Accepted, n, 0, 0});
    return true;
}

bool Window::UserChange(ControlNumber n, std::string_view text) {
    if (!IsReachable(n) || Control(n).read_only) return false;
    if (!KindTraits(Declared(n)->kind).stepped) return false;
    MoveFocus(n);
    SetValue(n, std::string(text));
    UpdateOne(n);
    Queue({event::NewSelection, n, 0, 0});
    return true;
}

bool Window::UserSelectRow(ControlNumber n, int row) {
    if (!IsList(n) || !IsReachable(n) || row < 1 || row > RowCount(n)) return false;
    MoveFocus(n);
    if (Control(n).choice != row) {
        State(n).choice = row;
        Changed(n);
        Queue({event::NewSelection, n, 0, 0});
    }
    return true;
}

bool Window::UserKey(ControlNumber n, int keycode) {
    if (!IsReachable(n)) return false;
    MoveFocus(n);
    if (IsList(n) && Editing(n)) {
        // The keys that end or move the edit in place; the entry keeps every other key.
        static constexpr int kEditKeys[] = {key::Enter,  key::Tab, key::Shift + key::Tab,
                                            key::Escape, key::Up,  key::Down};
        if (std::find(std::begin(kEditKeys), std::end(kEditKeys), keycode) != std::end(kEditKeys))
            Queue({event::AlertKey, n, keycode, 0});
        return true;
    }
    if (Control(n).alerts.count(keycode)) {
        Queue({event::AlertKey, n, keycode, 0});
        return true;
    }
    if (!IsList(n)) {
        if (keycode == key::Enter) return UserPress(n);
        return true;  // nothing the program hears of
    }
    if (keycode == key::Enter) {
        Queue({event::Accepted, n, 0, 0});
        return true;
    }
    if (Declared(n)->immediate) {
        // The program scrolls the list itself.
        if (const EventCode code = ScrollEventOf(keycode)) Queue({code, n, keycode, 0});
        return true;
    }
    const int rows = RowCount(n);
    const auto moved = RowAfterKey(Control(n).choice, rows, keycode);
    if (!moved) return true;
    const int row = std::clamp(*moved, rows > 0 ? 1 : 0, rows);
    if (row != Control(n).choice) {
        State(n).choice = row;
        Changed(n);
        Queue({event::NewSelection, n, 0, 0});
    }
    return true;
}

bool Window::UserChar(ControlNumber n, char32_t c) {
    if (!IsReachable(n)) return false;
    if (Control(n).alerts.count(static_cast<int>(c))) {
        MoveFocus(n);
        Queue({event::AlertKey, n, static_cast<int>(c), c});
        return true;
    }
    if (!IsList(n)) return false;
    MoveFocus(n);
    Queue({event::Locate, n, static_cast<int>(c), c});
    return true;
}

bool Window::UserDoubleClick(ControlNumber n, int row) {
    if (!UserSelectRow(n, row)) return false;
    if (Control(n).alerts.count(key::MouseLeft2))
        Queue({event::AlertKey, n, key::MouseLeft2, 0});
    else
        Queue({event::Accepted, n, key::MouseLeft2, 0});
    return true;
}

bool Window::UserExpand(ControlNumber n, int row) {
    if (!UserSelectRow(n, row)) return false;
    Queue({event::Expanded, n, 0, 0});
    return true;
}

bool Window::UserContract(ControlNumber n, int row) {
    if (!UserSelectRow(n, row)) return false;
    Queue({event::Contracted, n, 0, 0});
    return true;
}

bool Window::UserThumb(ControlNumber n, int percent) {
    if (!IsList(n) || !IsReachable(n)) return false;
    MoveFocus(n);
    State(n).thumb = std::clamp(percent, 1, 100);
    Queue({event::ScrollDrag, n, 0, 0});
    return true;
}

void Window::UserCloseBox() {
    if (open_) Queue({event::CloseWindow, 0, 0, 0});
}

void Window::UserGeometry(const WindowGeometry& geometry, bool report) {
    const bool moved = geometry.x != geometry_.x || geometry.y != geometry_.y;
    const bool sized = geometry.width != geometry_.width || geometry.height != geometry_.height ||
                       geometry.maximised != geometry_.maximised ||
                       geometry.iconised != geometry_.iconised;
    geometry_ = geometry;
    if (!open_ || !report) return;
    auto pending = [this](EventCode code) {
        return std::any_of(queue_.begin(), queue_.end(),
                           [code](const QueuedEvent& e) { return e.code == code; });
    };
    if (moved && !pending(event::Moved)) Queue({event::Moved, 0, 0, 0});
    if (sized && !pending(event::Sized)) Queue({event::Sized, 0, 0, 0});
}

void Window::UserVisibleRows(ControlNumber n, int rows) {
    if (IsList(n) && rows > 0) State(n).visible_rows = rows;
}

}  // namespace zelt::runtime
