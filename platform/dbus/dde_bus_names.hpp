// Names of the IDE conversation on the D-Bus session bus (docs/ide-protocol.md).
#pragma once

#include <string_view>

namespace zelt::platform {

// A server owns a bus name with this prefix, followed by a name of its own.
inline constexpr std::string_view kDdeServerPrefix = "org.zelt.Dde.Server.";
// The same prefix as a namespace for arg0namespace match rules.
inline constexpr const char* kDdeServerNamespace = "org.zelt.Dde.Server";
inline constexpr const char* kDdeObjectPath = "/org/zelt/Dde";
inline constexpr const char* kDdeInterface = "org.zelt.Dde.Server1";

}  // namespace zelt::platform
