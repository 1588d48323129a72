#include "runtime/file/build_progress.hpp"

#include <utility>

namespace zelt::runtime {

namespace {
thread_local BuildProgressHook current_hook;
thread_local bool build_running = false;
}  // namespace

ScopedBuildProgress::ScopedBuildProgress(BuildProgressHook hook)
    : previous_(std::exchange(current_hook, std::move(hook))) {}

ScopedBuildProgress::~ScopedBuildProgress() {
    current_hook = std::move(previous_);
}

bool ReportBuildProgress(const BuildProgress& progress) {
    if (!current_hook) return true;
    // The hook may be replaced while it runs; call a copy.
    const BuildProgressHook hook = current_hook;
    return hook(progress);
}

BuildInProgressGuard::BuildInProgressGuard() : started_(!build_running) {
    build_running = true;
}

BuildInProgressGuard::~BuildInProgressGuard() {
    if (started_) build_running = false;
}

}  // namespace zelt::runtime
