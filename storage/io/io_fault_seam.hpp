// Fault-injection seam of the file I/O layer.
//
// Tests arm it to make the Nth write, flush or truncate of the process fail (the call
// reports an error) or stop (that call and every later one silently do nothing, as if the
// machine had stopped there). Counting covers every file the process writes.
#pragma once

#include <cstdint>

namespace zelt::storage::io {

enum class SeamAction : std::uint8_t { None, Fail, Stop };

struct IoFaultSeam {
    // Arms the seam: the `nth` (1-based) mutating call from now on takes `action`.
    static void Arm(SeamAction action, std::int64_t nth);
    static void Disarm();
    // Number of mutating calls (writes, flushes, truncates) seen since the last Arm/Disarm.
    static std::int64_t Count();
    // True once a Stop has struck: nothing reaches the disk any more.
    static bool Stopped();

    // Tests that simulate crashes in-process may skip the real flush to the device (the
    // flush still counts as a mutating call).
    static void SetDeviceSync(bool enabled);
    static bool DeviceSync();

    // Called by the I/O layer before each mutating call; answers what to do with it.
    static SeamAction Next();
};

}  // namespace zelt::storage::io
