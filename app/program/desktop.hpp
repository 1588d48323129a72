// The desktop program's work between start-up and shutdown: the main window.
#pragma once

#include "app/program/program.hpp"
#include "runtime/window/desktop_notifier.hpp"

namespace zelt::app {

// Runs the main window until it closes; its exit status (0). The main window reaches the
// IDE through program.Ide(), keeps its place in program.Settings(), and tells `notifier`
// (none: nobody) when a long batch ends.
int RunMainWindow(Program& program, runtime::DesktopNotifier* notifier = nullptr);

}  // namespace zelt::app
