#include "storage/tables/table_store.hpp"

#include <algorithm>

#include "runtime/file/collation.hpp"
#include "storage/tables/record_codec.hpp"

#define ZELT_TRY(expr)                           \
    do {                                         \
        const Status try_status = (expr);        \
        if (!try_status.ok()) return try_status; \
    } while (0)

namespace zelt::storage {

namespace err = runtime::err;

namespace {

Bytes CounterData(const TableCounter& c) {
    Bytes data;
    AppendU32LittleEndian(data, c.count);
    AppendU32LittleEndian(data, c.second);
    return data;
}

Status ReadDefinitionBytes(ItemStore& store, const TableId& id, Bytes* stream) {
    stream->clear();
    for (std::uint32_t chunk = 0; chunk < 0x10000; ++chunk) {
        Bytes data;
        bool found = false;
        ZELT_TRY(
            store.Find(DefinitionChunkKey(id, static_cast<std::uint16_t>(chunk)), &data, &found));
        if (!found) break;
        data.resize(kDefinitionChunk, '\0');  // a short last chunk reads as zeros behind
        *stream += data;
    }
    return Status::Ok();
}

}  // namespace

TableStore::TableStore(ItemStore& store, TableId id, TableDefinition definition, bool oem)
    : store_(&store), id_(id), definition_(std::move(definition)) {
    collation_.tables = runtime::CurrentCollation();
    collation_.oem = oem;
}

Status TableStore::CreateItems(ItemStore& store, const std::string& name,
                               const TableDefinition& definition, bool oem, TableId* id) {
    ZELT_TRY(store.IssueIdentifier(*id));
    ZELT_TRY(store.Insert(DirectoryItemKey(name), TablePrefix(*id)));
    const auto chunks = DefinitionChunks(WriteDefinitionStream(definition));
    for (std::size_t i = 0; i < chunks.size(); ++i)
        ZELT_TRY(store.Insert(DefinitionChunkKey(*id, static_cast<std::uint16_t>(i)), chunks[i]));
    ZELT_TRY(store.Insert(CounterItemKey(*id, kRecordCounter), CounterData({})));
    for (std::size_t k = 0; k < definition.keys.size(); ++k)
        ZELT_TRY(store.Insert(CounterItemKey(*id, static_cast<std::uint8_t>(k)), CounterData({})));
    Bytes collation(1, oem ? '\1' : '\0');
    collation += runtime::CurrentCollation().Serialize();
    ZELT_TRY(store.Insert(CollationItemKey(*id), collation));
    return Status::Ok();
}

Status TableStore::Open(ItemStore& store, const std::string& name, TableDefinition& definition,
                        bool declared_oem, bool create, std::unique_ptr<TableStore>& out) {
    Bytes id_bytes;
    bool found = false;
    ZELT_TRY(store.Find(DirectoryItemKey(name), &id_bytes, &found));
    if (!found) {
        if (!create) return Status::Error(err::FileNotFound);
        TableId id{};
        ZELT_TRY(CreateItems(store, name, definition, declared_oem, &id));
        out.reset(new TableStore(store, id, definition, declared_oem));
        return Status::Ok();
    }
    if (id_bytes.size() != 4) return Status::Error(err::InvalidDataFile);
    const TableId id = TableIdFromValue(ReadU32BigEndian(id_bytes, 0));
    Bytes stream;
    ZELT_TRY(ReadDefinitionBytes(store, id, &stream));
    if (definition.record_length == 0 && definition.fields.empty() && definition.memos.empty()) {
        if (!ReadDefinitionStream(stream, definition))
            return Status::Error(err::InvalidRecordDeclaration);
    } else if (!VerifyDefinitionStream(stream, definition)) {
        return Status::Error(err::InvalidRecordDeclaration);
    }
    std::unique_ptr<TableStore> table(new TableStore(store, id, definition, declared_oem));
    Bytes collation;
    ZELT_TRY(store.Find(CollationItemKey(id), &collation, &found));
    if (found && collation.size() >= 1 + runtime::CollationTables::kStoredSize) {
        table->collation_.oem = collation[0] != 0;
        table->collation_.tables.Deserialize(BytesView(collation).substr(1));
    }
    out = std::move(table);
    return Status::Ok();
}

Status TableStore::Create(ItemStore& store, const std::string& name,
                          const TableDefinition& definition, bool oem,
                          std::unique_ptr<TableStore>& out) {
    Bytes id_bytes;
    bool found = false;
    ZELT_TRY(store.Find(DirectoryItemKey(name), &id_bytes, &found));
    if (found && id_bytes.size() == 4) {
        TableStore old(store, TableIdFromValue(ReadU32BigEndian(id_bytes, 0)), {}, false);
        ZELT_TRY(old.EraseWithPrefix(store, TablePrefix(old.id_), nullptr));
    }
    if (found) ZELT_TRY(store.Erase(DirectoryItemKey(name), nullptr));
    TableId id{};
    ZELT_TRY(CreateItems(store, name, definition, oem, &id));
    out.reset(new TableStore(store, id, definition, oem));
    return Status::Ok();
}

Status TableStore::TableNames(ItemStore& store, std::vector<std::string>& names) {
    names.clear();
    Bytes at(1, static_cast<char>(item_type::Directory));
    SeekMode mode = SeekMode::AtOrAfter;
    for (;;) {
        Bytes key;
        bool found = false;
        ZELT_TRY(store.Seek(at, mode, &key, nullptr, &found));
        if (!found || key.empty() || static_cast<std::uint8_t>(key[0]) != item_type::Directory)
            break;
        names.push_back(key.substr(1));
        at = key;
        mode = SeekMode::After;
    }
    return Status::Ok();
}

ItemStore& TableStore::KeyStore(std::size_t k) {
    if (!definition_.keys[k].Dynamic()) return *store_;
    auto& slot = dynamic_[k];
    if (!slot) slot = std::make_unique<MemoryItemStore>();
    return *slot;
}

BytesView TableStore::StoredForm(BytesView record) {
    if (!Oem()) return record;
    stored_form_ = RecordForStore(definition_, true, record);
    return stored_form_;
}

Status TableStore::ReadCounter(std::uint8_t index, TableCounter* counter) {
    Bytes data;
    bool found = false;
    ZELT_TRY(store_->Find(CounterItemKey(id_, index), &data, &found));
    if (!found) {
        // Created at its first use.
        *counter = {};
        return store_->Insert(CounterItemKey(id_, index), CounterData({}));
    }
    counter->count = ReadU32LittleEndian(data, 0);
    counter->second = ReadU32LittleEndian(data, 4);
    return Status::Ok();
}

Status TableStore::WriteCounter(std::uint8_t index, const TableCounter& counter) {
    // Within a transaction a counter item is written once, when the file commits.
    return store_->ReplaceLater(CounterItemKey(id_, index), CounterData(counter));
}

Status TableStore::LowerMark(std::uint8_t index, std::uint32_t number) {
    TableCounter c;
    ZELT_TRY(ReadCounter(index, &c));
    if (c.second != 0 && c.second <= number) return Status::Ok();
    c.second = number;
    return WriteCounter(index, c);
}

Status TableStore::AdjustCount(std::uint8_t index, int delta) {
    if (delta == 0) return Status::Ok();
    TableCounter c;
    ZELT_TRY(ReadCounter(index, &c));
    c.count = delta < 0 && c.count == 0
                  ? 0
                  : static_cast<std::uint32_t>(static_cast<std::int64_t>(c.count) + delta);
    return WriteCounter(index, c);
}

bool TableStore::KeyMaintainedFor(std::size_t k, std::uint32_t number, std::uint32_t mark) const {
    return definition_.keys[k].Maintained() && (mark == 0 || number < mark);
}

Status TableStore::Add(BytesView record, const std::vector<Bytes>* memos, bool maintain_keys,
                       std::uint32_t* number) {
    TableId issued{};
    ZELT_TRY(store_->IssueIdentifier(issued));
    const std::uint32_t recno = TableIdValue(issued);
    // Kept from one add to the next for their storage (a transaction adds thousands).
    auto& entries = add_entries_;
    auto& counters = add_counters_;
    std::size_t used = 0;  // entries[0, used) are this add's
    counters.assign(definition_.keys.size(), TableCounter{});
    for (std::size_t k = 0; k < definition_.keys.size(); ++k) {
        const auto& key = definition_.keys[k];
        if (!key.Maintained() || !maintain_keys) continue;
        TableCounter& c = counters[k];
        ZELT_TRY(ReadCounter(static_cast<std::uint8_t>(k), &c));
        if (!KeyMaintainedFor(k, recno, c.second)) continue;
        if (used == entries.size()) entries.emplace_back();
        auto& [entry_k, entry] = entries[used];
        if (!BuildKeyEntryInto(definition_, k, id_, collation_, record, recno, entry)) continue;
        if (!key.Dup()) {
            bool exists = false;
            ZELT_TRY(store_->Find(entry.key, nullptr, &exists));
            if (exists) return Status::Error(err::CreatesDuplicateKey);
        }
        entry_k = k;
        ++used;
    }
    for (std::size_t i = 0; i < used; ++i) {
        const auto& [k, entry] = entries[i];
        ZELT_TRY(store_->Insert(entry.key, entry.data));
        ++counters[k].count;
        ZELT_TRY(WriteCounter(static_cast<std::uint8_t>(k), counters[k]));
    }
    for (std::size_t k = 0; k < definition_.keys.size(); ++k) {
        const auto& key = definition_.keys[k];
        if (key.Dynamic()) continue;
        if (key.Index() || !maintain_keys) ZELT_TRY(LowerMark(static_cast<std::uint8_t>(k), recno));
    }
    ZELT_TRY(store_->Insert(RecordItemKey(id_, recno), StoredForm(record)));
    ZELT_TRY(AdjustCount(kRecordCounter, +1));
    if (memos != nullptr) ZELT_TRY(WriteMemos(recno, *memos));
    *number = recno;
    return Status::Ok();
}

Status TableStore::Change(std::uint32_t number, BytesView old_record, BytesView new_record,
                          const std::vector<Bytes>* memos) {
    struct Step {
        std::size_t k;
        std::optional<KeyEntry> old_entry;
        std::optional<KeyEntry> new_entry;
    };
    std::vector<Step> steps;
    for (std::size_t k = 0; k < definition_.keys.size(); ++k) {
        const auto& key = definition_.keys[k];
        if (key.Dynamic()) continue;
        if (key.Index()) {
            ZELT_TRY(LowerMark(static_cast<std::uint8_t>(k), number));
            continue;
        }
        if (KeyFieldsSame(definition_, k, old_record, new_record)) continue;
        Step step{k, BuildKeyEntry(definition_, k, id_, collation_, old_record, number),
                  BuildKeyEntry(definition_, k, id_, collation_, new_record, number)};
        if (step.old_entry && step.new_entry && step.old_entry->key == step.new_entry->key)
            continue;
        // The rebuild mark matters only to an entry that changes.
        TableCounter c;
        ZELT_TRY(ReadCounter(static_cast<std::uint8_t>(k), &c));
        if (!KeyMaintainedFor(k, number, c.second)) continue;
        if (step.new_entry && !key.Dup()) {
            Bytes data;
            bool exists = false;
            ZELT_TRY(store_->Find(step.new_entry->key, &data, &exists));
            if (exists && RecordNumberOfItem(data) != number)
                return Status::Error(err::CreatesDuplicateKey);
        }
        steps.push_back(std::move(step));
    }
    for (const auto& step : steps) {
        const auto& key = definition_.keys[step.k];
        int delta = 0;
        if (step.old_entry) {
            Bytes data;
            bool exists = false;
            ZELT_TRY(store_->Find(step.old_entry->key, &data, &exists));
            if (exists && EntryRecordNumber(key, step.old_entry->key, data) == number) {
                ZELT_TRY(store_->Erase(step.old_entry->key, nullptr));
                --delta;
            }
        }
        if (step.new_entry) {
            ZELT_TRY(store_->Replace(step.new_entry->key, step.new_entry->data));
            ++delta;
        }
        ZELT_TRY(AdjustCount(static_cast<std::uint8_t>(step.k), delta));
    }
    if (old_record != new_record)
        ZELT_TRY(store_->Replace(RecordItemKey(id_, number), StoredForm(new_record)));
    if (memos != nullptr) ZELT_TRY(WriteMemos(number, *memos));
    return Status::Ok();
}

Status TableStore::Delete(std::uint32_t number) {
    Bytes stored;
    bool found = false;
    ZELT_TRY(ReadRecord(number, &stored, &found));
    if (!found) return Status::Error(err::RecordNotAvailable);
    for (std::size_t k = 0; k < definition_.keys.size(); ++k) {
        const auto& key = definition_.keys[k];
        if (!key.Maintained()) continue;
        const auto entry = BuildKeyEntry(definition_, k, id_, collation_, stored, number);
        if (!entry) continue;
        Bytes data;
        bool exists = false;
        ZELT_TRY(store_->Find(entry->key, &data, &exists));
        if (exists && EntryRecordNumber(key, entry->key, data) == number) {
            ZELT_TRY(store_->Erase(entry->key, nullptr));
            ZELT_TRY(AdjustCount(static_cast<std::uint8_t>(k), -1));
        }
    }
    ZELT_TRY(store_->Erase(RecordItemKey(id_, number), nullptr));
    ZELT_TRY(AdjustCount(kRecordCounter, -1));
    return EraseWithPrefix(*store_, MemoPrefix(id_, number), nullptr);
}

Status TableStore::ReadRecord(std::uint32_t number, Bytes* record, bool* found) {
    ZELT_TRY(store_->Find(RecordItemKey(id_, number), record, found));
    if (*found) {
        if (record->size() != definition_.record_length) return Status::Fault(fault::StreamLength);
        RecordFromStore(definition_, Oem(), *record);
    }
    return Status::Ok();
}

Status TableStore::ReadMemos(std::uint32_t number, std::vector<Bytes>* memos) {
    memos->assign(definition_.memos.size(), Bytes{});
    if (definition_.memos.empty()) return Status::Ok();
    const Bytes prefix = MemoPrefix(id_, number);
    std::vector<std::vector<Bytes>> chunks(definition_.memos.size());
    Bytes at = prefix;
    SeekMode mode = SeekMode::AtOrAfter;
    for (;;) {
        Bytes key;
        Bytes data;
        bool found = false;
        ZELT_TRY(store_->Seek(at, mode, &key, &data, &found));
        if (!found || !HasPrefix(key, prefix) || key.size() != prefix.size() + 3) break;
        const auto memo = static_cast<std::uint8_t>(key[prefix.size()]);
        if (memo < chunks.size()) chunks[memo].push_back(std::move(data));
        at = key;
        mode = SeekMode::After;
    }
    for (std::size_t m = 0; m < definition_.memos.size(); ++m)
        if (!MemoFromChunks(definition_.memos[m], Oem(), chunks[m], (*memos)[m]))
            return Status::Fault(fault::StreamLength);
    return Status::Ok();
}

Status TableStore::WriteMemos(std::uint32_t number, const std::vector<Bytes>& memos) {
    if (definition_.memos.empty()) return Status::Ok();
    // Chunk numbers have 16 bits: contents that need more chunks are refused before the
    // stored chunks are touched, rather than wrapping onto the first ones.
    constexpr std::size_t kMaxChunks = 65536;
    std::vector<std::vector<Bytes>> chunked;
    for (std::size_t m = 0; m < definition_.memos.size() && m < memos.size(); ++m) {
        chunked.push_back(MemoChunks(definition_.memos[m], Oem(), memos[m]));
        if (chunked.back().size() > kMaxChunks) return Status::Error(err::UnsupportedFunction);
    }
    ZELT_TRY(EraseWithPrefix(*store_, MemoPrefix(id_, number), nullptr));
    for (std::size_t m = 0; m < chunked.size(); ++m)
        for (std::size_t c = 0; c < chunked[m].size(); ++c)
            ZELT_TRY(store_->Insert(MemoChunkKey(id_, number, static_cast<std::uint8_t>(m),
                                                 static_cast<std::uint16_t>(c)),
                                    chunked[m][c]));
    return Status::Ok();
}

Status TableStore::Duplicates(std::size_t k, BytesView record, std::uint32_t self,
                              bool* duplicate) {
    *duplicate = false;
    const auto& key = definition_.keys[k];
    if (key.Dup() || key.Dynamic()) return Status::Ok();
    const auto entry = BuildKeyEntry(definition_, k, id_, collation_, record, self);
    if (!entry) return Status::Ok();
    Bytes data;
    bool exists = false;
    ZELT_TRY(KeyStore(k).Find(entry->key, &data, &exists));
    *duplicate = exists && RecordNumberOfItem(data) != self;
    return Status::Ok();
}

Status TableStore::FindByKey(std::size_t k, BytesView record, std::uint32_t* number,
                             Bytes* entry_key, bool* found) {
    const auto& key = definition_.keys[k];
    const Bytes prefix = EncodeKeyPrefix(definition_, k, id_, collation_, record);
    Bytes item;
    Bytes data;
    ZELT_TRY(KeyStore(k).Seek(prefix, SeekMode::AtOrAfter, &item, &data, found));
    const std::size_t expected = prefix.size() + (key.Dup() ? 4 : 0);
    if (!*found || !HasPrefix(item, prefix) || item.size() != expected) {
        *found = false;
        return Status::Ok();
    }
    *number = EntryRecordNumber(key, item, data);
    if (entry_key != nullptr) {
        *entry_key = item;
        if (!key.Dup()) AppendU32BigEndian(*entry_key, *number);
    }
    return Status::Ok();
}

Bytes TableStore::EntryPosition(std::size_t k, BytesView record, std::uint32_t number) const {
    Bytes position = EncodeKeyPrefix(definition_, k, id_, collation_, record);
    AppendU32BigEndian(position, number);
    return position;
}

Status TableStore::EraseWithPrefix(ItemStore& store, BytesView prefix, std::uint32_t* erased) {
    if (erased != nullptr) *erased = 0;
    for (;;) {
        Bytes key;
        bool found = false;
        ZELT_TRY(store.Seek(prefix, SeekMode::AtOrAfter, &key, nullptr, &found));
        if (!found || !HasPrefix(key, prefix)) return Status::Ok();
        ZELT_TRY(store.Erase(key, nullptr));
        if (erased != nullptr) ++*erased;
    }
}

Status TableStore::BuildKey(std::size_t k, bool full, const BuildProgressFn& keep_going,
                            const RecordFilterFn& include) {
    const auto& key = definition_.keys[k];
    const auto index = static_cast<std::uint8_t>(k);
    TableCounter c;
    if (key.Dynamic()) {
        dynamic_[k] = std::make_unique<MemoryItemStore>();
        full = true;
    } else {
        ZELT_TRY(ReadCounter(index, &c));
        if (!full && c.second == 0) return Status::Ok();
    }
    ItemStore& entries = KeyStore(k);
    const std::uint32_t start = full ? 0 : c.second;
    Bytes key_prefix = TablePrefix(id_);
    key_prefix.push_back(static_cast<char>(k));
    std::uint32_t kept = 0;
    if (full) {
        ZELT_TRY(EraseWithPrefix(entries, key_prefix, nullptr));
    } else {
        // Drop the entries of records at or above the mark; count the rest.
        Bytes at = key_prefix;
        SeekMode mode = SeekMode::AtOrAfter;
        for (;;) {
            Bytes item;
            Bytes data;
            bool found = false;
            ZELT_TRY(entries.Seek(at, mode, &item, &data, &found));
            if (!found || !HasPrefix(item, key_prefix)) break;
            if (EntryRecordNumber(key, item, data) >= start)
                ZELT_TRY(entries.Erase(item, nullptr));
            else
                ++kept;
            at = item;
            mode = SeekMode::After;
        }
    }
    const Bytes record_prefix = TypePrefix(id_, item_type::Record);
    Bytes at = RecordItemKey(id_, start);
    SeekMode mode = SeekMode::AtOrAfter;
    std::uint32_t count = kept;
    TableCounter records;
    if (keep_going) ZELT_TRY(ReadCounter(kRecordCounter, &records));
    std::uint32_t done = 0;
    for (;;) {
        Bytes item;
        Bytes record;
        bool found = false;
        ZELT_TRY(store_->Seek(at, mode, &item, &record, &found));
        if (!found || !HasPrefix(item, record_prefix)) break;
        const std::uint32_t number = RecordNumberOfItem(item);
        if (keep_going && !keep_going(done, records.count)) {
            if (!key.Dynamic()) ZELT_TRY(WriteCounter(index, {count, number}));
            return Status::Error(err::BuildCancelled);
        }
        ++done;
        RecordFromStore(definition_, Oem(), record);
        const bool wanted = !include || include(record, number);
        if (const auto entry = wanted
                                   ? BuildKeyEntry(definition_, k, id_, collation_, record, number)
                                   : std::nullopt) {
            if (!key.Dup()) {
                bool exists = false;
                ZELT_TRY(entries.Find(entry->key, nullptr, &exists));
                if (exists) {
                    if (!key.Dynamic()) ZELT_TRY(WriteCounter(index, {count, number}));
                    return Status::Error(err::CreatesDuplicateKey);
                }
            }
            ZELT_TRY(entries.Insert(entry->key, entry->data));
            ++count;
        }
        at = item;
        mode = SeekMode::After;
    }
    if (!key.Dynamic()) ZELT_TRY(WriteCounter(index, {count, 0}));
    return Status::Ok();
}

Status TableStore::Empty() {
    TableCounter records;
    ZELT_TRY(ReadCounter(kRecordCounter, &records));
    for (std::size_t k = 0; k < definition_.keys.size(); ++k) {
        Bytes prefix = TablePrefix(id_);
        prefix.push_back(static_cast<char>(k));
        ZELT_TRY(EraseWithPrefix(KeyStore(k), prefix, nullptr));
        if (!definition_.keys[k].Dynamic())
            ZELT_TRY(WriteCounter(static_cast<std::uint8_t>(k), {}));
    }
    ZELT_TRY(EraseWithPrefix(*store_, TypePrefix(id_, item_type::Record), nullptr));
    ZELT_TRY(EraseWithPrefix(*store_, TypePrefix(id_, item_type::Memo), nullptr));
    return WriteCounter(kRecordCounter, {0, records.second});
}

Status TableStore::RewriteCollation() {
    collation_.tables = runtime::CurrentCollation();
    Bytes collation(1, Oem() ? '\1' : '\0');
    collation += collation_.tables.Serialize();
    return store_->Replace(CollationItemKey(id_), collation);
}

}  // namespace zelt::storage
