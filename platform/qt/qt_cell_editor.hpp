// Edit in place in a Qt list: an entry laid over the cell that the model says is in edit.
// What the user types goes to the model's edit text; Enter, Tab, Shift+Tab, Escape, Up and
// Down in the entry become the list's keys, which the program reads as the edit's keys.
#pragma once

#include <QObject>
#include <QPointer>

#include "runtime/window/window.hpp"

class QLineEdit;
class QTreeView;

namespace zelt::platform {

class QueueItemModel;

class QtCellEditor final : public QObject {
  public:
    QtCellEditor(runtime::Window& window, runtime::ControlNumber list, QTreeView* view,
                 QueueItemModel* model);
    ~QtCellEditor() override;

    // Shows, moves or removes the entry as the list's state says.
    void Sync();
    QLineEdit* Entry() const { return entry_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    runtime::Window& window_;
    runtime::ControlNumber list_;
    QTreeView* view_;
    QueueItemModel* model_;
    QPointer<QLineEdit> entry_;
    int row_ = 0;
    int column_ = 0;
};

}  // namespace zelt::platform
