#include "framework/browse/record_filter_compiler.hpp"

#include <utility>

#include "framework/browse/table_view.hpp"

namespace zelt::framework {

FilterExpression::Resolver TableFieldResolver(runtime::Table& table) {
    return [&table](std::string_view label) -> std::optional<std::function<FilterValue()>> {
        const auto& fields = table.Declaration().Fields();
        const std::string wanted = runtime::UpperLabel(label);
        for (int f = 0; f < static_cast<int>(fields.size()); ++f) {
            if (runtime::UpperLabel(fields[static_cast<std::size_t>(f)].label) == wanted)
                return std::function<FilterValue()>(
                    [&table, f] { return ReadFieldValue(table, f); });
        }
        return std::nullopt;
    };
}

runtime::CompiledRecordFilter CompileTableFilter(runtime::Table& table, std::string_view text) {
    auto parsed = FilterExpression::Parse(text, TableFieldResolver(table));
    if (!parsed) return {{}, runtime::err::InvalidExpression};
    return {[expression = std::move(*parsed)] { return expression.Evaluate(); },
            runtime::err::NoError};
}

void InstallRecordFilterCompiler() {
    runtime::InstallRecordFilterCompiler(CompileTableFilter);
}

}  // namespace zelt::framework
