#include "storage/driver/pelmar_driver.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <thread>

#include "runtime/file/build_progress.hpp"
#include "runtime/file/collation.hpp"
#include "runtime/file/os_file.hpp"
#include "runtime/file/table.hpp"
#include "runtime/profile/profile.hpp"
#include "runtime/trace/trace_log.hpp"
#include "runtime/values/clock_source.hpp"
#include "storage/driver/pelmar_operations.hpp"
#include "storage/driver/pelmar_state.hpp"
#include "storage/driver/table_address.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/record_codec.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage {

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FileOp;
namespace err = runtime::err;

using pelmar::BuildDynamicIndex;
using pelmar::InFrame;
using pelmar::PhysicalFile;
using pelmar::ProgressOf;
using pelmar::Result;
using pelmar::SavedState;
using pelmar::Sequence;
using pelmar::TableState;

namespace pelmar {

ErrorCode Result(const Status& status, DriverArgs& args, bool table_known) {
    if (status.ok()) return err::NoError;
    if (status.is_fault()) {
        args.file_error_code = std::to_string(status.fault);
        args.file_error_text =
            table_known ? "Possible data corruption in file" : "Pelmar File Driver Error";
        return err::FileSystemError;
    }
    return status.code;
}

}  // namespace pelmar

namespace {

// Tries to take record lock `number` until it is had, an error comes back, or `seconds`
// have passed on the runtime clock, waiting one second between tries (0 seconds: one try).
Status TryLockWithin(RecordLocks& locks, std::uint32_t number, std::int64_t seconds,
                     bool* acquired) {
    const auto& clock = runtime::CurrentClockSource();
    const std::int64_t limit_ms = std::max<std::int64_t>(seconds, 0) * 1000;
    const std::int64_t start = clock.MonotonicMs();
    for (;;) {
        const Status status = locks.TryLock(number, acquired);
        if (!status.ok() || *acquired) return status;
        if (clock.MonotonicMs() - start >= limit_ms) return Status::Ok();
        const std::int64_t wait_from = clock.MonotonicMs();
        while (clock.MonotonicMs() - wait_from < 1000 && clock.MonotonicMs() - start < limit_ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TableState& StateOf(runtime::Table& table) {
    auto& state = table.DriverState();
    if (!state) state = std::make_unique<TableState>();
    return static_cast<TableState&>(*state);
}

Bytes RecordBytes(runtime::Table& table) {
    const auto record = table.Record();
    return Bytes(record.data(), record.size());
}

void CopyToRecord(runtime::Table& table, BytesView bytes) {
    auto record = table.Record();
    std::copy_n(bytes.data(), std::min(bytes.size(), record.size()), record.begin());
}

std::vector<Bytes> MemoBuffers(runtime::Table& table) {
    std::vector<Bytes> memos;
    for (std::size_t m = 0; m < table.Declaration().Memos().size(); ++m)
        memos.push_back(table.MemoBuffer(m));
    return memos;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    return runtime::UpperText(text.substr(0, word.size())) == word;
}

std::string ValueAfterEquals(std::string_view text) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return {};
    std::string value(text.substr(eq + 1));
    const auto first = value.find_first_not_of(' ');
    return first == std::string::npos ? std::string{} : value.substr(first);
}

}  // namespace

PelmarTrace ReadPelmarTraceSettings() {
    PelmarTrace trace;
    trace.enabled = runtime::ProfileNumber(runtime::kUserProfile, "VXPELMAR", "Profile", 0) != 0;
    trace.file = runtime::ProfileText(runtime::kUserProfile, "VXPELMAR", "TraceFile", "");
    if (trace.file.empty()) trace.file = "PELMAR.LOG";
    trace.details = runtime::ProfileNumber(runtime::kUserProfile, "VXPELMAR", "Details", 0) != 0;
    return trace;
}

struct PelmarDriver::Impl {
    std::map<std::string, std::weak_ptr<PhysicalFile>> files;
    std::unique_ptr<Transaction> transaction;
    std::string control_file;
    bool trace_read = false;
    PelmarTrace trace;
    std::string driver_name;

    // --- result handling -------------------------------------------------------------

    // --- physical files --------------------------------------------------------------

    Status OpenPhysical(TableState& s, int mode, const std::string& owner,
                        std::shared_ptr<PhysicalFile>& out) {
        std::error_code ec;
        const auto path = std::filesystem::absolute(s.address.file, ec).lexically_normal();
        const std::string key = path.string();
        if (auto it = files.find(key); it != files.end()) {
            if (auto existing = it->second.lock()) {
                if ((mode & 0x200) != 0) return Status::Error(err::AccessDenied);
                out = existing;
                return Status::Ok();
            }
        }
        OpenOptions options;
        options.access = (mode & 3) == 0 ? Access::ReadOnly : Access::ReadWrite;
        const int share = mode & 0x30;
        options.share =
            share == 0 ? Share::DenyNone : (share == 0x20 ? Share::DenyWrite : Share::DenyAll);
        if ((mode & 0xF0) == 0x40) options.share = Share::DenyNone;
        options.creation = (mode & 0x100) == 0 ? Creation::OpenExisting
                                               : ((mode & 0x200) != 0 ? Creation::AlwaysNew
                                                                      : Creation::OpenOrCreate);
        options.owner = owner;
        auto physical = std::make_shared<PhysicalFile>();
        physical->key = key;
        const Status status = ItemFile::Open(path, options, physical->file);
        if (!status.ok()) return status;
        physical->store = std::make_unique<ItemFileStore>(*physical->file);
        files[key] = physical;
        out = std::move(physical);
        return Status::Ok();
    }

    void ReleaseTable(TableState& s) {
        s.locks.reset();  // gives up every hold and lock of the table
        s.held = 0;
        s.table_locked = false;
    }

    Status ClosePhysicalIfLast(std::shared_ptr<PhysicalFile>& physical) {
        Status status;
        if (physical && --physical->users <= 0) {
            if (transaction && physical->file->in_transaction()) transaction->Rollback();
            status = physical->file->Close();
            files.erase(physical->key);
        }
        physical.reset();
        return status;
    }

    // --- attach ----------------------------------------------------------------------

    ErrorCode Attach(runtime::Table& table, TableState& s) {
        if (!trace_read) {
            trace = ReadPelmarTraceSettings();
            trace_read = true;
        }
        // The address follows the name text; text without a table part reads the same
        // every time, so it is worked out again only when the text changes.
        const auto& declaration = table.Declaration();
        const std::string_view source =
            declaration.HasNameVariable()
                ? std::string_view(declaration.NameVariableBytes().data(),
                                   declaration.NameVariableBytes().size())
                : (declaration.DeclaredFileName().empty()
                       ? std::string_view(declaration.Label())
                       : std::string_view(declaration.DeclaredFileName()));
        if (!s.attached || source != s.address_source ||
            source.find("\\!") != std::string_view::npos) {
            s.address = TableAddress::Parse(table.FileName());
            s.address_source.assign(source);
        }
        if (s.attached) return err::NoError;
        s.trace_details =
            trace.details &&
            (table.Declaration().OwnerText().empty() ||
             runtime::UpperText(table.Declaration().DriverOptionText()).find("ALLOWDETAILS") !=
                 std::string::npos);
        const ErrorCode code = DefinitionFromDeclaration(table.Declaration(), s.declared);
        if (code != err::NoError) return code;
        s.attached = true;
        return err::NoError;
    }

    // --- open, create, close ---------------------------------------------------------

    ErrorCode Open(runtime::Table& table, TableState& s, DriverArgs& args) {
        if (table.FileName().empty()) return err::InvalidFilename;
        if (s.table) return err::FileAlreadyOpen;
        const int mode = static_cast<int>(args.number);
        std::shared_ptr<PhysicalFile> physical;
        Status status = OpenPhysical(s, mode, table.Declaration().OwnerText(), physical);
        if (!status.ok()) return Result(status, args, true);
        ++physical->users;
        s.physical = physical;
        TableDefinition definition = s.declared;
        std::unique_ptr<TableStore> opened;
        status = InFrame(s, false, [&] {
            return TableStore::Open(*physical->store, s.address.table, definition,
                                    table.Declaration().IsOem(), false, opened);
        });
        if (status.ok()) status = physical->file->OpenRecordLocks(s.locks);
        if (!status.ok()) {
            ClosePhysicalIfLast(s.physical);
            return Result(status, args, true);
        }
        s.table = std::move(opened);
        s.mode = mode;
        s.writable = (mode % 4) != 0;
        s.exclusive = (mode & 0x30) == 0x20 || (mode & 0x30) == 0x10;
        s.current = 0;
        s.sequence = {};
        return err::NoError;
    }

    ErrorCode Create(runtime::Table& table, TableState& s, DriverArgs& args) {
        if (table.FileName().empty()) return err::InvalidFilename;
        const bool was_open = s.table != nullptr;
        std::shared_ptr<PhysicalFile> physical = s.physical;
        if (!physical) {
            Status status =
                OpenPhysical(s, 0x100 | 0x10 | 0x2, table.Declaration().OwnerText(), physical);
            if (!status.ok()) return Result(status, args, true);
            ++physical->users;
        }
        std::unique_ptr<TableStore> created;
        TableState frame_state;
        frame_state.physical = physical;
        const Status status = InFrame(frame_state, true, [&] {
            return TableStore::Create(*physical->store, s.address.table, s.declared,
                                      table.Declaration().IsOem(), created);
        });
        if (was_open) {
            if (status.ok()) s.table = std::move(created);
        } else {
            ClosePhysicalIfLast(physical);
        }
        return Result(status, args, true);
    }

    void QuickScan(TableState& s, bool on) {
        if (on == s.quick_scan || (on && !s.table)) return;
        s.quick_scan = on;
        s.physical->file->HoldReads(on);
    }

    ErrorCode Close(TableState& s, DriverArgs& args) {
        if (!s.table) return err::NoError;
        QuickScan(s, false);
        ReleaseTable(s);
        s.table.reset();
        s.current = 0;
        s.sequence = {};
        s.watching = false;  // a watch belongs to one read of one open table
        s.watch_requested = false;
        const Status status = ClosePhysicalIfLast(s.physical);
        (void)args;
        (void)status;  // a fault during close is swallowed; the file notes it as damaged
        return err::NoError;
    }

    // --- reading ---------------------------------------------------------------------

    // Loads record `number` into the table's buffer, applying hold, watch and nomemo.
    Status Load(runtime::Table& table, TableState& s, std::uint32_t number, bool* found,
                const Bytes* stored_item = nullptr) {
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
        if (!skip_memos) {
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

    ErrorCode GetByKey(runtime::Table& table, TableState& s, int key, DriverArgs& args) {
        if (key < 0 || static_cast<std::size_t>(key) >= s.table->Definition().keys.size())
            return err::InvalidKeyFile;
        const Status status = InFrame(s, false, [&] {
            std::uint32_t number = 0;
            bool found = false;
            Status st = s.table->FindByKey(static_cast<std::size_t>(key), RecordBytes(table),
                                           &number, nullptr, &found);
            if (!st.ok()) return st;
            if (!found) return Status::Error(err::RecordNotFound);
            st = Load(table, s, number, &found);
            if (st.ok() && !found) return Status::Error(err::RecordNotFound);
            return st;
        });
        return Result(status, args, true);
    }

    // Reads the next (or previous) record of the sequence. With `fill` false the position
    // moves without touching the buffer.
    Status Step(runtime::Table& table, TableState& s, bool forward, bool fill) {
        if (!s.sequence.active) return Status::Error(err::RecordNotAvailable);
        auto& q = s.sequence;
        ItemStore& store =
            q.key < 0 ? s.table->Store() : s.table->KeyStore(static_cast<std::size_t>(q.key));
        Bytes& item = s.step_item;
        Bytes& data = s.step_data;
        for (;;) {
            bool found = false;
            Status st = forward ? store.Seek(q.next_key, q.next_mode, &item, &data, &found)
                                : store.Seek(q.prev_key, q.prev_mode, &item, &data, &found);
            if (!st.ok()) return st;
            if (!found || !HasPrefix(item, q.prefix) || (q.key < 0 && item.size() != 9))
                return Status::Error(err::RecordNotAvailable);
            q.next_key.assign(item);
            q.next_mode = SeekMode::After;
            q.prev_key.assign(item);
            q.prev_mode = SeekMode::Before;
            const std::uint32_t number =
                q.key < 0
                    ? RecordNumberOfItem(item)
                    : EntryRecordNumber(s.table->Definition().keys[static_cast<std::size_t>(q.key)],
                                        item, data);
            if (!fill) return Status::Ok();
            bool loaded = false;
            st = Load(table, s, number, &loaded, q.key < 0 ? &data : nullptr);
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
    static Bytes EntryKeyOfPosition(const KeyDescriptor& key, const Bytes& position) {
        if (key.Dup() || position.size() < 4) return position;
        return position.substr(0, position.size() - 4);
    }

    // --- writing ---------------------------------------------------------------------

    ErrorCode Add(runtime::Table& table, TableState& s, bool maintain_keys, DriverArgs& args) {
        if (!s.writable) return err::AccessDenied;
        if (!pelmar::BlobsFit(table)) return err::UnsupportedFunction;
        const Bytes record = RecordBytes(table);
        const auto memos = MemoBuffers(table);
        std::uint32_t number = 0;
        const Status status =
            InFrame(s, true, [&] { return s.table->Add(record, &memos, maintain_keys, &number); });
        if (status.ok()) {
            s.current = number;
            s.stored = record;
            s.watching = false;  // the new record was not read under a watch
        }
        return Result(status, args, true);
    }

    // A record this table does not hold is locked for the length of one write; `refused`
    // when another station holds it. `locked_here` says whether to unlock afterwards.
    ErrorCode LockUnlessHeld(TableState& s, std::uint32_t number, ErrorCode refused,
                             bool& locked_here, DriverArgs& args) {
        locked_here = false;
        if (s.held == number) return err::NoError;
        bool acquired = false;
        const Status st = s.locks->TryLock(number, &acquired);
        if (!st.ok()) return Result(st, args, true);
        if (!acquired) return refused;
        locked_here = true;
        return err::NoError;
    }

    ErrorCode Put(runtime::Table& table, TableState& s, std::uint32_t number, DriverArgs& args) {
        if (number == 0) return err::RecordNotAvailable;
        if (!s.writable) return err::AccessDenied;
        if (!pelmar::BlobsFit(table)) return err::UnsupportedFunction;
        bool locked_here = false;
        if (const ErrorCode code = LockUnlessHeld(s, number, err::AccessDenied, locked_here, args);
            code != err::NoError)
            return code;
        const Bytes record = RecordBytes(table);
        const auto memos = MemoBuffers(table);
        const bool check_memos = !s.nomemo_in_force;
        const Status status = InFrame(s, true, [&] {
            Bytes stored;
            bool found = false;
            Status st = s.table->ReadRecord(number, &stored, &found);
            if (!st.ok()) return st;
            if (!found) return Status::Error(err::RecordNotAvailable);
            std::vector<Bytes> stored_memos;
            if (!s.table->Definition().memos.empty()) {
                st = s.table->ReadMemos(number, &stored_memos);
                if (!st.ok()) return st;
            }
            if (s.watching && number == s.current) {
                if (stored != s.watch_record ||
                    (check_memos && !s.watch_memos.empty() && stored_memos != s.watch_memos))
                    return Status::Error(err::RecordChanged);
            }
            const bool memos_same = !check_memos || stored_memos == memos;
            if (stored == record && memos_same) return Status::Ok();
            return s.table->Change(number, stored, record, check_memos ? &memos : nullptr);
        });
        if (locked_here) s.locks->Unlock(number);
        if (status.ok()) {
            s.stored = record;
            if (s.watching) {
                s.watch_record = record;
                s.watch_memos = memos;
            }
        }
        return Result(status, args, true);
    }

    ErrorCode Delete(TableState& s, DriverArgs& args) {
        const std::uint32_t number = s.current;
        if (number == 0) return err::RecordNotAvailable;
        if (!s.writable) return err::AccessDenied;
        bool locked_here = false;
        if (const ErrorCode code =
                LockUnlessHeld(s, number, err::RecordNotAvailable, locked_here, args);
            code != err::NoError)
            return code;
        const Status status = InFrame(s, true, [&] { return s.table->Delete(number); });
        if (locked_here || s.held == number) {
            s.locks->Unlock(number);
            if (s.held == number) s.held = 0;
        }
        if (status.ok()) {
            s.current = 0;
            s.watching = false;
        }
        return Result(status, args, true);
    }

    // --- keys ------------------------------------------------------------------------

    ErrorCode BuildKeys(runtime::Table& table, TableState& s, int only_key, bool pack,
                        DriverArgs& args) {
        const runtime::BuildInProgressGuard building;
        if (!building.Started()) return err::BuildInProgress;
        bool opened_here = false;
        if (!s.table) {
            DriverArgs open_args;
            open_args.number = 0x22;
            const ErrorCode code = Open(table, s, open_args);
            if (code != err::NoError) {
                args.file_error_code = open_args.file_error_code;
                args.file_error_text = open_args.file_error_text;
                return code;
            }
            opened_here = true;
        }
        ErrorCode code = err::NoError;
        if (!s.writable) {
            code = err::AccessDenied;
        } else {
            const Status status = InFrame(s, true, [&] {
                Status st;
                if (s.full_build) {
                    st = s.table->RewriteCollation();
                    if (!st.ok()) return st;
                }
                const auto& keys = s.table->Definition().keys;
                for (std::size_t k = 0; k < keys.size(); ++k) {
                    if (only_key >= 0 && static_cast<int>(k) != only_key) continue;
                    if (only_key < 0 && (keys[k].Index() || keys[k].Dynamic())) continue;
                    st = s.table->BuildKey(k, s.full_build, ProgressOf(s, k));
                    if (!st.ok()) return st;
                }
                return Status::Ok();
            });
            code = Result(status, args, true);
            if (code == err::NoError && pack)
                code = Result(s.physical->file->Truncate(), args, true);
            if (code == err::NoError && !pack) s.full_build = false;
        }
        if (opened_here) {
            DriverArgs close_args;
            Close(s, close_args);
        }
        return code;
    }

    // --- options ---------------------------------------------------------------------

    ErrorCode Send(TableState& s, DriverArgs& args) {
        const std::string& text = args.text;
        const std::string upper = runtime::UpperText(text);
        if (upper.find("PNMQ=") != std::string::npos) {
            const std::string file = text.substr(upper.find("PNMQ=") + 5);
            args.result_text = FirstTableOf(file, "");
            return err::NoError;
        }
        if (upper.find("PNM=") != std::string::npos) {
            if (!s.physical) return err::NoError;
            const std::string after = runtime::UpperText(text.substr(upper.find("PNM=") + 4));
            std::vector<std::string> names;
            if (TableStore::TableNames(*s.physical->store, names).ok()) {
                for (const auto& name : names)
                    if (after.empty() || name > after) {
                        args.result_text = name;
                        break;
                    }
            }
            return err::NoError;
        }
        if (upper.find("TCF") != std::string::npos) {
            if (text.find('=') != std::string::npos) control_file = ValueAfterEquals(text);
            args.result_text = control_file;
            return err::NoError;
        }
        if (StartsWithIgnoringCase(text, "QUICKSCAN")) {
            // A browse fills a page between "=ON" and "=OFF": its reads share one read
            // operation, so the header is checked and the reader slot taken once per page.
            if (text.find('=') != std::string::npos)
                QuickScan(s, runtime::UpperText(ValueAfterEquals(text)) == "ON");
            args.result_text = s.quick_scan ? "ON" : "OFF";
            return err::NoError;
        }
        if (StartsWithIgnoringCase(text, "FULLBUILD")) {
            if (text.find('=') != std::string::npos)
                s.full_build = runtime::UpperText(ValueAfterEquals(text)) == "ON";
            args.result_text = s.full_build ? "ON" : "OFF";
            return err::NoError;
        }
        if (StartsWithIgnoringCase(text, "FLAGS")) {
            if (!s.table) {
                args.result_text.clear();
                return err::NoError;
            }
            const bool setting = text.find('=') != std::string::npos;
            TableCounter counter;
            const Status status = InFrame(s, setting && s.writable, [&] {
                Status st = s.table->ReadCounter(kRecordCounter, &counter);
                if (!st.ok() || !setting) return st;
                counter.second = static_cast<std::uint32_t>(
                    std::strtoul(ValueAfterEquals(text).c_str(), nullptr, 10));
                return s.table->WriteCounter(kRecordCounter, counter);
            });
            if (!status.ok()) return Result(status, args, true);
            args.result_text = std::to_string(counter.second);
            return err::NoError;
        }
        return err::NoError;  // anything else is accepted ("Recover=" among them)
    }

    std::string FirstTableOf(const std::string& file, const std::string& after) {
        const TableAddress address = TableAddress::Parse(file);
        std::unique_ptr<ItemFile> item_file;
        OpenOptions options;
        options.access = Access::ReadOnly;
        if (!ItemFile::Open(address.file, options, item_file).ok()) return {};
        ItemFileStore store(*item_file);
        std::vector<std::string> names;
        TableStore::TableNames(store, names);
        for (const auto& name : names)
            if (after.empty() || name > after) return name;
        return {};
    }

    // --- the entry point ---------------------------------------------------------------

    ErrorCode Perform(FileOp op, runtime::Table& table, TableState& s, DriverArgs& args);
    void WriteTrace(FileOp op, const runtime::Table& table, const TableState& s, ErrorCode code,
                    double ms);
};

PelmarDriver::PelmarDriver(std::string name)
    : name_(std::move(name)), impl_(std::make_unique<Impl>()) {
    impl_->driver_name = name_;
}
PelmarDriver::~PelmarDriver() = default;

bool PelmarDriver::Supports(FileOp op) const {
    const int n = static_cast<int>(op);
    return (n >= 1 && n <= 34) || n == 36 || n == 37 || n == 38 || (n >= 40 && n <= 50) ||
           n == 52 || n == 54 || n == 56 || n == 57 || n == 58 || (n >= 60 && n <= 67) || n == 71 ||
           n == 72 || n == 74 || (n >= 75 && n <= 79) || n == 85 || n == 86 || n == 98 || n == 99 ||
           n == 102 || n == 104;
}

bool PelmarDriver::SupportsFieldType(std::uint8_t t) const {
    return (t >= 1 && t <= 10) || t == 18 || t == 19 || t == 20 || t == 21 || t == 27 || t == 22 ||
           t == 24;
}

ErrorCode PelmarDriver::Call(FileOp op, runtime::Table& table, DriverArgs& args) {
    if (op == FileOp::QueryView) return err::NoError;
    auto& s = StateOf(table);
    if (op == FileOp::Destroy) {
        DriverArgs ignored;
        impl_->Close(s, ignored);
        table.DriverState().reset();
        return err::NoError;
    }
    // The clock is read only for the trace.
    const auto started = impl_->trace.enabled ? std::chrono::steady_clock::now()
                                              : std::chrono::steady_clock::time_point{};
    ErrorCode code = err::NoError;
    try {
        if (op != FileOp::Close) code = impl_->Attach(table, s);
        if (code == err::NoError) code = impl_->Perform(op, table, s, args);
        if (pelmar::StalesDynamicIndexes(op)) s.complete_dynamic.clear();
    } catch (const std::bad_alloc&) {
        code = err::InsufficientMemory;
    }
    if (code == err::FileSystemError && (op == FileOp::Close || op == FileOp::Name))
        code = err::NoError;
    if (impl_->trace.enabled)
        impl_->WriteTrace(
            op, table, s, code,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
    return code;
}

void PelmarDriver::Impl::WriteTrace(FileOp op, const runtime::Table& table, const TableState& s,
                                    ErrorCode code, double ms) {
    char took[32];
    std::snprintf(took, sizeof took, " (%.3f ms)", ms);
    std::string line = std::string(runtime::FileOpName(op)) + ' ' + s.address.display + " -> " +
                       std::to_string(code) + took;
    const bool moves_a_record =
        op == FileOp::Add || op == FileOp::Append || op == FileOp::Put ||
        op == FileOp::PutFilePtr || op == FileOp::Delete || op == FileOp::GetFileKey ||
        op == FileOp::GetFilePtr || op == FileOp::GetKeyPtr || op == FileOp::Next ||
        op == FileOp::Previous || op == FileOp::RegetFile || op == FileOp::RegetKey;
    if (s.trace_details && moves_a_record && code == err::NoError) {
        const auto record = table.Record();
        line += " record " + std::to_string(s.current) + " [" +
                runtime::TraceBytes(std::string_view(record.data(), record.size())) + "]";
    }
    runtime::WriteTraceLine(trace.file, "PELMAR", line);
}

ErrorCode PelmarDriver::Impl::Perform(FileOp op, runtime::Table& table, TableState& s,
                                      DriverArgs& args) {
    // Operations that need no open table.
    switch (op) {
        case FileOp::Open:
        case FileOp::Share:
            return Open(table, s, args);
        case FileOp::Create:
            return Create(table, s, args);
        case FileOp::Close:
            return Close(s, args);
        case FileOp::Name:
            args.result_text = s.address.display;
            return err::NoError;
        case FileOp::Bytes:
            args.result_number = s.declared.record_length;
            return err::NoError;
        case FileOp::Send:
            return Send(s, args);
        case FileOp::BuildFile:
            return BuildKeys(table, s, -1, false, args);
        case FileOp::Pack:
            return BuildKeys(table, s, -1, true, args);
        case FileOp::Remove:
        case FileOp::Rename: {
            std::error_code ec;
            const auto key =
                std::filesystem::absolute(s.address.file, ec).lexically_normal().string();
            if (auto it = files.find(key); it != files.end() && !it->second.expired())
                return err::AccessDenied;
            return op == FileOp::Remove ? runtime::RemoveFile(s.address.file)
                                        : runtime::RenameFile(s.address.file, args.text);
        }
        case FileOp::Copy: {
            if (s.table) {
                // Bring the file to a clean state on disk first.
                const Status status = InFrame(s, false, [] { return Status::Ok(); });
                if (!status.ok()) return Result(status, args, true);
            }
            return runtime::CopyFile(s.address.file, args.text);
        }
        case FileOp::Commit: {
            if (!transaction) return err::LogoutNotActive;
            const Status status = transaction->Commit();
            transaction.reset();
            return Result(status, args, false);
        }
        case FileOp::Rollback: {
            if (transaction) transaction->Rollback();
            transaction.reset();
            return err::NoError;
        }
        case FileOp::SetProperty:
        case FileOp::GetProperty:
        case FileOp::SetPropertyKey:
        case FileOp::GetPropertyKey:
            return pelmar::PropertyOperation(op, table, s, args, {driver_name, "Pelmar (PLM)"});
        case FileOp::BlobYield:
        case FileOp::BlobTake:
        case FileOp::BlobSize:
        case FileOp::BlobGetProp:
        case FileOp::BlobSetProp:
            return pelmar::BlobOperation(op, table, args);
        case FileOp::NoMemo:
            s.nomemo = true;
            return err::NoError;
        case FileOp::HoldFile:
        case FileOp::HoldFileSec:
            s.hold_requested = true;
            s.hold_seconds = op == FileOp::HoldFileSec ? args.number : -1;
            return err::NoError;
        case FileOp::Watch:
            s.watch_requested = true;
            return err::NoError;
        default:
            break;
    }

    if (!s.table) return err::FileNotOpen;
    const auto& keys = s.table->Definition().keys;
    const auto key_ok = [&](int k) { return k >= 0 && static_cast<std::size_t>(k) < keys.size(); };

    switch (op) {
        case FileOp::Add:
            return Add(table, s, true, args);
        case FileOp::Append:
            return Add(table, s, false, args);
        case FileOp::Put:
            return Put(table, s, s.current, args);
        case FileOp::PutFilePtr:
            return Put(table, s, args.pointer, args);
        case FileOp::Delete:
            return Delete(s, args);

        case FileOp::GetFileKey:
            return GetByKey(table, s, args.key, args);
        case FileOp::GetFilePtr:
        case FileOp::GetKeyPtr:
            return GetByNumber(table, s, args.pointer, args);
        case FileOp::RegetFile:
            return GetByNumber(table, s, args.text.size() >= 4 ? RecordNumberOfItem(args.text) : 0,
                               args);
        case FileOp::RegetKey:
            return GetByNumber(table, s, args.text.size() >= 4 ? RecordNumberOfItem(args.text) : 0,
                               args);

        case FileOp::Next:
        case FileOp::Previous:
        case FileOp::Skip: {
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
        case FileOp::Eof:
        case FileOp::PositionTest: {
            Status status;
            const Status framed = InFrame(s, false, [&] {
                args.result_flag = SequenceEnds(s, &status);
                return status;
            });
            return Result(framed, args, true);
        }

        case FileOp::SetFile:
            StartFileOrder(s, 0);
            return err::NoError;
        case FileOp::SetFilePtr:
            StartFileOrder(s, args.pointer);
            return err::NoError;
        case FileOp::ResetFile:
            StartFileOrder(s, args.text.size() >= 4 ? RecordNumberOfItem(args.text) : 0);
            return err::NoError;
        case FileOp::SetKey:
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            StartKeyOrder(s, args.key, {}, {});
            return err::NoError;
        case FileOp::SetKeyKey: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            const auto k = static_cast<std::size_t>(args.key);
            const Bytes from = EncodeKeyPrefix(s.table->Definition(), k, s.table->Id(),
                                               s.table->Collation(), RecordBytes(table));
            Bytes back = from;
            if (keys[k].Dup()) back += Bytes(4, '\xFF');
            StartKeyOrder(s, args.key, from, back);
            return err::NoError;
        }
        case FileOp::SetKeyKeyPtr: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            const auto k = static_cast<std::size_t>(args.key);
            const Bytes position = EntryKeyOfPosition(
                keys[k], s.table->EntryPosition(k, RecordBytes(table), args.pointer));
            StartKeyOrder(s, args.key, position, position);
            return err::NoError;
        }
        case FileOp::SetKeyPtr: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            const auto k = static_cast<std::size_t>(args.key);
            Bytes stored;
            bool found = false;
            const Status status = InFrame(
                s, false, [&] { return s.table->ReadRecord(args.pointer, &stored, &found); });
            if (!status.ok()) return Result(status, args, true);
            if (!found) return err::RecordNotFound;
            const Bytes position =
                EntryKeyOfPosition(keys[k], s.table->EntryPosition(k, stored, args.pointer));
            StartKeyOrder(s, args.key, position, position);
            return err::NoError;
        }
        case FileOp::SetFileKey: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            std::uint32_t number = 0;
            bool found = false;
            const Status status = InFrame(s, false, [&] {
                return s.table->FindByKey(static_cast<std::size_t>(args.key), RecordBytes(table),
                                          &number, nullptr, &found);
            });
            if (!status.ok()) return Result(status, args, true);
            StartFileOrder(s, found ? number : 0xFFFFFFFFu);
            return err::NoError;
        }
        case FileOp::ResetKey: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            const Bytes position =
                EntryKeyOfPosition(keys[static_cast<std::size_t>(args.key)], args.text);
            StartKeyOrder(s, args.key, position, position);
            return err::NoError;
        }

        case FileOp::PointerFile:
        case FileOp::PointerKey:
            args.result_number = s.current;
            return err::NoError;
        case FileOp::PositionFile:
            args.result_text.clear();
            if (s.current != 0) AppendU32BigEndian(args.result_text, s.current);
            return err::NoError;
        case FileOp::PositionKey:
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            args.result_text = s.current == 0
                                   ? Bytes{}
                                   : s.table->EntryPosition(static_cast<std::size_t>(args.key),
                                                            s.stored, s.current);
            return err::NoError;

        case FileOp::RecordsFile:
        case FileOp::RecordsKey: {
            if (op == FileOp::RecordsKey && !key_ok(args.key)) return err::InvalidKeyFile;
            TableCounter counter;
            const Status status = InFrame(s, false, [&] {
                if (op == FileOp::RecordsKey &&
                    keys[static_cast<std::size_t>(args.key)].Dynamic()) {
                    const auto& items = static_cast<MemoryItemStore&>(
                        s.table->KeyStore(static_cast<std::size_t>(args.key)));
                    counter.count = static_cast<std::uint32_t>(items.Items().size());
                    return Status::Ok();
                }
                return s.table->ReadCounter(op == FileOp::RecordsFile
                                                ? kRecordCounter
                                                : static_cast<std::uint8_t>(args.key),
                                            &counter);
            });
            args.result_number = counter.count;
            return Result(status, args, true);
        }

        case FileOp::Duplicate:
        case FileOp::DuplicateKey: {
            if (op == FileOp::DuplicateKey && !key_ok(args.key)) return err::InvalidKeyFile;
            const Bytes record = RecordBytes(table);
            const Status status = InFrame(s, false, [&] {
                for (std::size_t k = 0; k < keys.size(); ++k) {
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

        case FileOp::BuildKey: {
            if (!key_ok(args.key)) return err::InvalidKeyFile;
            return BuildKeys(table, s, args.key, false, args);
        }
        case FileOp::BuildDyn:
        case FileOp::BuildDynFilter:
            return BuildDynamicIndex(table, s, args, op == FileOp::BuildDynFilter);

        case FileOp::Empty: {
            if (!s.writable) return err::AccessDenied;
            const Status status = InFrame(s, true, [&] { return s.table->Empty(); });
            s.current = 0;
            return Result(status, args, true);
        }

        case FileOp::Release:
            if (s.held != 0) s.locks->Unlock(s.held);
            s.held = 0;
            s.hold_requested = false;
            return err::NoError;
        case FileOp::LockFile: {
            const Status status = s.locks->LockWait(TableIdValue(s.table->Id()));
            if (status.ok()) s.table_locked = true;
            return Result(status, args, true);
        }
        case FileOp::LockFileSec: {
            bool acquired = false;
            const Status status =
                TryLockWithin(*s.locks, TableIdValue(s.table->Id()), args.number, &acquired);
            if (!status.ok()) return Result(status, args, true);
            if (!acquired) return err::FileIsAlreadyLocked;
            s.table_locked = true;
            return err::NoError;
        }
        case FileOp::Unlock:
            if (s.table_locked) s.locks->Unlock(TableIdValue(s.table->Id()));
            s.table_locked = false;
            return err::NoError;

        case FileOp::Logout: {
            if (!transaction) {
                transaction = std::make_unique<Transaction>();
                transaction->SetControlFile(control_file);
            }
            return Result(transaction->Enlist(*s.physical->file), args, true);
        }

        case FileOp::Stream:
        case FileOp::Flush:
            return err::NoError;

        case FileOp::GetState: {
            SavedState saved{s.current, s.sequence, RecordBytes(table), MemoBuffers(table)};
            const std::int64_t handle = s.next_state++;
            s.saved[handle] = std::move(saved);
            args.result_number = handle;
            return err::NoError;
        }
        case FileOp::RestoreState: {
            const auto it = s.saved.find(args.number);
            if (it == s.saved.end()) return err::InvalidNumberOfParameters;
            s.current = it->second.current;
            s.sequence = it->second.sequence;
            CopyToRecord(table, it->second.record);
            for (std::size_t m = 0; m < it->second.memos.size(); ++m)
                table.MemoBuffer(m) = it->second.memos[m];
            return err::NoError;
        }
        case FileOp::FreeState:
            s.saved.erase(args.number);
            return err::NoError;
        default:
            return err::UnsupportedFunction;
    }
}

void RegisterPelmarDriver() {
    static std::once_flag once;
    std::call_once(once, [] { runtime::RegisterDriver(std::make_shared<PelmarDriver>()); });
}

}  // namespace zelt::storage
