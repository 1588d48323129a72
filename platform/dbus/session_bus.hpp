// Connecting to the user's session bus, and saying plainly why it failed.
#pragma once

#include <string>

#include "platform/dbus/sd_bus_handles.hpp"

namespace zelt::platform {

// A connection to the session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus);
// nothing, and the reason, when there is none. When no session bus is running (a container,
// a remote login, a service without a desktop) the reason says so and how to start one.
BusPtr OpenSessionBus(std::string* reason);

}  // namespace zelt::platform
