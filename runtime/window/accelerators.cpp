#include "runtime/window/accelerators.hpp"

#include <cctype>
#include <optional>

#include "runtime/window/popup_menu.hpp"

namespace zelt::runtime {

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool Reachable(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Where the accelerator's character stands in the text, if it has one.
std::optional<std::size_t> AcceleratorAt(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::nullopt;
}

// The text with its accelerator on the character at `shown` of the text as shown (none: no
// accelerator).
std::string WithAcceleratorAt(std::string_view text, std::optional<std::size_t> shown) {
    const std::string plain = StripAccelerator(text);
    std::string out;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (shown && *shown == i) out += '&';
        out += plain[i];
        if (plain[i] == '&') out += '&';
    }
    return out;
}

// The sheets' pages a control lies on, innermost first: (sheet, page).
std::vector<std::pair<ControlNumber, ControlNumber>> PagesOf(const WindowDeclaration& d,
                                                             ControlNumber n) {
    std::vector<std::pair<ControlNumber, ControlNumber>> pages;
    // A tab's own text is on its sheet's bar, not on its page.
    ControlNumber c = d.Control(n)->kind == ControlKind::Tab ? d.Control(n)->parent : n;
    for (; c != 0; c = d.Control(c)->parent) {
        const ControlDeclaration& cd = *d.Control(c);
        if (cd.kind == ControlKind::Tab) pages.emplace_back(cd.parent, c);
    }
    return pages;
}

// Two controls are seen together unless they lie on different pages of one sheet.
bool SeenTogether(const WindowDeclaration& d, ControlNumber a, ControlNumber b) {
    for (const auto& [sheet_a, page_a] : PagesOf(d, a)) {
        for (const auto& [sheet_b, page_b] : PagesOf(d, b)) {
            if (sheet_a == sheet_b && page_a != page_b) return false;
        }
    }
    return true;
}

bool IsCancel(const ControlDeclaration& c) {
    return c.kind == ControlKind::Button && StripAccelerator(c.text) == "Cancel";
}

}  // namespace

char AcceleratorOf(std::string_view text) {
    const auto at = AcceleratorAt(text);
    return at ? Lower(text[*at]) : '\0';
}

std::vector<AcceleratorChange> UniqueAccelerators(WindowDeclaration& declaration) {
    std::vector<AcceleratorChange> changes;
    std::vector<ControlNumber> order;  // Cancel buttons first, then declaration order
    for (ControlNumber n = 1; n <= declaration.ControlCount(); ++n)
        if (IsCancel(*declaration.Control(n))) order.push_back(n);
    for (ControlNumber n = 1; n <= declaration.ControlCount(); ++n)
        if (!IsCancel(*declaration.Control(n))) order.push_back(n);

    std::vector<ControlNumber> settled;  // controls whose accelerator is taken
    for (ControlNumber n : order) {
        ControlDeclaration& c = *declaration.Control(n);
        const std::string before = c.text;
        if (IsCancel(c)) c.text = "&Cancel";
        const char wanted = AcceleratorOf(c.text);
        if (wanted == '\0') continue;
        auto taken = [&](char key) {
            for (ControlNumber other : settled) {
                if (AcceleratorOf(declaration.Control(other)->text) == key &&
                    SeenTogether(declaration, n, other))
                    return true;
            }
            return false;
        };
        if (taken(wanted)) {
            const std::string plain = StripAccelerator(c.text);
            std::optional<std::size_t> free;
            for (std::size_t i = 0; i < plain.size() && !free; ++i)
                if (Reachable(plain[i]) && !taken(Lower(plain[i]))) free = i;
            c.text = WithAcceleratorAt(c.text, free);
        }
        if (AcceleratorOf(c.text) != '\0') settled.push_back(n);
        if (c.text != before) changes.push_back({n, before, c.text});
    }
    return changes;
}

}  // namespace zelt::runtime
