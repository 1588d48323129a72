#include "tools/plm/check.hpp"

#include <algorithm>
#include <iostream>
#include <map>
#include <set>

#include "runtime/errors/error_codes.hpp"
#include "runtime/program/command_usage.hpp"
#include "storage/driver/table_address.hpp"
#include "storage/io/storage_failure.hpp"
#include "storage/journal/file_state.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/key_codec.hpp"
#include "storage/tables/record_codec.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::plm {

using namespace zelt::storage;  // NOLINT

namespace {

// Everything found under one table identifier.
struct TableItems {
    std::string name;
    std::map<std::uint32_t, Bytes> records;
    std::map<std::uint8_t, std::vector<std::pair<Bytes, Bytes>>> entries;
    std::map<std::uint8_t, TableCounter> counters;
    std::map<std::uint16_t, Bytes> definition;
    bool collation = false;
    Bytes collation_data;
    std::map<std::uint32_t, std::map<std::uint8_t, std::vector<Bytes>>> memos;
};

std::string Hex(BytesView bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

class Checker {
  public:
    Checker(std::ostream& out) : out_(out) {}

    void Problem(const std::string& text) {
        out_ << text << "\n";
        ++problems_;
    }
    int problems() const { return problems_; }

    void Classify(const Bytes& key, const Bytes& data) {
        ++items_;
        const auto first = static_cast<std::uint8_t>(key[0]);
        if (first == item_type::Directory) {
            if (data.size() != 4) {
                Problem("directory item of " + key.substr(1) + " does not hold a table identifier");
                return;
            }
            directory_[ReadU32BigEndian(data, 0)] = key.substr(1);
            highest_ = std::max(highest_, ReadU32BigEndian(data, 0));
            return;
        }
        if (first == item_type::Marker) {
            if (key.size() != 1) Problem("item " + Hex(key) + " in the marker range");
            return;
        }
        if (key.size() < 5) {
            Problem("item " + Hex(key) + " too short for a table item");
            return;
        }
        auto& t = tables_[ReadU32BigEndian(key, 0)];
        const auto type = static_cast<std::uint8_t>(key[4]);
        const std::string where = "item " + Hex(key);
        switch (type) {
            case item_type::Record:
                if (key.size() != 9)
                    Problem(where + ": record item key of the wrong length");
                else {
                    t.records[RecordNumberOfItem(key)] = data;
                    highest_ = std::max(highest_, RecordNumberOfItem(key));
                }
                break;
            case item_type::Counter:
                if (key.size() != 6 || data.size() != 8)
                    Problem(where + ": malformed counter item");
                else
                    t.counters[static_cast<std::uint8_t>(key[5])] = {ReadU32LittleEndian(data, 0),
                                                                     ReadU32LittleEndian(data, 4)};
                break;
            case item_type::Definition:
                if (key.size() != 7)
                    Problem(where + ": malformed definition chunk");
                else
                    t.definition[static_cast<std::uint16_t>(
                        static_cast<std::uint8_t>(key[5]) |
                        (static_cast<std::uint8_t>(key[6]) << 8))] = data;
                break;
            case item_type::Collation:
                t.collation = true;
                t.collation_data = data;
                break;
            case item_type::Memo:
                if (key.size() != 12)
                    Problem(where + ": malformed memo chunk");
                else
                    t.memos[ReadU32BigEndian(key, 5)][static_cast<std::uint8_t>(key[9])].push_back(
                        data);
                break;
            default:
                if (type <= 0xEF)
                    t.entries[type].emplace_back(key, data);
                else
                    Problem(where + ": unknown item type");
        }
    }

    void CheckTables() {
        for (auto& [id, t] : tables_) {
            const auto named = directory_.find(id);
            if (named == directory_.end()) {
                Problem("items of table identifier " + std::to_string(id) +
                        " belong to no table (orphans)");
                continue;
            }
            CheckTable(named->second, TableIdFromValue(id), t);
        }
        for (const auto& [id, name] : directory_)
            if (tables_.find(id) == tables_.end()) Problem("table " + name + " has no definition");
    }

    // Identifiers are issued from the file's counter, so none in use may lie above it.
    void CheckIdentifierCounter(std::uint32_t counter) {
        if (highest_ > counter)
            Problem("identifier counter " + std::to_string(counter) + " is below identifier " +
                    std::to_string(highest_) + " in use: adding would collide");
    }

    int items() const { return items_; }
    std::size_t table_count() const { return directory_.size(); }
    std::size_t record_count() const { return records_; }

  private:
    void CheckTable(const std::string& name, const TableId& id, TableItems& t) {
        const std::string where = "table " + name + ": ";
        Bytes stream;
        for (std::uint16_t c = 0; t.definition.count(c) != 0; ++c) {
            Bytes chunk = t.definition[c];
            chunk.resize(kDefinitionChunk, '\0');
            stream += chunk;
        }
        TableDefinition d;
        if (!ReadDefinitionStream(stream, d)) {
            Problem(where +
                    "definition is broken (a field, memo or key that no declaration gives)");
            return;
        }
        if (const std::string wrong = DefinitionInconsistency(d); !wrong.empty()) {
            Problem(where + "definition: error 75 (Invalid Field Type Descriptor): " + wrong);
            return;
        }
        KeyCollation collation{runtime::CurrentCollation(), false};
        if (t.collation) {
            if (t.collation_data.size() < 1 + runtime::CollationTables::kStoredSize)
                Problem(where + "collation item is short");
            else {
                collation.oem = t.collation_data[0] != 0;
                collation.tables.Deserialize(BytesView(t.collation_data).substr(1));
            }
        }
        records_ += t.records.size();
        if (auto c = t.counters.find(kRecordCounter);
            c != t.counters.end() && c->second.count != t.records.size())
            Problem(where + "record counter says " + std::to_string(c->second.count) +
                    ", the table holds " + std::to_string(t.records.size()));
        for (auto& [number, record] : t.records) {
            if (record.size() != d.record_length) {
                Problem(where + "record " + std::to_string(number) + " is " +
                        std::to_string(record.size()) + " bytes, not " +
                        std::to_string(d.record_length));
                record.resize(d.record_length, ' ');
            }
            RecordFromStore(d, collation.oem, record);
        }
        for (const auto& [k, list] : t.entries)
            if (k >= d.keys.size())
                Problem(where + "entries of key number " + std::to_string(k) +
                        ", which the table does not have");
        for (std::size_t k = 0; k < d.keys.size(); ++k) {
            const auto& key = d.keys[k];
            const std::string kwhere =
                where + "key " + key.label.value_or(std::to_string(k)) + ": ";
            const auto& list = t.entries[static_cast<std::uint8_t>(k)];
            const auto counter = t.counters.find(static_cast<std::uint8_t>(k));
            const std::uint32_t mark = counter == t.counters.end() ? 0 : counter->second.second;
            if (key.Maintained() && counter != t.counters.end() &&
                counter->second.count != list.size())
                Problem(kwhere + "counter says " + std::to_string(counter->second.count) +
                        " entries, the key holds " + std::to_string(list.size()));
            std::set<std::uint32_t> indexed;
            for (const auto& [entry_key, entry_data] : list) {
                const std::uint32_t number = EntryRecordNumber(key, entry_key, entry_data);
                const auto record = t.records.find(number);
                if (record == t.records.end()) {
                    if (key.Maintained())
                        Problem(kwhere + "entry " + Hex(entry_key) + " points at missing record " +
                                std::to_string(number));
                    continue;
                }
                const auto expected = BuildKeyEntry(d, k, id, collation, record->second, number);
                if (!expected || expected->key != entry_key || expected->data != entry_data)
                    Problem(kwhere + "entry of record " + std::to_string(number) +
                            " does not match the record");
                indexed.insert(number);
            }
            if (!key.Maintained()) continue;
            for (const auto& [number, record] : t.records) {
                if (mark != 0 && number >= mark) continue;
                if (indexed.count(number) == 0 &&
                    BuildKeyEntry(d, k, id, collation, record, number))
                    Problem(kwhere + "record " + std::to_string(number) + " has no entry");
            }
        }
        for (const auto& [number, memos] : t.memos) {
            if (t.records.count(number) == 0) {
                Problem(where + "memo chunks of missing record " + std::to_string(number) +
                        " (orphans)");
                continue;
            }
            for (const auto& [m, chunks] : memos) {
                if (m >= d.memos.size()) {
                    Problem(where + "memo number " + std::to_string(m) + " of record " +
                            std::to_string(number) + " is not declared");
                    continue;
                }
                Bytes contents;
                if (!MemoFromChunks(d.memos[m], collation.oem, chunks, contents))
                    Problem(where + "memo " + std::to_string(m) + " of record " +
                            std::to_string(number) + " is damaged");
            }
        }
    }

    std::ostream& out_;
    int problems_ = 0;
    int items_ = 0;
    std::size_t records_ = 0;
    std::uint32_t highest_ = 0;
    std::map<std::uint32_t, std::string> directory_;
    std::map<std::uint32_t, TableItems> tables_;
};

}  // namespace

CheckSummary CheckOpenFile(ItemFile& file, std::ostream& out) {
    Checker checker(out);
    std::size_t tree_items = 0;
    bool tree_sound = false;
    Status status = file.BeginRead();
    if (status.ok()) {
        // The tree: levels, key order, index copies and accounted sizes.
        try {
            tree_items = file.state().tree->Verify();
            tree_sound = true;
        } catch (const StorageFailure& failure) {
            checker.Problem("tree: " + DescribeStatus({failure.code, failure.fault}) +
                            " (page or item layout broken)");
        }
        // Items of a broken tree would only repeat its fault, item by item.
        ItemCursor cursor(file);
        if (tree_sound) {
            for (status = cursor.First(); status.ok() && cursor.Valid(); status = cursor.Next())
                checker.Classify(cursor.key(), cursor.data());
        }
        if (status.ok())
            checker.CheckIdentifierCounter(ReadU32BigEndian(
                BytesView(reinterpret_cast<const char*>(file.state().tree->header().data()) + 20,
                          4),
                0));
        file.Finish();
    }
    if (!status.ok()) {
        checker.Problem("walk stopped: " + DescribeStatus(status));
    } else if (tree_sound) {
        if (tree_items != static_cast<std::size_t>(checker.items()))
            checker.Problem("the tree holds " + std::to_string(tree_items) +
                            " item(s), a walk reaches " + std::to_string(checker.items()));
        checker.CheckTables();
    }
    return {checker.problems(), checker.table_count(), checker.record_count(), checker.items()};
}

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "plm: check takes one FILE\nusage: plm check FILE\n";
        return runtime::kUsageExitStatus;
    }
    const std::string path = TableAddress::Parse(args[1]).file;
    if (const std::string refused = NotATableFile(path); !refused.empty()) {
        out << path << ": " << refused << "\n";
        return 1;
    }
    OpenOptions options;
    options.access = Access::ReadOnly;
    std::unique_ptr<ItemFile> file;
    std::string detail;
    Status status = ItemFile::Open(path, options, file, &detail);
    if (!status.ok()) {
        out << path << ": " << DescribeStatus(status) << (detail.empty() ? "" : ": " + detail)
            << "\n";
        return 1;
    }
    if (const FileHeader& disk = file->state().committed;
        disk.committed_end() != disk.journal_end()) {
        // Not damage: a writer stopped or failed after its commit point.
        out << path << ": note: a committed change is still in the journal; the next writer "
            << "applies it (checked as it will stand)\n";
    }
    const CheckSummary summary = CheckOpenFile(*file, out);
    if (summary.problems > 0) {
        out << summary.problems << " problem(s) found in " << path << "\n";
        return 1;
    }
    out << path << ": sound: " << summary.tables << " table(s), " << summary.records
        << " record(s), " << summary.items << " item(s)\n";
    return 0;
}

}  // namespace zelt::plm
