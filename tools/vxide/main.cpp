// vxide: a stand-in Vextor IDE on the session bus. See docs/ide-standin.md.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/dbus/dbus_server.hpp"
#include "runtime/program/command_usage.hpp"
#include "tools/vxide/standin_ide.hpp"

namespace {

constexpr int kUsageStatus = zelt::runtime::kUsageExitStatus;

int OnSignal(sd_event_source* source, const struct signalfd_siginfo*, void*) {
    sd_event_exit(sd_event_source_get_event(source), 0);
    return 0;
}

// The bus connection's own signal that it has ended: the session is gone, so is vxide.
int OnDisconnected(sd_bus_message*, void* userdata, sd_bus_error*) {
    std::fprintf(stderr, "vxide: the session bus went away\n");
    sd_event_exit(static_cast<sd_event*>(userdata), 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelt;
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (runtime::FindStandingRequest(args)) {
        case runtime::StandingRequest::Help:
            std::fputs(vxide::StandinUsage().c_str(), stdout);
            return 0;
        case runtime::StandingRequest::Version:
            std::printf("vxide (ZELT) %s\n", ZELT_VERSION);
            return 0;
        case runtime::StandingRequest::None:
            break;
    }
    std::string message;
    std::optional<vxide::StandinOptions> options = vxide::ParseStandinOptions(args, &message);
    if (!options) {
        std::fprintf(stderr, "vxide: %s\n%s", message.c_str(), vxide::StandinUsage().c_str());
        return kUsageStatus;
    }
    if (options->instance.empty()) options->instance = "vxide_" + std::to_string(::getpid());

    // Builds are watched through SIGCHLD, and the termination signals end the loop.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGCHLD);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    sd_event* loop = nullptr;
    if (sd_event_new(&loop) < 0) {
        std::fprintf(stderr, "vxide: no event loop\n");
        return 1;
    }
    sd_event_add_signal(loop, nullptr, SIGTERM, &OnSignal, nullptr);
    sd_event_add_signal(loop, nullptr, SIGINT, &OnSignal, nullptr);

    int status = 0;
    {
        vxide::StandinIde ide(loop, *options);
        std::unique_ptr<platform::DbusConversationServer> server =
            platform::DbusConversationServer::Start(loop, ide, options->instance, &message);
        if (!server) {
            std::fprintf(stderr, "vxide: %s\n", message.c_str());
            sd_event_unref(loop);
            return 1;
        }
        sd_bus_match_signal(server->Bus(), nullptr, "org.freedesktop.DBus.Local",
                            "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                            "Disconnected", &OnDisconnected, loop);
        server->SetConversationLimits(options->client_limit, options->conversation_limit);
        ide.SetServer(server.get());
        std::printf("vxide: serving %s as %s\n", options->service.c_str(),
                    server->BusName().c_str());
        std::fflush(stdout);
        const int ended = sd_event_loop(loop);  // the code given to sd_event_exit
        status = ended < 0 ? 1 : ended;
        server->Flush();
        ide.SetServer(nullptr);
    }
    sd_event_unref(loop);
    return status;
}
