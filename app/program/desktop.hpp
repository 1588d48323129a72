// The desktop program's work between start-up and shutdown: the main window.
#pragma once

#include "app/program/program.hpp"

namespace zelt::app {

// The exit status of a desktop program that has no main window to run.
inline constexpr int kNoMainWindow = 2;

// Runs the main window until it closes; its exit status (0). The main window reaches the
// IDE through program.Ide() and the settings through app/settings (WarnIdeNotRunning,
// LoadSettingsAtOpening, GetConfig, SaveSettingsAtClosing). Until the main window is built,
// it says so on standard error and answers kNoMainWindow.
int RunMainWindow(Program& program);

}  // namespace zelt::app
