#include "app/program/desktop.hpp"

#include "app/main_window/main_window.hpp"

namespace zelt::app {

int RunMainWindow(Program& program, runtime::DesktopNotifier* notifier) {
    MainWindowServices services;
    services.ide = program.Ide();
    services.places = &program.Settings();
    services.notifier = notifier;
    return Main(program.Errors(), std::move(services));
}

}  // namespace zelt::app
