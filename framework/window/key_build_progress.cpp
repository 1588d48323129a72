#include "framework/window/key_build_progress.hpp"

#include <algorithm>
#include <string>

#include "runtime/events/event_codes.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {
namespace {

constexpr std::int64_t kRefreshMs = 100;

runtime::WindowDeclaration ProgressDeclaration() {
    runtime::WindowDeclaration w("Building Keys");
    w.Modal();
    w.String("?Table");
    w.String("?Key");
    w.Progress("?Bar", 100);
    w.String("?Percent");
    w.Button("?Cancel", "Cancel");
    return w;
}

std::int64_t NowMs() {
    return runtime::CurrentClockSource().MonotonicMs();
}

}  // namespace

KeyBuildProgress::KeyBuildProgress(std::int64_t defer_ms)
    : started_ms_(NowMs()),
      defer_ms_(std::max<std::int64_t>(0, defer_ms)),
      scope_([this](const runtime::BuildProgress& progress) { return Report(progress); }) {}

KeyBuildProgress::~KeyBuildProgress() {
    if (window_ && window_->IsOpen()) window_->Close();
}

bool KeyBuildProgress::Report(const runtime::BuildProgress& progress) {
    if (cancelled_) return false;
    const std::int64_t now = NowMs();
    if (!window_) {
        if (now - started_ms_ < defer_ms_ || runtime::CurrentWindowSystem() == nullptr) return true;
        window_ = std::make_unique<runtime::Window>(ProgressDeclaration());
        if (!window_->Open()) return true;
    }
    if (!window_->IsOpen()) return !cancelled_;
    if (shown_ms_ < 0 || now - shown_ms_ >= kRefreshMs) {
        Show(progress);
        shown_ms_ = now;
    }
    TakeUserInput();
    return !cancelled_;
}

void KeyBuildProgress::Show(const runtime::BuildProgress& progress) {
    window_->SetText(Table, "Table: " + progress.table);
    window_->SetText(Key, "Key " + std::to_string(progress.key + 1));
    const std::int64_t total = std::max<std::int64_t>(progress.total, 1);
    const int percent =
        static_cast<int>(std::clamp<std::int64_t>(progress.done * 100 / total, 0, 100));
    if (percent != percent_) {
        percent_ = percent;
        window_->SetValue(Bar, std::to_string(percent));
        window_->SetText(Percent, std::to_string(percent) + "% Complete");
    }
}

void KeyBuildProgress::TakeUserInput() {
    while (window_->Poll() && window_->Accept()) {
        const runtime::EventCode event = window_->Event();
        if ((event == runtime::event::Accepted && window_->Field() == Cancel) ||
            event == runtime::event::CloseWindow || event == runtime::event::CloseDown)
            cancelled_ = true;
    }
}

}  // namespace zelt::framework
