// `plm check`: walks a table file and reports every broken invariant it can see. The other
// commands run the same check before they read anything out of a file, so that a damaged
// file is never listed or dumped as if it were sound.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "storage/item_file.hpp"

namespace zelt::plm {

struct CheckSummary {
    int problems = 0;
    std::size_t tables = 0;
    std::size_t records = 0;
    int items = 0;
};

// Checks an open file inside a read operation of its own, writing one line per problem.
CheckSummary CheckOpenFile(storage::ItemFile& file, std::ostream& out);

// The command itself: `plm check FILE`.
int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "File System Error (90): Possible data corruption in file (fault N)", or the code's text
// and number for other errors.
std::string DescribeStatus(const storage::Status& status);

// Why `path` cannot be a table file (a directory, an empty file), or empty when it may be.
std::string NotATableFile(const std::string& path);

}  // namespace zelt::plm
