#include "runtime/window/message_box.hpp"

#include <array>

namespace zelt::runtime {

namespace {
struct ButtonName {
    int bit;
    std::string_view label;
};
constexpr std::array<ButtonName, 8> kButtons{{{button::Ok, "O&k"},
                                              {button::Yes, "&Yes"},
                                              {button::No, "&No"},
                                              {button::Abort, "&Abort"},
                                              {button::Retry, "&Retry"},
                                              {button::Ignore, "&Ignore"},
                                              {button::Cancel, "&Cancel"},
                                              {button::Help, "&Help"}}};
}  // namespace

std::string_view ButtonLabel(int bit) {
    for (const auto& b : kButtons) {
        if (b.bit == bit) return b.label;
    }
    return {};
}

std::vector<int> ButtonsOf(int buttons) {
    std::vector<int> shown;
    for (const auto& b : kButtons) {
        if (buttons & b.bit) shown.push_back(b.bit);
    }
    if (shown.empty()) shown.push_back(button::Ok);
    return shown;
}

int EffectiveDefaultButton(const MessageRequest& request) {
    const auto shown = ButtonsOf(request.buttons);
    for (int b : shown) {
        if (b == request.default_button) return b;
    }
    return shown.front();
}

std::string MessageLines(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c == '|') c = '\n';
    }
    return out;
}

}  // namespace zelt::runtime
