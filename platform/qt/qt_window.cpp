#include "platform/qt/qt_window.hpp"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/qt/qt_control_kinds.hpp"
#include "platform/qt/qt_icons.hpp"
#include "platform/qt/qt_key_codes.hpp"
#include "platform/qt/qt_list_control.hpp"
#include "runtime/values/flag_scope.hpp"
#include "runtime/window/popup_menu.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::platform {

using runtime::ControlKind;
using runtime::ControlNumber;

namespace {
const QtKindAdapter& KindOf(const runtime::Window& window, ControlNumber n) {
    return QtKind(window.Declared(n)->kind);
}

// Whether control `n` is `container` or lies inside it.
bool IsWithin(const runtime::WindowDeclaration& decl, ControlNumber n, ControlNumber container) {
    for (ControlNumber c = n; c != 0; c = decl.Control(c)->parent)
        if (c == container) return true;
    return false;
}

// Whether the control's text is `text` (its accelerator aside).
bool Says(const runtime::ControlDeclaration& d, std::string_view text) {
    return runtime::StripAccelerator(d.text) == text;
}
}  // namespace

QtTopWidget::QtTopWidget(std::function<void()> on_close_box)
    : on_close_box_(std::move(on_close_box)) {}

void QtTopWidget::closeEvent(QCloseEvent* event) {
    // The program decides: the close box becomes a close-window event.
    event->ignore();
    if (on_close_box_) on_close_box_();
}

QtWindow::QtWindow(runtime::Window& window, QWidget* parent)
    : window_(window), parent_(parent), program_placed_(window.Geometry().width > 0) {
    Build();
}

QtWindow::~QtWindow() {
    // No event of the widgets' destruction may reach the model.
    dying_ = true;
    // A dialog still open over this window outlives it, as a window of its own.
    if (top_) {
        for (QObject* child : top_->children()) {
            auto* dialog = dynamic_cast<QtTopWidget*>(child);
            if (!dialog || !dialog->isWindow()) continue;
            const bool shown = dialog->isVisible();
            dialog->setParent(nullptr, Qt::Window);
            if (shown) dialog->show();
        }
    }
    delete top_.data();
}

QWidget* QtWindow::Widget(ControlNumber n) const {
    if (n < 1 || n > static_cast<int>(widgets_.size())) return nullptr;
    return widgets_[static_cast<std::size_t>(n - 1)];
}

QtListControl* QtWindow::List(ControlNumber n) const {
    auto it = lists_.find(n);
    return it == lists_.end() ? nullptr : it->second.get();
}

QWidget* QtWindow::AddList(ControlNumber n) {
    auto list = std::make_unique<QtListControl>(*this, n);
    QWidget* w = list->Widget();
    lists_[n] = std::move(list);
    return w;
}

void QtWindow::Build() {
    top_ = new QtTopWidget([this] { window_.UserCloseBox(); });
    // A dialog of the window it was opened over: the window manager keeps it in front of it.
    if (parent_) {
        top_->setParent(parent_, Qt::Dialog);
        top_->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    top_->setObjectName(QStringLiteral("window"));
    const auto& attributes = window_.Declaration().attributes;
    if (attributes.modal) top_->setWindowModality(Qt::ApplicationModal);
    const std::string& icon =
        attributes.icon.empty() ? window_.System().DefaultIcon() : attributes.icon;
    if (!icon.empty()) top_->setWindowIcon(IconByName(icon));
    widgets_.assign(static_cast<std::size_t>(window_.ControlCount()), nullptr);
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n)
        widgets_[static_cast<std::size_t>(n - 1)] = Make(n);
    top_->installEventFilter(this);
    auto* layout = new QVBoxLayout(top_);
    LayOut(0, layout);
    // Any other prompt's accelerator moves the focus to the next control that takes it.
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
        if (KindOf(window_, n).placement != QtPlacement::Prompt ||
            static_cast<QLabel*>(Widget(n))->buddy())
            continue;
        for (ControlNumber m = n + 1; m <= window_.ControlCount(); ++m) {
            if (!KindOf(window_, m).prompt_target) continue;
            static_cast<QLabel*>(Widget(n))->setBuddy(Widget(m));
            break;
        }
    }
    AddStatusLine(layout);
    title_room_ = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    layout->addItem(title_room_);
    if (!attributes.resizable) layout->setSizeConstraint(QLayout::SetFixedSize);
    ChainFocus();
    SyncAll();
}

// A status line when any control has status text: it shows the text of the control with the
// focus, or of the one under the mouse.
void QtWindow::AddStatusLine(QBoxLayout* layout) {
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
        if (!window_.Declared(n)->status.empty()) {
            status_ = new QStatusBar;
            status_->setSizeGripEnabled(window_.Declaration().attributes.resizable);
            layout->addWidget(status_);
            return;
        }
    }
}

// Tab moves through the controls in the order they are declared.
void QtWindow::ChainFocus() {
    QWidget* previous = nullptr;
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
        QWidget* w = Widget(n);
        if (const QtListControl* list = List(n)) w = list->View();
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) w = tabs->tabBar();
        if (!w || w->focusPolicy() == Qt::NoFocus || qobject_cast<QGroupBox*>(w)) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

QWidget* QtWindow::Make(ControlNumber n) {
    const auto& d = *window_.Declared(n);
    const QtKindAdapter& kind = QtKind(d.kind);
    QWidget* w = kind.make(*this, n);
    if (kind.named) w->setObjectName(QString::fromStdString(d.name));
    if (kind.watched) Watch(w, n);
    return w;
}

void QtWindow::Watch(QObject* object, ControlNumber n) {
    owners_[object] = n;
    object->installEventFilter(this);
}

// Controls are laid out in declaration order: a prompt with the entry after it forms a row
// of a form, consecutive buttons a row of their own, lists take the spare room.
void QtWindow::LayOut(ControlNumber parent, QBoxLayout* layout) {
    const auto& decl = window_.Declaration();
    const auto children = decl.Children(parent);
    for (ControlNumber n : children) {
        if (decl.Control(n)->place.row >= 0) return LayOutGrid(parent, layout);
    }
    QFormLayout* form = nullptr;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlNumber n = children[i];
        const auto& d = *decl.Control(n);
        const QtKindAdapter& kind = QtKind(d.kind);
        QWidget* w = Widget(n);
        if (kind.placement == QtPlacement::Page) continue;  // placed by its sheet
        // A prompt and its input make a row of a form, whichever comes first; a short
        // button right after the input (a "..." lookup) joins the row.
        auto kind_at = [&](std::size_t k) -> const QtKindAdapter& {
            return QtKind(k < children.size() ? decl.Control(children[k])->kind
                                              : ControlKind::Region);
        };
        auto prompt_at = [&](std::size_t k) { return kind_at(k).placement == QtPlacement::Prompt; };
        const bool prompt_first =
            kind.placement == QtPlacement::Prompt && kind_at(i + 1).form_input;
        const bool input_first = kind.form_input && prompt_at(i + 1) &&
                                 !kind_at(i + 2).form_input && (i == 0 || !prompt_at(i - 1));
        if (prompt_first || input_first) {
            if (!form) {
                form = new QFormLayout;
                layout->addLayout(form);
            }
            QWidget* label = Widget(children[prompt_first ? i : i + 1]);
            QWidget* input = Widget(children[prompt_first ? i + 1 : i]);
            static_cast<QLabel*>(label)->setBuddy(input);  // the prompt leads to what it labels
            i += 1;
            QWidget* lookup = nullptr;
            if (kind_at(i + 1).placement == QtPlacement::Button &&
                runtime::StripAccelerator(decl.Control(children[i + 1])->text)
                        .find_first_not_of(" .") == std::string::npos) {
                lookup = Widget(children[i + 1]);
                lookup->setMaximumWidth(
                    lookup->fontMetrics().horizontalAdvance(QStringLiteral(" ... ")) * 2);
                i += 1;
            }
            if (lookup) {
                auto* row = new QHBoxLayout;
                row->addWidget(input, 1);
                row->addWidget(lookup);
                form->addRow(label, row);
            } else {
                form->addRow(label, input);
            }
            continue;
        }
        form = nullptr;
        switch (kind.placement) {
            case QtPlacement::Button: {
                auto* row = new QHBoxLayout;
                row->addStretch(1);
                while (i < children.size() && kind_at(i).placement == QtPlacement::Button) {
                    row->addWidget(Widget(children[i]));
                    ++i;
                }
                --i;
                layout->addLayout(row);
                break;
            }
            case QtPlacement::Sheet: {
                auto* tabs = static_cast<QTabWidget*>(w);
                if (!FillSheet(n)) {
                    // Tabs without controls only choose (a sort order, say): the bar alone.
                    tabs->setDocumentMode(true);
                    tabs->setMaximumHeight(tabs->tabBar()->sizeHint().height());
                    layout->addWidget(tabs);
                } else {
                    layout->addWidget(tabs, 1);
                }
                break;
            }
            case QtPlacement::Container:
                LayOut(n, new QVBoxLayout(w));
                layout->addWidget(w);
                break;
            case QtPlacement::Grows:
                layout->addWidget(w, 1);
                break;
            default:
                layout->addWidget(w);
                break;
        }
    }
}

bool QtWindow::FillSheet(ControlNumber sheet) {
    const auto& decl = window_.Declaration();
    auto* tabs = static_cast<QTabWidget*>(Widget(sheet));
    bool filled = false;
    for (ControlNumber page : decl.Children(sheet)) {
        QWidget* pw = Widget(page);
        auto* pl = new QVBoxLayout(pw);
        LayOut(page, pl);
        // A page without a list keeps its controls together at the top.
        bool grows = false;
        for (ControlNumber c : decl.Children(page))
            grows = grows || QtKind(decl.Control(c)->kind).fills_page;
        if (!grows) pl->addStretch(1);
        tabs->addTab(pw, QString::fromStdString(decl.Control(page)->text));
        filled = filled || !decl.Children(page).empty();
    }
    return filled;
}

// A container whose controls have places: each control in its cell, containers filled.
void QtWindow::LayOutGrid(ControlNumber parent, QBoxLayout* layout) {
    const auto& decl = window_.Declaration();
    auto* grid = new QGridLayout;
    int next_row = 0;
    for (ControlNumber n : decl.Children(parent)) {
        const auto& d = *decl.Control(n);
        const QtPlacement placement = QtKind(d.kind).placement;
        if (placement == QtPlacement::Page) continue;
        QWidget* w = Widget(n);
        // The cells of a grid keep their room while their controls are hidden (a progress bar
        // shown during work, buttons hidden on one tab), so that nothing else moves.
        for (ControlNumber c = n; c <= window_.ControlCount(); ++c) {
            if (c != n && !IsWithin(decl, c, n)) break;
            if (QtKind(decl.Control(c)->kind).placement == QtPlacement::Page) continue;
            QSizePolicy policy = Widget(c)->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            Widget(c)->setSizePolicy(policy);
        }
        if (placement == QtPlacement::Sheet) {
            FillSheet(n);
        } else if (placement == QtPlacement::Container) {
            LayOut(n, new QVBoxLayout(w));
        }
        runtime::GridPlace place = d.place;
        if (place.row < 0) place = {next_row, 0, 1, 1};  // a control without a place: a row below
        next_row = std::max(next_row, place.row + place.rows);
        grid->addWidget(w, place.row, place.column, place.rows, place.columns);
    }
    if (const runtime::GridStretch* stretch = decl.StretchOf(parent)) {
        for (int r : stretch->rows) grid->setRowStretch(r, 1);
        for (int c : stretch->columns) grid->setColumnStretch(c, 1);
    }
    layout->addLayout(grid, 1);
}

void QtWindow::Show() {
    {
        const runtime::FlagScope syncing(syncing_);
        shown_ = true;
        FitTitle();
        Place();
        if (program_placed_) ApplyGeometry();
        const auto& attributes = window_.Declaration().attributes;
        if (!window_.IsVisible()) {
            // Kept out of sight until the program shows it.
        } else if (attributes.maximised || window_.Geometry().maximised) {
            top_->showMaximized();
        } else {
            top_->show();
            // A platform that places windows as they show is overruled.
            Place();
            if (program_placed_) ApplyGeometry();
        }
        NoteGeometry(false);
    }
    if (QWidget* w = Widget(window_.Focus())) w->setFocus(Qt::OtherFocusReason);
}

void QtWindow::Place() {
    if (program_placed_) return;
    const QScreen* screen = parent_ ? parent_->screen() : top_->screen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    // The frame the window manager adds: a title bar above, a border around.
    const int title = top_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, top_) + 8;
    const int border = 4;
    QSize size = top_->sizeHint().expandedTo(top_->minimumSizeHint());
    size = size.boundedTo(QSize(room.width() - 2 * border, room.height() - title - border));
    top_->resize(size);
    if (!parent_) return;  // the first window goes where the window manager puts it
    const QRect over = parent_->frameGeometry();
    QRect r(QPoint(0, 0), size);
    r.moveCenter(over.center());
    r.moveLeft(std::clamp(r.left(), room.left() + border, room.right() - border - r.width()));
    r.moveTop(std::clamp(r.top(), room.top() + title, room.bottom() - border - r.height()));
    top_->move(r.topLeft());
}

void QtWindow::FitTitle() {
    // The title bar's font is bold on most desktops; its buttons and icon need room too.
    QFont font = top_->font();
    font.setBold(true);
    const int buttons = 5 * top_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, top_);
    const int width =
        QFontMetrics(font).horizontalAdvance(QString::fromStdString(window_.Title())) + buttons;
    if (title_room_->sizeHint().width() == width) return;
    title_room_->changeSize(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    top_->layout()->invalidate();
}

bool QtWindow::Escape() {
    // The first of the buttons that cancel: Cancel, then (in a dialog) Close.
    for (std::string_view text : {"Cancel", "Close"}) {
        if (text == "Close" && !parent_) break;
        for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
            const auto& d = *window_.Declared(n);
            if (d.kind == ControlKind::Button && Says(d, text) && window_.IsReachable(n))
                return window_.UserPress(n);
        }
    }
    if (!parent_) return false;  // the main window stays
    window_.UserCloseBox();
    return true;
}

void QtWindow::RestoreFocus(ControlNumber enabled) {
    const ControlNumber focus = window_.Focus();
    if (focus == 0 || !IsWithin(window_.Declaration(), focus, enabled)) return;
    QWidget* w = Widget(focus);
    if (const QtListControl* list = List(focus)) w = list->View();
    if (w && w->isEnabled() && w->isVisibleTo(top_) && !w->hasFocus())
        w->setFocus(Qt::OtherFocusReason);
}

void QtWindow::ApplyGeometry() {
    const auto& g = window_.Geometry();
    if (g.width > 0 && g.height > 0 && !g.maximised) {
        QRect wanted(g.x, g.y, g.width, g.height);
        // A place kept from a larger screen is brought back onto this one.
        if (const QScreen* screen = top_->screen()) {
            const QRect room = screen->availableGeometry();
            wanted.setSize(wanted.size().boundedTo(room.size()));
            wanted.moveLeft(std::clamp(wanted.left(), room.left(), room.right() - wanted.width()));
            wanted.moveTop(std::clamp(wanted.top(), room.top(), room.bottom() - wanted.height()));
        }
        if (top_->geometry() != wanted) top_->setGeometry(wanted);
    }
    if (g.maximised && top_->isVisible() && !top_->isMaximized()) top_->showMaximized();
}

void QtWindow::NoteGeometry(bool report) {
    runtime::WindowGeometry g;
    const QRect r = top_->geometry();
    g.x = r.x();
    g.y = r.y();
    g.width = r.width();
    g.height = r.height();
    g.maximised = top_->isMaximized();
    g.iconised = top_->isMinimized();
    window_.UserGeometry(g, report);
}

void QtWindow::SyncAll() {
    Sync(0);
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) Sync(n);
}

void QtWindow::SyncTop() {
    top_->setWindowTitle(QString::fromStdString(window_.Title()));
    FitTitle();
    if (!shown_) return;  // Show places and shows it first
    if (top_->isVisible() != window_.IsVisible()) {
        top_->setVisible(window_.IsVisible());
        if (window_.IsVisible()) NoteGeometry(false);
    }
    ApplyGeometry();
}

void QtWindow::Sync(ControlNumber n) {
    const runtime::FlagScope syncing(syncing_);
    if (n == 0) return SyncTop();
    const auto* d = window_.Declared(n);
    QWidget* w = Widget(n);
    if (!d || !w) return;
    const auto& s = window_.Control(n);
    const QtKindAdapter& kind = QtKind(d->kind);
    const bool was_usable = w->isEnabled() && !w->isHidden();
    if (kind.own_state) {
        w->setToolTip(QString::fromStdString(s.tip));
        w->setStatusTip(QString::fromStdString(d->status));
        w->setVisible(!s.hidden);
        w->setEnabled(!s.disabled);
    }
    if (kind.sync) kind.sync(*this, n, w, s);
    if (!was_usable && w->isEnabled() && !w->isHidden()) RestoreFocus(n);
}

void QtWindow::Focus(ControlNumber n) {
    QWidget* w = Widget(n);
    if (w && !syncing_) w->setFocus(Qt::OtherFocusReason);
}

ControlNumber QtWindow::ControlOf(QObject* object) const {
    auto it = owners_.find(object);
    return it == owners_.end() ? 0 : it->second;
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (dying_) return false;
    if (watched == top_) {
        const auto type = event->type();
        // Escape that no control took cancels the window, as its Cancel button would.
        if (type == QEvent::KeyPress && !syncing_ &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier)
            return Escape();
        if (type == QEvent::StatusTip && status_) {
            status_->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
            return true;
        }
        if (!syncing_ && top_->isVisible() &&
            (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowStateChange))
            NoteGeometry(true);
        return false;
    }
    const ControlNumber n = ControlOf(watched);
    if (n == 0) return false;
    if (QtListControl* list = List(n); list && watched == list->Viewport()) {
        if (event->type() == QEvent::Resize) {
            list->MeasureRows();  // whenever the list changes size
            return false;
        }
        return !syncing_ && list->ViewportEvent(event);
    }
    if (syncing_) return false;
    return ControlEvent(n, watched, event);
}

// An event of a control's widget while the user acts: keys, and the focus coming and going.
bool QtWindow::ControlEvent(ControlNumber n, QObject* watched, QEvent* event) {
    const QtKindAdapter& kind = KindOf(window_, n);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (kind.key) return kind.key(*this, n, key);
        const int code = KeyCodeOf(key);
        if (code != 0 && window_.Control(n).alerts.count(code)) {
            window_.UserKey(n, code);
            return true;
        }
        // Alt with a character is an accelerator (one without a control does nothing): it
        // never types the character into an entry.
        const bool alt =
            (key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier);
        return alt && !key->text().isEmpty() && key->text().front().isPrint();
    }
    if (event->type() == QEvent::FocusIn) {
        if (status_) status_->showMessage(QString::fromStdString(window_.Declared(n)->status));
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
            reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            window_.UserFocus(n);
        return false;
    }
    if (event->type() == QEvent::FocusOut && kind.focus_out) kind.focus_out(*this, n, watched);
    return false;
}

}  // namespace zelt::platform
