#include "platform/dbus/session_bus.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zelt::platform {

namespace {

constexpr const char* kHowToStart =
    "; start one for a command with \"dbus-run-session -- COMMAND\", or for a shell and all it "
    "runs with \"dbus-run-session -- bash\"";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Why(int error) {
    const std::string address = Environment("DBUS_SESSION_BUS_ADDRESS");
    const std::string runtime_dir = Environment("XDG_RUNTIME_DIR");
    const bool nobody_there =
        error == ENOMEDIUM || error == ENOENT || error == ECONNREFUSED || error == ENXIO;
    if (!nobody_there)
        return std::string("the session bus cannot be reached: ") + std::strerror(error);
    if (!address.empty()) {
        return "the session bus at " + address + " does not answer (" + std::strerror(error) +
               "): it is no longer running" + kHowToStart;
    }
    if (runtime_dir.empty()) {
        return std::string(
                   "no session bus is running (DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are "
                   "not set)") +
               kHowToStart;
    }
    return "no session bus is running (DBUS_SESSION_BUS_ADDRESS is not set, and there is none at " +
           runtime_dir + "/bus)" + kHowToStart;
}

}  // namespace

BusPtr OpenSessionBus(std::string* reason) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        if (reason) *reason = Why(-r);
        return nullptr;
    }
    return BusPtr(bus);
}

}  // namespace zelt::platform
