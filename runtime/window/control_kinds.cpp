#include "runtime/window/control_kinds.hpp"

#include <array>
#include <cstddef>

namespace zelt::runtime {

namespace {
constexpr std::size_t kKinds = static_cast<std::size_t>(ControlKind::Chart) + 1;

// In the order of ControlKind.
constexpr std::array<ControlTraits, kKinds> kTraits = {{
    {.name = "sheet", .focusable = true},
    {.name = "tab", .press = PressAction::Tab},
    {.name = "group"},
    {.name = "option", .focusable = true, .stores = true, .stores_read_only = true},
    {.name = "radio", .focusable = true, .first_focus = true, .press = PressAction::Choose},
    {.name = "prompt"},
    {.name = "string"},
    {.name = "text",
     .focusable = true,
     .first_focus = true,
     .typed = true,
     .stores = true,
     .press = PressAction::Accept},
    {.name = "entry",
     .focusable = true,
     .first_focus = true,
     .typed = true,
     .stores = true,
     .press = PressAction::Accept},
    {.name = "spin",
     .focusable = true,
     .first_focus = true,
     .typed = true,
     .stepped = true,
     .stores = true,
     .press = PressAction::Accept},
    {.name = "check",
     .focusable = true,
     .first_focus = true,
     .stores = true,
     .stores_read_only = true,
     .press = PressAction::Toggle},
    {.name = "button", .focusable = true, .first_focus = true, .press = PressAction::Accept},
    {.name = "list",
     .focusable = true,
     .first_focus = true,
     .list = true,
     .press = PressAction::Accept},
    {.name = "tree",
     .focusable = true,
     .first_focus = true,
     .list = true,
     .press = PressAction::Accept},
    {.name = "image"},
    {.name = "progress"},
    {.name = "region"},
    {.name = "chart"},
}};
}  // namespace

const ControlTraits& KindTraits(ControlKind kind) {
    static constexpr ControlTraits kUnknown{.name = "control"};
    const auto index = static_cast<std::size_t>(kind);
    return index < kTraits.size() ? kTraits[index] : kUnknown;
}

}  // namespace zelt::runtime
