// Desktop notifications through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications). Without a session bus, or without a notification service
// on it, a notice is silently not shown.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dbus/sd_bus_handles.hpp"
#include "runtime/window/desktop_notifier.hpp"

namespace zelt::platform {

class DbusDesktopNotifier final : public runtime::DesktopNotifier {
  public:
    // `application`: the sending program's name; `icon`: its icon's theme name.
    explicit DbusDesktopNotifier(std::string application = "ZELT", std::string icon = "zelt");
    // Over a bus of the caller's (tests); null: the session bus, connected at the first notice.
    DbusDesktopNotifier(BusPtr bus, std::string application, std::string icon);

    bool Notify(std::string_view summary, std::string_view body) override;

    // How long the service may take to take a notice (default 2 s).
    void SetTimeOut(std::int64_t ms) { timeout_ms_ = ms; }

  private:
    BusPtr bus_;
    bool tried_bus_ = false;
    std::string application_;
    std::string icon_;
    std::int64_t timeout_ms_ = 2000;
};

}  // namespace zelt::platform
