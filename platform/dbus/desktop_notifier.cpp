#include "platform/dbus/desktop_notifier.hpp"

#include "platform/dbus/session_bus.hpp"

namespace zelt::platform {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
}  // namespace

DbusDesktopNotifier::DbusDesktopNotifier(std::string application, std::string icon)
    : application_(std::move(application)), icon_(std::move(icon)) {}

DbusDesktopNotifier::DbusDesktopNotifier(BusPtr bus, std::string application, std::string icon)
    : bus_(std::move(bus)),
      tried_bus_(true),
      application_(std::move(application)),
      icon_(std::move(icon)) {}

bool DbusDesktopNotifier::Notify(std::string_view summary, std::string_view body) {
    if (!bus_ && !tried_bus_) {
        tried_bus_ = true;
        std::string reason;
        bus_ = OpenSessionBus(&reason);
    }
    if (!bus_) return false;
    // Only a service that is there is asked: the bus would otherwise try to start one.
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", error.get(), &reply, "s",
                           kService) < 0)
        return false;
    MessagePtr owner(reply);
    int present = 0;
    if (sd_bus_message_read(owner.get(), "b", &present) < 0 || !present) return false;

    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus_.get(), &call, kService, kPath, kService, "Notify") < 0)
        return false;
    MessagePtr m(call);
    const std::string summary_text(summary);
    const std::string body_text(body);
    if (sd_bus_message_append(m.get(), "susss", application_.c_str(), 0u, icon_.c_str(),
                              summary_text.c_str(), body_text.c_str()) < 0 ||
        sd_bus_message_append(m.get(), "as", 0) < 0 ||
        sd_bus_message_append(m.get(), "a{sv}", 0) < 0 ||
        sd_bus_message_append(m.get(), "i", -1) < 0)
        return false;
    BusError call_error;
    sd_bus_message* answer = nullptr;
    const int r = sd_bus_call(bus_.get(), m.get(), static_cast<std::uint64_t>(timeout_ms_) * 1000u,
                              call_error.get(), &answer);
    MessagePtr answered(answer);
    return r >= 0;
}

}  // namespace zelt::platform
