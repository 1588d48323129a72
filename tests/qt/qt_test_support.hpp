// Shared pieces of the Qt backend tests: the one application object, a driver that plays
// steps from a timer (also inside modal loops), and finders for windows and widgets.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

#include "runtime/window/window_system.hpp"

namespace zelt::platform {

using namespace zelt::runtime;

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own clean-up at exit must not run after the test framework's.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Plays steps one after the other from a timer that also fires inside nested event loops,
// message boxes and menus. A step answers false to be tried again on the next tick.
class Driver {
  public:
    explicit Driver(WindowSystem& system) : system_(system) {
        QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
        tick_.start(20);
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the run did not finish; steps left: " << steps_.size();
            steps_.clear();
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            system_.Halt("timeout");
        });
        watchdog_.start(30000);
    }
    void Then(std::function<bool()> step) { steps_.push_back(std::move(step)); }
    bool Done() const { return steps_.empty(); }

  private:
    void Tick() {
        if (busy_ || steps_.empty()) return;
        busy_ = true;
        auto step = steps_.front();
        if (step()) steps_.pop_front();
        busy_ = false;
    }
    WindowSystem& system_;
    std::deque<std::function<bool()>> steps_;
    QTimer tick_;
    QTimer watchdog_;
    bool busy_ = false;
};

inline QWidget* TopWindow(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == title) return w;
    }
    return nullptr;
}

template <class T>
inline T* Find(const QString& window_title, const char* name) {
    QWidget* top = TopWindow(window_title);
    return top ? top->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

inline bool ClickMessageButton(const char* label, QString* text = nullptr,
                               QString* default_label = nullptr) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return false;
    if (text) *text = box->text();
    if (default_label && box->defaultButton()) *default_label = box->defaultButton()->text();
    auto* b = box->findChild<QPushButton*>(QString::fromLatin1(label));
    if (!b) return false;
    b->click();
    return true;
}

inline std::string RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(20000)) return {};
    return p.readAllStandardOutput().toStdString();
}

}  // namespace zelt::platform
