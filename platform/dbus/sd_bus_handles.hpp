// Owning handles for sd-bus objects.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace zelt::platform {

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

// Drops one reference without closing the connection for the other holders.
struct BusRefUnref {
    void operator()(sd_bus* bus) const { sd_bus_unref(bus); }
};

using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using BusRef = std::unique_ptr<sd_bus, BusRefUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// An sd_bus_error that frees itself.
class BusError {
  public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    sd_bus_error* get() { return &error_; }
    const char* name() const { return error_.name; }
    const char* message() const { return error_.message; }

  private:
    sd_bus_error error_{};
};

}  // namespace zelt::platform
