// The framework's filter expressions as the file layer's record filter compiler, so that
// drivers can build dynamic indexes over the records a filter lets through.
#pragma once

#include <string_view>

#include "framework/browse/filter_expression.hpp"
#include "runtime/file/record_filter.hpp"
#include "runtime/file/table.hpp"

namespace zelt::framework {

// Resolves a table's field labels (case ignored) to readers of its record buffer.
FilterExpression::Resolver TableFieldResolver(runtime::Table& table);

// Compiles a filter expression over `table`'s fields; a text that does not parse gives
// 800 ("Invalid expression for EVALUATE").
runtime::CompiledRecordFilter CompileTableFilter(runtime::Table& table, std::string_view text);

// Installs CompileTableFilter for the whole process; the program calls it once at
// start-up, next to registering its drivers.
void InstallRecordFilterCompiler();

}  // namespace zelt::framework
