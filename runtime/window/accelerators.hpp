// Accelerators: the character after a single "&" in a control's text, reached with Alt and
// that character ("&&" shows one ampersand and is no accelerator).
//
// Within one window each Alt key reaches one control. UniqueAccelerators settles a
// declaration before its window is built:
//   - every button that says "Cancel" takes C ("&Cancel"), ahead of every other control;
//   - a control whose accelerator an earlier control already has, where both can be seen
//     at the same time, takes the first other letter or digit of its text that is free
//     (none free: it shows its text without an accelerator);
//   - a text without an accelerator stays as it is.
// Controls on different pages of one sheet are never seen together and may share a key.
//
//   WindowDeclaration w("Form");
//   w.Button("?Ok", "&Ok");
//   w.Button("?Other", "&Other");  // becomes "O&ther"
//   for (const auto& change : UniqueAccelerators(w)) ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

// The accelerator of a text, in lower case; 0 when it has none.
char AcceleratorOf(std::string_view text);

struct AcceleratorChange {
    ControlNumber control = 0;
    std::string before;
    std::string after;
};

// Settles the accelerators of `declaration` as described above; the texts it changed.
std::vector<AcceleratorChange> UniqueAccelerators(WindowDeclaration& declaration);

}  // namespace zelt::runtime
