#include "app/batches/batch_engine.hpp"

#include "runtime/values/day_number.hpp"

namespace zelt::app {

runtime::ErrorCode AppendEvent(std::string_view name, std::string_view text) {
    TMP.Apps = name.substr(0, kEventNameLength);
    TMP.Date = runtime::Today();
    TMP.Clock = runtime::Clock();
    TMP.Event = text.substr(0, kEventTextLength);
    return TempFile.Add();
}

}  // namespace zelt::app
