#include "runtime/values/clock_source.hpp"

#include <chrono>
#include <ctime>

#include "runtime/values/day_number.hpp"

namespace zelt::runtime {

LocalDateTime SystemClockSource::Now() const {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return LocalDateTime{local.tm_year + 1900,
                         local.tm_mon + 1,
                         local.tm_mday,
                         local.tm_hour,
                         local.tm_min,
                         local.tm_sec,
                         static_cast<std::int32_t>(ms)};
}

std::int64_t SystemClockSource::MonotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

VirtualClockSource::VirtualClockSource(LocalDateTime start) : now_(start) {}

LocalDateTime VirtualClockSource::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::int64_t VirtualClockSource::MonotonicMs() const {
    std::lock_guard lock(mutex_);
    return monotonic_ms_;
}

void VirtualClockSource::Set(LocalDateTime now) {
    std::lock_guard lock(mutex_);
    now_ = now;
}

void VirtualClockSource::AdvanceMs(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    monotonic_ms_ += ms;
    // Carry through the time of day into the calendar.
    std::int64_t total =
        ((static_cast<std::int64_t>(now_.hour) * 60 + now_.minute) * 60 + now_.second) * 1000 +
        now_.millisecond + ms;
    constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;
    std::int64_t days = total / kDayMs;
    total %= kDayMs;
    if (total < 0) {
        total += kDayMs;
        --days;
    }
    if (days != 0) {
        const auto base = DateToDayNumber(CalendarDate{static_cast<std::uint32_t>(now_.year),
                                                       static_cast<std::uint8_t>(now_.month),
                                                       static_cast<std::uint8_t>(now_.day)});
        if (const auto date = DayNumberToDate(base + static_cast<DayNumber>(days))) {
            now_.year = static_cast<std::int32_t>(date->year);
            now_.month = date->month;
            now_.day = date->day;
        }
    }
    now_.millisecond = static_cast<std::int32_t>(total % 1000);
    now_.second = static_cast<std::int32_t>(total / 1000 % 60);
    now_.minute = static_cast<std::int32_t>(total / 60000 % 60);
    now_.hour = static_cast<std::int32_t>(total / 3600000);
}

namespace {
std::shared_ptr<const ClockSource> SystemClock() {
    static const auto clock = std::make_shared<const SystemClockSource>();
    return clock;
}
std::mutex install_mutex;
std::shared_ptr<const ClockSource> installed;  // guarded by install_mutex
}  // namespace

const ClockSource& CurrentClockSource() {
    std::lock_guard lock(install_mutex);
    if (!installed) installed = SystemClock();
    return *installed;
}

std::shared_ptr<const ClockSource> InstallClockSource(std::shared_ptr<const ClockSource> clock) {
    std::lock_guard lock(install_mutex);
    auto previous = installed ? installed : SystemClock();
    installed = clock ? std::move(clock) : SystemClock();
    return previous;
}

}  // namespace zelt::runtime
