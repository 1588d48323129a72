// JSON for plm, through nlohmann-json: documents keep their members in the order written,
// a parse error names its line and column, the numbers that are not integers keep the text
// they were written with, and values are written on one line in plm's own spacing
// ({"a": 1, "b": [2, 3]}).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::plm {

using Json = nlohmann::ordered_json;

// The text of every number of a document that is not an integer, by JSON pointer
// ("/TMP:AMOUNT", "/ORD:CODES/2"): a double keeps about 16 digits, a DECIMAL wants them all.
using NumberTexts = std::map<std::string, std::string, std::less<>>;

struct JsonError {
    std::size_t line = 0;    // 1-based; 0 when the fault has no place (a member given twice)
    std::size_t column = 0;  // 1-based byte column in that line
    std::string reason;
    // "line 2, column 7: syntax error while parsing value - unexpected '}'", or the reason
    // alone when the fault has no place. `line` counts from `first_line` (a document that
    // is one line of a longer input).
    std::string Describe(std::size_t first_line = 1) const;
};

// Parses one JSON text. A member named twice in one object is refused, as is text after the
// value and anything that is not UTF-8.
std::optional<Json> ParseJson(std::string_view text, JsonError* error,
                              NumberTexts* numbers = nullptr);

// The value on one line: ", " between items, ": " after member names.
std::string WriteJson(const Json& value);

}  // namespace zelt::plm
