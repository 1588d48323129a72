// Icons by the names windows declare: freedesktop theme names, the system's own icon names
// ("~open.ico") and a few of our own ("check", "zelt"). Where the theme has none, the icons
// the project ships (platform/qt/icons) stand in, else the style's own.
#pragma once

#include <QIcon>
#include <string>

#include "runtime/window/message_box.hpp"

namespace zelt::platform {

QIcon IconByName(const std::string& name);
QIcon StockIconOf(runtime::StockIcon icon);

}  // namespace zelt::platform
