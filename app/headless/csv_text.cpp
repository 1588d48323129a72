#include "app/headless/csv_text.hpp"

#include "runtime/text/stored_text.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::app {

std::string CsvField(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string CsvEventLine(const TempFileRecord& event) {
    return CsvField(runtime::StoredToUtf8(event.Apps.Clip())) + "," +
           runtime::FormatDate(event.Date, 10) + "," + runtime::FormatTime(event.Clock, 4) + "," +
           CsvField(runtime::StoredToUtf8(event.Event.Clip()));
}

}  // namespace zelt::app
