// Open-file state behind an ItemFile.
//
// Resources. The handle, the tree with its cached header, the header as last committed on
// disk and the pages a commit carries between its phases are the file's working material:
// the journal and the tools reach them directly.
//
// Lifecycle. Everything else is private and changes only through the methods below. An
// open file is in exactly one phase:
//
//   kIdle          open, no operation running, no operation lock held
//   kReading       in a read operation (BeginRead); a shared file holds a reader slot
//   kWriting       in a write operation (BeginWrite); a shared file holds the writer byte
//   kEnlisted      in a transaction between operations: the file stays in write state
//                  and keeps its changes in memory (and a shared file its writer byte)
//   kEnlistedBusy  in a transaction, inside an operation
//   kClosed        closed (after Close, or an open that failed); nothing more happens
//
// Legal transitions, and who makes them:
//
//   kIdle         -> kReading, kWriting        BeginOperation (after the header checked)
//   kReading      -> kWriting                  BeginOperation(write): read locks go first
//   kEnlisted     -> kEnlistedBusy             BeginOperation
//   kReading, kWriting -> kIdle                EndOperation (Finish, Abandon, a write that
//                                              could not begin), Fail
//   kEnlistedBusy -> kEnlisted                 EndOperation (Finish, Abandon). A failure
//                                              inside a transaction leaves the phase as it
//                                              is: the transaction fails as a whole
//   kWriting      -> kEnlistedBusy             Enlist (the write that enlists the file)
//   kEnlisted, kEnlistedBusy -> kIdle          LeaveTransaction (commit, roll back, forget)
//   any           -> kClosed                   SetClosed
//
// "Write state" is kWriting, kEnlisted or kEnlistedBusy; "in an operation" is kReading,
// kWriting or kEnlistedBusy. The locks held (HeldLocks) follow the phase: an operation
// lock only while in an operation or enlisted, and the exclusive range (all reader slots)
// only while a commit writes. The header check is separate: kNotHeld until a header has
// been read, kHeld while the tree holds it, kChecked once it has been checked against the
// disk in the current operation (every operation checks it again).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/io/file_handle.hpp"
#include "storage/item_file.hpp"
#include "storage/tree/tree_file.hpp"

namespace zelt::storage {

// Lock offsets of the file protocol, all at and above 2 GiB so they never cover data.
inline constexpr std::uint64_t kLockBase = std::uint64_t{1} << 31;
inline constexpr std::uint64_t kReaderSlots = 1023;
inline constexpr std::uint64_t kWriterByte = kLockBase + 1023;
// Writers waiting for the writer byte queue here (below the first record byte).
inline constexpr std::uint64_t kTurnByte = kLockBase + 1024;
inline std::uint64_t RecordLockOffset(std::uint32_t number) {
    return kLockBase + 1024 + std::uint64_t{number} + 1;
}

enum class FilePhase : std::uint8_t {
    kIdle,
    kReading,
    kWriting,
    kEnlisted,
    kEnlistedBusy,
    kClosed,
};

// The protocol locks an open file holds on its handle: at most one operation lock (its
// reader slot or the writer byte), and the exclusive range while committing.
struct HeldLocks {
    enum class Operation : std::uint8_t { kNone, kReader, kWriter };
    Operation operation = Operation::kNone;
    bool exclusive = false;
    std::uint32_t reader_slot = 0;  // the slot held, or the one tried first
};

// How far the header has been checked (see above).
enum class HeaderCheck : std::uint8_t { kNotHeld, kHeld, kChecked };

// The journal of the last commit while the header that closed it has not been flushed:
// [from, to) must stay as it is until the next flush.
struct UnflushedJournal {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
};

class ItemFileState {
  public:
    std::filesystem::path path;
    OpenOptions options;
    std::unique_ptr<io::FileHandle> handle;
    std::unique_ptr<TreeFile> tree;
    FileHeader committed = FileHeader::Fresh();  // the header as it stands at offset 0
    // Why the last open failed, in words, where its code alone does not say (the control
    // file a pending journal names, a wrong owner string): for the caller's message.
    std::string failure_detail;
    // Pages journaled by phase 1 of the current commit, written in place by phase 2.
    std::vector<std::pair<std::uint64_t, std::string>> pending_pages;

    bool shared() const { return options.share == Share::DenyNone; }
    bool deny_write() const { return options.share == Share::DenyWrite; }

    // The phase and what it implies.
    FilePhase phase() const { return phase_; }
    bool closed() const { return phase_ == FilePhase::kClosed; }
    bool in_operation() const {
        return phase_ == FilePhase::kReading || phase_ == FilePhase::kWriting ||
               phase_ == FilePhase::kEnlistedBusy;
    }
    bool write_state() const {
        return phase_ == FilePhase::kWriting || phase_ == FilePhase::kEnlisted ||
               phase_ == FilePhase::kEnlistedBusy;
    }
    bool in_transaction() const {
        return phase_ == FilePhase::kEnlisted || phase_ == FilePhase::kEnlistedBusy;
    }
    bool damaged() const { return damaged_; }  // a fault struck during Close
    Transaction* transaction() const { return transaction_; }
    // The first failure that struck this file inside a transaction. Its cached changes are
    // gone with it, so the transaction can only fail: Commit reports this and commits none.
    const Status& transaction_failure() const { return transaction_failure_; }

    // Phase changes (see the table above).
    void BeginOperation(bool write);
    // Ends the operation: the header is checked again by the next one, and outside a
    // transaction the operation lock goes.
    void EndOperation();
    // Gives the operation up (ItemFile::Abandon): inside a transaction, changes dropped or
    // a fault (`why`) fail the whole transaction.
    void AbandonOperation(Status why);
    // The one path of every failure inside a call: records it for the transaction, drops
    // the cached changes and the exclusive range, and outside a transaction ends the
    // operation. Returns `status`.
    Status Fail(Status status);
    void Enlist(Transaction* transaction);
    // Leaves the transaction with every lock released; `discard` drops the changes.
    void LeaveTransaction(bool discard);
    void SetClosed(bool damaged);

    // The header check.
    bool header_held() const { return header_ != HeaderCheck::kNotHeld; }
    bool validated() const { return header_ == HeaderCheck::kChecked; }
    void HeaderHeld() { header_ = HeaderCheck::kHeld; }
    void HeaderChecked() { header_ = HeaderCheck::kChecked; }
    void HeaderLost() { header_ = HeaderCheck::kNotHeld; }
    void ForgetCheck() {
        if (header_ == HeaderCheck::kChecked) header_ = HeaderCheck::kHeld;
    }

    // Locks.
    const HeldLocks& locks() const { return locks_; }
    std::uint32_t reader_slot() const { return locks_.reader_slot; }
    // The reader slot the next read tries first.
    void PreferReaderSlot(std::uint32_t slot) { locks_.reader_slot = slot; }
    // Takes a free reader slot, from the preferred one on (false: every slot is taken).
    bool TakeReaderSlot();
    // Takes the writer byte (false: another writer holds it).
    bool TakeWriterByte();
    void ReleaseOperationLocks();
    // The exclusive range, for files others may read or write; waits for it.
    void TakeExclusiveLock();
    void ReleaseExclusiveLock();

    // A file only this handle writes (deny write, deny all) does not wait for the header
    // that closes a commit's journal to reach the disk: its pages are home and flushed by
    // then, so a crash leaves either that header or the one before it, which still points
    // to the journal, and the journal replays the same pages. Until the next flush that
    // journal must stay as it is.
    const std::optional<UnflushedJournal>& unflushed_journal() const { return unflushed_; }
    void KeepJournalUnflushed(UnflushedJournal journal) { unflushed_ = journal; }
    void JournalFlushed() {
        unflushed_.reset();
        header_read_unflushed_ = false;
    }
    // The same for a header another handle wrote: one read from the disk may be such a
    // closing header, left unflushed by a writer that died or closed nothing, whose
    // journal lies where this handle's next journal goes. Until this handle has flushed,
    // it writes nothing behind the committed end.
    bool header_read_unflushed() const { return header_read_unflushed_; }
    // A commit is past its commit point once a header that leads every later open to its
    // journal has been written: from then on a failure cannot take the change back, the
    // operation reports success, the failure is kept here for the trace and the handle
    // writes no more (io::FileHandle::MarkFailed).
    bool past_commit_point() const { return past_commit_point_; }
    void PassCommitPoint(bool passed) { past_commit_point_ = passed; }
    const Status& late_failure() const { return late_failure_; }
    void FailAfterCommitPoint(Status failure);
    void HeaderReadFromDisk() { header_read_unflushed_ = true; }

    // Replacements held back during a transaction (the latest data per key): every read
    // of the file sees them, and they reach the tree before anything walks it or the
    // file commits. A table's counters change with every record; this way each counter
    // item is written once per commit instead of once per record.
    const std::string* FindDeferred(std::string_view key) const {
        const std::size_t at = DeferredIndex(key);
        return at == deferred_.size() ? nullptr : &deferred_[at].second;
    }
    void Defer(std::string_view key, std::string_view data);
    void DropDeferred(std::string_view key);
    void ApplyDeferred();
    // Applies the held-back replacement of `key`, if there is one.
    void ApplyDeferred(std::string_view key);

    // Forgets every cached change; the next validation reads the disk again.
    void DropCachedState();

  private:
    void ApplyDeferredItem(std::string_view key, std::string_view data);
    // Where `key` is held back; deferred_.size() when it is not.
    std::size_t DeferredIndex(std::string_view key) const {
        // The keys held back are a table's counters, which differ in their last byte.
        for (std::size_t i = 0; i < deferred_.size(); ++i) {
            const std::string& held = deferred_[i].first;
            if (!key.empty() && !held.empty() && held.back() != key.back()) continue;
            if (held == key) return i;
        }
        return deferred_.size();
    }

    FilePhase phase_ = FilePhase::kIdle;
    HeaderCheck header_ = HeaderCheck::kNotHeld;
    HeldLocks locks_;
    bool damaged_ = false;
    Transaction* transaction_ = nullptr;
    Status transaction_failure_;
    std::optional<UnflushedJournal> unflushed_;
    bool header_read_unflushed_ = false;
    bool past_commit_point_ = false;
    Status late_failure_;
    // A few counter items per table in the transaction: searched in place, which beats a
    // tree of nodes at that size (every record added asks for several).
    std::vector<std::pair<std::string, std::string>> deferred_;
};

}  // namespace zelt::storage
