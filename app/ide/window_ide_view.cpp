#include "app/ide/window_ide_view.hpp"

#include "runtime/window/window_system.hpp"

namespace zelt::app {

void WindowIdeView::ShowMessage(std::string_view text) {
    // No caption, no icon, the default OK button.
    window_.System().Message(text);
}

void WindowIdeView::Redisplay() {
    window_.Display();
}

void WindowIdeView::SelectApplicationsList() {
    window_.Select(applications_list_);
}

void WindowIdeView::PostEvent(runtime::EventCode event) {
    window_.Post(event);
}

}  // namespace zelt::app
