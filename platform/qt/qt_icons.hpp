// Icons by the names windows declare: freedesktop theme names, the system's own icon names
// ("~open.ico") and a few of our own ("check", "zelt"), with the style's icons where the
// theme has none.
#pragma once

#include <QIcon>
#include <string>

#include "runtime/window/message_box.hpp"

namespace zelt::platform {

QIcon IconByName(const std::string& name);
QIcon StockIconOf(runtime::StockIcon icon);

}  // namespace zelt::platform
