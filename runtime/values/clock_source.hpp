// Where the runtime learns the local date and time.
//
// Everything that asks for "now" (Today, Clock, the two-digit year window, waits) goes
// through the installed ClockSource, so that tests can run on a virtual clock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace zelt::runtime {

struct LocalDateTime {
    std::int32_t year = 1801;
    std::int32_t month = 1;  // 1..12
    std::int32_t day = 1;    // 1..31
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
};

class ClockSource {
  public:
    virtual ~ClockSource() = default;
    virtual LocalDateTime Now() const = 0;
    // Monotonic milliseconds, for time-outs and waits.
    virtual std::int64_t MonotonicMs() const = 0;
};

// The machine's local time.
class SystemClockSource final : public ClockSource {
  public:
    LocalDateTime Now() const override;
    std::int64_t MonotonicMs() const override;
};

// A clock that stands still until told to move.
class VirtualClockSource final : public ClockSource {
  public:
    explicit VirtualClockSource(LocalDateTime start);
    LocalDateTime Now() const override;
    std::int64_t MonotonicMs() const override;
    void Set(LocalDateTime now);
    // Moves both the local time and the monotonic counter forward.
    void AdvanceMs(std::int64_t ms);

  private:
    mutable std::mutex mutex_;
    LocalDateTime now_;
    std::int64_t monotonic_ms_ = 0;
};

// The clock in use; the system clock unless another was installed.
const ClockSource& CurrentClockSource();
// Installs a clock (nullptr puts the system clock back). Returns the previous one.
std::shared_ptr<const ClockSource> InstallClockSource(std::shared_ptr<const ClockSource> clock);

// Installs a clock for a scope and puts the previous one back at its end.
class ScopedClockSource {
  public:
    explicit ScopedClockSource(std::shared_ptr<const ClockSource> clock)
        : previous_(InstallClockSource(std::move(clock))) {}
    ~ScopedClockSource() { InstallClockSource(previous_); }
    ScopedClockSource(const ScopedClockSource&) = delete;
    ScopedClockSource& operator=(const ScopedClockSource&) = delete;

  private:
    std::shared_ptr<const ClockSource> previous_;
};

}  // namespace zelt::runtime
