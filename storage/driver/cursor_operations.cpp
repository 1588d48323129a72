// The "PELMAR" driver's cursor family: reading records, the sequence NEXT, PREVIOUS and
// SKIP walk, positions, record counts, the duplicate test and saved states.
//
// A read loads the record into the table's buffer and makes it the current record; it
// applies what HOLD, WATCH and NOMEMO asked for the next read (lock_operations.cpp). A
// sequence runs in record order or in the order of one key. SET... starts one without
// reading: from either end, from a record, from the buffer's key value or from a position
// value. Each read or step runs in one read operation on the file; the sequence keeps the
// item it stands on, so a step seeks past it and never depends on a stored position.
//
// Position values: in record order the record number as four big-endian bytes; in key
// order the key's entry (with the record number behind it for a unique key).
#include <algorithm>
#include <cstdlib>

#include "storage/driver/pelmar_families.hpp"
#include "storage/pagefile/key_order.hpp"
#include "storage/tables/record_codec.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage::pelmar {

namespace {

// Loads record `number` into the table's buffer, applying hold, watch and nomemo.
Status Load(runtime::Table& table, TableState& s, std::uint32_t number, bool* found,
            const BytesView* stored_item = nullptr) {
    Bytes& record = s.read_record;
    Status status;
    if (stored_item != nullptr && stored_item->size() == s.table->Definition().record_length) {
        record.assign(*stored_item);
        RecordFromStore(s.table->Definition(), s.table->Oem(), record);
        *found = true;
    } else {
        status = s.table->ReadRecord(number, &record, found);
        if (!status.ok() || !*found) return status;
    }
    if (s.hold_requested) {
        s.hold_requested = false;
        if (s.held != 0 && s.held != number) {
            s.locks->Unlock(s.held);
            s.held = 0;
        }
        if (s.held != number) {
            // A hold with a time limit keeps trying while another station holds it.
            bool acquired = false;
            status = TryLockWithin(*s.locks, number, std::max<std::int64_t>(s.hold_seconds, 0),
                                   &acquired);
            if (!status.ok()) return status;
            if (!acquired) return Status::Error(err::RecordIsAlreadyHeld);
            s.held = number;
        }
    }
    std::vector<Bytes> memos;
    const bool skip_memos = s.nomemo;
    s.nomemo_in_force = s.nomemo;
    s.nomemo = false;
    if (!skip_memos && !s.table->Definition().memos.empty()) {
        status = s.table->ReadMemos(number, &memos);
        if (!status.ok()) return status;
        for (std::size_t m = 0; m < memos.size(); ++m) table.MemoBuffer(m) = memos[m];
    }
    CopyToRecord(table, record);
    s.stored.swap(record);
    s.current = number;
    s.watching = s.watch_requested;
    s.watch_requested = false;
    if (s.watching) {
        s.watch_record = s.stored;
        s.watch_memos = memos;
    }
    return Status::Ok();
}

ErrorCode GetByNumber(runtime::Table& table, TableState& s, std::uint32_t number,
                      DriverArgs& args) {
    const Status status = InFrame(s, false, [&] {
        bool found = false;
        Status st = Load(table, s, number, &found);
        if (st.ok() && !found) return Status::Error(err::RecordNotFound);
        return st;
    });
    return Result(status, args, true);
}

// The record number a record-order position value names (0 for a short value).
std::uint32_t NumberOfPosition(const Bytes& position) {
    return position.size() >= 4 ? RecordNumberOfItem(position) : 0;
}

// How many items NEXT reads ahead at most (those that follow in the same page).
constexpr std::size_t kReadAhead = 96;

// The item after the sequence's forward position: taken from the items read ahead while
// they still stand for the store (its version unchanged, and the item taken last is the
// position), else read from the store with the items that follow it. `item` and `data`
// view the run's strings, or `item_bytes` and `data_bytes`, until the next call.
Status NextItem(ItemStore& store, const Sequence& q, ItemRun& run, Bytes& item_bytes,
                Bytes& data_bytes, BytesView& item, BytesView& data, bool* found) {
    if (q.next_mode != SeekMode::After) {
        run.Clear();
        const Status st = store.Seek(q.next_key, q.next_mode, &item_bytes, &data_bytes, found);
        item = item_bytes;
        data = data_bytes;
        return st;
    }
    const bool stands = run.version != 0 && run.next > 0 && run.next < run.count &&
                        run.version == store.Version() &&
                        KeyEqual(q.next_key, run.key(run.next - 1));
    if (!stands) {
        const Status st = store.SeekRun(q.next_key, kReadAhead, run);
        if (!st.ok()) return st;
    }
    *found = run.next < run.count;
    if (*found) {
        item = run.key(run.next);
        data = run.data(run.next);
        ++run.next;
    }
    return Status::Ok();
}

// Reads the next (or previous) record of the sequence. With `fill` false the position
// moves without touching the buffer.
Status Step(runtime::Table& table, TableState& s, bool forward, bool fill) {
    if (!s.sequence.active) return Status::Error(err::RecordNotAvailable);
    auto& q = s.sequence;
    ItemStore& store =
        q.key < 0 ? s.table->Store() : s.table->KeyStore(static_cast<std::size_t>(q.key));
    for (;;) {
        bool found = false;
        BytesView item;
        BytesView data;
        Status st;
        if (forward) {
            st = NextItem(store, q, s.step_run, s.step_item, s.step_data, item, data, &found);
        } else {
            st = q.on_item
                     ? store.Seek(q.next_key, SeekMode::Before, &s.step_item, &s.step_data, &found)
                     : store.Seek(q.prev_key, q.prev_mode, &s.step_item, &s.step_data, &found);
            item = s.step_item;
            data = s.step_data;
        }
        if (!st.ok()) return st;
        if (!found || !HasPrefix(item, q.prefix) || (q.key < 0 && item.size() != 9))
            return Status::Error(err::RecordNotAvailable);
        q.next_key.assign(item);
        q.next_mode = SeekMode::After;
        q.on_item = true;
        const std::uint32_t number =
            q.key < 0
                ? RecordNumberOfItem(item)
                : EntryRecordNumber(s.table->Definition().keys[static_cast<std::size_t>(q.key)],
                                    item, data);
        if (!fill) return Status::Ok();
        bool loaded = false;
        // A walk by key mostly reads the record after the one it read last.
        BytesView held;
        const BytesView* stored = q.key < 0 ? &data : nullptr;
        if (q.key >= 0 &&
            s.physical->file->FindNextFound(RecordItemKey(s.table->Id(), number), &held))
            stored = &held;
        st = Load(table, s, number, &loaded, stored);
        if (!st.ok()) return st;
        if (loaded) return Status::Ok();
        // An entry whose record has gone (an index not yet rebuilt): read on.
    }
}

bool SequenceEnds(TableState& s, Status* status) {
    auto& q = s.sequence;
    if (!q.active) return true;
    ItemStore& store =
        q.key < 0 ? s.table->Store() : s.table->KeyStore(static_cast<std::size_t>(q.key));
    Bytes item;
    bool found = false;
    *status = store.Seek(q.next_key, q.next_mode, &item, nullptr, &found);
    return !found || !HasPrefix(item, q.prefix) || (q.key < 0 && item.size() != 9);
}

// Starts a sequence in record order from `number` (0: the first record).
void StartFileOrder(TableState& s, std::uint32_t number) {
    auto& q = s.sequence;
    q = {};
    q.active = true;
    q.key = -1;
    q.prefix = TypePrefix(s.table->Id(), item_type::Record);
    if (number == 0) {
        q.next_key = q.prefix;
        q.next_mode = SeekMode::AtOrAfter;
        q.prev_key = TypePrefix(s.table->Id(), item_type::Record + 1);
        q.prev_mode = SeekMode::Before;
    } else {
        q.next_key = RecordItemKey(s.table->Id(), number);
        q.next_mode = SeekMode::AtOrAfter;
        q.prev_key = q.next_key;
        q.prev_mode = SeekMode::AtOrBefore;
    }
}

// Starts a sequence in key order; `from` empty: from either end, else from that entry
// key (inclusive both ways).
void StartKeyOrder(TableState& s, int key, const Bytes& from, const Bytes& back_from) {
    auto& q = s.sequence;
    q = {};
    q.active = true;
    q.key = key;
    q.prefix = TablePrefix(s.table->Id());
    q.prefix.push_back(static_cast<char>(key));
    if (from.empty()) {
        q.next_key = q.prefix;
        q.next_mode = SeekMode::AtOrAfter;
        q.prev_key = TablePrefix(s.table->Id());
        q.prev_key.push_back(static_cast<char>(key + 1));
        q.prev_mode = SeekMode::Before;
    } else {
        q.next_key = from;
        q.next_mode = SeekMode::AtOrAfter;
        q.prev_key = back_from;
        q.prev_mode = SeekMode::AtOrBefore;
    }
}

// The seek form of a key position value (unique keys carry the record number behind
// the entry key).
Bytes EntryKeyOfPosition(const KeyDescriptor& key, const Bytes& position) {
    if (key.Dup() || position.size() < 4) return position;
    return position.substr(0, position.size() - 4);
}

const KeyDescriptor& KeyOf(const TableState& s, int key) {
    return s.table->Definition().keys[static_cast<std::size_t>(key)];
}

}  // namespace

// --- reads -------------------------------------------------------------------------------

ErrorCode GetByKey(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    const int key = args.key;
    if (!KeyInRange(s, key)) return err::InvalidKeyFile;
    const Status status = InFrame(s, false, [&] {
        std::uint32_t number = 0;
        bool found = false;
        Status st = s.table->FindByKey(static_cast<std::size_t>(key), RecordBytes(table), &number,
                                       nullptr, &found);
        if (!st.ok()) return st;
        if (!found) return Status::Error(err::RecordNotFound);
        st = Load(table, s, number, &found);
        if (st.ok() && !found) return Status::Error(err::RecordNotFound);
        return st;
    });
    return Result(status, args, true);
}

ErrorCode GetByPointer(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return GetByNumber(table, s, args.pointer, args);
}

// REGETfile and REGETkey: the record a record-order position value names.
ErrorCode Reget(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return GetByNumber(table, s, NumberOfPosition(args.text), args);
}

// --- the sequence ------------------------------------------------------------------------

// NEXT and PREVIOUS read one record; SKIP moves `number` records (backwards when negative,
// at least one) without reading.
ErrorCode StepSequence(Driver&, FileOp op, runtime::Table& table, TableState& s, DriverArgs& args) {
    const bool forward = op != FileOp::Previous && !(op == FileOp::Skip && args.number < 0);
    const std::int64_t steps =
        op == FileOp::Skip ? std::max<std::int64_t>(1, std::abs(args.number)) : 1;
    const Status status = InFrame(s, false, [&] {
        Status st;
        for (std::int64_t i = 0; i < steps && st.ok(); ++i)
            st = Step(table, s, forward, op != FileOp::Skip);
        return st;
    });
    return Result(status, args, true);
}

// EOF and TEST: whether the next step forward would find nothing.
ErrorCode SequenceEnd(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    Status status;
    const Status framed = InFrame(s, false, [&] {
        args.result_flag = SequenceEnds(s, &status);
        return status;
    });
    return Result(framed, args, true);
}

ErrorCode SetFile(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    StartFileOrder(s, 0);
    return err::NoError;
}

ErrorCode SetFilePointer(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    StartFileOrder(s, args.pointer);
    return err::NoError;
}

ErrorCode ResetFile(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    StartFileOrder(s, NumberOfPosition(args.text));
    return err::NoError;
}

ErrorCode SetKey(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    StartKeyOrder(s, args.key, {}, {});
    return err::NoError;
}

// From the buffer's key value: forwards from its first entry, backwards from its last.
ErrorCode SetKeyKey(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    const auto k = static_cast<std::size_t>(args.key);
    const Bytes from = EncodeKeyPrefix(s.table->Definition(), k, s.table->Id(),
                                       s.table->Collation(), RecordBytes(table));
    Bytes back = from;
    if (KeyOf(s, args.key).Dup()) back += Bytes(4, '\xFF');
    StartKeyOrder(s, args.key, from, back);
    return err::NoError;
}

// From the entry of the buffer's key value with record number `pointer`.
ErrorCode SetKeyKeyPointer(Driver&, FileOp, runtime::Table& table, TableState& s,
                           DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    const auto k = static_cast<std::size_t>(args.key);
    const Bytes position = EntryKeyOfPosition(
        KeyOf(s, args.key), s.table->EntryPosition(k, RecordBytes(table), args.pointer));
    StartKeyOrder(s, args.key, position, position);
    return err::NoError;
}

// From the entry of stored record `pointer`.
ErrorCode SetKeyPointer(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    const auto k = static_cast<std::size_t>(args.key);
    Bytes stored;
    bool found = false;
    const Status status =
        InFrame(s, false, [&] { return s.table->ReadRecord(args.pointer, &stored, &found); });
    if (!status.ok()) return Result(status, args, true);
    if (!found) return err::RecordNotFound;
    const Bytes position =
        EntryKeyOfPosition(KeyOf(s, args.key), s.table->EntryPosition(k, stored, args.pointer));
    StartKeyOrder(s, args.key, position, position);
    return err::NoError;
}

// Record order from the record the buffer's key value finds (past the end when none).
ErrorCode SetFileKey(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    std::uint32_t number = 0;
    bool found = false;
    const Status status = InFrame(s, false, [&] {
        return s.table->FindByKey(static_cast<std::size_t>(args.key), RecordBytes(table), &number,
                                  nullptr, &found);
    });
    if (!status.ok()) return Result(status, args, true);
    StartFileOrder(s, found ? number : 0xFFFFFFFFu);
    return err::NoError;
}

ErrorCode ResetKey(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    const Bytes position = EntryKeyOfPosition(KeyOf(s, args.key), args.text);
    StartKeyOrder(s, args.key, position, position);
    return err::NoError;
}

// --- positions and counts ----------------------------------------------------------------

// POINTERfile and POINTERkey: the current record's number.
ErrorCode CurrentPointer(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    args.result_number = s.current;
    return err::NoError;
}

ErrorCode FilePosition(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    args.result_text.clear();
    if (s.current != 0) AppendU32BigEndian(args.result_text, s.current);
    return err::NoError;
}

ErrorCode KeyPosition(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    args.result_text = s.current == 0 ? Bytes{}
                                      : s.table->EntryPosition(static_cast<std::size_t>(args.key),
                                                               s.stored, s.current);
    return err::NoError;
}

// RECORDSfile and RECORDSkey; a dynamic index counts the entries it holds.
ErrorCode CountRecords(Driver&, FileOp op, runtime::Table&, TableState& s, DriverArgs& args) {
    if (op == FileOp::RecordsKey && !KeyInRange(s, args.key)) return err::InvalidKeyFile;
    TableCounter counter;
    const Status status = InFrame(s, false, [&] {
        if (op == FileOp::RecordsKey && KeyOf(s, args.key).Dynamic()) {
            const auto& items = static_cast<MemoryItemStore&>(
                s.table->KeyStore(static_cast<std::size_t>(args.key)));
            counter.count = static_cast<std::uint32_t>(items.Items().size());
            return Status::Ok();
        }
        return s.table->ReadCounter(
            op == FileOp::RecordsFile ? kRecordCounter : static_cast<std::uint8_t>(args.key),
            &counter);
    });
    args.result_number = counter.count;
    return Result(status, args, true);
}

// DUPLICATE and DUPLICATEkey: whether the buffer's values of every key (or of one) match a
// record other than the current one.
ErrorCode FindDuplicates(Driver&, FileOp op, runtime::Table& table, TableState& s,
                         DriverArgs& args) {
    if (op == FileOp::DuplicateKey && !KeyInRange(s, args.key)) return err::InvalidKeyFile;
    const Bytes record = RecordBytes(table);
    const Status status = InFrame(s, false, [&] {
        const std::size_t keys = s.table->Definition().keys.size();
        for (std::size_t k = 0; k < keys; ++k) {
            if (op == FileOp::DuplicateKey && static_cast<int>(k) != args.key) continue;
            bool duplicate = false;
            const Status st = s.table->Duplicates(k, record, s.current, &duplicate);
            if (!st.ok()) return st;
            if (duplicate) args.result_flag = true;
        }
        return Status::Ok();
    });
    return Result(status, args, true);
}

// --- saved states ------------------------------------------------------------------------

ErrorCode SaveState(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    SavedState saved{s.current, s.sequence, RecordBytes(table), MemoBuffers(table)};
    const std::int64_t handle = s.next_state++;
    s.saved[handle] = std::move(saved);
    args.result_number = handle;
    return err::NoError;
}

ErrorCode RestoreState(Driver&, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    const auto it = s.saved.find(args.number);
    if (it == s.saved.end()) return err::InvalidNumberOfParameters;
    s.current = it->second.current;
    s.sequence = it->second.sequence;
    CopyToRecord(table, it->second.record);
    for (std::size_t m = 0; m < it->second.memos.size(); ++m)
        table.MemoBuffer(m) = it->second.memos[m];
    return err::NoError;
}

ErrorCode FreeState(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    s.saved.erase(args.number);
    return err::NoError;
}

}  // namespace zelt::storage::pelmar
