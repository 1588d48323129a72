#include "runtime/window/popup_menu.hpp"

#include <cctype>

namespace zelt::runtime {

int PopupMenu::ChoiceCount() const {
    int n = 0;
    for (const auto& e : entries) {
        if (!e.separator) ++n;
    }
    return n;
}

const PopupEntry* PopupMenu::Entry(int number) const {
    for (const auto& e : entries) {
        if (!e.separator && e.number == number) return &e;
    }
    return nullptr;
}

int PopupMenu::NumberOf(std::string_view text) const {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    for (const auto& e : entries) {
        if (!e.separator && e.enabled && same(StripAccelerator(e.text), text)) return e.number;
    }
    return 0;
}

PopupMenu ParsePopupMenu(std::string_view text) {
    PopupMenu menu;
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) bar = text.size();
        std::string_view item = text.substr(start, bar - start);
        PopupEntry entry;
        if (item == "-") {
            entry.separator = true;
        } else {
            if (!item.empty() && item.front() == '~') {
                entry.enabled = false;
                item.remove_prefix(1);
            }
            entry.text = std::string(item);
            entry.number = ++number;
        }
        menu.entries.push_back(std::move(entry));
        start = bar + 1;
    }
    if (text.empty()) menu.entries.clear();
    return menu;
}

std::string StripAccelerator(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace zelt::runtime
