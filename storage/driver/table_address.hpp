// A table address: a file name optionally followed by "\!" and a table name.
//
// The first "\!" whose preceding text is not an existing directory splits the two. The
// file gets the extension ".PLM" when its name has none; the table name is upper-cased and
// is "UNNAMED" when absent. The display name is the file name, followed by "\!" and the
// table name unless that is "UNNAMED".
#pragma once

#include <string>
#include <string_view>

namespace zelt::storage {

inline constexpr std::string_view kUnnamedTable = "UNNAMED";

struct TableAddress {
    std::string file;     // physical file name, with ".PLM" added when it had no extension
    std::string table;    // upper case
    std::string display;  // for messages

    static TableAddress Parse(std::string_view address);
};

}  // namespace zelt::storage
