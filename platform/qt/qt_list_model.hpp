// A Qt item model over a list or tree control: rows come from the program's queue through
// the window (ListSource), one cell at a time as the view asks for them.
//
// A tree's queue is flat, each row with its level: a row's parent is the nearest row above
// it with a smaller depth, and a negative level marks a collapsed node whose children are not
// in the queue (the view still offers to expand it).
#pragma once

#include <QAbstractItemModel>
#include <QStyledItemDelegate>
#include <vector>

#include "runtime/window/window.hpp"

namespace zelt::platform {

class QueueItemModel final : public QAbstractItemModel {
  public:
    // Colours of a cell while its row is selected (QColor, none = the style's).
    static constexpr int SelectedForegroundRole = Qt::UserRole + 1;
    static constexpr int SelectedBackgroundRole = Qt::UserRole + 2;

    QueueItemModel(runtime::Window& window, runtime::ControlNumber control, QObject* parent);

    // The queue may have changed: rows added or taken at the end of a list, and rows that
    // show something else, are told as such (the view keeps its scroll position and its
    // selection); a tree whose shape changed is read anew.
    void Reload();
    // Queue row (1-based) of an index, 0 for none; and back.
    int RowOf(const QModelIndex& index) const;
    QModelIndex IndexOfRow(int row) const;
    // Depth level of a queue row as the program gave it.
    int LevelOf(int row) const;
    bool IsTree() const { return tree_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const std::vector<int>& ChildrenOf(const QModelIndex& parent) const;
    QString RowPrint(int row) const;

    runtime::Window& window_;
    runtime::ControlNumber control_;
    bool tree_;
    int rows_ = 0;
    bool loaded_ = false;
    std::vector<QString> prints_;  // what each row showed when last told
    std::vector<int> levels_;      // the tree's levels when last read
    // Tree shape (0-based queue rows): parent row or -1, place under the parent, children.
    std::vector<int> parent_;
    std::vector<int> place_;
    std::vector<std::vector<int>> children_;
    std::vector<int> top_;
};

// Draws a selected row in the colours the list format gives for selected rows, and gives
// every row the same height, with an icon or without.
class ListColourDelegate final : public QStyledItemDelegate {
  public:
    ListColourDelegate(int row_height, QObject* parent)
        : QStyledItemDelegate(parent), row_height_(row_height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    int row_height_;
};

}  // namespace zelt::platform
