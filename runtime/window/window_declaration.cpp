#include "runtime/window/window_declaration.hpp"

#include "runtime/window/control_kinds.hpp"

namespace zelt::runtime {

std::string_view ControlKindName(ControlKind kind) {
    return KindTraits(kind).name;
}

ControlDeclaration& WindowDeclaration::Add(ControlKind kind, std::string name, std::string text) {
    ControlDeclaration c;
    c.kind = kind;
    c.name = std::move(name);
    c.text = std::move(text);
    c.parent = open_.empty() ? 0 : open_.back();
    controls_.push_back(std::move(c));
    return controls_.back();
}

ControlDeclaration& WindowDeclaration::Sheet(std::string name) {
    Add(ControlKind::Sheet, std::move(name), {});
    Push(ControlCount());
    return controls_.back();
}

ControlDeclaration& WindowDeclaration::Tab(std::string name, std::string text) {
    // A tab closes an open tab of the same sheet (and anything still open inside it).
    for (std::size_t i = open_.size(); i-- > 0;) {
        if (controls_[static_cast<std::size_t>(open_[i] - 1)].kind == ControlKind::Tab) {
            open_.resize(i);
            break;
        }
    }
    Add(ControlKind::Tab, std::move(name), std::move(text));
    Push(ControlCount());
    return controls_.back();
}

ControlDeclaration& WindowDeclaration::Group(std::string name, std::string text) {
    Add(ControlKind::Group, std::move(name), std::move(text));
    Push(ControlCount());
    return controls_.back();
}

ControlDeclaration& WindowDeclaration::Option(std::string name, std::string text) {
    Add(ControlKind::Option, std::move(name), std::move(text));
    Push(ControlCount());
    return controls_.back();
}

WindowDeclaration& WindowDeclaration::End() {
    if (!open_.empty()) {
        // Closing a sheet also closes its last tab.
        if (controls_[static_cast<std::size_t>(open_.back() - 1)].kind == ControlKind::Tab)
            open_.pop_back();
        if (!open_.empty()) open_.pop_back();
    }
    return *this;
}

ControlDeclaration& WindowDeclaration::Radio(std::string name, std::string text) {
    return Add(ControlKind::Radio, std::move(name), std::move(text));
}
ControlDeclaration& WindowDeclaration::Prompt(std::string name, std::string text) {
    return Add(ControlKind::Prompt, std::move(name), std::move(text));
}
ControlDeclaration& WindowDeclaration::String(std::string name, std::string text) {
    return Add(ControlKind::String, std::move(name), std::move(text));
}
ControlDeclaration& WindowDeclaration::Text(std::string name) {
    return Add(ControlKind::Text, std::move(name), {});
}
ControlDeclaration& WindowDeclaration::Entry(std::string name, int width, std::string picture) {
    auto& c = Add(ControlKind::Entry, std::move(name), {});
    c.width = width;
    c.picture = std::move(picture);
    return c;
}
ControlDeclaration& WindowDeclaration::Spin(std::string name, int low, int high, int step) {
    auto& c = Add(ControlKind::Spin, std::move(name), {});
    c.Range(low, high, step);
    return c;
}
ControlDeclaration& WindowDeclaration::Check(std::string name, std::string text) {
    return Add(ControlKind::Check, std::move(name), std::move(text));
}
ControlDeclaration& WindowDeclaration::Button(std::string name, std::string text) {
    return Add(ControlKind::Button, std::move(name), std::move(text));
}
ControlDeclaration& WindowDeclaration::List(std::string name, ListFormat format) {
    auto& c = Add(ControlKind::List, std::move(name), {});
    c.format = std::move(format);
    return c;
}
ControlDeclaration& WindowDeclaration::Tree(std::string name, ListFormat format) {
    auto& c = Add(ControlKind::Tree, std::move(name), {});
    c.format = std::move(format);
    return c;
}
ControlDeclaration& WindowDeclaration::Image(std::string name, std::string icon) {
    auto& c = Add(ControlKind::Image, std::move(name), {});
    c.icon = std::move(icon);
    return c;
}
ControlDeclaration& WindowDeclaration::Progress(std::string name, int high) {
    auto& c = Add(ControlKind::Progress, std::move(name), {});
    c.Range(0, high);
    return c;
}
ControlDeclaration& WindowDeclaration::Region(std::string name) {
    return Add(ControlKind::Region, std::move(name), {});
}
ControlDeclaration& WindowDeclaration::Chart(std::string name) {
    return Add(ControlKind::Chart, std::move(name), {});
}

const ControlDeclaration* WindowDeclaration::Control(ControlNumber n) const {
    if (n < 1 || n > ControlCount()) return nullptr;
    return &controls_[static_cast<std::size_t>(n - 1)];
}

ControlNumber WindowDeclaration::Find(std::string_view name) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].name == name) return static_cast<ControlNumber>(i + 1);
    }
    return 0;
}

std::vector<ControlNumber> WindowDeclaration::Children(ControlNumber parent) const {
    std::vector<ControlNumber> out;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].parent == parent) out.push_back(static_cast<ControlNumber>(i + 1));
    }
    return out;
}

bool WindowDeclaration::IsContainer(ControlNumber n) const {
    const auto* c = Control(n);
    if (!c) return false;
    switch (c->kind) {
        case ControlKind::Sheet:
        case ControlKind::Tab:
        case ControlKind::Group:
        case ControlKind::Option:
            return true;
        default:
            return false;
    }
}

}  // namespace zelt::runtime
