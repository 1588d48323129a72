#include "runtime/window/window.hpp"

#include <algorithm>

#include "runtime/values/clock_source.hpp"
#include "runtime/window/accelerators.hpp"
#include "runtime/window/control_kinds.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

namespace {
WindowSystem& InstalledSystem() {
    WindowSystem* system = CurrentWindowSystem();
    // A window without a window system is a wiring fault of the program.
    if (!system) std::abort();
    return *system;
}

// A control's value is UTF-8 and its width counts characters: a cut never splits one.
std::string CutToWidth(std::string_view text, int width) {
    if (width <= 0) return std::string(text);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continues = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continues && ++characters > static_cast<std::size_t>(width))
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}
}  // namespace

Window::Window(WindowDeclaration declaration) : Window(InstalledSystem(), std::move(declaration)) {}

Window::Window(WindowSystem& system, WindowDeclaration declaration)
    : system_(system), declaration_(std::move(declaration)), title_(declaration_.attributes.title) {
    UniqueAccelerators(declaration_);  // each Alt key reaches one control
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

void Window::SetChart(ControlNumber n, ChartData data) {
    if (n < 1 || n > ControlCount()) return;
    State(n).chart = std::make_shared<const ChartData>(std::move(data));
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
    return d && KindTraits(d->kind).list;
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
    const auto& traits = KindTraits(d.kind);
    if (!d.use || !d.use.Writable() || !traits.stores) return;
    if (Control(n).read_only && !traits.stores_read_only) return;
    const std::string& value = Control(n).value;
    if (d.picture.empty()) {
        d.use.Write(value);
        return;
    }
    // A value still showing what the field holds was not edited: the field keeps what the
    // picture does not show (a time's seconds, say) exactly as it was.
    if (value == FormatByPicture(d.use.Read(), d.picture)) return;
    if (const auto stored = ParseByPicture(value, d.picture)) d.use.Write(*stored);
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
    return d && KindTraits(d->kind).focusable && IsReachable(n);
}

ControlNumber Window::FirstFocusable() const {
    for (ControlNumber n = 1; n <= ControlCount(); ++n) {
        if (KindTraits(Declared(n)->kind).first_focus && Focusable(n)) return n;
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

}  // namespace zelt::runtime
