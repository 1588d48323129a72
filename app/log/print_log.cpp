#include "app/log/event_log_windows.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

void PrintLog(framework::ErrorReporter&) {
    runtime::Message("Printing the activity log is not available in this version.", "Print Log",
                     runtime::StockIcon::Exclamation);
}

}  // namespace zelt::app
