// Progress of key builds, and the way to cancel one.
//
// A caller that wants to watch (and perhaps cancel) long key builds installs a hook for
// its thread; drivers report each record they index to it. A hook that answers false
// cancels the build, which then returns "BUILD Cancelled" (93). A build started while
// another is running on the thread (from the hook, say) returns "BUILD In Progress" (92).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zelt::runtime {

struct BuildProgress {
    std::string table;       // the table's display name
    int key = -1;            // the key being built (0-based)
    std::int64_t done = 0;   // records indexed so far in this key
    std::int64_t total = 0;  // records to index in this key (an estimate)
};

// Answers false to cancel the build.
using BuildProgressHook = std::function<bool(const BuildProgress&)>;

// Installs a hook for the current thread for a scope; the previous one comes back after.
class ScopedBuildProgress {
  public:
    explicit ScopedBuildProgress(BuildProgressHook hook);
    ~ScopedBuildProgress();
    ScopedBuildProgress(const ScopedBuildProgress&) = delete;
    ScopedBuildProgress& operator=(const ScopedBuildProgress&) = delete;

  private:
    BuildProgressHook previous_;
};

// For drivers: tells the hook (if any) how far the build is. False: cancel.
bool ReportBuildProgress(const BuildProgress& progress);

// For drivers: marks a build as running on this thread for a scope. `Started()` is false
// when another build was already running; the caller then returns 92.
class BuildInProgressGuard {
  public:
    BuildInProgressGuard();
    ~BuildInProgressGuard();
    BuildInProgressGuard(const BuildInProgressGuard&) = delete;
    BuildInProgressGuard& operator=(const BuildInProgressGuard&) = delete;
    bool Started() const { return started_; }

  private:
    bool started_;
};

}  // namespace zelt::runtime
