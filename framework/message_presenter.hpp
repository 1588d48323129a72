// How the error reporter shows its messages: a plain message box and the history window.
// The window system implements it; until one is installed the reporter writes the text to
// the standard error stream and answers the default button.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_ids.hpp"

namespace zelt::framework {

struct HistoryEntry {
    std::string Category;
    std::string Txt;  // the built message text, up to 1024 characters
    ErrorId Id{};
};

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Shows `text` ("|" is a line break) with one button per bit of `buttons` and returns the
    // value of the button pressed.
    virtual std::uint32_t PlainMessage(std::string_view text, std::string_view caption,
                                       std::uint32_t icon, std::uint32_t buttons,
                                       std::uint32_t default_button, std::uint32_t style) = 0;
    // Shows the history list with the buttons, created from the highest bit down; returns the
    // value of the button pressed.
    virtual std::uint32_t ShowHistory(std::string_view caption, std::uint32_t icon,
                                      std::uint32_t buttons, std::uint32_t default_button,
                                      const std::vector<HistoryEntry>& history) = 0;
};

// The label of a button bit ("O&k", "&Yes", ...); empty for anything but one known bit.
std::string_view ButtonLabel(std::uint32_t button);

}  // namespace zelt::framework
