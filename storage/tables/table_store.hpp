// One table inside an item store: its directory item, definition, counters, collation,
// records, key entries and memo chunks, and the rules by which records are added, changed
// and deleted and keys are built.
//
// Record bytes passed in and out are in the program's character set; the OEM conversion
// happens here. Dynamic indexes keep their entries in memory, never in the file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/tables/item_keys.hpp"
#include "storage/tables/item_store.hpp"
#include "storage/tables/key_codec.hpp"
#include "storage/tables/table_definition.hpp"

namespace zelt::storage {

struct TableCounter {
    std::uint32_t count = 0;
    std::uint32_t second = 0;
};

class TableStore {
  public:
    // Opens table `name` (upper case) of `store`. Absent: created when `create`, else
    // error 2. Present: the stored definition must match `definition` (47), unless the
    // declaration has neither record fields nor memos, in which case `definition` is
    // replaced by the stored one. `declared_oem` applies until a collation item says
    // otherwise.
    static Status Open(ItemStore& store, const std::string& name, TableDefinition& definition,
                       bool declared_oem, bool create, std::unique_ptr<TableStore>& out);
    // Creates the table anew: an existing table of that name is removed first.
    static Status Create(ItemStore& store, const std::string& name,
                         const TableDefinition& definition, bool oem,
                         std::unique_ptr<TableStore>& out);
    // Table names of a store in directory order, starting after `after` (empty: all).
    static Status TableNames(ItemStore& store, std::vector<std::string>& names);

    const TableDefinition& Definition() const { return definition_; }
    const TableId& Id() const { return id_; }
    bool Oem() const { return collation_.oem; }
    const KeyCollation& Collation() const { return collation_; }
    ItemStore& Store() { return *store_; }
    // The store that holds key `k`'s entries (memory for a dynamic index).
    ItemStore& KeyStore(std::size_t k);

    Status Add(BytesView record, const std::vector<Bytes>* memos, bool maintain_keys,
               std::uint32_t* number);
    Status Change(std::uint32_t number, BytesView old_record, BytesView new_record,
                  const std::vector<Bytes>* memos);
    Status Delete(std::uint32_t number);
    Status ReadRecord(std::uint32_t number, Bytes* record, bool* found);
    Status ReadMemos(std::uint32_t number, std::vector<Bytes>* memos);
    Status WriteMemos(std::uint32_t number, const std::vector<Bytes>& memos);

    Status ReadCounter(std::uint8_t index, TableCounter* counter);
    Status WriteCounter(std::uint8_t index, const TableCounter& counter);

    // Would `record` (numbered `self`, 0 for a new one) duplicate key `k`?
    Status Duplicates(std::size_t k, BytesView record, std::uint32_t self, bool* duplicate);
    // Looks a record up by the key values in `record`: the first entry with those values.
    Status FindByKey(std::size_t k, BytesView record, std::uint32_t* number, Bytes* entry_key,
                     bool* found);
    // The entry key of `record` in key `k` (with the record number for a unique key too),
    // the form sequences remember as their position.
    Bytes EntryPosition(std::size_t k, BytesView record, std::uint32_t number) const;

    // Rebuilds key `k` from the records: from the first record when `full` (or for a
    // dynamic index), else from the key's mark; a key without a mark is left alone.
    // `keep_going` (if given) hears of every record read (done so far, records in the
    // table); when it answers false the build stops with BuildCancelled, and the key keeps
    // its entries below the record it stopped at, marked to be built from there.
    // `include` (if given) is asked about every record read (in the program's character
    // set); a record it refuses gets no entry.
    using BuildProgressFn = std::function<bool(std::uint32_t done, std::uint32_t total)>;
    using RecordFilterFn = std::function<bool(BytesView record, std::uint32_t number)>;
    Status BuildKey(std::size_t k, bool full, const BuildProgressFn& keep_going = {},
                    const RecordFilterFn& include = {});
    // Gives dynamic index `k` the components it is built from next (in memory only).
    void SetDynamicComponents(std::size_t k, std::vector<KeyComponentDescriptor> components) {
        if (k < definition_.keys.size() && definition_.keys[k].Dynamic())
            definition_.keys[k].components = std::move(components);
    }
    // Removes every record, entry and memo; counters go to 0 (the flags value stays).
    Status Empty();
    // Rewrites the collation item from the runtime's current tables.
    Status RewriteCollation();

  private:
    TableStore(ItemStore& store, TableId id, TableDefinition definition, bool oem);
    static Status CreateItems(ItemStore& store, const std::string& name,
                              const TableDefinition& definition, bool oem, TableId* id);
    Status LowerMark(std::uint8_t index, std::uint32_t number);
    Status AdjustCount(std::uint8_t index, int delta);
    Status EraseWithPrefix(ItemStore& store, BytesView prefix, std::uint32_t* erased);
    bool KeyMaintainedFor(std::size_t k, std::uint32_t number, std::uint32_t mark) const;
    // `record` as the file stores it: itself, or converted to the OEM character set into
    // a kept buffer (valid until the next call).
    BytesView StoredForm(BytesView record);

    ItemStore* store_;
    TableId id_;
    TableDefinition definition_;
    KeyCollation collation_;
    std::map<std::size_t, std::unique_ptr<MemoryItemStore>> dynamic_;
    // Kept between adds for their storage.
    std::vector<std::pair<std::size_t, KeyEntry>> add_entries_;
    std::vector<TableCounter> add_counters_;
    Bytes stored_form_;
};

}  // namespace zelt::storage
