// The activity log as comma-separated values: the quoting of every field that a spreadsheet
// or a CSV reader must split back exactly, and stored text written as UTF-8.
#include "app/headless/csv_text.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zelt::app {
namespace {

TEST(CsvText, EveryFieldIsQuotedAndItsQuotesDoubled) {
    struct Row {
        std::string text, field;
    };
    const std::vector<Row> rows = {
        {"", "\"\""},
        {"ORDERS.APP", "\"ORDERS.APP\""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"\"\"", "\"\"\"\"\"\""},
        {" padded ", "\" padded \""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r\nlf", "\"cr\r\nlf\""},
        {"=1+1", "\"=1+1\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(CsvField(row.text), row.field);
    }
}

TEST(CsvText, AnEventLineHasFourFieldsInUtf8) {
    TempFileRecord event{};
    event.Apps = "cr\xE8me.APP";  // stored text
    event.Date = 82000;
    event.Clock = 0;  // no time
    event.Event = "Error 603 \"x, y\"";
    EXPECT_EQ(CsvEventLine(event), "\"cr\xC3\xA8me.APP\",2025/07/01,,\"Error 603 \"\"x, y\"\"\"");
    event.Clock = 360001;  // one o'clock
    event.Event = "";
    EXPECT_EQ(CsvEventLine(event), "\"cr\xC3\xA8me.APP\",2025/07/01,01:00:00,\"\"");
    EXPECT_EQ(kCsvEventHeader, "Application,Date,Time,Event");
}

}  // namespace
}  // namespace zelt::app
