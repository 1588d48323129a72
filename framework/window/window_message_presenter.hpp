// The error reporter's messages shown by the installed window system: a plain message as a
// message box, the history as one message box that lists every remembered message.
#pragma once

#include "framework/message_presenter.hpp"

namespace zelt::framework {

class WindowMessagePresenter final : public MessagePresenter {
  public:
    std::uint32_t PlainMessage(std::string_view text, std::string_view caption, std::uint32_t icon,
                               std::uint32_t buttons, std::uint32_t default_button,
                               std::uint32_t style) override;
    std::uint32_t ShowHistory(std::string_view caption, std::uint32_t icon, std::uint32_t buttons,
                              std::uint32_t default_button,
                              const std::vector<HistoryEntry>& history) override;
};

// The text the history box shows: one line per message, "Category: text" (or the text
// alone without a category), the message's own line breaks kept.
std::string HistoryText(const std::vector<HistoryEntry>& history);

}  // namespace zelt::framework
