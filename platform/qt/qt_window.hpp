// The widgets of one open window: built from its declaration, kept in step with the model,
// and turning what the user does into the model's user actions.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "runtime/window/window.hpp"

class QBoxLayout;
class QButtonGroup;
class QScrollBar;
class QStatusBar;
class QTabWidget;
class QTreeView;

namespace zelt::platform {

class QueueItemModel;
class QtCellEditor;

// The top-level widget: its close box asks the model instead of closing.
class QtTopWidget final : public QWidget {
  public:
    explicit QtTopWidget(std::function<void()> on_close_box);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::function<void()> on_close_box_;
};

class QtWindow final : public QObject {
  public:
    explicit QtWindow(runtime::Window& window);
    ~QtWindow() override;

    QWidget* Top() const { return top_; }
    QWidget* Widget(runtime::ControlNumber n) const;
    void Show();
    void Sync(runtime::ControlNumber n);  // 0: the window's own attributes
    void SyncAll();
    void Focus(runtime::ControlNumber n);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build();
    void ChainFocus();
    void LayOut(runtime::ControlNumber parent, QBoxLayout* layout);
    void LayOutGrid(runtime::ControlNumber parent, QBoxLayout* layout);
    // Lays out the pages of a sheet; false when no page has controls (the tabs only choose).
    bool FillSheet(runtime::ControlNumber sheet);
    QWidget* Make(runtime::ControlNumber n);
    QWidget* MakeList(runtime::ControlNumber n);
    runtime::ControlNumber ControlOf(QObject* object) const;
    void Watch(QObject* object, runtime::ControlNumber n);
    void MeasureRows(runtime::ControlNumber n);
    void NoteGeometry(bool report);
    void ApplyGeometry();
    bool ListKey(runtime::ControlNumber n, QKeyEvent* key);

    runtime::Window& window_;
    QStatusBar* status_ = nullptr;
    QtTopWidget* top_ = nullptr;     // owned by Qt's parent chain; deleted in the destructor
    std::vector<QWidget*> widgets_;  // by control number - 1
    std::map<runtime::ControlNumber, QueueItemModel*> models_;
    std::map<runtime::ControlNumber, QtCellEditor*> editors_;  // owned by their list views
    std::map<runtime::ControlNumber, QTreeView*> views_;
    std::map<runtime::ControlNumber, QWidget*> viewports_;
    std::map<runtime::ControlNumber, QScrollBar*> thumbs_;
    std::map<QObject*, runtime::ControlNumber> owners_;  // watched objects and their control
    std::map<runtime::ControlNumber, int> revisions_;
    std::map<runtime::ControlNumber, QButtonGroup*> option_groups_;
    bool syncing_ = false;
    bool dying_ = false;
};

}  // namespace zelt::platform
