#include "platform/qt/qt_list_control.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>  // for the cell editor's entry
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/qt/qt_cell_editor.hpp"
#include "platform/qt/qt_control_kinds.hpp"
#include "platform/qt/qt_key_codes.hpp"
#include "platform/qt/qt_list_model.hpp"
#include "platform/qt/qt_window.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::platform {

using runtime::ControlKind;
using runtime::ControlNumber;

namespace {

constexpr int kIconSize = 16;

// A list asks for the room its columns need, as far as the screen allows, so that a window
// opens wide enough to show them whole.
class QtListView final : public QTreeView {
  public:
    // The width the columns want together (the one that stretches at its declared width).
    void SetColumnsWidth(int width) { columns_ = width; }
    QSize sizeHint() const override {
        QSize size = QTreeView::sizeHint();
        const int width = columns_ + 2 * frameWidth() +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        int room = width;
        if (const QScreen* s = screen()) room = s->availableGeometry().width() * 9 / 10;
        size.setWidth(std::max(size.width(), std::min(width, room)));
        return size;
    }

  private:
    int columns_ = 0;
};

// The widest text a value shown under `picture` can have: numbers by their digits, dates
// and times by the widest day and hour; empty for a picture that says nothing of widths.
QString WidestValue(const std::string& picture, const QFontMetrics& fm) {
    if (picture.size() < 3 || picture[0] != '@') return {};
    const char type = static_cast<char>(picture[1] | 0x20);
    if (type == 'n') {
        int digits = 0;
        bool sign = false;
        for (char c : picture.substr(2)) {
            if (c == '-') sign = true;
            if (c >= '0' && c <= '9') digits = digits * 10 + (c - '0');
            if (c == '.' || c == '`') break;
        }
        QChar widest = QLatin1Char('0');
        for (char c = '0'; c <= '9'; ++c)
            if (fm.horizontalAdvance(QLatin1Char(c)) > fm.horizontalAdvance(widest))
                widest = QLatin1Char(c);
        return QString(sign ? QStringLiteral("-") : QString()) +
               QString(std::max(0, digits - (sign ? 1 : 0)), widest);
    }
    // The 28th of September 2088 and 23:58:58.88 have the widest digits of most fonts.
    if (type == 'd') return QString::fromStdString(runtime::FormatByPicture("105364", picture));
    if (type == 't') return QString::fromStdString(runtime::FormatByPicture("8633889", picture));
    return {};
}

}  // namespace

QtListControl::QtListControl(QtWindow& host, ControlNumber n)
    : host_(host), window_(host.Model()), n_(n) {
    const auto& d = *window_.Declared(n);
    view_ = new QtListView;
    view_->setObjectName(QString::fromStdString(d.name));
    model_ = new QueueItemModel(window_, n, view_);
    view_->setModel(model_);
    // One height for every row, whether it shows an icon or not.
    view_->setIconSize(QSize(kIconSize, kIconSize));
    view_->setItemDelegate(
        new ListColourDelegate(std::max(view_->fontMetrics().height(), kIconSize) + 6, view_));
    editor_ = new QtCellEditor(window_, n, view_, model_);
    host_.Watch(view_, n);
    viewport_ = view_->viewport();
    host_.Watch(viewport_, n);
    view_->setUniformRowHeights(true);  // only the rows in sight are read
    view_->setRootIsDecorated(d.kind == ControlKind::Tree);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setExpandsOnDoubleClick(false);
    view_->setHeaderHidden(!d.format.headers || d.kind == ControlKind::Tree);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    SetColumns();
    ConnectView();
    widget_ = view_;
    if (d.immediate) AddThumb();
}

// Columns get their declared widths, and at least the room their heading, their icon and
// the widest value of their picture need; the widest takes the room left over.
void QtListControl::SetColumns() {
    const auto& d = *window_.Declared(n_);
    const int cw = QtCharWidth(view_);
    const QFontMetrics fm = view_->fontMetrics();
    // A cell's text is drawn inside the focus frame's margins, with a pixel to spare each side.
    const int padding =
        2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1) + cw;
    int widest = 0;
    int total = 0;
    for (std::size_t c = 0; c < d.format.columns.size(); ++c) {
        // A single column takes the list's width (it would only scroll sideways otherwise).
        if (d.format.columns.size() == 1) break;
        const auto& column = d.format.columns[c];
        int width = std::max(2, column.width) * cw + cw;
        width = std::max(width, fm.horizontalAdvance(WidestValue(column.picture, fm)) + padding);
        if (column.icon) width = std::max(width, kIconSize + padding);
        if (d.format.headers && !column.header.empty())
            width = std::max(width, view_->header()->sectionSizeHint(static_cast<int>(c)));
        view_->setColumnWidth(static_cast<int>(c), width);
        total += width;
        if (d.format.columns[c].width > d.format.columns[static_cast<std::size_t>(widest)].width)
            widest = static_cast<int>(c);
    }
    static_cast<QtListView*>(view_)->SetColumnsWidth(total);
    if (d.format.columns.size() > 1) {
        view_->header()->setStretchLastSection(false);
        view_->header()->setSectionResizeMode(widest, QHeaderView::Stretch);
    }
    if (d.hint.width > 0) view_->setMinimumWidth(d.hint.width * cw);
    if (d.hint.height > 0) view_->setMinimumHeight(d.hint.height * view_->fontMetrics().height());
}

void QtListControl::ConnectView() {
    QTreeView* view = view_;
    QueueItemModel* model = model_;
    runtime::Window& window = window_;
    QtWindow& host = host_;
    const ControlNumber n = n_;
    // Column widths the user drags are noted, so that the program can keep them.
    QObject::connect(view->header(), &QHeaderView::sectionResized, &host,
                     [&host, &window, n, view] {
                         if (host.Syncing() || host.Dying()) return;
                         std::vector<int> widths;
                         for (int c = 0; c < view->header()->count(); ++c)
                             widths.push_back(view->header()->sectionSize(c));
                         window.UserColumnWidths(n, std::move(widths));
                     });
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, &host,
                     [&host, &window, n, model](const QModelIndex& current) {
                         if (host.Syncing()) return;
                         const int row = model->RowOf(current);
                         if (row > 0 && row != window.Choice(n)) window.UserSelectRow(n, row);
                     });
    QObject::connect(view, &QTreeView::doubleClicked, &host,
                     [&host, &window, n, model](const QModelIndex& index) {
                         if (!host.Syncing()) window.UserDoubleClick(n, model->RowOf(index));
                     });
    QObject::connect(view, &QTreeView::expanded, &host,
                     [&host, &window, n, model](const QModelIndex& index) {
                         const int row = model->RowOf(index);
                         if (!host.Syncing() && model->LevelOf(row) < 0) window.UserExpand(n, row);
                     });
    QObject::connect(view, &QTreeView::collapsed, &host,
                     [&host, &window, n, model](const QModelIndex& index) {
                         const int row = model->RowOf(index);
                         if (!host.Syncing() && model->LevelOf(row) > 0)
                             window.UserContract(n, row);
                     });
    QObject::connect(view, &QTreeView::customContextMenuRequested, &host,
                     [&window, n, model, view](const QPoint& at) {
                         const int row = model->RowOf(view->indexAt(at));
                         if (row > 0) window.UserSelectRow(n, row);
                         window.UserKey(n, runtime::key::MouseRight);
                     });
}

namespace {
// The key a scroll bar's action stands for; 0 for none.
int KeyOfScrollAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return runtime::key::Up;
        case QAbstractSlider::SliderSingleStepAdd:
            return runtime::key::Down;
        case QAbstractSlider::SliderPageStepSub:
            return runtime::key::PageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return runtime::key::PageDown;
        case QAbstractSlider::SliderToMinimum:
            return runtime::key::CtrlHome;
        case QAbstractSlider::SliderToMaximum:
            return runtime::key::CtrlEnd;
        default:
            return 0;
    }
}
}  // namespace

// The program pages through the rows itself: the list shows only the rows it loaded, and a
// scroll bar of its own stands for the position in the whole table.
void QtListControl::AddThumb() {
    const auto& d = *window_.Declared(n_);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* frame = new QWidget;
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* bar = new QScrollBar(Qt::Vertical);
    bar->setObjectName(QString::fromStdString(d.name + ":thumb"));
    bar->setRange(1, 100);
    bar->setPageStep(10);
    thumb_ = bar;
    row->addWidget(view_, 1);
    row->addWidget(bar);
    frame->setFocusProxy(view_);
    widget_ = frame;
    runtime::Window& window = window_;
    QtWindow& host = host_;
    const ControlNumber n = n_;
    QObject::connect(bar, &QScrollBar::actionTriggered, &host, [&host, &window, n](int action) {
        if (host.Syncing()) return;
        if (const int code = KeyOfScrollAction(action)) window.UserKey(n, code);
    });
    // Dragging the thumb moves the list as it goes; its place when let go is told too.
    auto dragged = [&host, &window, n, this](int value) {
        if (host.Syncing() || value == thumb_told_) return;
        thumb_told_ = value;
        window.UserThumb(n, value);
    };
    QObject::connect(bar, &QScrollBar::sliderMoved, &host, dragged);
    QObject::connect(bar, &QScrollBar::sliderPressed, &host, [this] { thumb_told_ = 0; });
    QObject::connect(bar, &QScrollBar::sliderReleased, &host,
                     [bar, dragged] { dragged(bar->value()); });
}

void QtListControl::Sync(const runtime::ControlState& s) {
    // The thumb follows the list, except while the user drags it.
    if (thumb_ && s.thumb > 0 && !thumb_->isSliderDown()) thumb_->setValue(s.thumb);
    if (revision_ != s.list_revision) {
        revision_ = s.list_revision;
        model_->Reload();
        MeasureRows();
        // Nodes whose children are in the queue show open (a root row of level 0 too).
        if (model_->IsTree()) {
            for (int row = 1; row <= window_.RowCount(n_); ++row) {
                const QModelIndex index = model_->IndexOfRow(row);
                if (model_->LevelOf(row) >= 0 && model_->rowCount(index) > 0)
                    view_->setExpanded(index, true);
            }
        }
    }
    const auto& widths = s.column_widths;
    QHeaderView* header = view_->header();
    for (std::size_t c = 0; c < widths.size() && static_cast<int>(c) < header->count(); ++c) {
        if (header->sectionResizeMode(static_cast<int>(c)) == QHeaderView::Interactive &&
            view_->columnWidth(static_cast<int>(c)) != widths[c])
            view_->setColumnWidth(static_cast<int>(c), widths[c]);
    }
    const QModelIndex current = model_->IndexOfRow(s.choice);
    if (view_->currentIndex().isValid() ? model_->RowOf(view_->currentIndex()) != s.choice
                                        : current.isValid()) {
        view_->setCurrentIndex(current);
        if (current.isValid()) view_->scrollTo(current);
    }
    editor_->Sync();  // the entry over a cell in edit
}

void QtListControl::MeasureRows() {
    const int hinted = view_->sizeHintForRow(0);
    const int row_height = std::max(1, hinted > 0 ? hinted : view_->fontMetrics().height() + 2);
    window_.UserVisibleRows(n_, std::max(1, viewport_->height() / row_height));
}

bool QtListControl::Key(QKeyEvent* e) {
    const auto& d = *window_.Declared(n_);
    const int code = KeyCodeOf(e);
    const auto& alerts = window_.Control(n_).alerts;
    if (code != 0 && (alerts.count(code) || code == runtime::key::Enter ||
                      code == runtime::key::CtrlEnter || code == runtime::key::ShiftEnter)) {
        window_.UserKey(n_, code);
        return true;
    }
    const bool scroll_key = code == runtime::key::Up || code == runtime::key::Down ||
                            code == runtime::key::PageUp || code == runtime::key::PageDown ||
                            code == runtime::key::Home || code == runtime::key::End ||
                            code == runtime::key::CtrlHome || code == runtime::key::CtrlEnd;
    if (d.immediate && scroll_key) {
        window_.UserKey(n_, code);
        return true;
    }
    const QString typed = e->text();
    if (d.immediate && code == 0 && typed.size() == 1 && typed[0].isPrint()) {
        window_.UserChar(n_, typed[0].unicode());
        return true;
    }
    return false;  // the view moves its highlight itself
}

bool QtListControl::ViewportEvent(QEvent* event) {
    if (event->type() == QEvent::Wheel && window_.Declared(n_)->immediate) {
        const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        for (int i = 0; i < std::abs(steps); ++i)
            window_.UserKey(n_, steps > 0 ? runtime::key::Up : runtime::key::Down);
        return true;
    }
    return false;
}

}  // namespace zelt::platform
