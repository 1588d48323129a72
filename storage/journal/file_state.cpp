#include "storage/journal/file_state.hpp"

#include <algorithm>

namespace zelt::storage {
namespace {
constexpr int kFrontWaitMs = 500;
}  // namespace

void ItemFileState::BeginOperation(bool write) {
    switch (phase_) {
        case FilePhase::kIdle:
            phase_ = write ? FilePhase::kWriting : FilePhase::kReading;
            break;
        case FilePhase::kReading:
            if (write) phase_ = FilePhase::kWriting;
            break;
        case FilePhase::kEnlisted:
            phase_ = FilePhase::kEnlistedBusy;
            break;
        case FilePhase::kWriting:
        case FilePhase::kEnlistedBusy:
        case FilePhase::kClosed:
            break;
    }
}

void ItemFileState::EndOperation() {
    ForgetCheck();
    if (!in_transaction()) ReleaseOperationLocks();
    if (phase_ == FilePhase::kReading || phase_ == FilePhase::kWriting) {
        phase_ = FilePhase::kIdle;
    } else if (phase_ == FilePhase::kEnlistedBusy) {
        phase_ = FilePhase::kEnlisted;
    }
}

void ItemFileState::AbandonOperation(Status why) {
    if (in_transaction() && transaction_failure_.ok() && (why.is_fault() || tree->dirty())) {
        transaction_failure_ = why;
    }
    if (tree->dirty()) DropCachedState();
    ReleaseExclusiveLock();
    EndOperation();
}

Status ItemFileState::Fail(Status status) {
    if (in_transaction() && transaction_failure_.ok()) transaction_failure_ = status;
    DropCachedState();
    ReleaseExclusiveLock();
    if (!in_transaction()) {
        ReleaseOperationLocks();
        if (phase_ == FilePhase::kReading || phase_ == FilePhase::kWriting)
            phase_ = FilePhase::kIdle;
    }
    return status;
}

void ItemFileState::Enlist(Transaction* transaction) {
    transaction_ = transaction;
    if (phase_ == FilePhase::kWriting) phase_ = FilePhase::kEnlistedBusy;
}

void ItemFileState::LeaveTransaction(bool discard) {
    transaction_ = nullptr;
    transaction_failure_ = Status::Ok();
    if (phase_ != FilePhase::kClosed) phase_ = FilePhase::kIdle;
    if (discard) DropCachedState();
    ReleaseExclusiveLock();
    ReleaseOperationLocks();
    ForgetCheck();
}

void ItemFileState::SetClosed(bool damaged) {
    if (damaged) damaged_ = true;
    phase_ = FilePhase::kClosed;
}

bool ItemFileState::TakeReaderSlot() {
    // A slot taken by another reader moves this handle on to the next one at once. A
    // commit holds every slot: then the same slot is tried again after a pause and once
    // the commit has let it go (half a second at most), three tries in all.
    int attempt = 0;
    for (std::uint64_t tried = 0; tried < kReaderSlots;) {
        const std::uint64_t slot = kLockBase + locks_.reader_slot;
        if (handle->TryLock(slot, 1, true)) {
            locks_.operation = HeldLocks::Operation::kReader;
            return true;
        }
        if (handle->ConflictLength(slot, 1) > 1) {
            if (++attempt == io::FileHandle::kLockTries) return false;
            io::FileHandle::BackOff(attempt - 1);
            // The commit lets every slot go at its end: watch for that (bounded).
            if (io::FileHandle::PatientLocks()) handle->AwaitFree(slot, 1, kFrontWaitMs);
            continue;
        }
        locks_.reader_slot = static_cast<std::uint32_t>((locks_.reader_slot + 1) % kReaderSlots);
        ++tried;
    }
    return false;
}

bool ItemFileState::TakeWriterByte() {
    // Writers that meet a busy writer byte line up at the turn byte, so that the byte goes
    // to them in turn instead of to whoever asks again first: a writer that has just
    // finished an operation waits behind them. The writer at the front watches the byte
    // until its holder lets it go (half a second at most), then makes its three tries, and
    // gives the turn up as soon as they end.
    if (!io::FileHandle::PatientLocks()) {
        if (!handle->TryLockThrice(kWriterByte, 1, true)) return false;
        locks_.operation = HeldLocks::Operation::kWriter;
        return true;
    }
    // Nobody in line: one try, as a writer alone on its file makes it.
    if (handle->ConflictLength(kTurnByte, 1) == 0 && handle->TryLock(kWriterByte, 1, true)) {
        locks_.operation = HeldLocks::Operation::kWriter;
        return true;
    }
    handle->LockWait(kTurnByte, 1, true);
    handle->AwaitFree(kWriterByte, 1, kFrontWaitMs);
    const bool got = handle->TryLockThrice(kWriterByte, 1, true);
    handle->Unlock(kTurnByte, 1);
    if (!got) return false;
    locks_.operation = HeldLocks::Operation::kWriter;
    return true;
}

void ItemFileState::ReleaseOperationLocks() {
    switch (locks_.operation) {
        case HeldLocks::Operation::kNone:
            return;
        case HeldLocks::Operation::kReader:
            handle->Unlock(kLockBase + locks_.reader_slot, 1);
            break;
        case HeldLocks::Operation::kWriter:
            handle->Unlock(kWriterByte, 1);
            break;
    }
    locks_.operation = HeldLocks::Operation::kNone;
}

void ItemFileState::TakeExclusiveLock() {
    if (locks_.exclusive || !(shared() || deny_write())) return;
    handle->LockWait(kLockBase, kReaderSlots, true);
    locks_.exclusive = true;
}

void ItemFileState::ReleaseExclusiveLock() {
    if (!locks_.exclusive) return;
    handle->Unlock(kLockBase, kReaderSlots);
    locks_.exclusive = false;
}

void ItemFileState::Defer(std::string_view key, std::string_view data) {
    const std::size_t at = DeferredIndex(key);
    if (at == deferred_.size()) {
        deferred_.emplace_back(std::string(key), std::string(data));
    } else {
        deferred_[at].second.assign(data);
    }
}

void ItemFileState::DropDeferred(std::string_view key) {
    const std::size_t at = DeferredIndex(key);
    if (at < deferred_.size()) deferred_.erase(deferred_.begin() + static_cast<std::ptrdiff_t>(at));
}

void ItemFileState::ApplyDeferred() {
    // In key order, as they always went.
    std::sort(deferred_.begin(), deferred_.end());
    for (const auto& [key, data] : deferred_) ApplyDeferredItem(key, data);
    deferred_.clear();
}

void ItemFileState::ApplyDeferred(std::string_view key) {
    const std::size_t at = DeferredIndex(key);
    if (at == deferred_.size()) return;
    ApplyDeferredItem(deferred_[at].first, deferred_[at].second);
    deferred_.erase(deferred_.begin() + static_cast<std::ptrdiff_t>(at));
}

void ItemFileState::ApplyDeferredItem(std::string_view key, std::string_view data) {
    if (tree->Rewrite(key, data)) return;
    tree->Erase(key);
    tree->Insert(key, data);
}

void ItemFileState::FailAfterCommitPoint(Status failure) {
    if (late_failure_.ok()) late_failure_ = failure;
    handle->MarkFailed(failure.code);
    past_commit_point_ = false;
    DropCachedState();
}

void ItemFileState::DropCachedState() {
    deferred_.clear();
    pending_pages.clear();
    HeaderLost();
    tree->clear_journal_map();
    tree->Reset(committed);
}

}  // namespace zelt::storage
