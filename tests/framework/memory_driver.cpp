#include "memory_driver.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "runtime/file/build_progress.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"

namespace zelt::framework::testing {
namespace {

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FieldType;
using runtime::FileOp;
using runtime::Table;
namespace err = runtime::err;

std::map<std::string, MemoryFile>& Files() {
    static std::map<std::string, MemoryFile> files;
    return files;
}
bool transactions = true;
bool commit_fails = false;
std::optional<std::map<std::string, MemoryFile>> before_transaction;

struct State final : runtime::DriverTableState {
    std::string name;
    bool open = false;
    bool writable = false;
    std::uint32_t current = 0;
    int key = -1;  // -1: record-number order
    std::optional<std::pair<std::string, std::uint32_t>> position;
    bool watch = false;
    std::optional<std::string> watched;
};

State& StateOf(Table& table) {
    auto& s = table.DriverState();
    if (!s) s = std::make_unique<State>();
    return static_cast<State&>(*s);
}

// The sort bytes of one key for a record image; nothing when an OPT key leaves it out.
std::optional<std::string> KeyBytes(const Table& table, int key, std::string_view record) {
    const auto& k = table.Declaration().Keys()[static_cast<std::size_t>(key)];
    std::string out;
    bool all_blank = true;
    for (const auto& c : k.components) {
        const auto& f = table.Declaration().Fields()[static_cast<std::size_t>(c.field)];
        std::string part(record.substr(f.offset, f.size));
        if (f.type == FieldType::String || f.type == FieldType::CString) {
            if (runtime::ClipText(part).size() != 0) all_blank = false;
            if (k.NoCase()) {
                for (char& ch : part)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
        } else {
            if (std::any_of(part.begin(), part.end(), [](char ch) { return ch != 0; }))
                all_blank = false;
            std::reverse(part.begin(), part.end());  // little-endian to most significant first
            bool is_signed = f.type == FieldType::Short || f.type == FieldType::Long ||
                             f.type == FieldType::Date || f.type == FieldType::Time;
            if (is_signed && !part.empty()) part[0] = static_cast<char>(part[0] ^ 0x80);
        }
        if (c.descending) {
            for (char& ch : part) ch = static_cast<char>(~ch);
        }
        out += part;
    }
    if (k.Opt() && all_blank) return std::nullopt;
    return out;
}

std::string_view Buffer(Table& table) {
    auto r = table.Record();
    return {r.data(), r.size()};
}

void Load(Table& table, State& s, std::uint32_t record) {
    const std::string& image = Files()[s.name].records.at(record);
    std::copy(image.begin(), image.end(), table.Record().begin());
    s.current = record;
    if (s.watch) {
        s.watched = image;
        s.watch = false;
    }
}

// Entries of the sequence's order: (sort bytes, record number), ascending.
std::vector<std::pair<std::string, std::uint32_t>> Entries(Table& table, State& s) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (const auto& [number, image] : Files()[s.name].records) {
        if (s.key < 0) {
            out.push_back({std::string(), number});
        } else if (auto k = KeyBytes(table, s.key, image)) {
            out.push_back({*k, number});
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool Duplicates(Table& table, State& s, std::string_view image, std::uint32_t except) {
    const auto& keys = table.Declaration().Keys();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].Dup()) continue;
        auto mine = KeyBytes(table, static_cast<int>(k), image);
        if (!mine) continue;
        for (const auto& [number, other] : Files()[s.name].records) {
            if (number != except && KeyBytes(table, static_cast<int>(k), other) == mine)
                return true;
        }
    }
    return false;
}

ErrorCode Step(Table& table, State& s, bool forward) {
    auto entries = Entries(table, s);
    std::optional<std::pair<std::string, std::uint32_t>> found;
    if (forward) {
        for (const auto& e : entries) {
            if (!s.position || e > *s.position) {
                found = e;
                break;
            }
        }
    } else {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (!s.position || *it < *s.position) {
                found = *it;
                break;
            }
        }
    }
    if (!found) return err::RecordNotAvailable;
    s.position = found;
    Load(table, s, found->second);
    return err::NoError;
}

}  // namespace

void MemoryDriver::Reset() {
    static bool registered = false;
    if (!registered) {
        runtime::RegisterDriver(std::make_shared<MemoryDriver>());
        registered = true;
    }
    Files().clear();
    transactions = true;
    commit_fails = false;
    before_transaction.reset();
}

MemoryFile& MemoryDriver::FileNamed(const std::string& name) {
    return Files()[name];
}
bool MemoryDriver::Exists(const std::string& name) {
    auto it = Files().find(name);
    return it != Files().end() && it->second.exists;
}
void MemoryDriver::SetTransactions(bool supported) {
    transactions = supported;
}
void MemoryDriver::SetCommitFails(bool fails) {
    commit_fails = fails;
}

bool MemoryDriver::Supports(FileOp op) const {
    switch (op) {
        case FileOp::Logout:
        case FileOp::Commit:
        case FileOp::Rollback:
            return transactions;
        default:
            return true;
    }
}

ErrorCode MemoryDriver::Call(FileOp op, Table& table, DriverArgs& args) {
    State& s = StateOf(table);
    const std::string name = table.FileName();
    auto& files = Files();
    auto needs_open = [&]() { return !s.open; };
    switch (op) {
        case FileOp::Open:
        case FileOp::Share: {
            if (s.open) return err::FileAlreadyOpen;
            if (name.empty()) return err::InvalidFilename;
            auto it = files.find(name);
            if (it == files.end() || !it->second.exists) return err::FileNotFound;
            MemoryFile& f = it->second;
            f.open_modes.push_back(static_cast<int>(args.number));
            bool writing = (args.number & 3) != 0;
            if (f.locked) return err::AccessDenied;
            if (f.read_only && writing) return err::AccessDenied;
            if (f.keys_damaged) return err::KeyFileMustBeRebuilt;
            s = State{};
            s.name = name;
            s.open = true;
            s.writable = writing;
            ++f.physical_opens;
            ++f.open_count;
            return err::NoError;
        }
        case FileOp::Close:
            if (s.open) --files[s.name].open_count;
            s.open = false;
            return err::NoError;
        case FileOp::Destroy:
            if (s.open) --files[s.name].open_count;
            table.DriverState().reset();
            return err::NoError;
        case FileOp::Create: {
            MemoryFile& f = files[name];
            if (f.create_fails) return err::AccessDenied;
            f.exists = true;
            f.records.clear();
            f.keys_damaged = false;
            return err::NoError;
        }
        case FileOp::BuildFile: {
            MemoryFile& f = files[name];
            if (f.build_fails) return err::AccessDenied;
            std::int64_t done = 0;
            for (const auto& record : f.records) {
                (void)record;
                if (f.during_build) f.during_build();
                if (!runtime::ReportBuildProgress(
                        {name, 0, done++, static_cast<std::int64_t>(f.records.size())}))
                    return err::BuildCancelled;
            }
            f.keys_damaged = false;
            return err::NoError;
        }
        case FileOp::Send: {
            MemoryFile& f = files[name];
            f.sends.push_back(args.text);
            if (args.text.rfind("Recover=", 0) == 0) f.locked = false;
            return err::NoError;
        }
        case FileOp::Logout:
            if (!before_transaction) before_transaction = files;
            return err::NoError;
        case FileOp::Commit:
            if (!commit_fails) {
                before_transaction.reset();
                return err::NoError;
            }
            [[fallthrough]];  // a refused commit changes nothing
        case FileOp::Rollback:
            if (before_transaction) {
                // Keep the open counts and faults; put back the stored records.
                for (auto& [n, f] : files) {
                    auto it = before_transaction->find(n);
                    if (it != before_transaction->end()) {
                        f.records = it->second.records;
                        f.next_record = it->second.next_record;
                    }
                }
            }
            before_transaction.reset();
            return op == FileOp::Commit ? err::AccessDenied : err::NoError;
        default:
            break;
    }
    if (needs_open()) return err::FileNotOpen;
    MemoryFile& f = files[s.name];
    switch (op) {
        case FileOp::Add: {
            if (!s.writable) return err::AccessDenied;
            if (f.adds_to_fail > 0) {
                --f.adds_to_fail;
                return err::CreatesDuplicateKey;
            }
            if (Duplicates(table, s, Buffer(table), 0)) return err::CreatesDuplicateKey;
            std::uint32_t number = f.next_record++;
            f.records[number] = std::string(Buffer(table));
            s.current = number;
            return err::NoError;
        }
        case FileOp::Put: {
            if (!s.writable) return err::AccessDenied;
            auto it = f.records.find(s.current);
            if (s.current == 0 || it == f.records.end()) return err::RecordNotAvailable;
            if (s.watched && *s.watched != it->second) return err::RecordChanged;
            if (f.puts_before_failure == 0) return err::AccessDenied;
            if (f.puts_before_failure > 0) --f.puts_before_failure;
            if (Duplicates(table, s, Buffer(table), s.current)) return err::CreatesDuplicateKey;
            it->second = std::string(Buffer(table));
            s.watched.reset();
            return err::NoError;
        }
        case FileOp::Delete: {
            if (!s.writable || f.delete_fails) return err::AccessDenied;
            if (s.current == 0 || f.records.erase(s.current) == 0) return err::RecordNotAvailable;
            s.current = 0;
            return err::NoError;
        }
        case FileOp::GetFileKey: {
            auto wanted = KeyBytes(table, args.key, Buffer(table));
            for (const auto& [number, image] : f.records) {
                if (wanted && KeyBytes(table, args.key, image) == wanted) {
                    Load(table, s, number);
                    return err::NoError;
                }
            }
            return err::RecordNotFound;
        }
        case FileOp::SetFile:
            s.key = -1;
            s.position.reset();
            return err::NoError;
        case FileOp::SetKey:
            s.key = args.key;
            s.position.reset();
            return err::NoError;
        case FileOp::SetKeyKey:
            s.key = args.key;
            s.position = {KeyBytes(table, args.key, Buffer(table)).value_or(""), 0};
            return err::NoError;
        case FileOp::Next:
            return Step(table, s, true);
        case FileOp::Previous:
            return Step(table, s, false);
        case FileOp::Watch:
            s.watch = true;
            return err::NoError;
        case FileOp::PositionFile:
        case FileOp::PositionKey:
            if (s.current == 0) return err::RecordNotAvailable;
            args.result_text = std::to_string(s.current);
            return err::NoError;
        case FileOp::RegetFile:
        case FileOp::RegetKey: {
            std::uint32_t number =
                static_cast<std::uint32_t>(std::strtoul(args.text.c_str(), nullptr, 10));
            if (!f.records.count(number)) return err::RecordNotFound;
            Load(table, s, number);
            return err::NoError;
        }
        case FileOp::PointerFile:
            args.result_number = s.current;
            return err::NoError;
        case FileOp::RecordsFile:
            args.result_number = static_cast<std::int64_t>(f.records.size());
            return err::NoError;
        case FileOp::DuplicateKey: {
            auto mine = KeyBytes(table, args.key, Buffer(table));
            args.result_flag = false;
            for (const auto& [number, image] : f.records) {
                if (mine && KeyBytes(table, args.key, image) == mine) args.result_flag = true;
            }
            return err::NoError;
        }
        default:
            return err::UnsupportedFunction;
    }
}

}  // namespace zelt::framework::testing
