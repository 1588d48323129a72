#include "platform/qt/qt_window.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/qt/qt_cell_editor.hpp"
#include "platform/qt/qt_icons.hpp"
#include "platform/qt/qt_list_model.hpp"
#include "runtime/window/binding.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/popup_menu.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::platform {

using runtime::ControlKind;
using runtime::ControlNumber;

QtTopWidget::QtTopWidget(std::function<void()> on_close_box)
    : on_close_box_(std::move(on_close_box)) {}

void QtTopWidget::closeEvent(QCloseEvent* event) {
    // The program decides: the close box becomes a close-window event.
    event->ignore();
    if (on_close_box_) on_close_box_();
}

QtWindow::QtWindow(runtime::Window& window) : window_(window) {
    Build();
}

QtWindow::~QtWindow() {
    // No event of the widgets' destruction may reach the model.
    dying_ = true;
    delete top_;
}

QWidget* QtWindow::Widget(ControlNumber n) const {
    if (n < 1 || n > static_cast<int>(widgets_.size())) return nullptr;
    return widgets_[static_cast<std::size_t>(n - 1)];
}

namespace {
bool IsInput(ControlKind kind) {
    return kind == ControlKind::Entry || kind == ControlKind::Spin || kind == ControlKind::Text ||
           kind == ControlKind::String;
}

int CharWidth(const QWidget* w) {
    return w->fontMetrics().horizontalAdvance(QLatin1Char('x'));
}
}  // namespace

void QtWindow::Build() {
    top_ = new QtTopWidget([this] { window_.UserCloseBox(); });
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
        if (window_.Declared(n)->kind != ControlKind::Prompt ||
            static_cast<QLabel*>(Widget(n))->buddy())
            continue;
        for (ControlNumber m = n + 1; m <= window_.ControlCount(); ++m) {
            const auto kind = window_.Declared(m)->kind;
            if (kind == ControlKind::Prompt || kind == ControlKind::String ||
                kind == ControlKind::Group || kind == ControlKind::Image ||
                kind == ControlKind::Progress || kind == ControlKind::Region ||
                kind == ControlKind::Tab || kind == ControlKind::Option)
                continue;
            static_cast<QLabel*>(Widget(n))->setBuddy(Widget(m));
            break;
        }
    }
    // A status line when any control has status text: it shows the text of the control with
    // the focus, or of the one under the mouse.
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
        if (!window_.Declared(n)->status.empty()) {
            status_ = new QStatusBar;
            status_->setSizeGripEnabled(attributes.resizable);
            layout->addWidget(status_);
            break;
        }
    }
    if (!attributes.resizable) layout->setSizeConstraint(QLayout::SetFixedSize);
    ChainFocus();
    SyncAll();
}

// Tab moves through the controls in the order they are declared.
void QtWindow::ChainFocus() {
    QWidget* previous = nullptr;
    for (ControlNumber n = 1; n <= window_.ControlCount(); ++n) {
        QWidget* w = Widget(n);
        if (auto view = views_.find(n); view != views_.end()) w = view->second;
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) w = tabs->tabBar();
        if (!w || w->focusPolicy() == Qt::NoFocus || qobject_cast<QGroupBox*>(w)) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

QWidget* QtWindow::Make(ControlNumber n) {
    const auto& d = *window_.Declared(n);
    const QString text = QString::fromStdString(d.text);
    QWidget* w = nullptr;
    switch (d.kind) {
        case ControlKind::Sheet: {
            auto* tabs = new QTabWidget;
            connect(tabs, &QTabWidget::currentChanged, this, [this, n](int index) {
                if (syncing_) return;
                const auto pages = window_.Declaration().Children(n);
                if (index >= 0 && index < static_cast<int>(pages.size()))
                    window_.UserPress(pages[static_cast<std::size_t>(index)]);
                Sync(n);  // a tab the model refused goes back
            });
            w = tabs;
            break;
        }
        case ControlKind::Tab:
            w = new QWidget;
            break;
        case ControlKind::Group:
            w = new QGroupBox(text);
            break;
        case ControlKind::Option: {
            w = new QGroupBox(text);
            option_groups_[n] = new QButtonGroup(w);
            break;
        }
        case ControlKind::Radio: {
            auto* radio = new QRadioButton(text);
            if (auto it = option_groups_.find(d.parent); it != option_groups_.end())
                it->second->addButton(radio);
            connect(radio, &QRadioButton::clicked, this, [this, n] {
                if (!syncing_) window_.UserPress(n);
            });
            w = radio;
            break;
        }
        case ControlKind::Prompt:
            w = new QLabel(text);
            break;
        case ControlKind::String: {
            auto* label = new QLabel;
            label->setTextFormat(Qt::PlainText);
            if (d.width > 0) label->setMinimumWidth(CharWidth(label) * std::min(d.width, 40));
            w = label;
            break;
        }
        case ControlKind::Text: {
            auto* edit = new QPlainTextEdit;
            edit->installEventFilter(this);
            w = edit;
            break;
        }
        case ControlKind::Entry: {
            auto* edit = new QLineEdit;
            if (d.width > 0) {
                edit->setMaxLength(d.width);
                edit->setMinimumWidth(CharWidth(edit) * std::min(d.width, 40));
                // A short value (a number of a few digits) gets a short box.
                if (d.width <= 6) edit->setMaximumWidth(CharWidth(edit) * (d.width + 4));
            }
            connect(edit, &QLineEdit::editingFinished, this, [this, n, edit] {
                if (syncing_ || !edit->isModified()) return;
                edit->setModified(false);
                window_.UserType(n, edit->text().toStdString());
            });
            w = edit;
            break;
        }
        case ControlKind::Spin: {
            auto* spin = new QSpinBox;
            spin->setRange(d.low, d.high);
            spin->setSingleStep(d.step);
            connect(spin, &QSpinBox::valueChanged, this, [this, n](int value) {
                if (!syncing_) window_.UserChange(n, std::to_string(value));
            });
            w = spin;
            break;
        }
        case ControlKind::Check: {
            auto* check = new QCheckBox(text);
            connect(check, &QCheckBox::clicked, this, [this, n] {
                if (syncing_) return;
                window_.UserPress(n);
                Sync(n);
            });
            w = check;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(text);
            if (!d.icon.empty()) button->setIcon(IconByName(d.icon));
            button->setDefault(d.default_button);
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, n] {
                if (!syncing_) window_.UserPress(n);
            });
            w = button;
            break;
        }
        case ControlKind::List:
        case ControlKind::Tree:
            w = MakeList(n);
            break;
        case ControlKind::Image: {
            auto* label = new QLabel;
            label->setPixmap(IconByName(d.icon).pixmap(32, 32));
            w = label;
            break;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar;
            bar->setRange(d.low, d.high);
            w = bar;
            break;
        }
        case ControlKind::Region:
            w = new QWidget;
            break;
    }
    if (d.kind != ControlKind::List && d.kind != ControlKind::Tree) {
        w->setObjectName(QString::fromStdString(d.name));
        if (d.kind != ControlKind::Tab) Watch(w, n);
    }
    return w;
}

void QtWindow::Watch(QObject* object, ControlNumber n) {
    owners_[object] = n;
    object->installEventFilter(this);
}

QWidget* QtWindow::MakeList(ControlNumber n) {
    const auto& d = *window_.Declared(n);
    auto* view = new QTreeView;
    view->setObjectName(QString::fromStdString(d.name));
    auto* model = new QueueItemModel(window_, n, view);
    models_[n] = model;
    views_[n] = view;
    view->setModel(model);
    view->setItemDelegate(new ListColourDelegate(view));
    editors_[n] = new QtCellEditor(window_, n, view, model);
    Watch(view, n);
    viewports_[n] = view->viewport();
    Watch(view->viewport(), n);
    view->setUniformRowHeights(true);  // only the rows in sight are read
    view->setRootIsDecorated(d.kind == ControlKind::Tree);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setExpandsOnDoubleClick(false);
    view->setHeaderHidden(!d.format.headers || d.kind == ControlKind::Tree);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    const int cw = CharWidth(view);
    // Columns get their declared widths; the widest takes the room left over.
    int widest = 0;
    for (std::size_t c = 0; c < d.format.columns.size(); ++c) {
        // A single column takes the list's width (it would only scroll sideways otherwise).
        if (d.format.columns.size() == 1) break;
        view->setColumnWidth(static_cast<int>(c), std::max(2, d.format.columns[c].width) * cw + cw);
        if (d.format.columns[c].width > d.format.columns[static_cast<std::size_t>(widest)].width)
            widest = static_cast<int>(c);
    }
    if (d.format.columns.size() > 1) {
        view->header()->setStretchLastSection(false);
        view->header()->setSectionResizeMode(widest, QHeaderView::Stretch);
    }
    if (d.hint.width > 0) view->setMinimumWidth(d.hint.width * cw);
    if (d.hint.height > 0) view->setMinimumHeight(d.hint.height * view->fontMetrics().height());
    // Column widths the user drags are noted, so that the program can keep them.
    connect(view->header(), &QHeaderView::sectionResized, this, [this, n, view] {
        if (syncing_ || dying_) return;
        std::vector<int> widths;
        for (int c = 0; c < view->header()->count(); ++c)
            widths.push_back(view->header()->sectionSize(c));
        window_.UserColumnWidths(n, std::move(widths));
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, n, model](const QModelIndex& current) {
                if (syncing_) return;
                const int row = model->RowOf(current);
                if (row > 0 && row != window_.Choice(n)) window_.UserSelectRow(n, row);
            });
    connect(view, &QTreeView::doubleClicked, this, [this, n, model](const QModelIndex& index) {
        if (!syncing_) window_.UserDoubleClick(n, model->RowOf(index));
    });
    connect(view, &QTreeView::expanded, this, [this, n, model](const QModelIndex& index) {
        const int row = model->RowOf(index);
        if (!syncing_ && model->LevelOf(row) < 0) window_.UserExpand(n, row);
    });
    connect(view, &QTreeView::collapsed, this, [this, n, model](const QModelIndex& index) {
        const int row = model->RowOf(index);
        if (!syncing_ && model->LevelOf(row) > 0) window_.UserContract(n, row);
    });
    connect(view, &QTreeView::customContextMenuRequested, this,
            [this, n, model, view](const QPoint& at) {
                const int row = model->RowOf(view->indexAt(at));
                if (row > 0) window_.UserSelectRow(n, row);
                window_.UserKey(n, runtime::key::MouseRight);
            });
    if (!d.immediate) return view;

    // The program pages through the rows itself: the list shows only the rows it loaded,
    // and a scroll bar of its own stands for the position in the whole table.
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* frame = new QWidget;
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* bar = new QScrollBar(Qt::Vertical);
    bar->setObjectName(QString::fromStdString(d.name + ":thumb"));
    bar->setRange(1, 100);
    bar->setPageStep(10);
    thumbs_[n] = bar;
    row->addWidget(view, 1);
    row->addWidget(bar);
    frame->setFocusProxy(view);
    connect(bar, &QScrollBar::actionTriggered, this, [this, n, bar](int action) {
        if (syncing_) return;
        int code = 0;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = runtime::key::Up;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = runtime::key::Down;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = runtime::key::PageUp;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = runtime::key::PageDown;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = runtime::key::CtrlHome;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = runtime::key::CtrlEnd;
                break;
            default:
                return;
        }
        window_.UserKey(n, code);
        (void)bar;
    });
    connect(bar, &QScrollBar::sliderReleased, this, [this, n, bar] {
        if (!syncing_) window_.UserThumb(n, bar->value());
    });
    return frame;
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
        QWidget* w = Widget(n);
        if (d.kind == ControlKind::Tab) continue;  // placed by its sheet
        // A prompt and its input make a row of a form, whichever comes first; a short
        // button right after the input (a "..." lookup) joins the row.
        auto kind_at = [&](std::size_t k) {
            return k < children.size() ? decl.Control(children[k])->kind : ControlKind::Region;
        };
        const bool prompt_first = d.kind == ControlKind::Prompt && IsInput(kind_at(i + 1));
        const bool input_first = IsInput(d.kind) && kind_at(i + 1) == ControlKind::Prompt &&
                                 !IsInput(kind_at(i + 2)) &&
                                 (i == 0 || kind_at(i - 1) != ControlKind::Prompt);
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
            if (kind_at(i + 1) == ControlKind::Button &&
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
        if (d.kind == ControlKind::Button) {
            auto* row = new QHBoxLayout;
            row->addStretch(1);
            while (i < children.size() && decl.Control(children[i])->kind == ControlKind::Button) {
                row->addWidget(Widget(children[i]));
                ++i;
            }
            --i;
            layout->addLayout(row);
            continue;
        }
        switch (d.kind) {
            case ControlKind::Sheet: {
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
            case ControlKind::Group:
            case ControlKind::Option: {
                auto* gl = new QVBoxLayout(w);
                LayOut(n, gl);
                layout->addWidget(w);
                break;
            }
            case ControlKind::List:
            case ControlKind::Tree:
            case ControlKind::Text:
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
        for (ControlNumber c : decl.Children(page)) {
            const auto kind = decl.Control(c)->kind;
            grows = grows || kind == ControlKind::List || kind == ControlKind::Tree ||
                    kind == ControlKind::Text || kind == ControlKind::Sheet;
        }
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
        if (d.kind == ControlKind::Tab) continue;
        QWidget* w = Widget(n);
        if (d.kind == ControlKind::Sheet) {
            FillSheet(n);
        } else if (d.kind == ControlKind::Group || d.kind == ControlKind::Option) {
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
    syncing_ = true;
    ApplyGeometry();
    const auto& attributes = window_.Declaration().attributes;
    if (!window_.IsVisible()) {
        // Kept out of sight until the program shows it.
    } else if (attributes.maximised || window_.Geometry().maximised) {
        top_->showMaximized();
    } else {
        top_->show();
    }
    NoteGeometry(false);
    syncing_ = false;
    if (QWidget* w = Widget(window_.Focus())) w->setFocus(Qt::OtherFocusReason);
}

void QtWindow::ApplyGeometry() {
    const auto& g = window_.Geometry();
    if (g.width > 0 && g.height > 0 && !g.maximised) {
        const QRect wanted(g.x, g.y, g.width, g.height);
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

void QtWindow::Sync(ControlNumber n) {
    const bool was_syncing = syncing_;
    syncing_ = true;
    if (n == 0) {
        top_->setWindowTitle(QString::fromStdString(window_.Title()));
        if (top_->isVisible() != window_.IsVisible()) {
            top_->setVisible(window_.IsVisible());
            if (window_.IsVisible()) NoteGeometry(false);
        }
        ApplyGeometry();
        syncing_ = was_syncing;
        return;
    }
    const auto* d = window_.Declared(n);
    QWidget* w = Widget(n);
    if (!d || !w) {
        syncing_ = was_syncing;
        return;
    }
    const auto& s = window_.Control(n);
    const QString text = QString::fromStdString(s.text);
    const QString value = QString::fromStdString(s.value);
    if (d->kind == ControlKind::Tab) {
        auto* tabs = static_cast<QTabWidget*>(Widget(d->parent));
        const int index = tabs->indexOf(w);
        if (index >= 0) {
            tabs->setTabText(index, text);
            tabs->setTabVisible(index, !s.hidden);
            tabs->setTabEnabled(index, !s.disabled);
            tabs->setTabToolTip(index, QString::fromStdString(s.tip));
        }
        syncing_ = was_syncing;
        return;
    }
    w->setToolTip(QString::fromStdString(s.tip));
    w->setStatusTip(QString::fromStdString(d->status));
    w->setVisible(!s.hidden);
    w->setEnabled(!s.disabled);
    switch (d->kind) {
        case ControlKind::Sheet: {
            auto* tabs = static_cast<QTabWidget*>(w);
            if (s.choice >= 1 && s.choice - 1 != tabs->currentIndex())
                tabs->setCurrentIndex(s.choice - 1);
            break;
        }
        case ControlKind::Group:
        case ControlKind::Option:
            static_cast<QGroupBox*>(w)->setTitle(text);
            break;
        case ControlKind::Radio: {
            auto* radio = static_cast<QRadioButton*>(w);
            radio->setText(text);
            const auto radios = window_.Declaration().Children(d->parent);
            const int choice = window_.Choice(d->parent);
            const bool on = choice >= 1 && choice <= static_cast<int>(radios.size()) &&
                            radios[static_cast<std::size_t>(choice - 1)] == n;
            if (radio->isChecked() != on) {
                // An exclusive group cannot uncheck its checked button directly.
                auto* group = radio->group();
                if (group) group->setExclusive(false);
                radio->setChecked(on);
                if (group) group->setExclusive(true);
            }
            break;
        }
        case ControlKind::Prompt: {
            // Without a control to go to, the accelerator is only shown as text.
            auto* label = static_cast<QLabel*>(w);
            label->setText(
                label->buddy() ? text : QString::fromStdString(runtime::StripAccelerator(s.text)));
            break;
        }
        case ControlKind::String:
            static_cast<QLabel*>(w)->setText(d->use ? value : text);
            break;
        case ControlKind::Text: {
            auto* edit = static_cast<QPlainTextEdit*>(w);
            if (edit->toPlainText() != value) edit->setPlainText(value);
            edit->setReadOnly(s.read_only);
            break;
        }
        case ControlKind::Entry: {
            auto* edit = static_cast<QLineEdit*>(w);
            if (edit->text() != value) edit->setText(value);
            edit->setModified(false);
            edit->setReadOnly(s.read_only);
            break;
        }
        case ControlKind::Spin: {
            auto* spin = static_cast<QSpinBox*>(w);
            const int v = static_cast<int>(runtime::ParseBoundNumber(s.value));
            if (spin->value() != v) spin->setValue(v);
            spin->setReadOnly(s.read_only);
            break;
        }
        case ControlKind::Check: {
            auto* check = static_cast<QCheckBox*>(w);
            check->setText(text);
            check->setChecked(s.value == d->true_value);
            break;
        }
        case ControlKind::Button:
            static_cast<QPushButton*>(w)->setText(text);
            break;
        case ControlKind::List:
        case ControlKind::Tree: {
            auto* view = views_[n];
            QueueItemModel* model = models_[n];
            if (auto it = thumbs_.find(n); it != thumbs_.end() && s.thumb > 0)
                it->second->setValue(s.thumb);
            if (revisions_[n] != s.list_revision) {
                revisions_[n] = s.list_revision;
                model->Reload();
                MeasureRows(n);
                // Nodes whose children are in the queue show open (a root row of level 0 too).
                if (model->IsTree()) {
                    for (int row = 1; row <= window_.RowCount(n); ++row) {
                        const QModelIndex index = model->IndexOfRow(row);
                        if (model->LevelOf(row) >= 0 && model->rowCount(index) > 0)
                            view->setExpanded(index, true);
                    }
                }
            }
            const auto& widths = s.column_widths;
            for (std::size_t c = 0;
                 c < widths.size() && static_cast<int>(c) < view->header()->count(); ++c) {
                if (view->header()->sectionResizeMode(static_cast<int>(c)) ==
                        QHeaderView::Interactive &&
                    view->columnWidth(static_cast<int>(c)) != widths[c])
                    view->setColumnWidth(static_cast<int>(c), widths[c]);
            }
            const QModelIndex current = model->IndexOfRow(s.choice);
            if (view->currentIndex().isValid() ? model->RowOf(view->currentIndex()) != s.choice
                                               : current.isValid()) {
                view->setCurrentIndex(current);
                if (current.isValid()) view->scrollTo(current);
            }
            editors_[n]->Sync();  // the entry over a cell in edit
            break;
        }
        case ControlKind::Progress: {
            static_cast<QProgressBar*>(w)->setValue(
                static_cast<int>(runtime::ParseBoundNumber(s.value)));
            break;
        }
        default:
            break;
    }
    syncing_ = was_syncing;
}

void QtWindow::Focus(ControlNumber n) {
    QWidget* w = Widget(n);
    if (w && !syncing_) w->setFocus(Qt::OtherFocusReason);
}

void QtWindow::MeasureRows(ControlNumber n) {
    QTreeView* view = views_[n];
    if (!view) return;
    const int hinted = view->sizeHintForRow(0);
    const int row_height = std::max(1, hinted > 0 ? hinted : view->fontMetrics().height() + 2);
    window_.UserVisibleRows(n, std::max(1, view->viewport()->height() / row_height));
}

ControlNumber QtWindow::ControlOf(QObject* object) const {
    auto it = owners_.find(object);
    return it == owners_.end() ? 0 : it->second;
}

namespace {
// The window system's key code of a Qt key event; 0 for a key it has no code for.
int KeyCodeOf(const QKeyEvent* e) {
    int code = 0;
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            code = runtime::key::Enter;
            break;
        case Qt::Key_Up:
            code = runtime::key::Up;
            break;
        case Qt::Key_Down:
            code = runtime::key::Down;
            break;
        case Qt::Key_Left:
            code = runtime::key::Left;
            break;
        case Qt::Key_Right:
            code = runtime::key::Right;
            break;
        case Qt::Key_PageUp:
            code = runtime::key::PageUp;
            break;
        case Qt::Key_PageDown:
            code = runtime::key::PageDown;
            break;
        case Qt::Key_Home:
            code = runtime::key::Home;
            break;
        case Qt::Key_End:
            code = runtime::key::End;
            break;
        case Qt::Key_Insert:
            code = runtime::key::Insert;
            break;
        case Qt::Key_Delete:
            code = runtime::key::Delete;
            break;
        case Qt::Key_Escape:
            code = runtime::key::Escape;
            break;
        case Qt::Key_Tab:
            code = runtime::key::Tab;
            break;
        case Qt::Key_Backspace:
            code = runtime::key::Backspace;
            break;
        default:
            if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12)
                code = runtime::key::F1 + (e->key() - Qt::Key_F1);
            break;
    }
    if (code == 0) return 0;
    if (e->modifiers() & Qt::ShiftModifier) code += runtime::key::Shift;
    if (e->modifiers() & Qt::ControlModifier) code += runtime::key::Ctrl;
    if (e->modifiers() & Qt::AltModifier) code += runtime::key::Alt;
    return code;
}
}  // namespace

bool QtWindow::ListKey(ControlNumber n, QKeyEvent* e) {
    const auto& d = *window_.Declared(n);
    const int code = KeyCodeOf(e);
    const auto& alerts = window_.Control(n).alerts;
    if (code != 0 && (alerts.count(code) || code == runtime::key::Enter ||
                      code == runtime::key::CtrlEnter || code == runtime::key::ShiftEnter)) {
        window_.UserKey(n, code);
        return true;
    }
    const bool scroll_key = code == runtime::key::Up || code == runtime::key::Down ||
                            code == runtime::key::PageUp || code == runtime::key::PageDown ||
                            code == runtime::key::Home || code == runtime::key::End ||
                            code == runtime::key::CtrlHome || code == runtime::key::CtrlEnd;
    if (d.immediate && scroll_key) {
        window_.UserKey(n, code);
        return true;
    }
    const QString typed = e->text();
    if (d.immediate && code == 0 && typed.size() == 1 && typed[0].isPrint()) {
        window_.UserChar(n, typed[0].unicode());
        return true;
    }
    return false;  // the view moves its highlight itself
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (dying_) return false;
    if (watched == top_) {
        const auto type = event->type();
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
    auto viewport = viewports_.find(n);
    const bool is_viewport = viewport != viewports_.end() && watched == viewport->second;
    if (is_viewport && event->type() == QEvent::Resize) {
        MeasureRows(n);  // whenever the list changes size
        return false;
    }
    if (syncing_) return false;
    const auto kind = window_.Declared(n)->kind;
    if (is_viewport) {
        if (event->type() == QEvent::Wheel && window_.Declared(n)->immediate) {
            const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
            for (int i = 0; i < std::abs(steps); ++i)
                window_.UserKey(n, steps > 0 ? runtime::key::Up : runtime::key::Down);
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (kind == ControlKind::List || kind == ControlKind::Tree) return ListKey(n, key);
        const int code = KeyCodeOf(key);
        if (code != 0 && window_.Control(n).alerts.count(code)) {
            window_.UserKey(n, code);
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        if (status_) status_->showMessage(QString::fromStdString(window_.Declared(n)->status));
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
            reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            window_.UserFocus(n);
        return false;
    }
    if (event->type() == QEvent::FocusOut && kind == ControlKind::Text) {
        auto* edit = static_cast<QPlainTextEdit*>(watched);
        const std::string text = edit->toPlainText().toStdString();
        if (text != window_.Value(n)) window_.UserType(n, text);
        return false;
    }
    return false;
}

}  // namespace zelt::platform
