// A notice to the desktop (the notification bubble of the user's session), for a program
// that wants the user to know that something ended while the window was out of sight.
#pragma once

#include <string_view>

namespace zelt::runtime {

class DesktopNotifier {
  public:
    virtual ~DesktopNotifier() = default;
    // Shows `summary` with `body` under it; false when no notification service took it
    // (there is none: nothing is shown, and nothing else happens).
    virtual bool Notify(std::string_view summary, std::string_view body) = 0;
};

}  // namespace zelt::runtime
