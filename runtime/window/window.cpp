#include "runtime/window/window.hpp"

#include <algorithm>

#include "runtime/values/clock_source.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

namespace {
WindowSystem& InstalledSystem() {
    WindowSystem* system = CurrentWindowSystem();
    // A window without a window system is a wiring fault of the program.
    if (!system) std::abort();
    return *system;
}

std::string CutToWidth(std::string_view text, int width) {
    if (width > 0 && text.size() > static_cast<std::size_t>(width))
        text = text.substr(0, static_cast<std::size_t>(width));
    return std::string(text);
}
}  // namespace

Window::Window(WindowDeclaration declaration) : Window(InstalledSystem(), std::move(declaration)) {}

Window::Window(WindowSystem& system, WindowDeclaration declaration)
    : system_(system), declaration_(std::move(declaration)), title_(declaration_.attributes.title) {
    controls_.resize(static_cast<std::size_t>(declaration_.ControlCount()));
    for (ControlNumber n = 1; n <= declaration_.ControlCount(); ++n) {
        const auto& d = *declaration_.Control(n);
        auto& s = controls_[static_cast<std::size_t>(n - 1)];
        s.text = d.text;
        s.tip = d.tip;
        s.hidden = d.hidden;
        s.disabled = d.disabled;
        s.read_only = d.read_only;
        if (d.kind == ControlKind::Check) s.value = d.false_value;
        if (d.kind == ControlKind::Sheet && !declaration_.Children(n).empty()) s.choice = 1;
    }
    timer_ = declaration_.attributes.timer;
}

Window::~Window() {
    if (open_) CloseInternal();
}

bool Window::Open() {
    if (open_ || system_.IsHalted()) return false;
    open_ = true;
    queue_.clear();
    delivered_ = false;
    Display();
    focus_ = FirstFocusable();
    system_.WindowOpening(*this);  // the covered window loses the focus
    system_.Backend().WindowOpened(*this);
    StartTimer();
    Queue({event::OpenWindow, 0, 0, 0});
    Queue({event::GainFocus, 0, 0, 0});
    return true;
}

void Window::Close() {
    if (open_) CloseInternal();
}

void Window::CloseInternal() {
    open_ = false;
    queue_.clear();
    delivered_ = false;
    system_.Backend().WindowClosed(*this);
    system_.WindowClosing(*this);  // the window now on top gains the focus
}

void Window::SetTitle(std::string title) {
    title_ = std::move(title);
    if (open_) system_.Backend().ControlChanged(*this, 0);
}

void Window::SetGeometry(const WindowGeometry& geometry) {
    geometry_ = geometry;
    if (open_) system_.Backend().ControlChanged(*this, 0);
}

void Window::SetVisible(bool visible) {
    visible_ = visible;
    if (open_) system_.Backend().ControlChanged(*this, 0);
}

// ---- Accept loop ---------------------------------------------------------------------

void Window::DefaultHandling() {
    if (cycled_) return;
    if (current_.code == event::CloseWindow || current_.code == event::CloseDown) Close();
}

bool Window::Accept() {
    if (delivered_) {
        delivered_ = false;
        // The next timer event counts from the end of this one's work, so that a handler
        // that works longer than the interval still lets the user's input in between.
        if (current_.code == event::Timer) StartTimer();
        DefaultHandling();
    }
    for (;;) {
        if (!open_) return false;
        if (system_.IsHalted()) {
            CloseInternal();
            return false;
        }
        if (!queue_.empty()) {
            current_ = queue_.front();
            queue_.pop_front();
            break;
        }
        const std::int64_t now = CurrentClockSource().MonotonicMs();
        if (timer_ > 0 && now >= timer_due_ms_) {
            current_ = {event::Timer, 0, 0, 0};
            timer_due_ms_ = now + static_cast<std::int64_t>(timer_) * 10;
            break;
        }
        std::optional<std::int64_t> deadline;
        if (timer_ > 0) deadline = timer_due_ms_;
        system_.Backend().WaitForInput(*this, deadline);
    }
    delivered_ = true;
    cycled_ = false;
    if (current_.keycode != 0) system_.SetLastKeycode(current_.keycode);
    return true;
}

bool Window::Poll() {
    if (!open_ || system_.IsHalted()) return false;
    if (queue_.empty()) system_.Backend().PollInput(*this);
    return open_ && !queue_.empty();
}

void Window::SetColumnWidths(ControlNumber n, std::vector<int> widths) {
    if (!IsList(n)) return;
    State(n).column_widths = std::move(widths);
    Changed(n);
}

void Window::UserColumnWidths(ControlNumber n, std::vector<int> widths) {
    if (IsList(n)) State(n).column_widths = std::move(widths);
}

void Window::WaitFor(int descriptor, std::int64_t deadline_ms) {
    if (!open_ || system_.IsHalted() || !queue_.empty()) return;
    system_.Backend().WaitForInputOrDescriptor(*this, descriptor, deadline_ms);
}

bool Window::Post(EventCode code, ControlNumber field, int keycode) {
    if (!open_) return false;
    if (IsFieldEvent(code) || code == event::Selected) {
        if (field < 1 || field > ControlCount()) return false;
    } else {
        field = 0;
    }
    Queue({code, field, keycode, 0});
    return true;
}

void Window::Queue(QueuedEvent e) {
    queue_.push_back(e);
    system_.Backend().EventQueued(*this);
}

void Window::SetTimer(int hundredths) {
    timer_ = std::max(0, hundredths);
    StartTimer();
}

void Window::StartTimer() {
    timer_due_ms_ = CurrentClockSource().MonotonicMs() + static_cast<std::int64_t>(timer_) * 10;
}

// ---- Controls ------------------------------------------------------------------------

const ControlState& Window::Control(ControlNumber n) const {
    if (n < 1 || n > ControlCount()) return none_;
    return controls_[static_cast<std::size_t>(n - 1)];
}

ControlState& Window::State(ControlNumber n) {
    return controls_[static_cast<std::size_t>(n - 1)];
}

void Window::Changed(ControlNumber n) {
    if (open_) system_.Backend().ControlChanged(*this, n);
}

void Window::SetText(ControlNumber n, std::string text) {
    if (n < 1 || n > ControlCount()) return;
    State(n).text = std::move(text);
    Changed(n);
}

void Window::SetValue(ControlNumber n, std::string value) {
    const auto* d = Declared(n);
    if (!d) return;
    State(n).value = CutToWidth(value, d->width);
    if (d->kind == ControlKind::Option) {
        const auto radios = declaration_.Children(n);
        State(n).choice = 0;
        for (std::size_t i = 0; i < radios.size(); ++i) {
            if (declaration_.Control(radios[i])->radio_value == State(n).value)
                State(n).choice = static_cast<int>(i + 1);
        }
    }
    Changed(n);
}

void Window::SetTip(ControlNumber n, std::string tip) {
    if (n < 1 || n > ControlCount()) return;
    State(n).tip = std::move(tip);
    Changed(n);
}

void Window::Hide(ControlNumber n, bool hidden) {
    if (n < 1 || n > ControlCount()) return;
    State(n).hidden = hidden;
    Changed(n);
}

void Window::Enable(ControlNumber n, bool enabled) {
    if (n < 1 || n > ControlCount()) return;
    State(n).disabled = !enabled;
    Changed(n);
}

void Window::SetReadOnly(ControlNumber n, bool read_only) {
    if (n < 1 || n > ControlCount()) return;
    State(n).read_only = read_only;
    Changed(n);
}

int Window::TabIndex(ControlNumber tab) const {
    const auto* d = Declared(tab);
    if (!d) return 0;
    const auto tabs = declaration_.Children(d->parent);
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        if (tabs[i] == tab) return static_cast<int>(i + 1);
    }
    return 0;
}

ControlNumber Window::TabOfIndex(ControlNumber sheet, int index) const {
    const auto tabs = declaration_.Children(sheet);
    if (index < 1 || index > static_cast<int>(tabs.size())) return 0;
    return tabs[static_cast<std::size_t>(index - 1)];
}

bool Window::IsReachable(ControlNumber n) const {
    if (!open_ || n < 1 || n > ControlCount()) return false;
    for (ControlNumber c = n; c != 0; c = Declared(c)->parent) {
        const auto& s = Control(c);
        if (s.hidden || s.disabled) return false;
        const auto* d = Declared(c);
        if (d->kind == ControlKind::Tab && Control(d->parent).choice != TabIndex(c)) {
            // A tab itself can be clicked while another page is in front.
            if (c != n) return false;
        }
    }
    return true;
}

bool Window::IsList(ControlNumber n) const {
    const auto* d = Declared(n);
    return d && (d->kind == ControlKind::List || d->kind == ControlKind::Tree);
}

void Window::DisplayOne(ControlNumber n) {
    const auto& d = *Declared(n);
    auto& s = State(n);
    if (IsList(n)) {
        ++s.list_revision;
        const int rows = RowCount(n);
        if (s.choice > rows) s.choice = rows;
        if (s.choice == 0 && rows > 0) s.choice = 1;
        Changed(n);
        return;
    }
    if (!d.use) return;
    std::string value = d.use.Read();
    if (!d.picture.empty()) value = FormatByPicture(value, d.picture);
    SetValue(n, std::move(value));
}

void Window::Display(ControlNumber n) {
    if (n != 0) {
        if (Declared(n)) DisplayOne(n);
        return;
    }
    for (ControlNumber c = 1; c <= ControlCount(); ++c) DisplayOne(c);
}

void Window::UpdateOne(ControlNumber n) {
    const auto& d = *Declared(n);
    if (!d.use || !d.use.Writable()) return;
    switch (d.kind) {
        case ControlKind::Entry:
        case ControlKind::Text:
        case ControlKind::Spin:
        case ControlKind::Check:
        case ControlKind::Option:
            break;
        default:
            return;
    }
    if (Control(n).read_only && d.kind != ControlKind::Check && d.kind != ControlKind::Option)
        return;
    const std::string& value = Control(n).value;
    if (d.picture.empty()) {
        d.use.Write(value);
    } else if (const auto stored = ParseByPicture(value, d.picture)) {
        d.use.Write(*stored);
    }
}

void Window::Update(ControlNumber n) {
    if (n != 0) {
        if (Declared(n)) UpdateOne(n);
        return;
    }
    for (ControlNumber c = 1; c <= ControlCount(); ++c) UpdateOne(c);
}

void Window::AcceptAll() {
    Update();
    Post(event::Completed);
}

void Window::BringTabForward(ControlNumber n) {
    for (ControlNumber c = n; c != 0; c = Declared(c)->parent) {
        const auto* d = Declared(c);
        // A tab declared outside a sheet has no page to bring forward.
        if (d->kind == ControlKind::Tab && d->parent != 0) {
            const int index = TabIndex(c);
            if (Control(d->parent).choice != index) {
                // As when the user clicks the tab: the program hears of the new page.
                if (open_) Queue({event::TabChanging, d->parent, 0, 0});
                State(d->parent).choice = index;
                Changed(d->parent);
                if (open_) Queue({event::NewSelection, d->parent, 0, 0});
            }
        }
    }
}

bool Window::Focusable(ControlNumber n) const {
    const auto* d = Declared(n);
    if (!d) return false;
    switch (d->kind) {
        case ControlKind::Prompt:
        case ControlKind::String:
        case ControlKind::Group:
        case ControlKind::Image:
        case ControlKind::Progress:
        case ControlKind::Region:
        case ControlKind::Tab:
            return false;
        default:
            break;
    }
    return IsReachable(n);
}

ControlNumber Window::FirstFocusable() const {
    for (ControlNumber n = 1; n <= ControlCount(); ++n) {
        const auto kind = Declared(n)->kind;
        if (kind != ControlKind::Sheet && kind != ControlKind::Option && Focusable(n)) return n;
    }
    return 0;
}

void Window::MoveFocus(ControlNumber n) {
    if (n == focus_) return;
    focus_ = n;
    if (open_) {
        system_.Backend().FocusChanged(*this, n);
        Queue({event::Selected, n, 0, 0});
    }
}

void Window::Select(ControlNumber n, int position) {
    const auto* d = Declared(n);
    if (!d) return;
    BringTabForward(n);
    ControlNumber target = n;
    if (d->kind == ControlKind::Tab) {
        // Selecting a tab shows its page; the focus goes to the sheet.
        target = d->parent;
    } else if ((d->kind == ControlKind::Group || d->kind == ControlKind::Option) && position > 0) {
        const auto children = declaration_.Children(n);
        if (position <= static_cast<int>(children.size()))
            target = children[static_cast<std::size_t>(position - 1)];
        if (d->kind == ControlKind::Option) SetValue(n, Declared(target)->radio_value);
    } else if (IsList(n) && position > 0) {
        SetChoice(n, position);
    }
    MoveFocus(target);
}

void Window::SetChoice(ControlNumber n, int choice) {
    const auto* d = Declared(n);
    if (!d) return;
    if (d->kind == ControlKind::Sheet) {
        if (!TabOfIndex(n, choice)) return;
    } else if (d->kind == ControlKind::Option) {
        const auto radios = declaration_.Children(n);
        if (choice < 1 || choice > static_cast<int>(radios.size())) return;
        SetValue(n, Declared(radios[static_cast<std::size_t>(choice - 1)])->radio_value);
        return;
    } else if (IsList(n)) {
        choice = std::clamp(choice, 0, RowCount(n));
    }
    State(n).choice = choice;
    Changed(n);
}

void Window::SetListSource(ControlNumber n, const ListSource* rows) {
    if (!IsList(n)) return;
    State(n).rows = rows;
    DisplayOne(n);
}

void Window::RowsChanged(ControlNumber n) {
    if (IsList(n)) DisplayOne(n);
}

int Window::RowCount(ControlNumber n) const {
    const auto* rows = Control(n).rows;
    return rows ? rows->RowCount() : 0;
}

void Window::Alert(ControlNumber n, int keycode) {
    if (n >= 1 && n <= ControlCount()) State(n).alerts.insert(keycode);
}

void Window::RemoveAlert(ControlNumber n, int keycode) {
    if (n >= 1 && n <= ControlCount()) State(n).alerts.erase(keycode);
}

std::string Window::CellText(ControlNumber n, int row, int column) const {
    const auto* d = Declared(n);
    const auto* rows = Control(n).rows;
    if (!d || !rows) return {};
    std::string text = rows->Cell(row, column).text;
    if (column >= 1 && column <= static_cast<int>(d->format.columns.size())) {
        const auto& picture = d->format.columns[static_cast<std::size_t>(column - 1)].picture;
        if (!picture.empty()) text = FormatByPicture(text, picture);
    }
    return text;
}

int Window::VisibleRows(ControlNumber n) const {
    if (!IsList(n)) return 0;
    if (Control(n).visible_rows > 0) return Control(n).visible_rows;
    const int declared = Declared(n)->hint.height;
    return declared > 0 ? declared : 10;
}

void Window::SetThumb(ControlNumber n, int percent) {
    if (!IsList(n)) return;
    State(n).thumb = std::clamp(percent, 1, 100);
    Changed(n);
}

void Window::EditCell(ControlNumber n, int row, int column, std::string text) {
    if (!IsList(n) || row < 1 || column < 1) return;
    ControlState& s = State(n);
    s.edit_row = row;
    s.edit_column = column;
    s.edit_text = std::move(text);
    Changed(n);
}

void Window::EndEdit(ControlNumber n) {
    if (!IsList(n) || Control(n).edit_row == 0) return;
    ControlState& s = State(n);
    s.edit_row = s.edit_column = 0;
    s.edit_text.clear();
    Changed(n);
}

// ---- What the user does --------------------------------------------------------------

bool Window::UserFocus(ControlNumber n) {
    if (!Focusable(n)) return false;
    MoveFocus(n);
    return true;
}

bool Window::UserPress(ControlNumber n) {
    if (!IsReachable(n)) return false;
    const auto& d = *Declared(n);
    switch (d.kind) {
        case ControlKind::Tab: {
            const int index = TabIndex(n);
            if (Control(d.parent).choice == index) return true;
            Queue({event::TabChanging, d.parent, 0, 0});
            State(d.parent).choice = index;
            Changed(d.parent);
            Queue({event::NewSelection, d.parent, 0, 0});
            return true;
        }
        case ControlKind::Check: {
            if (Control(n).read_only) return false;
            MoveFocus(n);
            SetValue(n, Control(n).value == d.true_value ? d.false_value : d.true_value);
            UpdateOne(n);
            Queue({event::Accepted, n, 0, 0});
            return true;
        }
        case ControlKind::Radio: {
            if (Control(d.parent).read_only) return false;
            MoveFocus(n);
            SetValue(d.parent, d.radio_value);
            UpdateOne(d.parent);
            Queue({event::Accepted, d.parent, 0, 0});
            return true;
        }
        case ControlKind::Button:
        case ControlKind::List:
        case ControlKind::Tree:
        case ControlKind::Entry:
        case ControlKind::Spin:
        case ControlKind::Text:
            MoveFocus(n);
            UpdateOne(n);
            Queue({event::Accepted, n, 0, 0});
            return true;
        default:
            return false;
    }
}

bool Window::UserType(ControlNumber n, std::string_view text) {
    if (!IsReachable(n) || Control(n).read_only) return false;
    if (IsList(n) && Editing(n)) {
        State(n).edit_text = std::string(text);
        return true;
    }
    const auto kind = Declared(n)->kind;
    if (kind != ControlKind::Entry && kind != ControlKind::Text && kind != ControlKind::Spin)
        return false;
    MoveFocus(n);
    SetValue(n, std::string(text));
    UpdateOne(n);
    Queue({event::Accepted, n, 0, 0});
    return true;
}

bool Window::UserChange(ControlNumber n, std::string_view text) {
    if (!IsReachable(n) || Control(n).read_only) return false;
    if (Declared(n)->kind != ControlKind::Spin) return false;
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
        EventCode code = 0;
        switch (keycode) {
            case key::Up:
                code = event::ScrollUp;
                break;
            case key::Down:
                code = event::ScrollDown;
                break;
            case key::PageUp:
                code = event::PageUp;
                break;
            case key::PageDown:
                code = event::PageDown;
                break;
            case key::Home:
            case key::CtrlHome:
                code = event::ScrollTop;
                break;
            case key::End:
            case key::CtrlEnd:
                code = event::ScrollBottom;
                break;
            default:
                break;
        }
        if (code) Queue({code, n, keycode, 0});
        return true;
    }
    const int rows = RowCount(n);
    int row = Control(n).choice;
    switch (keycode) {
        case key::Up:
            row -= 1;
            break;
        case key::Down:
            row += 1;
            break;
        case key::PageUp:
            row -= 10;
            break;
        case key::PageDown:
            row += 10;
            break;
        case key::Home:
        case key::CtrlHome:
            row = 1;
            break;
        case key::End:
        case key::CtrlEnd:
            row = rows;
            break;
        default:
            return true;
    }
    row = std::clamp(row, rows > 0 ? 1 : 0, rows);
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
