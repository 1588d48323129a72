// Key builds shown to the user, with a way to cancel them.
//
// While a KeyBuildProgress lives, the key builds of this thread report to it. A build that
// runs longer than a moment brings up the window "Building Keys" (when a window system is
// installed): the table, the key, a bar with its percentage, and a "Cancel" button that
// stops the build, which then returns "BUILD Cancelled". Closing the window cancels too.
// The window goes when the object goes.
//
//   KeyBuildProgress progress;
//   if (table.Build() == err::BuildCancelled) ...
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/file/build_progress.hpp"
#include "runtime/window/window.hpp"

namespace zelt::framework {

class KeyBuildProgress {
  public:
    static constexpr std::int64_t kDefaultDeferMs = 1000;

    // `defer_ms`: how long a build runs before the window shows (0: at the first record).
    explicit KeyBuildProgress(std::int64_t defer_ms = kDefaultDeferMs);
    ~KeyBuildProgress();
    KeyBuildProgress(const KeyBuildProgress&) = delete;
    KeyBuildProgress& operator=(const KeyBuildProgress&) = delete;

    bool Cancelled() const { return cancelled_; }
    bool WindowShown() const { return window_ != nullptr; }

    enum Ctl : runtime::ControlNumber { Table = 1, Key, Bar, Percent, Cancel };

  private:
    bool Report(const runtime::BuildProgress& progress);
    void Show(const runtime::BuildProgress& progress);
    void TakeUserInput();

    std::int64_t started_ms_;
    std::int64_t defer_ms_;
    std::int64_t shown_ms_ = -1;
    int percent_ = -1;
    bool cancelled_ = false;
    std::unique_ptr<runtime::Window> window_;
    runtime::ScopedBuildProgress scope_;  // last: it calls Report
};

}  // namespace zelt::framework
