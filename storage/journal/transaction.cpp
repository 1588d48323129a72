#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "runtime/values/clock_source.hpp"
#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/journal/control_files.hpp"
#include "storage/journal/journal.hpp"

namespace zelt::storage {

std::filesystem::path ControlFilePath(const std::filesystem::path& data_path, std::string_view stored_name) {
    if (stored_name == kDefaultControlMarker) {
        std::filesystem::path dir = data_path.parent_path();
        return dir.empty() ? std::filesystem::path(kControlFileName) : dir / kControlFileName;
    }
    return std::filesystem::path(std::string(stored_name));
}

std::string TransactionKey(std::uint32_t number) {
    std::string key(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) key[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return key;
}

std::string MarkerData(std::uint32_t number, std::string_view name) {
    std::string data = TransactionKey(number);
    data.append(name);
    data.push_back('\0');
    return data;
}

namespace {

// How long a control file that another opener keeps from us is waited for.
constexpr std::int64_t kControlWaitMs = 10000;

// Opens a control file, retrying while another opener keeps it from us (an existing,
// readable file refused with 5) until the wait limit passes on the runtime clock; a file
// that is missing or unreadable is not waited for.
Status OpenControlFile(const std::filesystem::path& path, Access access, Creation creation,
                       std::unique_ptr<ItemFile>& out) {
    OpenOptions options;
    options.access = access;
    options.share = Share::DenyNone;
    options.creation = creation;
    const auto& clock = runtime::CurrentClockSource();
    const std::int64_t start = clock.MonotonicMs();
    for (;;) {
        const Status status = ItemFile::Open(path, options, out);
        if (status.code != runtime::err::AccessDenied || ::access(path.c_str(), R_OK) != 0) return status;
        if (clock.MonotonicMs() - start >= kControlWaitMs) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

runtime::ErrorCode AskControlFile(ItemFileState& st, bool* committed) {
    *committed = true;
    auto marker = st.tree->Find(kMarkerKey);
    if (!marker) return runtime::err::NoError;
    if (marker->size() < 5) return runtime::err::UnableToRollback;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4; ++i) number |= std::uint32_t{static_cast<std::uint8_t>((*marker)[i])} << (8 * i);
    std::string_view name = std::string_view(*marker).substr(4);
    name = name.substr(0, name.find('\0'));
    std::unique_ptr<ItemFile> control;
    if (!OpenControlFile(ControlFilePath(st.path, name), Access::ReadOnly, Creation::OpenExisting, control).ok()) {
        return runtime::err::UnableToRollback;
    }
    Bytes data;
    bool found = false;
    const Status status = control->Find(TransactionKey(number), &data, &found);
    control->Close();
    if (!status.ok()) return runtime::err::UnableToRollback;
    *committed = !found;
    return runtime::err::NoError;
}

Transaction::~Transaction() {
    if (active()) Rollback();
}

Status Transaction::Enlist(ItemFile& file) {
    if (std::find(files_.begin(), files_.end(), &file) != files_.end()) return Status::Ok();
    ItemFileState& st = file.state();
    if (control_file_.empty()) {
        std::string name = ControlFilePath(st.path, kDefaultControlMarker).string();
        if (std::find(control_names_.begin(), control_names_.end(), name) == control_names_.end()) {
            if (control_names_.size() + 1 >= 100) return Status::Fault(fault::TooManyControlFiles);
            control_names_.push_back(name);
        }
    }
    Status status = file.BeginWrite();
    if (!status.ok()) return status;
    st.in_transaction = true;
    st.transaction = this;
    files_.push_back(&file);
    return file.Finish();
}

namespace {

void LeaveTransaction(ItemFile& file, bool discard) {
    ItemFileState& st = file.state();
    st.in_transaction = false;
    st.transaction = nullptr;
    st.transaction_failure = Status::Ok();
    if (discard) st.DropCachedState();
    ReleaseExclusiveLock(st);
    ReleaseOperationLocks(st);
    st.in_operation = false;
    st.validated = false;
    st.write_state = false;
}

}  // namespace

void Transaction::Forget(ItemFile& file) {
    files_.erase(std::remove(files_.begin(), files_.end(), &file), files_.end());
    LeaveTransaction(file, true);
}

Status Transaction::Commit() {
    std::vector<ItemFile*> changed;
    Status result;
    for (ItemFile* file : files_) {
        if (file->state().tree->dirty()) changed.push_back(file);
        if (result.ok()) result = file->state().transaction_failure;
    }
    try {
        if (!result.ok()) {
            // A file lost its changes to a failure: none of the files may commit.
        } else if (changed.size() == 1) {
            CommitFile(changed.front()->state());
        } else if (changed.size() > 1) {
            result = CommitSeveral(changed);
        }
    } catch (const StorageFailure& failure) {
        result = {failure.code, failure.fault};
    }
    for (ItemFile* file : files_) LeaveTransaction(*file, !result.ok());
    files_.clear();
    control_names_.clear();
    return result;
}

Status Transaction::CommitSeveral(const std::vector<ItemFile*>& changed) {
    // Names are stored absolute, so that whoever recovers finds the same control file.
    const auto control_of = [&](ItemFile* file) {
        std::error_code ec;
        if (!control_file_.empty()) return std::filesystem::absolute(control_file_, ec).lexically_normal().string();
        return ControlFilePath(file->state().path, kDefaultControlMarker).string();
    };
    std::vector<std::string> names;
    if (!control_file_.empty()) {
        names.push_back(control_of(nullptr));
    } else {
        for (ItemFile* file : changed) {
            std::string name = ControlFilePath(file->state().path, kDefaultControlMarker).string();
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    }
    std::vector<std::unique_ptr<ItemFile>> controls;
    for (const std::string& name : names) {
        std::unique_ptr<ItemFile> control;
        Status status = OpenControlFile(name, Access::ReadWrite, Creation::OpenOrCreate, control);
        if (!status.ok()) return status;
        controls.push_back(std::move(control));
    }
    // A transaction number that no control file holds yet.
    auto number = static_cast<std::uint32_t>(std::time(nullptr));
    for (bool clash = true; clash;) {
        clash = false;
        for (auto& control : controls) {
            Bytes data;
            bool found = false;
            Status status = control->Find(TransactionKey(number), &data, &found);
            if (!status.ok()) return status;
            if (found) {
                ++number;
                clash = true;
                break;
            }
        }
    }
    std::string key = TransactionKey(number);
    for (auto& control : controls) {
        Status status = control->Insert(key, {});
        if (!status.ok()) return status;
    }
    std::size_t journaled = 0;
    Status failed;
    try {
        for (ItemFile* file : changed) {
            ItemFileState& st = file->state();
            st.tree->Erase(kMarkerKey);
            st.tree->Insert(kMarkerKey, MarkerData(number, control_of(file)));
            TakeExclusiveLock(st);
            CommitPhase1(st);
            ++journaled;
        }
    } catch (const StorageFailure& failure) {
        failed = {failure.code, failure.fault};
    }
    if (!failed.ok()) {
        for (std::size_t i = 0; i < changed.size(); ++i) {
            ItemFileState& st = changed[i]->state();
            try {
                if (i <= journaled) ResetJournal(st);
            } catch (const StorageFailure&) {
                st.DropCachedState();
            }
            ReleaseExclusiveLock(st);
        }
        for (auto& control : controls) control->Erase(key);
        return failed;
    }
    // The commit point: once every control file has forgotten the number, the journals hold.
    for (auto& control : controls) {
        Status status = control->Erase(key);
        if (!status.ok()) return status;
    }
    for (auto& control : controls) control->Close();
    for (ItemFile* file : changed) {
        ItemFileState& st = file->state();
        try {
            CommitPhase2(st, CommitKind::SeveralFiles);
        } catch (const StorageFailure& failure) {
            st.DropCachedState();
            if (failed.ok()) failed = {failure.code, failure.fault};
        }
        ReleaseExclusiveLock(st);
    }
    return failed;
}

void Transaction::Rollback() {
    for (ItemFile* file : files_) LeaveTransaction(*file, true);
    files_.clear();
    control_names_.clear();
}

}  // namespace zelt::storage
