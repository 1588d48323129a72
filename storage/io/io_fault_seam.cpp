#include "storage/io/io_fault_seam.hpp"

namespace zelt::storage::io {
namespace {
SeamAction g_action = SeamAction::None;
std::int64_t g_nth = 0;
std::int64_t g_count = 0;
bool g_stopped = false;
bool g_sync = true;
}  // namespace

void IoFaultSeam::Arm(SeamAction action, std::int64_t nth) {
    g_action = action;
    g_nth = nth;
    g_count = 0;
    g_stopped = false;
}

void IoFaultSeam::Disarm() { Arm(SeamAction::None, 0); }

void IoFaultSeam::SetDeviceSync(bool enabled) { g_sync = enabled; }

bool IoFaultSeam::DeviceSync() { return g_sync; }

std::int64_t IoFaultSeam::Count() { return g_count; }

bool IoFaultSeam::Stopped() { return g_stopped; }

SeamAction IoFaultSeam::Next() {
    ++g_count;
    if (g_stopped) return SeamAction::Stop;
    if (g_action == SeamAction::None || g_count != g_nth) return SeamAction::None;
    if (g_action == SeamAction::Stop) g_stopped = true;
    return g_action;
}

}  // namespace zelt::storage::io
