// What a message box asks: its text, caption, stock icon and buttons.
//
// Buttons are a bit set (OK 1, Yes 2, No 4, Abort 8, Retry 16, Ignore 32, Cancel 64,
// Help 128); a message box answers with the value of the button pressed. In the text a "|"
// is a line break.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::runtime {

namespace button {
inline constexpr int Ok = 1;
inline constexpr int Yes = 2;
inline constexpr int No = 4;
inline constexpr int Abort = 8;
inline constexpr int Retry = 16;
inline constexpr int Ignore = 32;
inline constexpr int Cancel = 64;
inline constexpr int Help = 128;
}  // namespace button

// The platform's stock icons, by their numbers.
enum class StockIcon : int {
    None = 0,
    Application = 32512,
    Hand = 32513,  // a stop sign: errors
    Question = 32514,
    Exclamation = 32515,  // questions and warnings
    Asterisk = 32516,     // information
};

struct MessageRequest {
    std::string text;  // "|" = line break
    std::string caption;
    StockIcon icon = StockIcon::None;
    int buttons = button::Ok;
    int default_button = 0;  // 0: the first button shown
};

// "O&k", "&Yes", ... for one button bit; empty for anything else.
std::string_view ButtonLabel(int button);
// The buttons of a bit set from the lowest bit up (OK before Yes before No ...). A set
// without any known bit shows OK alone.
std::vector<int> ButtonsOf(int buttons);
// The button a box shows as default: `default_button` when it is one of the buttons shown,
// else the first one.
int EffectiveDefaultButton(const MessageRequest& request);
// The text with every "|" turned into a line break.
std::string MessageLines(std::string_view text);

}  // namespace zelt::runtime
