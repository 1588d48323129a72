// The "PELMAR" driver's file family: opening, sharing, creating and closing tables, the
// file statements on a table's file (name, bytes, remove, rename, copy), key builds and
// packing, the process's transaction (logout, commit, rollback) and the SEND options.
//
// Tables of one file share one physical file, kept by the driver under the file's absolute
// name and closed with its last table. The open mode is the runtime's `access::` bits: the
// access part gives read-only or read-write, the share part deny-none, deny-write or
// deny-all (deny-read counts as deny-all), `CreateFile` creates a missing file and
// `NewFile` a new one in every case. A file already open in this driver is shared, except
// that `NewFile` on it is refused with 5.
#include <filesystem>

#include "runtime/file/os_file.hpp"
#include "storage/driver/pelmar_families.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/table_store.hpp"

namespace zelt::storage::pelmar {

namespace access = runtime::access;

namespace {

constexpr int kAccessBits = access::WriteOnly | access::ReadWrite;
constexpr int kShareBits = access::DenyAll | access::DenyWrite;
constexpr int kShareNibble = 0xF0;  // the share bits with deny-none and the bit above it

Status OpenPhysical(Driver& d, TableState& s, int mode, const std::string& owner,
                    std::shared_ptr<PhysicalFile>& out, std::string* detail = nullptr) {
    std::error_code ec;
    const auto path = std::filesystem::absolute(s.address.file, ec).lexically_normal();
    const std::string key = path.string();
    if (auto it = d.files.find(key); it != d.files.end()) {
        if (auto existing = it->second.lock()) {
            if ((mode & access::NewFile) != 0) return Status::Error(err::AccessDenied);
            out = existing;
            return Status::Ok();
        }
    }
    OpenOptions options;
    options.access = (mode & kAccessBits) == 0 ? Access::ReadOnly : Access::ReadWrite;
    const int share = mode & kShareBits;
    options.share = share == 0 ? Share::DenyNone
                               : (share == access::DenyWrite ? Share::DenyWrite : Share::DenyAll);
    if ((mode & kShareNibble) == access::DenyNone) options.share = Share::DenyNone;
    options.creation =
        (mode & access::CreateFile) == 0
            ? Creation::OpenExisting
            : ((mode & access::NewFile) != 0 ? Creation::AlwaysNew : Creation::OpenOrCreate);
    options.owner = owner;
    auto physical = std::make_shared<PhysicalFile>();
    physical->key = key;
    const Status status = ItemFile::Open(path, options, physical->file, detail);
    if (!status.ok()) return status;
    physical->store = std::make_unique<ItemFileStore>(*physical->file);
    d.files[key] = physical;
    out = std::move(physical);
    return Status::Ok();
}

// The file's close takes it out of a transaction it is in; the transaction then fails as
// a whole at its COMMIT (ItemFile::Close). CLOSE never gets here for such a file.
Status ClosePhysicalIfLast(Driver& d, std::shared_ptr<PhysicalFile>& physical) {
    Status status;
    if (physical && --physical->users <= 0) {
        status = physical->file->Close();
        d.files.erase(physical->key);
    }
    physical.reset();
    return status;
}

void ReleaseTable(TableState& s) {
    s.locks.reset();  // gives up every hold and lock of the table
    s.held = 0;
    s.table_locked = false;
}

void QuickScan(TableState& s, bool on) {
    if (on == s.quick_scan || (on && !s.table)) return;
    s.quick_scan = on;
    s.physical->file->HoldReads(on);
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

void CloseOpenTable(Driver& d, TableState& s) {
    QuickScan(s, false);
    ReleaseTable(s);
    s.table.reset();
    s.current = 0;
    s.sequence = {};
    s.step_run.Clear();
    s.watching = false;  // a watch belongs to one read of one open table
    s.watch_requested = false;
    const Status status = ClosePhysicalIfLast(d, s.physical);
    (void)status;  // a fault during close is swallowed; the file notes it as damaged
}

// Builds the table's keys: `only_key` alone, else every key but the indexes. A table not
// open is opened read-write deny-write for the build and closed again.
ErrorCode BuildKeys(Driver& d, runtime::Table& table, TableState& s, int only_key, bool pack,
                    DriverArgs& args) {
    const runtime::BuildInProgressGuard building;
    if (!building.Started()) return err::BuildInProgress;
    bool opened_here = false;
    if (!s.table) {
        DriverArgs open_args;
        open_args.number = access::ReadWrite | access::DenyWrite;
        const ErrorCode code = OpenTable(d, FileOp::Open, table, s, open_args);
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
        if (code == err::NoError && pack) code = Result(s.physical->file->Truncate(), args, true);
        if (code == err::NoError && !pack) s.full_build = false;
    }
    if (opened_here) CloseOpenTable(d, s);
    return code;
}

}  // namespace

// --- open, create, close -----------------------------------------------------------------

ErrorCode OpenTable(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    if (table.FileName().empty()) return err::InvalidFilename;
    if (s.table) return err::FileAlreadyOpen;
    const int mode = static_cast<int>(args.number);
    std::shared_ptr<PhysicalFile> physical;
    std::string detail;
    Status status = OpenPhysical(d, s, mode, table.Declaration().OwnerText(), physical, &detail);
    if (!status.ok()) {
        // The code's own text and what it does not say (the control file of a journal
        // that cannot be resolved, a wrong owner string), for the program's message.
        if (!detail.empty() && !status.is_fault())
            args.file_error_text = runtime::ErrorText(status.code) + ": " + detail;
        return Result(status, args, true);
    }
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
        ClosePhysicalIfLast(d, s.physical);
        return Result(status, args, true);
    }
    s.table = std::move(opened);
    s.mode = mode;
    s.writable = (mode & kAccessBits) != 0;
    const int share = mode & kShareBits;
    s.exclusive = share == access::DenyWrite || share == access::DenyAll;
    s.current = 0;
    s.sequence = {};
    s.step_run.Clear();
    return err::NoError;
}

ErrorCode CreateTable(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    if (table.FileName().empty()) return err::InvalidFilename;
    const bool was_open = s.table != nullptr;
    std::shared_ptr<PhysicalFile> physical = s.physical;
    if (!physical) {
        Status status = OpenPhysical(d, s, access::CreateFile | access::DenyAll | access::ReadWrite,
                                     table.Declaration().OwnerText(), physical);
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
        ClosePhysicalIfLast(d, physical);
    }
    return Result(status, args, true);
}

// A table whose file takes part in the open transaction stays open: CLOSE answers 56
// ("LOGOUT Already Active") and changes nothing, so that the transaction keeps every
// change until COMMIT or ROLLBACK.
ErrorCode CloseTable(Driver& d, FileOp, runtime::Table&, TableState& s, DriverArgs&) {
    if (!s.table) return err::NoError;
    if (d.transaction && d.transaction->active() && s.physical->file->in_transaction())
        return err::LogoutAlreadyActive;
    CloseOpenTable(d, s);
    return err::NoError;
}

// DESTROY cannot be refused: a file of the open transaction that closes with it takes the
// transaction down, and its COMMIT fails with 48 and commits nothing.
ErrorCode DisposeTable(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs&) {
    if (s.table) CloseOpenTable(d, s);
    table.DriverState().reset();  // `s` is gone from here on
    return err::NoError;
}

// --- the table's file --------------------------------------------------------------------

ErrorCode TableName(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    args.result_text = s.address.display;
    return err::NoError;
}

ErrorCode RecordLength(Driver&, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    args.result_number = s.declared.record_length;
    return err::NoError;
}

// A file open in this driver is neither removed nor renamed.
ErrorCode RemoveOrRenameFile(Driver& d, FileOp op, runtime::Table&, TableState& s,
                             DriverArgs& args) {
    std::error_code ec;
    const auto key = std::filesystem::absolute(s.address.file, ec).lexically_normal().string();
    if (auto it = d.files.find(key); it != d.files.end() && !it->second.expired())
        return err::AccessDenied;
    return op == FileOp::Remove ? runtime::RemoveFile(s.address.file)
                                : runtime::RenameFile(s.address.file, args.text);
}

// The copy is read under a reader slot (or, in write state, the writer byte), so that no
// commit of another program sends pages home halfway through it: the copy is a committed
// state of the file. A file no table of this driver has open is opened for the copy, read
// only and sharing everything; one that cannot be opened as a table file (damaged, not
// one at all) is copied as it stands, and one another program keeps to itself gives 5.
ErrorCode CopyTableFile(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    std::shared_ptr<PhysicalFile> physical = s.physical;
    std::error_code ec;
    const auto key = std::filesystem::absolute(s.address.file, ec).lexically_normal().string();
    if (!physical) {
        if (auto it = d.files.find(key); it != d.files.end()) physical = it->second.lock();
    }
    std::unique_ptr<ItemFile> own;
    ItemFile* file = physical ? physical->file.get() : nullptr;
    if (file == nullptr) {
        OpenOptions options;
        options.access = Access::ReadOnly;
        options.owner = table.Declaration().OwnerText();
        const Status opened = ItemFile::Open(key, options, own);
        if (opened.code == err::AccessDenied) return err::AccessDenied;
        if (!opened.ok()) return runtime::CopyFile(s.address.file, args.text);
        file = own.get();
    }
    ErrorCode copied = err::NoError;
    Status status = file->BeginRead();
    if (status.ok()) {
        copied = runtime::CopyFile(s.address.file, args.text);
        status = file->Finish();
    }
    if (own) own->Close();
    if (!status.ok()) return Result(status, args, true);
    return copied;
}

// --- key builds --------------------------------------------------------------------------

ErrorCode BuildFileKeys(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return BuildKeys(d, table, s, -1, false, args);
}

ErrorCode PackFile(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    return BuildKeys(d, table, s, -1, true, args);
}

ErrorCode BuildOneKey(Driver& d, FileOp, runtime::Table& table, TableState& s, DriverArgs& args) {
    if (!KeyInRange(s, args.key)) return err::InvalidKeyFile;
    return BuildKeys(d, table, s, args.key, false, args);
}

// --- the transaction ---------------------------------------------------------------------

ErrorCode Logout(Driver& d, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
    if (!d.transaction) {
        d.transaction = std::make_unique<Transaction>();
        d.transaction->SetControlFile(d.control_file);
    }
    return Result(d.transaction->Enlist(*s.physical->file), args, true);
}

ErrorCode Commit(Driver& d, FileOp, runtime::Table&, TableState&, DriverArgs& args) {
    if (!d.transaction) return err::LogoutNotActive;
    const Status status = d.transaction->Commit();
    d.transaction.reset();
    return Result(status, args, false);
}

ErrorCode Rollback(Driver& d, FileOp, runtime::Table&, TableState&, DriverArgs&) {
    if (d.transaction) d.transaction->Rollback();
    d.transaction.reset();
    return err::NoError;
}

// STREAM and FLUSH: every operation's changes reach the file when it finishes.
ErrorCode NothingToDo(Driver&, FileOp, runtime::Table&, TableState&, DriverArgs&) {
    return err::NoError;
}

// --- SEND --------------------------------------------------------------------------------

// "PNMQ=file" names the file's first table, "PNM=name" the open file's table after `name`,
// "TCF[=file]" sets or reads the transaction control file, "QUICKSCAN", "FULLBUILD" and
// "FLAGS" [=value] set or read the table's switches and its flags counter. Anything else
// is accepted and does nothing.
ErrorCode Send(Driver& d, FileOp, runtime::Table&, TableState& s, DriverArgs& args) {
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
        if (text.find('=') != std::string::npos) d.control_file = ValueAfterEquals(text);
        args.result_text = d.control_file;
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

}  // namespace zelt::storage::pelmar
