// The item file: one Pelmar file seen as a single ordered set of items.
//
// An item is key bytes plus data bytes; keys are unique within a file and compare as
// unsigned bytes, a shorter key before a longer one with the same leading bytes. The
// tables and the driver are built on this interface only.
//
// Every call returns a `Status` and never throws. An internal consistency fault (a damaged
// page, a broken invariant, an exhausted identifier counter) comes back as code 90 with the
// fault number in `Status::fault`; the driver turns that into its "Possible data corruption
// in file" error. After a fault the file's cached changes are dropped and nothing
// half-written is left on disk: the next opener sees the last committed state.
//
// Operation frame. Each driver operation on a file runs as
//     BeginRead() or BeginWrite()   validate the header, take the reader or writer lock
//     Find / Insert / Erase / cursors ...
//     Finish()                      commit when dirty (unless in a transaction), unlock
// and calls Abandon() instead of Finish() when it gives up half-way. Item calls outside a
// Begin/Finish pair begin a read or write operation of their own and finish it again.
//
// Items of the file's own. A commit over several files writes one item of the file's own:
// the transaction marker under the one-byte key FF (transaction number, the control
// file's absolute name, 0). The file's next commit removes it again. Walks over a table's
// items stop before it by their prefix.
//
// Recovery (docs/storage-recovery.md). An open that finds a journal still pointed to rolls
// it forward or back; when that depends on a control file that cannot be asked (missing,
// damaged, busy beyond the wait limit) the open fails with 65 and writes nothing.
//
// Sharing. Share modes and byte-range locks follow the file's own protocol: deny-none
// files take a reader slot or the writer byte around each operation, deny-none and
// deny-write files take the all-readers range while committing, deny-all files take no
// locks. Locks belong to the open file handle, so two ItemFile objects on one path in
// one process exclude each other exactly as two processes do.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/errors/error_codes.hpp"

namespace zelt::storage {

// Key and data bytes. std::string is used as a byte container throughout.
using Bytes = std::string;
using BytesView = std::string_view;

// Internal fault numbers carried in Status::fault.
namespace fault {
inline constexpr int InsertInReadState = 231;
inline constexpr int HeaderBeforeInsert = 232;
inline constexpr int HeaderBeforeCursorRead = 256;
inline constexpr int ItemTreeLinks = 300;
inline constexpr int RewriteInReadState = 337;
inline constexpr int RunLiteralTooLong = 522;
inline constexpr int RunRepeatTooLong = 530;
inline constexpr int DuplicateItemKey = 706;
inline constexpr int RemoveFromEmptyNode = 780;
inline constexpr int ItemTooLarge = 824;
inline constexpr int HeaderAtRootFetch = 1013;
inline constexpr int HeaderBeforeTruncate = 1143;
inline constexpr int IdentifierInReadState = 1163;
inline constexpr int HeaderBeforeIdentifier = 1164;
inline constexpr int IdentifiersExhausted = 1173;
inline constexpr int StoreInReadState = 1194;
inline constexpr int DeleteInReadState = 1203;
inline constexpr int SplitTooFewItems = 1364;
inline constexpr int PageLengthClass = 1477;
inline constexpr int StreamLength = 1602;
inline constexpr int PageOverAccounted = 1659;
inline constexpr int PageTooLong = 1678;
inline constexpr int AddressInNoSection = 1735;
inline constexpr int RoomAboveTooLarge = 1781;
inline constexpr int MovedPageEmpty = 1891;
inline constexpr int MovedPageNotFound = 1894;
inline constexpr int ShortRead = 2172;
inline constexpr int TooManyControlFiles = 2183;
inline constexpr int ReadLength = 2272;
inline constexpr int ReadFailed = 2277;
inline constexpr int WriteLength = 2286;
inline constexpr int LockModeMixed = 2328;
inline constexpr int UnlockModeMixed = 2352;
inline constexpr int SeekFailed = 2341;
inline constexpr int PageTag = 2401;  // a page of an enciphered file fails its tag
}  // namespace fault

// Outcome of an item-file call.
struct Status {
    runtime::ErrorCode code = runtime::err::NoError;  // 0, or a runtime error code
    int fault = 0;  // the internal fault number when code is 90 because of a fault

    bool ok() const { return code == runtime::err::NoError; }
    bool is_fault() const { return fault != 0; }
    static Status Ok() { return {}; }
    static Status Error(runtime::ErrorCode c) { return {c, 0}; }
    static Status Fault(int number) { return {runtime::err::FileSystemError, number}; }
};

// "Handle Disk Full": a commit that would take the file's pages past the addresses a
// header can describe (a little under 2 GiB) is refused with it before anything is written.
inline constexpr runtime::ErrorCode kFileFull = runtime::err::OsBase + 39;

enum class Access : std::uint8_t { ReadOnly, ReadWrite };
enum class Share : std::uint8_t { DenyNone, DenyWrite, DenyAll };
enum class Creation : std::uint8_t {
    OpenExisting,  // error 2 when the file does not exist
    OpenOrCreate,  // create an empty file when it does not exist
    AlwaysNew,     // always start from an empty file
};

struct OpenOptions {
    Access access = Access::ReadWrite;
    Share share = Share::DenyNone;
    Creation creation = Creation::OpenExisting;
    // Non-empty: the file is enciphered with a key derived from this owner string. A wrong
    // owner string fails the open with error 36.
    std::string owner;
};

// Where a cursor seek lands.
enum class SeekMode : std::uint8_t {
    AtOrAfter,   // the least item with key >= the given key
    After,       // the least item with key > the given key
    AtOrBefore,  // the greatest item with key <= the given key
    Before,      // the greatest item with key < the given key
};

class ItemFile;

// Items read ahead of a walk: the items that follow a key, in order, with the version of
// the file they were read at. They stand for the file's items only while its version is
// the same (ItemFile::Version). The items lie end to end in one buffer that keeps its
// storage from one run to the next; key(i) and data(i) view it until the next Add or Clear.
struct ItemRun {
    std::size_t count = 0;
    std::size_t next = 0;       // the first not yet taken
    std::uint64_t version = 0;  // 0: read where no version is kept; never stands for anything

    void Clear() {
        count = next = 0;
        version = 0;
        bytes_.clear();
        slots_.clear();
    }
    // An item given as its key and data.
    void Add(BytesView key, BytesView value) {
        slots_.push_back({bytes_.size(), key.size(), key.size() + value.size()});
        bytes_.append(key).append(value);
        ++count;
    }
    // An item given as its key and data end to end, `key_length` bytes of them key.
    void AddJoined(BytesView bytes, std::size_t key_length) {
        slots_.push_back({bytes_.size(), key_length, bytes.size()});
        bytes_.append(bytes);
        ++count;
    }
    BytesView key(std::size_t i) const {
        return BytesView(bytes_).substr(slots_[i].offset, slots_[i].key_length);
    }
    BytesView data(std::size_t i) const {
        const Slot& slot = slots_[i];
        return BytesView(bytes_).substr(slot.offset + slot.key_length,
                                        slot.length - slot.key_length);
    }

  private:
    struct Slot {
        std::size_t offset;
        std::size_t key_length;
        std::size_t length;
    };
    Bytes bytes_;
    std::vector<Slot> slots_;
};

// An ordered position over the items of one file. The position is the key of the item
// last read, so a cursor stays meaningful while items come and go: Next() reads the least
// item above that key, Previous() the greatest below it. Valid() turns false when a move
// runs off either end; the remembered key stays, so moving back is still possible.
class ItemCursor {
  public:
    explicit ItemCursor(ItemFile& file) : file_(&file) {}

    Status First();
    Status Last();
    Status Seek(BytesView key, SeekMode mode);
    Status Next();
    Status Previous();

    bool Valid() const { return valid_; }
    const Bytes& key() const { return key_; }
    const Bytes& data() const { return data_; }

  private:
    ItemFile* file_;
    bool valid_ = false;
    Bytes key_;
    Bytes data_;
};

class ItemFileState;
namespace io {
class FileHandle;
}

// Record bytes (held records, table locks) of one owner. Every owner has a descriptor of
// its own on the file, so owners exclude each other exactly as processes do: the driver
// gives each open table one, and two tables of one program on one file never share a
// hold or a lock. Destroying the owner releases everything it holds.
class RecordLocks {
  public:
    ~RecordLocks();
    RecordLocks(const RecordLocks&) = delete;
    RecordLocks& operator=(const RecordLocks&) = delete;

    // Three attempts without waiting; `acquired` says whether the byte is held now.
    Status TryLock(std::uint32_t number, bool* acquired);
    // Waits until the byte is held.
    Status LockWait(std::uint32_t number);
    void Unlock(std::uint32_t number);

  private:
    friend class ItemFile;
    explicit RecordLocks(std::unique_ptr<io::FileHandle> handle);
    std::unique_ptr<io::FileHandle> handle_;
};

class ItemFile {
  public:
    // Opens (or creates) the file at `path`. Errors: 2 missing file, 5 sharing violation
    // or no permission, 36 short header, wrong magic or wrong owner string, 65 a pending
    // journal whose control file cannot be asked, an OS error, or a fault found while
    // resolving a pending journal. `path()` is the absolute form of `path`. On failure
    // `detail` (when given) gets what the code alone does not say, or stays empty: for 65
    // the control file's full path and what is wrong with it, for 36 of an enciphered file
    // whether the owner string is wrong or the file damaged.
    static Status Open(const std::filesystem::path& path, const OpenOptions& options,
                       std::unique_ptr<ItemFile>& out, std::string* detail = nullptr);
    ~ItemFile();  // closes as Close() does, ignoring its status
    ItemFile(const ItemFile&) = delete;
    ItemFile& operator=(const ItemFile&) = delete;

    // Commits pending changes (outside a transaction), releases every lock, truncates the
    // file to its computed end when it may write, and closes the handle. A fault here is
    // reported but the handle is closed all the same. A file in a transaction leaves it
    // with its changes dropped, and the transaction fails at its Commit (Transaction::Forget).
    Status Close();

    // Operation frame (see above).
    Status BeginRead();
    // Error 5 when the file was opened read-only; after a flush of this handle failed, that
    // flush's error: the handle commits no more, and the next open recovers the file.
    Status BeginWrite();
    Status Finish();
    // Gives the operation up and drops the file's cached changes. Inside a transaction,
    // changes dropped or a fault (`why`) fail the whole transaction: its Commit reports
    // `why` and commits no file.
    void Abandon(Status why = Status::Error(runtime::err::FileSystemError));
    // Reads between HoldReads(true) and HoldReads(false) share one read operation: the
    // header is checked and the reader slot taken once, not once per read, and writers
    // elsewhere wait until the hold ends (a browse filling a page). Holds nest. A write,
    // a fault or a transaction ends the shared operation, and the next read starts another.
    void HoldReads(bool on);

    // Items. Insert refuses an existing key with fault 706 and an item of 15094 bytes or
    // more with fault 824; Replace deletes an existing item first. Erase and Find report
    // whether the key was there through `found`.
    Status Insert(BytesView key, BytesView data);
    Status Replace(BytesView key, BytesView data);
    Status Erase(BytesView key, bool* found = nullptr);
    Status Find(BytesView key, Bytes* data, bool* found);
    // Find inside an operation for the item right after the one the last Find found, when
    // that is `key` and its page is held (a walk reading its records in order): true with
    // `data` viewing it until the next call; false when this cannot say, and the caller
    // uses Find.
    bool FindNextFound(BytesView key, BytesView* data);
    // A cursor's seek without the cursor: the item `mode` picks relative to `key` is
    // copied into `key_out` and `data_out` (either may be null), reusing their storage.
    Status Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out, bool* found);
    // Seek(key, After) and the items that follow it in the same page, at most `max` in all,
    // into `run` with the file's version.
    Status SeekRun(BytesView key, std::size_t max, ItemRun& run);
    // A number that changes whenever the file's items may have changed: a write here, a
    // change held back for the commit, or another program's commit seen.
    std::uint64_t Version() const;
    // As Replace, but inside a transaction the item may be written into the tree only
    // when the file commits or something walks its items; reads see the new data at once.
    Status ReplaceLater(BytesView key, BytesView data);

    // Issues the next identifier from the file-wide counter (four bytes, big-endian).
    // Fault 1173 when the counter would reach FE 00 00 00.
    Status IssueIdentifier(std::array<std::uint8_t, 4>& out);

    // Truncates the file to its computed end (used by packing); Close does it as well.
    Status Truncate();

    // Record bytes: one lock byte per number (record numbers, or the table identifier for
    // a table lock). TryLockRecord makes three attempts without waiting; LockRecordWait
    // waits until it has the byte. Both report through `acquired`/status.
    Status TryLockRecord(std::uint32_t number, bool* acquired);
    Status LockRecordWait(std::uint32_t number);
    Status UnlockRecord(std::uint32_t number);
    // A lock owner of its own on this file (see RecordLocks).
    Status OpenRecordLocks(std::unique_ptr<RecordLocks>& out);

    const std::filesystem::path& path() const;
    const OpenOptions& options() const;
    bool in_transaction() const;
    bool damaged() const;  // a fault struck during Close
    // A write or flush that failed after a commit point: the change it belonged to is
    // stored (the next open finishes it) and its operation reported success, but this
    // handle writes no more (BeginWrite answers with that failure). Ok when none did.
    const Status& late_failure() const;

    // Internal state; used by the storage engine's own layers only. Its phase, locks and
    // header check change only through its methods (storage/journal/file_state.hpp).
    ItemFileState& state() { return *state_; }

  private:
    friend class ItemCursor;
    explicit ItemFile(std::unique_ptr<ItemFileState> state);
    std::unique_ptr<ItemFileState> state_;
    int read_holds_ = 0;
};

// A transaction over one or more item files: the files stay in write state and keep their
// changes in memory until Commit. Commit of a single changed file uses the file's own
// journal; several changed files, in any directories, are tied together through one
// control file (the configured one, or "pelmar.tcf" beside the first changed file) that
// holds the transaction's single commit point, so that either all of them or none show
// the changes after a crash.
class Transaction {
  public:
    Transaction() = default;
    ~Transaction();  // rolls back when neither Commit nor Rollback ran
    // A failure inside any of the files (a fault, a failed read or write) drops that
    // file's changes; Commit then rolls every file back and reports that failure.
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // The configured control file ("TCF" option); empty: "pelmar.tcf" beside the first
    // changed file. Stored in the markers as an absolute path.
    void SetControlFile(std::string name) { control_file_ = std::move(name); }
    const std::string& control_file() const { return control_file_; }

    // Adds a file: switches it to write state and marks it in the transaction. Fault 2183
    // when this would make 100 or more distinct control files.
    Status Enlist(ItemFile& file);
    Status Commit();
    void Rollback();
    bool active() const { return !files_.empty() || !failure_.ok(); }

    // Takes a file out of the transaction without committing it (the file is closing):
    // its changes are gone, so the transaction can no longer be whole. Its Commit then
    // fails with 48 ("Unable To Log Transaction") and commits no file.
    void Forget(ItemFile& file);

  private:
    Status CommitSeveral(const std::vector<ItemFile*>& changed);
    std::vector<ItemFile*> files_;
    std::vector<std::string> control_names_;
    std::string control_file_;
    Status failure_;  // set when a file left before the end
};

// A marker text that earlier versions stored when no control file was configured; it
// stands for "pelmar.tcf" beside the data file. Markers now hold absolute names.
inline constexpr std::string_view kDefaultControlMarker = "C:\\PELMAR.TCF";
inline constexpr std::string_view kControlFileName = "pelmar.tcf";

}  // namespace zelt::storage
