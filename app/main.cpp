// zelt: the ZELT program. Without arguments it runs the desktop program (the main window);
// with arguments it runs the headless mode (zelt --help), which never opens a window.
//
// Here the platform's services are wired into the runtime: the INI files behind the profile
// service, the Qt window backend, the D-Bus conversation transport, process spawning, and
// the PDF writer through which every report saved as a PDF file goes (in both modes; the
// toolkit draws only the preview and the printer's pages).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/headless/console_messages.hpp"
#include "app/headless/headless_options.hpp"
#include "app/headless/headless_run.hpp"
#include "app/program/desktop.hpp"
#include "app/program/program.hpp"
#include "platform/pdf/report_pdf_writer.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "runtime/program/command_usage.hpp"

#if ZELT_WITH_DBUS
#include "platform/dbus/dbus_transport.hpp"
#include "platform/dbus/desktop_notifier.hpp"
#endif

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

std::shared_ptr<zelt::runtime::ConversationTransport> ConnectSessionBus(std::string* reason) {
#if ZELT_WITH_DBUS
    return zelt::platform::DbusConversationTransport::ConnectSessionBus(reason);
#else
    if (reason) *reason = "this build has no D-Bus transport";
    return nullptr;
#endif
}

int RunDesktop(int argc, char** argv) {
#if ZELT_WITH_QT
    if (!HasDisplay()) {
        std::fputs(
            "zelt: there is no display to show the main window on; the headless mode "
            "runs without one (zelt --help)\n",
            stderr);
        return 2;
    }
    zelt::platform::InstallIniFileService();
    QApplication application(argc, argv);
    zelt::platform::QtBackend backend;
    zelt::platform::SpawnServerStarter starter;
    zelt::app::Program program(backend);
    program.SetIdeServices({ConnectSessionBus, &starter});
#if ZELT_WITH_DBUS
    zelt::platform::DbusDesktopNotifier notifier;
    zelt::runtime::DesktopNotifier* notices = &notifier;
#else
    zelt::runtime::DesktopNotifier* notices = nullptr;
#endif
    return program.Run(
        [notices](zelt::app::Program& p) { return zelt::app::RunMainWindow(p, notices); });
#else
    (void)argc;
    (void)argv;
    std::fputs("zelt: this build has no window system; use the headless mode (zelt --help)\n",
               stderr);
    return 2;
#endif
}

int RunHeadlessMode(const std::vector<std::string>& args) {
    using namespace zelt;
    std::string error;
    const std::optional<app::HeadlessOptions> options = app::ParseHeadlessOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "zelt: %s (zelt --help lists the commands)\n", error.c_str());
        return runtime::kUsageExitStatus;
    }
    if (options->command == app::HeadlessCommand::Help) {
        std::fputs(app::HeadlessUsage().c_str(), stdout);
        return 0;
    }
    platform::InstallIniFileService();
    app::ConsoleBackend backend;
    app::ConsolePresenter presenter;
    app::Program program(backend, &presenter);
    // A fatal error (a table that cannot be opened) ends the run as one that could not run.
    program.SetHalt([](int, std::string_view stop) {
        std::fprintf(stderr, "zelt: %.*s\n", static_cast<int>(stop.size()), stop.data());
        std::fflush(nullptr);
        std::exit(2);
    });
    platform::SpawnServerStarter starter;
    program.SetIdeServices({ConnectSessionBus, &starter});
    return program.Run([&](app::Program& p) { return app::RunHeadless(p, *options); });
}

}  // namespace

int main(int argc, char** argv) {
    zelt::runtime::InstallReportPdfWriter(zelt::platform::ReportPdfFileWriter());
    if (argc <= 1) return RunDesktop(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (zelt::runtime::FindStandingRequest(args)) {
        case zelt::runtime::StandingRequest::Version:
            std::printf("zelt (ZELT) %s\n", ZELT_VERSION);
            return 0;
        case zelt::runtime::StandingRequest::Help:
            std::fputs(zelt::app::HeadlessUsage().c_str(), stdout);
            return 0;
        case zelt::runtime::StandingRequest::None:
            break;
    }
    return RunHeadlessMode(args);
}
