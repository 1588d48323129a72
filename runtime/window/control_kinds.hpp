// What each kind of control is in the window model: its name, whether it takes the focus,
// whether it keeps a variable, what the user may type into it and what a press on it does.
// One row per ControlKind, so that a new kind is described in one place.
//
//   if (KindTraits(d.kind).focusable) ...
//   switch (KindTraits(d.kind).press) { case PressAction::Toggle: ... }
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

// What the user's press on a control does.
enum class PressAction : std::uint8_t {
    None,    // nothing: the press is refused
    Tab,     // brings the tab's page to the front of its sheet
    Toggle,  // flips a check box between its true and false values
    Choose,  // gives the radio's option group the radio's value
    Accept,  // takes the control's value into its variable and queues Accepted
};

struct ControlTraits {
    std::string_view name;  // as declarations and traces write it
    bool focusable = false;
    bool first_focus = false;       // may hold the focus when the window opens
    bool list = false;              // rows from a queue, a highlighted row
    bool typed = false;             // the user types its value (entry, text, spin)
    bool stepped = false;           // arrows step its value (NewSelection, not Accepted)
    bool stores = false;            // Update writes its value into its variable
    bool stores_read_only = false;  // ... even while read-only (a choice, not typed text)
    PressAction press = PressAction::None;
};

const ControlTraits& KindTraits(ControlKind kind);

}  // namespace zelt::runtime
