// The widgets of one open window: built from its declaration, kept in step with the model,
// and turning what the user does into the model's user actions.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "runtime/window/window.hpp"

class QBoxLayout;
class QSpacerItem;
class QStatusBar;

namespace zelt::platform {

class QtListControl;

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
    // A window opened over another one (`parent`, none for the first) is its dialog: it stays
    // in front of it and opens centred over it.
    QtWindow(runtime::Window& window, QWidget* parent);
    ~QtWindow() override;

    QWidget* Top() const { return top_; }
    QWidget* Widget(runtime::ControlNumber n) const;
    void Show();
    void Sync(runtime::ControlNumber n);  // 0: the window's own attributes
    void SyncAll();
    void Focus(runtime::ControlNumber n);

    // ---- For the adapters of the kinds of control (qt_control_kinds.cpp) ----
    runtime::Window& Model() const { return window_; }
    // True while the widgets are set from the model: what they report then is not the user's.
    bool Syncing() const { return syncing_; }
    // True while the widgets are destroyed.
    bool Dying() const { return dying_; }
    // Sends the object's events to the window as events of control `n`.
    void Watch(QObject* object, runtime::ControlNumber n);
    // Makes list `n` and answers what is laid out.
    QWidget* AddList(runtime::ControlNumber n);
    QtListControl* List(runtime::ControlNumber n) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build();
    void ChainFocus();
    void LayOut(runtime::ControlNumber parent, QBoxLayout* layout);
    void LayOutGrid(runtime::ControlNumber parent, QBoxLayout* layout);
    // Lays out the pages of a sheet; false when no page has controls (the tabs only choose).
    bool FillSheet(runtime::ControlNumber sheet);
    void AddStatusLine(QBoxLayout* layout);
    QWidget* Make(runtime::ControlNumber n);
    runtime::ControlNumber ControlOf(QObject* object) const;
    bool ControlEvent(runtime::ControlNumber n, QObject* watched, QEvent* event);
    void SyncTop();
    void NoteGeometry(bool report);
    void ApplyGeometry();
    // Where a window the program has not placed opens: centred over its parent, wholly on
    // the screen.
    void Place();
    // Escape: the window's Cancel (or Close) button, or the close box of a dialog.
    bool Escape();
    // The control that the model has the focus on took it again once it can (after it was
    // disabled or hidden meanwhile).
    void RestoreFocus(runtime::ControlNumber enabled);
    // Keeps the window at least as wide as its title.
    void FitTitle();

    runtime::Window& window_;
    QStatusBar* status_ = nullptr;
    QWidget* parent_ = nullptr;
    bool program_placed_ = false;        // the program gave the window its place and size
    bool shown_ = false;                 // Show has placed the window
    QPointer<QtTopWidget> top_;          // deleted in the destructor (or with its parent window)
    QSpacerItem* title_room_ = nullptr;  // the width of the title, in the window's layout
    std::vector<QWidget*> widgets_;      // by control number - 1
    std::map<runtime::ControlNumber, std::unique_ptr<QtListControl>> lists_;
    std::map<QObject*, runtime::ControlNumber> owners_;  // watched objects and their control
    bool syncing_ = false;
    bool dying_ = false;
};

}  // namespace zelt::platform
