// Record filters for drivers that build filtered dynamic indexes.
//
// The file layer knows no expression language; a higher layer installs a compiler for the
// whole process. A driver asks it to compile a filter text for a table, then calls the
// compiled filter once per record with that record in the table's record buffer.
#pragma once

#include <functional>
#include <string_view>

#include "runtime/errors/error_codes.hpp"

namespace zelt::runtime {

class Table;

// Answers whether the record now in the table's record buffer belongs.
using RecordFilter = std::function<bool()>;

// A compiled filter, or the error code of a text the compiler refused.
struct CompiledRecordFilter {
    RecordFilter filter;
    ErrorCode error = err::NoError;
};

// Compiles `text` for `table`; the filter it gives reads `table`'s record buffer.
using RecordFilterCompiler =
    std::function<CompiledRecordFilter(Table& table, std::string_view text)>;

// Installs the compiler for the whole process (an empty one removes it).
void InstallRecordFilterCompiler(RecordFilterCompiler compiler);
bool RecordFilterCompilerInstalled();

// Installs a compiler for a scope; the previous one comes back after (for tests).
class ScopedRecordFilterCompiler {
  public:
    explicit ScopedRecordFilterCompiler(RecordFilterCompiler compiler);
    ~ScopedRecordFilterCompiler();
    ScopedRecordFilterCompiler(const ScopedRecordFilterCompiler&) = delete;
    ScopedRecordFilterCompiler& operator=(const ScopedRecordFilterCompiler&) = delete;

  private:
    RecordFilterCompiler previous_;
};

// For drivers: compiles `text` with the installed compiler. Without one the answer is
// 80 ("Unsupported File Driver Function"); a compiler that gives neither a filter nor an
// error code is taken to have refused the text (800).
CompiledRecordFilter CompileRecordFilter(Table& table, std::string_view text);

}  // namespace zelt::runtime
