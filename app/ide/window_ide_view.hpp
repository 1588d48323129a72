// The IDE routines' window, over a window of the window model: message boxes of the
// window system, the window's redisplay, its applications list and its event queue. The
// main window hands one of these to its IdeChannel.
#pragma once

#include "app/ide/ide_window.hpp"
#include "runtime/window/window.hpp"

namespace zelt::app {

class WindowIdeView final : public IdeWindow {
  public:
    // `applications_list` is the control that receives the focus (?List).
    WindowIdeView(runtime::Window& window, runtime::ControlNumber applications_list)
        : window_(window), applications_list_(applications_list) {}

    void ShowMessage(std::string_view text) override;
    void Redisplay() override;
    void SelectApplicationsList() override;
    void PostEvent(runtime::EventCode event) override;

  private:
    runtime::Window& window_;
    runtime::ControlNumber applications_list_;
};

}  // namespace zelt::app
