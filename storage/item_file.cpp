#include "storage/item_file.hpp"

#include "storage/pagefile/key_order.hpp"

#include <new>

#include "storage/io/storage_failure.hpp"
#include "storage/journal/journal.hpp"

namespace zelt::storage {
namespace {

namespace err = runtime::err;

// Runs `body`, turning an internal failure into a Status that takes the file's one
// failure path (ItemFileState::Fail).
template <typename Body>
Status Guarded(ItemFileState& st, Body&& body) {
    try {
        return body();
    } catch (const StorageFailure& failure) {
        return st.Fail({failure.code, failure.fault});
    } catch (const std::bad_alloc&) {
        return st.Fail(Status::Error(err::InsufficientMemory));
    }
}

io::ShareMode ToShare(Share share) {
    switch (share) {
        case Share::DenyNone:
            return io::ShareMode::DenyNone;
        case Share::DenyWrite:
            return io::ShareMode::DenyWrite;
        case Share::DenyAll:
            return io::ShareMode::DenyAll;
    }
    return io::ShareMode::DenyAll;
}

io::CreateMode ToCreate(Creation creation) {
    switch (creation) {
        case Creation::OpenExisting:
            return io::CreateMode::OpenExisting;
        case Creation::OpenOrCreate:
            return io::CreateMode::OpenOrCreate;
        case Creation::AlwaysNew:
            return io::CreateMode::AlwaysNew;
    }
    return io::CreateMode::OpenExisting;
}

// An operation frame of its own for a call made outside BeginRead/BeginWrite. A header
// that fails validation inside it is the call's own fault number.
class AutoFrame {
  public:
    // `read_state_fault`: a write asked for inside a read operation.
    AutoFrame(ItemFile& file, bool write, int invalid_fault, int read_state_fault = 0)
        : file_(file) {
        ItemFileState& st = file.state();
        if (st.in_operation()) {
            if (write && !st.write_state()) status_ = Status::Fault(read_state_fault);
            return;
        }
        status_ = write ? file.BeginWrite() : file.BeginRead();
        if (status_.code == err::InvalidDataFile) status_ = Status::Fault(invalid_fault);
        owns_ = status_.ok();
    }
    const Status& status() const { return status_; }
    Status Finish(Status result) {
        if (!owns_) return result;
        owns_ = false;
        if (!result.ok()) {
            file_.Abandon(result);
            return result;
        }
        return file_.Finish();
    }
    ~AutoFrame() {
        if (owns_) file_.Abandon();
    }
    AutoFrame(const AutoFrame&) = delete;
    AutoFrame& operator=(const AutoFrame&) = delete;

  private:
    ItemFile& file_;
    Status status_;
    bool owns_ = false;
};

// Whether an item found by a seek lies where `mode` asked for; a damaged tree can answer
// with an item on the wrong side of the key, and a walk built on seeks would then not move.
bool SeekLanded(SeekMode mode, BytesView key, BytesView found) {
    switch (mode) {
        case SeekMode::AtOrAfter:
            return !KeyLess(found, key);
        case SeekMode::After:
            return KeyLess(key, found);
        case SeekMode::AtOrBefore:
            return !KeyLess(key, found);
        case SeekMode::Before:
            return KeyLess(found, key);
    }
    return false;
}

}  // namespace

ItemFile::ItemFile(std::unique_ptr<ItemFileState> state) : state_(std::move(state)) {}

ItemFile::~ItemFile() {
    Close();
}

Status ItemFile::Open(const std::filesystem::path& path, const OpenOptions& options,
                      std::unique_ptr<ItemFile>& out, std::string* detail) {
    if (detail != nullptr) detail->clear();
    if (path.empty()) return Status::Error(err::InvalidFilename);
    auto st = std::make_unique<ItemFileState>();
    // Absolute, so that the control file named beside it never depends on who recovers.
    std::error_code ec;
    st->path = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) st->path = path;
    st->options = options;
    bool write = options.access == Access::ReadWrite;
    runtime::ErrorCode code = io::FileHandle::Open(st->path, write, ToCreate(options.creation),
                                                   ToShare(options.share), st->handle);
    if (code != err::NoError) return Status::Error(code);
    if (!options.owner.empty()) {
        code = st->handle->SetOwner(options.owner);
        if (code != err::NoError) {
            if (detail != nullptr)
                *detail = "the file holds no usable key unit: it is not enciphered, or damaged";
            return Status::Error(code);
        }
    }
    st->tree = std::make_unique<TreeFile>(*st->handle);
    st->PreferReaderSlot(SeedReaderSlot());
    std::unique_ptr<ItemFile> file(new ItemFile(std::move(st)));
    Status status = file->BeginRead();
    if (status.ok()) status = file->Finish();
    if (!status.ok()) {
        if (detail != nullptr) *detail = file->state_->failure_detail;
        if (detail != nullptr && status.code == err::InvalidDataFile && !options.owner.empty()) {
            // A wrong owner string derives other keys, so the header fails its check as a
            // damaged one does; the pages tell the two apart.
            *detail = file->state_->handle->KeysFitPages()
                          ? "the file is damaged (its header fails its check)"
                          : "wrong password: the owner string does not open this file";
        }
        file->state_->SetClosed(false);
        return status;
    }
    out = std::move(file);
    return Status::Ok();
}

Status ItemFile::Close() {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Ok();
    Status result;
    if (st.transaction() != nullptr) st.transaction()->Forget(*this);
    read_holds_ = 0;
    if (st.in_operation()) result = Finish();
    if (result.ok() && st.options.access == Access::ReadWrite) {
        result = Guarded(st, [&] {
            Status begun = BeginWrite();
            if (!begun.ok())
                return begun.code == err::InvalidDataFile
                           ? Status::Fault(fault::HeaderBeforeTruncate)
                           : begun;
            if (st.tree->dirty()) CommitFile(st);
            st.TakeExclusiveLock();
            TruncateToComputedEnd(st);
            st.ReleaseExclusiveLock();
            return Finish();
        });
    }
    st.ReleaseExclusiveLock();
    st.ReleaseOperationLocks();
    if (result.ok()) {
        st.tree->KeepPages();
    } else {
        st.tree->DropKeptPages();
    }
    st.SetClosed(result.is_fault());
    st.handle.reset();
    return result;
}

Status ItemFile::BeginRead() {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    if (st.in_operation()) return Status::Ok();
    return Guarded(st, [&] {
        st.ForgetCheck();
        // Inside a transaction every operation is in write state.
        runtime::ErrorCode code = ValidateHeader(st, st.in_transaction());
        if (code != err::NoError) {
            if (!st.in_transaction()) st.ReleaseOperationLocks();
            return Status::Error(code);
        }
        st.BeginOperation(false);
        return Status::Ok();
    });
}

Status ItemFile::BeginWrite() {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    if (st.options.access == Access::ReadOnly) return Status::Error(err::AccessDenied);
    // After a failed flush this open commits no more; the next open recovers.
    if (st.handle->flush_failure() != err::NoError)
        return Status::Error(st.handle->flush_failure());
    if (st.in_operation() && st.write_state()) return Status::Ok();
    return Guarded(st, [&] {
        if (st.in_operation()) {
            // From read state to write state within one operation: read locks go first.
            st.ReleaseOperationLocks();
        }
        st.ForgetCheck();
        runtime::ErrorCode code = ValidateHeader(st, true);
        if (code != err::NoError) {
            st.EndOperation();
            return Status::Error(code);
        }
        st.BeginOperation(true);
        return Status::Ok();
    });
}

Status ItemFile::Finish() {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    // A held read operation goes on past the read that ends here.
    if (read_holds_ > 0 && st.phase() == FilePhase::kReading && !st.tree->dirty())
        return Status::Ok();
    return Guarded(st, [&] {
        if (!st.in_transaction() && st.tree->dirty()) CommitFile(st);
        st.EndOperation();
        return Status::Ok();
    });
}

void ItemFile::HoldReads(bool on) {
    if (on) {
        ++read_holds_;
        return;
    }
    if (read_holds_ == 0) return;
    --read_holds_;
    if (read_holds_ == 0 && state_->phase() == FilePhase::kReading) Finish();
}

void ItemFile::Abandon(Status why) {
    ItemFileState& st = *state_;
    if (st.closed()) return;
    st.AbandonOperation(why);
}

Status ItemFile::Insert(BytesView key, BytesView data) {
    AutoFrame frame(*this, true, fault::HeaderBeforeInsert, fault::InsertInReadState);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        state_->ApplyDeferred(key);
        state_->tree->Insert(key, data);
        return Status::Ok();
    }));
}

Status ItemFile::Replace(BytesView key, BytesView data) {
    AutoFrame frame(*this, true, fault::HeaderBeforeInsert, fault::StoreInReadState);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        state_->DropDeferred(key);
        if (state_->tree->Rewrite(key, data)) return Status::Ok();
        state_->tree->Erase(key);
        state_->tree->Insert(key, data);
        return Status::Ok();
    }));
}

Status ItemFile::Erase(BytesView key, bool* found) {
    AutoFrame frame(*this, true, fault::HeaderBeforeInsert, fault::DeleteInReadState);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        state_->ApplyDeferred(key);
        bool erased = state_->tree->Erase(key);
        if (found) *found = erased;
        return Status::Ok();
    }));
}

Status ItemFile::Find(BytesView key, Bytes* data, bool* found) {
    AutoFrame frame(*this, false, fault::HeaderAtRootFetch);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        if (const std::string* deferred = state_->FindDeferred(key)) {
            if (found) *found = true;
            if (data) *data = *deferred;
            return Status::Ok();
        }
        const Item* item = state_->tree->FindItem(key);
        if (found) *found = item != nullptr;
        if (item != nullptr && data) data->assign(item->data());
        return Status::Ok();
    }));
}

bool ItemFile::FindNextFound(BytesView key, BytesView* data) {
    const ItemFileState& st = *state_;
    if (st.closed() || !st.in_operation() || st.FindDeferred(key) != nullptr) return false;
    const Item* item = st.tree->FindNextFound(key);
    if (item == nullptr) return false;
    *data = item->data();
    return true;
}

Status ItemFile::Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out, bool* found) {
    AutoFrame frame(*this, false, fault::HeaderBeforeCursorRead);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        state_->ApplyDeferred();
        TreeFile& tree = *state_->tree;
        const Item* item = nullptr;
        switch (mode) {
            case SeekMode::AtOrAfter:
                item = tree.UpperItem(key, false);
                break;
            case SeekMode::After:
                item = tree.UpperItem(key, true);
                break;
            case SeekMode::AtOrBefore:
                item = tree.LowerItem(key, false);
                break;
            case SeekMode::Before:
                item = tree.LowerItem(key, true);
                break;
        }
        *found = item != nullptr;
        if (item != nullptr && !SeekLanded(mode, key, item->key()))
            RaiseFault(fault::ItemTreeLinks);
        if (item != nullptr) {
            if (key_out != nullptr) key_out->assign(item->key());
            if (data_out != nullptr) data_out->assign(item->data());
        }
        return Status::Ok();
    }));
}

Status ItemFile::SeekRun(BytesView key, std::size_t max, ItemRun& run) {
    run.Clear();
    AutoFrame frame(*this, false, fault::HeaderBeforeCursorRead);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(*state_, [&] {
        state_->ApplyDeferred();
        TreeFile& tree = *state_->tree;
        std::vector<Item> items;
        tree.ItemsAfter(key, max, items);
        if (!items.empty() && !SeekLanded(SeekMode::After, key, items.front().key()))
            RaiseFault(fault::ItemTreeLinks);
        for (const Item& item : items) run.AddJoined(item.bytes, item.key_length);
        run.version = tree.version();
        return Status::Ok();
    }));
}

std::uint64_t ItemFile::Version() const {
    return state_->closed() ? 0 : state_->tree->version();
}

Status ItemFile::ReplaceLater(BytesView key, BytesView data) {
    if (!state_->in_transaction()) return Replace(key, data);
    AutoFrame frame(*this, true, fault::HeaderBeforeInsert, fault::StoreInReadState);
    if (!frame.status().ok()) return frame.status();
    if (key.size() + data.size() >= static_cast<std::size_t>(kItemLimit))
        return frame.Finish(Status::Fault(fault::ItemTooLarge));
    return frame.Finish(Guarded(*state_, [&] {
        state_->Defer(key, data);
        state_->tree->set_dirty();
        state_->tree->NoteChange();
        return Status::Ok();
    }));
}

Status ItemFile::IssueIdentifier(std::array<std::uint8_t, 4>& out) {
    ItemFileState& st = *state_;
    if (st.in_operation() && !st.write_state()) return Status::Fault(fault::IdentifierInReadState);
    AutoFrame frame(*this, true, fault::HeaderBeforeIdentifier, fault::IdentifierInReadState);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(st, [&] {
        FileHeader& h = st.tree->header();
        std::array<std::uint8_t, 4> id = h.identifier();
        for (int i = 3; i >= 0; --i) {
            auto& byte = id[static_cast<std::size_t>(i)];
            if (++byte != 0) break;
        }
        if (id[0] >= 0xFE) RaiseFault(fault::IdentifiersExhausted);
        h.set_identifier(id);
        st.tree->set_dirty();
        out = id;
        return Status::Ok();
    }));
}

Status ItemFile::Truncate() {
    ItemFileState& st = *state_;
    AutoFrame frame(*this, true, fault::HeaderBeforeTruncate, fault::StoreInReadState);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(st, [&] {
        if (st.tree->dirty()) CommitFile(st);
        st.TakeExclusiveLock();
        TruncateToComputedEnd(st);
        st.ReleaseExclusiveLock();
        return Status::Ok();
    }));
}

Status ItemFile::TryLockRecord(std::uint32_t number, bool* acquired) {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    const bool got = st.handle->TryLockThrice(RecordLockOffset(number), 1, true);
    if (acquired) *acquired = got;
    return Status::Ok();
}

Status ItemFile::LockRecordWait(std::uint32_t number) {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    return Guarded(st, [&] {
        st.handle->LockWait(RecordLockOffset(number), 1, true);
        return Status::Ok();
    });
}

Status ItemFile::UnlockRecord(std::uint32_t number) {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    st.handle->Unlock(RecordLockOffset(number), 1);
    return Status::Ok();
}

Status ItemFile::OpenRecordLocks(std::unique_ptr<RecordLocks>& out) {
    ItemFileState& st = *state_;
    if (st.closed()) return Status::Error(err::FileNotOpen);
    std::unique_ptr<io::FileHandle> handle;
    const runtime::ErrorCode code = st.handle->OpenLockOwner(st.path, handle);
    if (code != err::NoError) return Status::Error(code);
    out.reset(new RecordLocks(std::move(handle)));
    return Status::Ok();
}

RecordLocks::RecordLocks(std::unique_ptr<io::FileHandle> handle) : handle_(std::move(handle)) {}
RecordLocks::~RecordLocks() = default;

Status RecordLocks::TryLock(std::uint32_t number, bool* acquired) {
    const bool got = handle_->TryLockThrice(RecordLockOffset(number), 1, true);
    if (acquired) *acquired = got;
    return Status::Ok();
}

Status RecordLocks::LockWait(std::uint32_t number) {
    try {
        handle_->LockWait(RecordLockOffset(number), 1, true);
    } catch (const StorageFailure& failure) {
        return {failure.code, failure.fault};
    }
    return Status::Ok();
}

void RecordLocks::Unlock(std::uint32_t number) {
    handle_->Unlock(RecordLockOffset(number), 1);
}

const std::filesystem::path& ItemFile::path() const {
    return state_->path;
}
const OpenOptions& ItemFile::options() const {
    return state_->options;
}
bool ItemFile::in_transaction() const {
    return state_->in_transaction();
}
bool ItemFile::damaged() const {
    return state_->damaged();
}
const Status& ItemFile::late_failure() const {
    return state_->late_failure();
}

// Cursors.
namespace {
using Found = std::optional<std::pair<std::string, std::string>>;
}

template <typename Move>
static Status CursorStep(ItemFile& file, bool& valid, Bytes& key, Bytes& data, Move&& move) {
    AutoFrame frame(file, false, fault::HeaderBeforeCursorRead);
    if (!frame.status().ok()) return frame.status();
    return frame.Finish(Guarded(file.state(), [&] {
        file.state().ApplyDeferred();
        Found found = move(*file.state().tree);
        valid = found.has_value();
        if (found) {
            key = std::move(found->first);
            data = std::move(found->second);
        }
        return Status::Ok();
    }));
}

Status ItemCursor::First() {
    return CursorStep(*file_, valid_, key_, data_, [](TreeFile& t) { return t.First(); });
}

Status ItemCursor::Last() {
    return CursorStep(*file_, valid_, key_, data_, [](TreeFile& t) { return t.Last(); });
}

Status ItemCursor::Seek(BytesView key, SeekMode mode) {
    Bytes wanted(key);
    key_ = wanted;
    return CursorStep(*file_, valid_, key_, data_, [&](TreeFile& t) -> Found {
        Found found;
        switch (mode) {
            case SeekMode::AtOrAfter:
                found = t.Upper(wanted, false);
                break;
            case SeekMode::After:
                found = t.Upper(wanted, true);
                break;
            case SeekMode::AtOrBefore:
                found = t.Lower(wanted, false);
                break;
            case SeekMode::Before:
                found = t.Lower(wanted, true);
                break;
        }
        if (found && !SeekLanded(mode, wanted, found->first)) RaiseFault(fault::ItemTreeLinks);
        return found;
    });
}

// A step that does not move strictly on from where the cursor stands can only come from a
// damaged tree; it fails with a fault instead of reading the same items again.
Status ItemCursor::Next() {
    if (!valid_ && key_.empty()) return First();
    Bytes from = key_;
    return CursorStep(*file_, valid_, key_, data_, [&](TreeFile& t) {
        Found found = t.Upper(from, true);
        if (found && !(from < found->first)) RaiseFault(fault::ItemTreeLinks);
        return found;
    });
}

Status ItemCursor::Previous() {
    if (!valid_ && key_.empty()) return Last();
    Bytes from = key_;
    return CursorStep(*file_, valid_, key_, data_, [&](TreeFile& t) {
        Found found = t.Lower(from, true);
        if (found && !(found->first < from)) RaiseFault(fault::ItemTreeLinks);
        return found;
    });
}

}  // namespace zelt::storage
