#include "platform/qt/qt_list_model.hpp"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <cstdlib>

#include "platform/qt/qt_icons.hpp"

namespace zelt::platform {

using runtime::Align;
using runtime::ControlKind;

void ListColourDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!(option->state & QStyle::State_Selected)) return;
    const QVariant fg = index.data(QueueItemModel::SelectedForegroundRole);
    const QVariant bg = index.data(QueueItemModel::SelectedBackgroundRole);
    if (fg.isValid()) option->palette.setColor(QPalette::HighlightedText, fg.value<QColor>());
    if (bg.isValid()) option->palette.setColor(QPalette::Highlight, bg.value<QColor>());
}

QSize ListColourDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(row_height_);
    return size;
}

QueueItemModel::QueueItemModel(runtime::Window& window, runtime::ControlNumber control,
                               QObject* parent)
    : QAbstractItemModel(parent),
      window_(window),
      control_(control),
      tree_(window.Declared(control)->kind == ControlKind::Tree) {
    Reload();
}

QString QueueItemModel::RowPrint(int row) const {
    // What a row shows: every cell's text, icon and colours.
    const auto* source = window_.Control(control_).rows;
    QString print;
    for (int column = 1; column <= columnCount(); ++column) {
        const runtime::ListCell cell = source->Cell(row, column);
        print += QString::fromStdString(window_.CellText(control_, row, column));
        print += QStringLiteral("\x1f%1,%2,%3,%4,%5\x1e")
                     .arg(cell.icon)
                     .arg(cell.foreground)
                     .arg(cell.background)
                     .arg(cell.selected_foreground)
                     .arg(cell.selected_background);
    }
    if (tree_) print += QString::number(source->Level(row));
    return print;
}

void QueueItemModel::Reload() {
    const auto* source = window_.Control(control_).rows;
    const int rows = source ? source->RowCount() : 0;
    // A long list is not read through to find what changed: all its rows are told as changed,
    // and the view reads again only the rows in sight.
    constexpr int kComparedRows = 1000;
    const bool compared = rows <= kComparedRows && loaded_;
    std::vector<QString> prints(compared ? static_cast<std::size_t>(rows) : 0u);
    for (std::size_t r = 0; r < prints.size(); ++r) prints[r] = RowPrint(static_cast<int>(r) + 1);
    std::vector<int> levels;
    if (tree_) {
        levels.resize(static_cast<std::size_t>(rows));
        for (int r = 1; r <= rows; ++r) levels[static_cast<std::size_t>(r - 1)] = source->Level(r);
    }

    // The same shape: only the rows that show something else are told, so that the view
    // keeps its scroll position and its selection.
    const bool same_shape = loaded_ && (tree_ ? levels == levels_ : true);
    const int told = std::min(rows, rows_);  // rows the view knew before: the rest are new
    if (same_shape && !tree_ && rows != rows_) {
        if (rows > rows_) {
            beginInsertRows({}, rows_, rows - 1);
            rows_ = rows;
            endInsertRows();
        } else {
            beginRemoveRows({}, rows, rows_ - 1);
            rows_ = rows;
            endRemoveRows();
        }
    }
    if (same_shape && rows == rows_ && !compared && !tree_) {
        prints_.clear();
        if (told > 0)
            emit dataChanged(IndexOfRow(1), IndexOfRow(told).siblingAtColumn(columnCount() - 1));
        return;
    }
    if (same_shape && rows == rows_ && compared) {
        const int common = static_cast<int>(std::min(prints.size(), prints_.size()));
        prints_.resize(prints.size());
        for (int r = 0; r < rows; ++r) {
            if (r < common &&
                prints[static_cast<std::size_t>(r)] == prints_[static_cast<std::size_t>(r)])
                continue;
            prints_[static_cast<std::size_t>(r)] = prints[static_cast<std::size_t>(r)];
            if (r >= told) continue;  // inserted just now: nothing to tell
            const QModelIndex first = IndexOfRow(r + 1);
            emit dataChanged(first, first.siblingAtColumn(columnCount() - 1));
        }
        return;
    }

    beginResetModel();
    loaded_ = true;
    rows_ = rows;
    prints_ = std::move(prints);
    levels_ = levels;
    parent_.clear();
    place_.clear();
    children_.clear();
    top_.clear();
    if (tree_) {
        // A tree's shape comes from the levels; a plain list needs no bookkeeping per row.
        parent_.assign(static_cast<std::size_t>(rows_), -1);
        place_.assign(static_cast<std::size_t>(rows_), 0);
        children_.assign(static_cast<std::size_t>(rows_), {});
        std::vector<int> open;  // the chain of ancestors of the row being placed
        std::vector<int> depth(static_cast<std::size_t>(rows_));
        for (int r = 0; r < rows_; ++r) {
            depth[static_cast<std::size_t>(r)] = std::abs(levels_[static_cast<std::size_t>(r)]);
            while (!open.empty() && depth[static_cast<std::size_t>(open.back())] >=
                                        depth[static_cast<std::size_t>(r)])
                open.pop_back();
            std::vector<int>& siblings =
                open.empty() ? top_ : children_[static_cast<std::size_t>(open.back())];
            parent_[static_cast<std::size_t>(r)] = open.empty() ? -1 : open.back();
            place_[static_cast<std::size_t>(r)] = static_cast<int>(siblings.size());
            siblings.push_back(r);
            open.push_back(r);
        }
    }
    endResetModel();
}

int QueueItemModel::RowOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<int>(index.internalId()) : 0;
}

QModelIndex QueueItemModel::IndexOfRow(int row) const {
    if (row < 1 || row > rows_) return {};
    const int place = tree_ ? place_[static_cast<std::size_t>(row - 1)] : row - 1;
    return createIndex(place, 0, static_cast<quintptr>(row));
}

int QueueItemModel::LevelOf(int row) const {
    const auto* source = window_.Control(control_).rows;
    return source && row >= 1 && row <= rows_ ? source->Level(row) : 0;
}

const std::vector<int>& QueueItemModel::ChildrenOf(const QModelIndex& parent) const {
    if (!parent.isValid()) return top_;
    return children_[static_cast<std::size_t>(RowOf(parent) - 1)];
}

QModelIndex QueueItemModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return {};
    if (!tree_) {
        if (parent.isValid() || row < 0 || row >= rows_ || column < 0 || column >= columnCount())
            return {};
        return createIndex(row, column, static_cast<quintptr>(row + 1));
    }
    const auto& list = ChildrenOf(parent);
    if (row < 0 || row >= static_cast<int>(list.size()) || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column, static_cast<quintptr>(list[static_cast<std::size_t>(row)] + 1));
}

QModelIndex QueueItemModel::parent(const QModelIndex& child) const {
    if (!tree_) return {};
    const int row = RowOf(child);
    if (row < 1 || row > rows_) return {};
    const int p = parent_[static_cast<std::size_t>(row - 1)];
    if (p < 0) return {};
    return createIndex(place_[static_cast<std::size_t>(p)], 0, static_cast<quintptr>(p + 1));
}

int QueueItemModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    if (!tree_) return parent.isValid() ? 0 : rows_;
    return static_cast<int>(ChildrenOf(parent).size());
}

int QueueItemModel::columnCount(const QModelIndex&) const {
    const int n = static_cast<int>(window_.Declared(control_)->format.columns.size());
    return n > 0 ? n : 1;
}

bool QueueItemModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return rowCount() > 0;
    if (parent.column() != 0) return false;
    if (tree_ && LevelOf(RowOf(parent)) < 0) return true;  // collapsed, children not loaded
    return rowCount(parent) > 0;
}

namespace {
QColor Colour(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
}  // namespace

QVariant QueueItemModel::data(const QModelIndex& index, int role) const {
    const int row = RowOf(index);
    if (row < 1 || row > rows_) return {};
    const auto* source = window_.Control(control_).rows;
    if (!source) return {};
    const auto& format = window_.Declared(control_)->format;
    const int column = index.column() + 1;
    const runtime::ListColumn* col = index.column() < static_cast<int>(format.columns.size())
                                         ? &format.columns[static_cast<std::size_t>(index.column())]
                                         : nullptr;
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(window_.CellText(control_, row, column));
        case Qt::DecorationRole: {
            if (!col || !col->icon) return {};
            const int icon = source->Cell(row, column).icon;
            if (icon < 1 || icon > static_cast<int>(format.icons.size())) return {};
            return IconByName(format.icons[static_cast<std::size_t>(icon - 1)]);
        }
        case Qt::ForegroundRole: {
            int fg = col && col->colours ? source->Cell(row, column).foreground : -1;
            if (fg < 0 && col) fg = col->foreground;
            return fg >= 0 ? QVariant(QBrush(Colour(fg))) : QVariant();
        }
        case Qt::BackgroundRole: {
            int bg = col && col->colours ? source->Cell(row, column).background : -1;
            if (bg < 0 && col) bg = col->background;
            return bg >= 0 ? QVariant(QBrush(Colour(bg))) : QVariant();
        }
        case SelectedForegroundRole: {
            int fg = col && col->colours ? source->Cell(row, column).selected_foreground : -1;
            if (fg < 0 && col) fg = col->selected_foreground;
            return fg >= 0 ? QVariant(Colour(fg)) : QVariant();
        }
        case SelectedBackgroundRole: {
            int bg = col && col->colours ? source->Cell(row, column).selected_background : -1;
            if (bg < 0 && col) bg = col->selected_background;
            return bg >= 0 ? QVariant(Colour(bg)) : QVariant();
        }
        case Qt::TextAlignmentRole: {
            if (!col) return {};
            const Qt::Alignment h = col->align == Align::Right    ? Qt::AlignRight
                                    : col->align == Align::Centre ? Qt::AlignHCenter
                                                                  : Qt::AlignLeft;
            return QVariant::fromValue(h | Qt::AlignVCenter);
        }
        default:
            return {};
    }
}

QVariant QueueItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    const auto& format = window_.Declared(control_)->format;
    if (section < 0 || section >= static_cast<int>(format.columns.size())) return {};
    const auto& col = format.columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromStdString(col.header);
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(
            Qt::Alignment(col.align == Align::Right ? Qt::AlignRight : Qt::AlignLeft) |
            Qt::AlignVCenter);
    }
    return {};
}

}  // namespace zelt::platform
