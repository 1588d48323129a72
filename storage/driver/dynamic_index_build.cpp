#include <algorithm>
#include <vector>

#include "runtime/file/build_progress.hpp"
#include "runtime/file/record_filter.hpp"
#include "storage/driver/pelmar_operations.hpp"

namespace zelt::storage::pelmar {

using runtime::ErrorCode;
namespace err = runtime::err;

namespace {

std::string_view Trim(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

// Parses the components of a dynamic index: field labels separated by commas, each
// optionally led by "+" (ascending) or "-" (descending); blanks around them are ignored.
// An empty or unknown label gives 76, an array field 75.
ErrorCode ParseDynamicComponents(const runtime::TableDeclaration& declaration,
                                 const TableDefinition& definition, std::string_view text,
                                 std::vector<KeyComponentDescriptor>* out) {
    out->clear();
    for (;;) {
        const std::size_t comma = text.find(',');
        std::string_view part = Trim(text.substr(0, comma));
        KeyComponentDescriptor component;
        if (!part.empty() && (part.front() == '-' || part.front() == '+')) {
            component.descending = part.front() == '-';
            part = Trim(part.substr(1));
        }
        const int field = part.empty() ? -1 : declaration.FieldNumber(part);
        if (field < 0 || static_cast<std::size_t>(field) >= definition.fields.size())
            return err::InvalidIndexString;
        if (declaration.Fields()[static_cast<std::size_t>(field)].ElementCount() > 1)
            return err::InvalidFieldTypeDescriptor;
        component.field = static_cast<std::uint16_t>(field);
        out->push_back(component);
        if (comma == std::string_view::npos) return err::NoError;
        text.remove_prefix(comma + 1);
    }
}

// Gives the table's record buffer back as it was when the guard was made.
class RecordBufferGuard {
  public:
    explicit RecordBufferGuard(runtime::Table& table)
        : record_(table.Record()), saved_(record_.begin(), record_.end()) {}
    ~RecordBufferGuard() { std::copy(saved_.begin(), saved_.end(), record_.begin()); }
    RecordBufferGuard(const RecordBufferGuard&) = delete;
    RecordBufferGuard& operator=(const RecordBufferGuard&) = delete;

  private:
    std::span<char> record_;
    std::vector<char> saved_;
};

}  // namespace

ErrorCode BuildDynamicIndex(runtime::Table& table, TableState& s, runtime::DriverArgs& args,
                            bool filtered) {
    const auto& keys = s.table->Definition().keys;
    if (args.key < 0 || static_cast<std::size_t>(args.key) >= keys.size())
        return err::InvalidKeyFile;
    const runtime::BuildInProgressGuard building;
    if (!building.Started()) return err::BuildInProgress;
    const auto k = static_cast<std::size_t>(args.key);
    // Keys in the file are built by "BUILDkey", in a write of the file; a filtered one would
    // lack records that its writes expect to find.
    if (!keys[k].Dynamic()) return err::UnsupportedFunction;

    // Everything that can be refused is checked before the index is touched.
    std::vector<KeyComponentDescriptor> components;
    if (!args.text.empty()) {
        const ErrorCode parsed = ParseDynamicComponents(table.Declaration(), s.table->Definition(),
                                                        args.text, &components);
        if (parsed != err::NoError) return parsed;
    }
    runtime::CompiledRecordFilter compiled;
    if (filtered) {
        compiled = runtime::CompileRecordFilter(table, args.text2);
        if (compiled.error != err::NoError) return compiled.error;
    }
    if (!args.text.empty()) s.table->SetDynamicComponents(k, std::move(components));

    TableStore::RecordFilterFn include;
    if (filtered) {
        include = [&table, &compiled](BytesView record, std::uint32_t) {
            auto buffer = table.Record();
            std::copy_n(record.data(), std::min(record.size(), buffer.size()), buffer.begin());
            return compiled.filter();
        };
    }
    const RecordBufferGuard keep_callers_record(table);
    const Status status =
        InFrame(s, false, [&] { return s.table->BuildKey(k, true, ProgressOf(s, k), include); });
    if (status.ok() && !filtered)
        s.complete_dynamic.insert(args.key);
    else
        s.complete_dynamic.erase(args.key);
    return Result(status, args, true);
}

}  // namespace zelt::storage::pelmar
