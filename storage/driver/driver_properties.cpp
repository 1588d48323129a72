// Table and key properties of the "PELMAR" driver: facts the driver answers itself (read
// only) and names the caller sets and reads back, kept per table and per key until the
// table's driver state is disposed of.
#include <algorithm>
#include <array>

#include "storage/driver/pelmar_operations.hpp"

namespace zelt::storage::pelmar {

std::string PropertyName(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return runtime::UpperLabel(text);
}

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FileOp;
namespace err = runtime::err;

namespace {

constexpr std::array<std::string_view, 13> kTableFacts = {
    "DRIVER",    "DESCRIPTION", "FILENAME", "TABLENAME", "NAME", "RECORDLENGTH", "RECORDS",
    "FULLBUILD", "OEM",         "FIELDS",   "MEMOS",     "KEYS", "OPEN"};
constexpr std::array<std::string_view, 13> kKeyFacts = {
    "NAME",    "LABEL",      "ATTRIBUTES",     "DUP",     "OPT",     "NOCASE", "PRIMARY", "INDEX",
    "DYNAMIC", "COMPONENTS", "COMPONENTCOUNT", "RECORDS", "COMPLETE"};

bool IsFact(std::string_view name, const auto& facts) {
    return std::find(facts.begin(), facts.end(), name) != facts.end();
}

std::string Flag(bool on) {
    return on ? "1" : "0";
}

// The definition in force: the stored one once open, else the declared one.
const TableDefinition& DefinitionOf(const TableState& s) {
    return s.table ? s.table->Definition() : s.declared;
}

// Entries of key `k` (or records, for kRecordCounter) and its completion mark.
ErrorCode ReadCount(TableState& s, std::uint8_t index, TableCounter* counter, DriverArgs& args) {
    return Result(InFrame(s, false, [&] { return s.table->ReadCounter(index, counter); }), args,
                  true);
}

ErrorCode TableFact(const std::string& name, runtime::Table& table, TableState& s, DriverArgs& args,
                    const DriverIdentity& driver) {
    const TableDefinition& definition = DefinitionOf(s);
    std::string& out = args.result_text;
    if (name == "DRIVER")
        out = driver.name;
    else if (name == "DESCRIPTION")
        out = driver.description;
    else if (name == "FILENAME")
        out = s.address.file;
    else if (name == "TABLENAME")
        out = s.address.table;
    else if (name == "NAME")
        out = s.address.display;
    else if (name == "RECORDLENGTH")
        out = std::to_string(definition.record_length);
    else if (name == "FULLBUILD")
        out = s.full_build ? "ON" : "OFF";
    else if (name == "OEM")
        out = Flag(s.table ? s.table->Oem() : table.Declaration().IsOem());
    else if (name == "FIELDS")
        out = std::to_string(definition.fields.size());
    else if (name == "MEMOS")
        out = std::to_string(definition.memos.size());
    else if (name == "KEYS")
        out = std::to_string(definition.keys.size());
    else if (name == "OPEN")
        out = Flag(s.table != nullptr);
    else if (name == "RECORDS") {
        if (!s.table) return err::FileNotOpen;
        TableCounter counter;
        const ErrorCode code = ReadCount(s, kRecordCounter, &counter, args);
        if (code != err::NoError) return code;
        out = std::to_string(counter.count);
    }
    return err::NoError;
}

// The key's components as a dynamic build takes them: labels, "-" for descending.
std::string ComponentLabels(const runtime::Table& table, const TableDefinition& definition,
                            const KeyDescriptor& key) {
    std::string text;
    const auto& fields = table.Declaration().Fields();
    for (const auto& component : key.components) {
        if (!text.empty()) text += ',';
        if (component.descending) text += '-';
        if (component.field < fields.size())
            text += fields[component.field].label;
        else if (component.field < definition.fields.size())
            text += definition.fields[component.field].name;
    }
    return text;
}

ErrorCode KeyFact(const std::string& name, runtime::Table& table, TableState& s, std::size_t k,
                  DriverArgs& args) {
    const TableDefinition& definition = DefinitionOf(s);
    const KeyDescriptor& key = definition.keys[k];
    const auto& declared = table.Declaration().Keys();
    std::string& out = args.result_text;
    const auto bit = [&](std::uint8_t b) { return Flag((key.attributes & b) != 0); };
    if (name == "NAME")
        out = key.external_name.value_or(key.label.value_or(""));
    else if (name == "LABEL")
        out = k < declared.size() ? declared[k].label : key.label.value_or("");
    else if (name == "ATTRIBUTES")
        out = std::to_string(key.attributes);
    else if (name == "DUP")
        out = bit(runtime::key_attr::Dup);
    else if (name == "OPT")
        out = bit(runtime::key_attr::Opt);
    else if (name == "NOCASE")
        out = bit(runtime::key_attr::NoCase);
    else if (name == "PRIMARY")
        out = bit(runtime::key_attr::Primary);
    else if (name == "INDEX")
        out = bit(runtime::key_attr::Index);
    else if (name == "DYNAMIC")
        out = bit(runtime::key_attr::Dynamic);
    else if (name == "COMPONENTS")
        out = ComponentLabels(table, definition, key);
    else if (name == "COMPONENTCOUNT")
        out = std::to_string(key.components.size());
    else {  // RECORDS, COMPLETE: from the open file
        if (!s.table) return err::FileNotOpen;
        if (key.Dynamic()) {
            const auto& entries = static_cast<MemoryItemStore&>(s.table->KeyStore(k));
            out = name == "RECORDS" ? std::to_string(entries.Items().size())
                                    : Flag(s.complete_dynamic.count(static_cast<int>(k)) != 0);
            return err::NoError;
        }
        TableCounter counter;
        const ErrorCode code = ReadCount(s, static_cast<std::uint8_t>(k), &counter, args);
        if (code != err::NoError) return code;
        out = name == "RECORDS" ? std::to_string(counter.count) : Flag(counter.second == 0);
    }
    return err::NoError;
}

}  // namespace

ErrorCode PropertyOperation(FileOp op, runtime::Table& table, TableState& s, DriverArgs& args,
                            const DriverIdentity& driver) {
    const std::string name = PropertyName(args.text);
    if (name.empty()) return err::InvalidNumberOfParameters;
    const bool for_key = op == FileOp::SetPropertyKey || op == FileOp::GetPropertyKey;
    const bool setting = op == FileOp::SetProperty || op == FileOp::SetPropertyKey;
    if (for_key &&
        (args.key < 0 || static_cast<std::size_t>(args.key) >= DefinitionOf(s).keys.size()))
        return err::InvalidKeyFile;
    const bool fact = for_key ? IsFact(name, kKeyFacts) : IsFact(name, kTableFacts);
    if (setting && fact) return err::UnsupportedFunction;  // read only
    PropertyValues& values = for_key ? s.key_properties[args.key] : s.properties;
    if (setting) {
        values[name] = args.text2;
        return err::NoError;
    }
    args.result_text.clear();
    if (fact) {
        return for_key ? KeyFact(name, table, s, static_cast<std::size_t>(args.key), args)
                       : TableFact(name, table, s, args, driver);
    }
    if (const auto it = values.find(name); it != values.end()) args.result_text = it->second;
    return err::NoError;
}

}  // namespace zelt::storage::pelmar
