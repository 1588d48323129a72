#include "framework/window/window_message_presenter.hpp"

#include "runtime/window/window_system.hpp"

namespace zelt::framework {

std::uint32_t WindowMessagePresenter::PlainMessage(std::string_view text, std::string_view caption,
                                                   std::uint32_t icon, std::uint32_t buttons,
                                                   std::uint32_t default_button, std::uint32_t) {
    return static_cast<std::uint32_t>(
        runtime::Message(text, caption, static_cast<runtime::StockIcon>(icon),
                         static_cast<int>(buttons), static_cast<int>(default_button)));
}

std::uint32_t WindowMessagePresenter::ShowHistory(std::string_view caption, std::uint32_t icon,
                                                  std::uint32_t buttons,
                                                  std::uint32_t default_button,
                                                  const std::vector<HistoryEntry>& history) {
    return PlainMessage(HistoryText(history), caption, icon, buttons, default_button, 0);
}

std::string HistoryText(const std::vector<HistoryEntry>& history) {
    std::string text;
    for (const auto& entry : history) {
        if (!text.empty()) text += "|";
        if (!entry.Category.empty()) text += entry.Category + ": ";
        text += entry.Txt;
    }
    return text;
}

}  // namespace zelt::framework
