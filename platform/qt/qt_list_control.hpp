// A list or tree control in a Qt window: a tree view over the queue model, the entry that
// edits a cell in place and, for a list whose program pages through the rows itself, a
// scroll bar of its own that stands for the position in the whole table.
//
// The list turns clicks, keys, the wheel, the thumb and dragged column borders into the
// model's user actions, except while its window sets the widgets from the model.
#pragma once

#include "runtime/window/window.hpp"

class QEvent;
class QKeyEvent;
class QScrollBar;
class QTreeView;
class QWidget;

namespace zelt::platform {

class QtCellEditor;
class QtWindow;
class QueueItemModel;

class QtListControl {
  public:
    // Makes the widgets of list `n` of `host`; they belong to Qt's parent chain once laid out.
    QtListControl(QtWindow& host, runtime::ControlNumber n);

    // What the window lays out: the view, or the view with its own scroll bar.
    QWidget* Widget() const { return widget_; }
    QTreeView* View() const { return view_; }
    QWidget* Viewport() const { return viewport_; }

    // Shows the model's state: rows reread when they changed, column widths, the
    // highlighted row, the thumb and the cell in edit.
    void Sync(const runtime::ControlState& s);
    // Tells the model how many rows the list shows at its present size.
    void MeasureRows();
    // A key on the view; true when the model took it.
    bool Key(QKeyEvent* e);
    // An event of the view's viewport (not while syncing); true when the model took it.
    bool ViewportEvent(QEvent* event);

  private:
    void SetColumns();
    void ConnectView();
    void AddThumb();

    QtWindow& host_;
    runtime::Window& window_;
    const runtime::ControlNumber n_;
    QTreeView* view_ = nullptr;
    QWidget* viewport_ = nullptr;
    QWidget* widget_ = nullptr;
    QueueItemModel* model_ = nullptr;
    QtCellEditor* editor_ = nullptr;  // owned by the view
    QScrollBar* thumb_ = nullptr;     // only when the program pages through the rows
    int revision_ = 0;                // the rows' revision shown
    int thumb_told_ = 0;              // the thumb's place last told while dragging
};

}  // namespace zelt::platform
