#include "app/catalogue/busy_retry.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace zelt::app {

namespace {
constexpr std::int64_t kFirstPauseMs = 5;
constexpr std::int64_t kLongestPauseMs = 500;
}  // namespace

bool RefusedForNow(runtime::ErrorCode code) {
    namespace err = runtime::err;
    return code == err::AccessDenied || code == err::FileIsAlreadyLocked ||
           code == err::RecordNotAvailable || code == err::RecordIsAlreadyHeld ||
           code == err::SharingViolation;
}

runtime::ErrorCode RetryWhileBusy(const std::function<runtime::ErrorCode()>& attempt,
                                  std::int64_t budget_ms) {
    std::int64_t slept = 0;
    std::int64_t pause = kFirstPauseMs;
    for (;;) {
        const runtime::ErrorCode code = attempt();
        if (!RefusedForNow(code) || slept >= budget_ms) return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        slept += pause;
        pause = std::min(pause * 2, kLongestPauseMs);
    }
}

runtime::ErrorCode NextWhenFree(runtime::Table& table) {
    runtime::ErrorCode code = runtime::err::NoError;
    RetryWhileBusy([&] {
        code = table.Next();
        // The end of the table is no refusal: nothing would change by waiting.
        return code == runtime::err::RecordNotAvailable ? runtime::err::NoError : code;
    });
    return code;
}

void OpenWhenFree(framework::FileManager& manager) {
    runtime::Table& table = manager.File();
    const int mode = manager.Settings.OpenMode;
    // A file that this process may not write to is refused for good: the manager says so.
    const std::string name = table.FileName();
    if ((mode & 0x0F) != 0 && ::access(name.c_str(), W_OK) != 0) return;
    RetryWhileBusy([&] {
        const runtime::ErrorCode code = table.Open(mode);
        return code == runtime::err::FileAlreadyOpen ? runtime::err::NoError : code;
    });
}

}  // namespace zelt::app
