#include "tools/plm/plm.hpp"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "runtime/errors/error_state.hpp"
#include "runtime/file/table.hpp"
#include "runtime/program/command_usage.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "storage/driver/pelmar_operations.hpp"
#include "storage/driver/table_address.hpp"
#include "storage/io/storage_failure.hpp"
#include "storage/journal/file_state.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/record_codec.hpp"
#include "storage/tables/table_store.hpp"
#include "tools/plm/check.hpp"
#include "tools/plm/field_values.hpp"
#include "tools/plm/schema.hpp"

namespace zelt::plm {

using namespace zelt::storage;  // NOLINT: the tool speaks the storage engine's language
namespace err = runtime::err;

namespace {

constexpr std::string_view kUsage =
    "usage: plm tables FILE\n"
    "       plm schema TABLE\n"
    "       plm load TABLE --schema S.json [--truncate] [--wait SECONDS]\n"
    "                                        (records as JSON lines on standard input)\n"
    "       plm dump TABLE [--key LABEL] [--format jsonl|csv]\n"
    "       plm check FILE\n"
    "       plm --help | --version\n"
    "exit status:\n"
    "  0   success\n"
    "  1   failure (a message names the runtime's error code and text)\n"
    "  64  wrong usage (an unknown command or option, a missing or bad value)\n";

// A wrong command line: what was wrong, then the usage.
int WrongUsage(std::ostream& err, const std::string& what) {
    err << "plm: " << what << "\n" << kUsage;
    return runtime::kUsageExitStatus;
}

std::string DescribeCurrentError() {
    std::string text =
        runtime::CurrentErrorText() + " (" + std::to_string(runtime::CurrentErrorCode()) + ")";
    // The driver's fault number; an operating-system error reported as 90 has none.
    const std::string fault = runtime::CurrentFileErrorCode();
    if (runtime::CurrentErrorCode() == err::FileSystemError && !fault.empty() && fault != "90")
        text += ": " + runtime::CurrentFileErrorText() + " (fault " + fault + ")";
    return text;
}

// An open file and, when asked for, one of its tables, read inside one read operation.
struct OpenTable {
    std::unique_ptr<ItemFile> file;
    std::unique_ptr<ItemFileStore> store;
    std::unique_ptr<TableStore> table;
    TableDefinition definition;
};

// Opens `path` read-only; a file that is no table file, or that the check finds damaged,
// is refused with `refused` saying why.
Status OpenFile(const std::string& path, OpenTable& out, std::string* refused) {
    *refused = NotATableFile(path);
    if (!refused->empty()) return Status::Error(err::InvalidDataFile);
    OpenOptions options;
    options.access = Access::ReadOnly;
    options.share = Share::DenyNone;
    std::string detail;
    Status status = ItemFile::Open(path, options, out.file, &detail);
    if (!status.ok()) {
        *refused = DescribeStatus(status) + (detail.empty() ? "" : ": " + detail);
        return status;
    }
    std::ostringstream problems;
    if (CheckOpenFile(*out.file, problems).problems > 0) {
        const std::string first = problems.str().substr(0, problems.str().find('\n'));
        *refused = DescribeStatus(Status::Error(err::FileSystemError)) + ": damaged file (" +
                   first + "; plm check lists all)";
        return Status::Error(err::FileSystemError);
    }
    out.store = std::make_unique<ItemFileStore>(*out.file);
    return Status::Ok();
}

Status OpenTableAt(const TableAddress& address, OpenTable& out, std::string* refused) {
    Status status = OpenFile(address.file, out, refused);
    if (!status.ok()) return status;
    status = out.file->BeginRead();
    if (!status.ok()) return status;
    status = TableStore::Open(*out.store, address.table, out.definition, false, false, out.table);
    if (!status.ok()) *refused = DescribeStatus(status);
    return status;
}

std::string CsvField(const Json& value) {
    std::string text = value.is_string() ? value.get<std::string>() : WriteJson(value);
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

int Tables(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return WrongUsage(err, "tables takes one FILE");
    OpenTable open;
    std::string refused;
    Status status = OpenFile(TableAddress::Parse(args[1]).file, open, &refused);
    std::vector<std::string> names;
    if (status.ok()) {
        status = TableStore::TableNames(*open.store, names);
        if (!status.ok()) refused = DescribeStatus(status);
    }
    if (!status.ok()) {
        err << "plm: " << args[1] << ": " << refused << "\n";
        return 1;
    }
    for (const auto& name : names) out << name << "\n";
    return 0;
}

int Schema(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return WrongUsage(err, "schema takes one TABLE");
    OpenTable open;
    std::string refused;
    const Status status = OpenTableAt(TableAddress::Parse(args[1]), open, &refused);
    if (!status.ok()) {
        err << "plm: " << args[1] << ": " << refused << "\n";
        return 1;
    }
    out << WriteJson(SchemaFromDefinition(open.table->Definition(), open.table->Oem())) << "\n";
    return 0;
}

struct LoadRequest {
    std::string table;
    std::string schema;
    bool truncate = false;
    double wait_seconds = 10;
};

std::optional<LoadRequest> ParseLoad(const std::vector<std::string>& args, std::string* why) {
    LoadRequest request;
    const auto fail = [why](std::string text) -> std::optional<LoadRequest> {
        *why = std::move(text);
        return std::nullopt;
    };
    if (args.size() < 2) return fail("load needs a TABLE");
    request.table = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--schema" && i + 1 < args.size()) {
            request.schema = args[++i];
        } else if (args[i] == "--truncate") {
            request.truncate = true;
        } else if (args[i] == "--wait" && i + 1 < args.size()) {
            const std::string& text = args[++i];
            char* end = nullptr;
            request.wait_seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' ||
                !(request.wait_seconds >= 0 && request.wait_seconds <= 86400))
                return fail("--wait needs seconds from 0 to 86400, not \"" + text + "\"");
        } else {
            return fail("load does not take \"" + args[i] + "\" (or it lacks its value)");
        }
    }
    if (request.schema.empty()) return fail("load needs --schema S.json");
    return request;
}

// Runs `step` again while another program keeps the file (Access Denied), until `deadline`.
template <typename Step>
int WhileInUse(std::chrono::steady_clock::time_point deadline, Step step) {
    for (;;) {
        const int code = step();
        const auto now = std::chrono::steady_clock::now();
        if (code != err::AccessDenied || now >= deadline) return code;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(50), deadline - now));
    }
}

// Fills the table's record and memo buffers from one parsed line.
bool RecordFromJson(const Json& record, const NumberTexts& numbers, runtime::Table& table,
                    const TableDefinition& definition, bool truncate, std::string* problem) {
    const StoreOptions options{&numbers, truncate};
    table.ClearRecord();
    Bytes bytes(table.Record().data(), table.Record().size());
    for (const auto& [utf8_name, value] : record.items()) {
        if (utf8_name == "@record") continue;  // the number dump writes; a load numbers afresh
        const std::string pointer = (Json::json_pointer() / utf8_name).to_string();
        std::string unused;
        const std::string name = Utf8ToAnsi(utf8_name, &unused).value_or(std::string{});
        if (const int field = definition.FieldNumber(name); field >= 0) {
            if (!JsonToField(definition.fields[static_cast<std::size_t>(field)], value, pointer,
                             bytes, options, problem))
                return false;
            continue;
        }
        const int memo = table.Declaration().MemoNumber(name);
        if (memo < 0) {
            *problem = "no field or memo named " + utf8_name;
            return false;
        }
        const auto& declared = table.Declaration().Memos()[static_cast<std::size_t>(memo)];
        if (!JsonToMemo(utf8_name, value, pointer,
                        declared.blob ? pelmar::kMaxBlobBytes : declared.size, declared.blob,
                        options, &table.MemoBuffer(static_cast<std::size_t>(memo)), problem))
            return false;
    }
    std::copy(bytes.begin(), bytes.end(), table.Record().begin());
    return true;
}

// Fills the table's record and memo buffers from line `number`; false with the reason
// ("line 3: ..." or "line 3, column 9: ...").
bool RecordFromLine(const std::string& line, std::size_t number, runtime::Table& table,
                    const TableDefinition& definition, bool truncate, std::string* problem) {
    NumberTexts numbers;
    JsonError syntax;
    const auto record = ParseJson(line, &syntax, &numbers);
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!record || !record->is_object()) {
        *problem = record ? where + "a JSON object expected"
                          : (syntax.line == 0 ? where + syntax.reason : syntax.Describe(number));
        return false;
    }
    if (!RecordFromJson(*record, numbers, table, definition, truncate, problem)) {
        *problem = where + *problem;
        return false;
    }
    return true;
}

int Load(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
         std::ostream& err) {
    std::string why;
    const auto request = ParseLoad(args, &why);
    if (!request) return WrongUsage(err, why);
    std::ifstream schema_file(request->schema);
    if (!schema_file) {
        err << "plm: " << request->schema << ": File Not Found (2)\n";
        return 1;
    }
    std::stringstream schema_text;
    schema_text << schema_file.rdbuf();
    JsonError syntax;
    std::string problem;
    const auto schema = ParseJson(schema_text.str(), &syntax);
    DeclaredSchema declared;
    if (!schema || !DeclarationFromSchema(*schema, request->table, declared, &problem)) {
        err << "plm: " << request->schema << ": " << (schema ? problem : syntax.Describe()) << "\n";
        return 1;
    }
    const std::string& name = request->table;
    const std::string file_path = TableAddress::Parse(name).file;
    if (const std::string refused = NotATableFile(file_path); !refused.empty()) {
        err << "plm: " << name << ": " << refused << "\n";
        return 1;
    }
    const auto fail = [&](const std::string& where) {
        err << "plm: " << where << ": ";
        if (runtime::CurrentErrorCode() == err::AccessDenied &&
            ::access(file_path.c_str(), R_OK | W_OK) == 0)
            err << "the file is in use by another program (waited " << request->wait_seconds
                << " seconds)\n";
        else
            err << DescribeCurrentError() << "\n";
        return 1;
    };
    RegisterPelmarDriver();
    runtime::Table table(std::move(*declared.declaration));
    // Another writer (a second load, the program) holds the file for a transaction at a time:
    // the load waits for it, up to the time asked for.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(request->wait_seconds));
    const auto begin = [&] {
        return WhileInUse(deadline, [&] { return runtime::Logout(0, {&table}); });
    };
    const int code = WhileInUse(deadline, [&] {
        int opened = table.Open(0x42);
        if (opened == err::FileNotFound) {
            opened = table.Create();
            if (opened == 0) opened = table.Open(0x42);
        }
        return opened;
    });
    if (code != 0 || begin() != 0) return fail(name);
    TableDefinition definition;
    DefinitionFromDeclaration(table.Declaration(), definition);
    // Lines are added in transactions of a few thousand, each committed as a whole; a line
    // that fails commits the lines before it.
    constexpr std::size_t kLinesPerCommit = 5000;
    const auto stop = [&](const std::string& message) {
        runtime::Commit();
        table.Close();
        err << message << "\n";
        return 1;
    };
    std::string line;
    std::size_t line_number = 0;
    std::size_t added = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const std::string where = "plm: line " + std::to_string(line_number) + ": ";
        if (!RecordFromLine(line, line_number, table, definition, request->truncate, &problem))
            return stop("plm: " + problem);
        if (table.Add() != 0) return stop(where + DescribeCurrentError());
        if (++added % kLinesPerCommit == 0 && runtime::Commit() != 0)
            return stop(where + DescribeCurrentError());
        if (added % kLinesPerCommit == 0 && begin() != 0) {
            table.Close();
            return fail("line " + std::to_string(line_number));
        }
    }
    if (runtime::Commit() != 0) return stop("plm: " + name + ": " + DescribeCurrentError());
    if (table.Close() != 0) return fail(name);
    out << added << " records added\n";
    return 0;
}

int Dump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string key_label;
    std::string format = "jsonl";
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--key" && i + 1 < args.size()) {
            key_label = args[++i];
        } else if (args[i] == "--format" && i + 1 < args.size()) {
            format = args[++i];
        } else {
            return WrongUsage(err,
                              "dump does not take \"" + args[i] + "\" (or it lacks its value)");
        }
    }
    if (args.size() < 2) return WrongUsage(err, "dump needs a TABLE");
    if (format != "jsonl" && format != "csv")
        return WrongUsage(err, "--format is jsonl or csv, not \"" + format + "\"");
    OpenTable open;
    std::string refused;
    Status status = OpenTableAt(TableAddress::Parse(args[1]), open, &refused);
    if (!status.ok()) {
        err << "plm: " << args[1] << ": " << refused << "\n";
        return 1;
    }
    const auto& d = open.table->Definition();
    int key = -1;
    if (!key_label.empty()) {
        key = d.KeyNumber(key_label);
        if (key < 0) {
            err << "plm: " << args[1] << ": no key named " << key_label << "\n";
            return 1;
        }
    }
    // Everything is gathered first, so that a failure half-way prints nothing but the error.
    std::string text;
    if (format == "csv") {
        text += "@record";
        for (const auto& f : d.fields)
            if (f.type != 22) text += "," + CsvField(Json(AnsiToUtf8(f.name)));
        text += "\n";
    }
    Bytes prefix =
        key < 0 ? TypePrefix(open.table->Id(), item_type::Record) : TablePrefix(open.table->Id());
    if (key >= 0) prefix.push_back(static_cast<char>(key));
    ItemStore& store =
        key < 0 ? open.table->Store() : open.table->KeyStore(static_cast<std::size_t>(key));
    Bytes at = prefix;
    SeekMode mode = SeekMode::AtOrAfter;
    std::size_t dumped = 0;
    std::string damage;
    for (;;) {
        Bytes item;
        Bytes data;
        bool found = false;
        status = store.Seek(at, mode, &item, &data, &found);
        if (!status.ok() || !found || !HasPrefix(item, prefix)) break;
        if (mode == SeekMode::After && !(at < item)) {
            damage = "keys stop rising at " + std::to_string(dumped + 1) + ". record";
            break;
        }
        ++dumped;
        at = item;
        mode = SeekMode::After;
        if (key < 0 && item.size() != 9) continue;
        const std::uint32_t number =
            key < 0 ? RecordNumberOfItem(item)
                    : EntryRecordNumber(d.keys[static_cast<std::size_t>(key)], item, data);
        Bytes record;
        status = open.table->ReadRecord(number, &record, &found);
        if (!status.ok()) break;
        if (!found) {
            status = Status::Fault(fault::StreamLength);
            break;
        }
        std::vector<Bytes> memos;
        status = open.table->ReadMemos(number, &memos);
        if (!status.ok()) break;
        if (format == "csv") {
            text += std::to_string(number);
            for (const auto& f : d.fields)
                if (f.type != 22) text += "," + CsvField(FieldToJson(f, record));
            text += "\n";
            continue;
        }
        Json object = Json::object();
        object["@record"] = number;
        for (const auto& f : d.fields)
            if (f.type != 22) object[AnsiToUtf8(f.name)] = FieldToJson(f, record);
        for (std::size_t m = 0; m < d.memos.size(); ++m) {
            Bytes value = memos[m];
            if (!d.memos[m].Blob()) {
                const auto last = value.find_last_not_of(' ');
                value.resize(last == Bytes::npos ? 0 : last + 1);
            }
            object[AnsiToUtf8(d.memos[m].external_name.value_or(d.memos[m].label.value_or("")))] =
                AnsiToUtf8(value);
        }
        text += WriteJson(object) + "\n";
    }
    // The records walked must be the records counted: a walk that skips or repeats some
    // is a damaged file, not a dump.
    TableCounter counter;
    const bool counted = key < 0 || d.keys[static_cast<std::size_t>(key)].Maintained();
    if (status.ok() && damage.empty() && counted) {
        status = open.table->ReadCounter(key < 0 ? kRecordCounter : static_cast<std::uint8_t>(key),
                                         &counter);
        if (status.ok() && counter.count != dumped)
            damage = std::to_string(dumped) + " record(s) found, the counter says " +
                     std::to_string(counter.count);
    }
    if (!status.ok() || !damage.empty()) {
        err << "plm: " << args[1] << ": "
            << (damage.empty() ? DescribeStatus(status)
                               : DescribeStatus(Status::Error(err::FileSystemError)) +
                                     ": damaged file (" + damage + ")")
            << "\n";
        return 1;
    }
    out << text;
    return 0;
}

}  // namespace

std::string DescribeStatus(const Status& status) {
    std::string text = runtime::ErrorText(status.code) + " (" + std::to_string(status.code) + ")";
    if (status.is_fault())
        text += ": Possible data corruption in file (fault " + std::to_string(status.fault) + ")";
    return text;
}

std::string NotATableFile(const std::string& path) {
    std::error_code error;
    const auto state = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(state))
        return DescribeStatus(Status::Error(err::InvalidDataFile)) +
               ": a directory, not a table file";
    if (std::filesystem::is_regular_file(state) && std::filesystem::file_size(path, error) == 0 &&
        !error)
        return DescribeStatus(Status::Error(err::InvalidDataFile)) +
               ": an empty file, not a table file";
    return {};
}

int RunPlm(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err) {
    if (args.empty()) return WrongUsage(err, "no command given");
    const std::string& command = args[0];
    if (command == "tables") return Tables(args, out, err);
    if (command == "schema") return Schema(args, out, err);
    if (command == "load") return Load(args, in, out, err);
    if (command == "dump") return Dump(args, out, err);
    if (command == "check") {
        if (args.size() != 2) return WrongUsage(err, "check takes one FILE");
        return Check(args, out, err);
    }
    return WrongUsage(
        err, (command.starts_with("-") ? "unknown option " : "unknown command ") + command);
}

std::string PlmUsage() {
    return std::string(kUsage);
}

}  // namespace zelt::plm
