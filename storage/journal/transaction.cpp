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

std::filesystem::path ControlFilePath(const std::filesystem::path& data_path,
                                      std::string_view stored_name) {
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
// Transaction numbers are kept in a control file's identifier counter up to here (an
// identifier never reaches FE 00 00 00).
constexpr std::uint32_t kLastTransactionNumber = 0xFDFFFFFF;

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
        if (status.code != runtime::err::AccessDenied || ::access(path.c_str(), R_OK) != 0)
            return status;
        if (clock.MonotonicMs() - start >= kControlWaitMs) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

runtime::ErrorCode AskControlFile(ItemFileState& st, bool* committed) {
    *committed = true;
    auto marker = st.tree->Find(kMarkerKey);
    if (!marker) return runtime::err::NoError;
    if (marker->size() < 5) {
        st.failure_detail = "transaction marker of " + st.path.string() + " is damaged";
        return runtime::err::UnableToRollback;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4; ++i)
        number |= std::uint32_t{static_cast<std::uint8_t>((*marker)[i])} << (8 * i);
    std::string_view name = std::string_view(*marker).substr(4);
    name = name.substr(0, name.find('\0'));
    std::unique_ptr<ItemFile> control;
    const std::filesystem::path control_path = ControlFilePath(st.path, name);
    const auto cannot_ask = [&](const char* why) {
        st.failure_detail = "control file " + control_path.string() + " " + why;
        return runtime::err::UnableToRollback;
    };
    const Status opened =
        OpenControlFile(control_path, Access::ReadOnly, Creation::OpenExisting, control);
    if (!opened.ok()) {
        return cannot_ask(opened.code == runtime::err::FileNotFound ? "is missing"
                          : opened.code == runtime::err::AccessDenied
                              ? "is kept by another program or may not be read"
                              : "cannot be read");
    }
    Bytes data;
    bool found = false;
    const Status status = control->Find(TransactionKey(number), &data, &found);
    control->Close();
    if (!status.ok()) return cannot_ask("cannot be read");
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
    st.Enlist(this);
    files_.push_back(&file);
    return file.Finish();
}

void Transaction::Forget(ItemFile& file) {
    const auto before = files_.size();
    files_.erase(std::remove(files_.begin(), files_.end(), &file), files_.end());
    if (files_.size() != before && failure_.ok())
        failure_ = Status::Error(runtime::err::UnableToLogTransaction);
    file.state().LeaveTransaction(true);
}

Status Transaction::Commit() {
    std::vector<ItemFile*> changed;
    Status result = failure_;
    for (ItemFile* file : files_) {
        if (file->state().tree->dirty()) changed.push_back(file);
        if (result.ok()) result = file->state().transaction_failure();
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
    for (ItemFile* file : files_) file->state().LeaveTransaction(!result.ok());
    files_.clear();
    control_names_.clear();
    failure_ = Status::Ok();
    return result;
}

namespace {

// The last transaction number a control file issued, kept in its header's identifier
// counter (control files issue no identifiers otherwise).
std::uint32_t LastNumberOf(ItemFile& control) {
    const auto id = control.state().tree->header().identifier();
    return std::uint32_t{id[0]} << 24 | std::uint32_t{id[1]} << 16 | std::uint32_t{id[2]} << 8 |
           id[3];
}

// Issues the transaction's number and enters it in the control file: the clock's seconds,
// but above every number this control file issued before, so that no number is used
// twice. (A file whose journal names an earlier transaction would otherwise take a later
// one's pending entry for its own and roll back after its commit point.)
Status EnterTransaction(ItemFile& control, std::uint32_t* number) {
    Status status = control.BeginWrite();
    if (!status.ok()) return status;
    auto candidate = static_cast<std::uint32_t>(std::time(nullptr));
    const std::uint32_t last = LastNumberOf(control);
    if (last < kLastTransactionNumber && candidate <= last) candidate = last + 1;
    for (bool taken = true; taken;) {
        status = control.Find(TransactionKey(candidate), nullptr, &taken);
        if (!status.ok()) break;
        if (taken) ++candidate;
    }
    if (status.ok()) {
        const std::array<std::uint8_t, 4> stored{
            static_cast<std::uint8_t>(candidate >> 24), static_cast<std::uint8_t>(candidate >> 16),
            static_cast<std::uint8_t>(candidate >> 8), static_cast<std::uint8_t>(candidate)};
        if (candidate < kLastTransactionNumber)
            control.state().tree->header().set_identifier(stored);
        status = control.Insert(TransactionKey(candidate), {});
    }
    if (!status.ok()) {
        control.Abandon(status);
        return status;
    }
    *number = candidate;
    return control.Finish();
}

}  // namespace

Status Transaction::CommitSeveral(const std::vector<ItemFile*>& changed) {
    // One control file holds the transaction's commit point: the configured one, or
    // "pelmar.tcf" beside the first changed file. Every marker names it by its absolute
    // path, so that whoever recovers any of the files asks the same control file.
    std::error_code ec;
    const std::string name =
        control_file_.empty()
            ? ControlFilePath(changed.front()->state().path, kDefaultControlMarker).string()
            : std::filesystem::absolute(control_file_, ec).lexically_normal().string();
    std::unique_ptr<ItemFile> control;
    Status status = OpenControlFile(name, Access::ReadWrite, Creation::OpenOrCreate, control);
    if (!status.ok()) return status;
    std::uint32_t number = 0;
    status = EnterTransaction(*control, &number);
    if (!status.ok()) return status;
    const std::string key = TransactionKey(number);
    const std::string marker = MarkerData(number, name);
    std::size_t journaled = 0;
    Status failed;
    try {
        for (ItemFile* file : changed) {
            ItemFileState& st = file->state();
            st.tree->Erase(kMarkerKey);
            st.tree->Insert(kMarkerKey, marker);
            st.TakeExclusiveLock();
            CommitPhase1(st);
            st.PassCommitPoint(false);  // the control file holds this commit's point
            ++journaled;
        }
    } catch (const StorageFailure& failure) {
        failed = {failure.code, failure.fault};
    }
    if (!failed.ok()) {
        bool all_reset = true;
        for (std::size_t i = 0; i < changed.size(); ++i) {
            ItemFileState& st = changed[i]->state();
            try {
                if (i <= journaled) ResetJournal(st);
            } catch (const StorageFailure&) {
                st.DropCachedState();
                all_reset = false;
            }
            st.ReleaseExclusiveLock();
        }
        // A journal that could not be reset is still pointed to: the entry must stay, so
        // that its recovery rolls it back.
        if (all_reset) control->Erase(key);
        return failed;
    }
    // The commit point: once the control file has forgotten the number, the journals hold.
    status = control->Erase(key);
    if (!status.ok()) return status;
    control->Close();
    // Past the commit point: a file that fails from here on has its change stored all the
    // same (its next open rolls the journal forward), so the commit succeeds and the file
    // keeps the failure and writes no more.
    for (ItemFile* file : changed) {
        ItemFileState& st = file->state();
        try {
            CommitPhase2(st, CommitKind::SeveralFiles);
        } catch (const StorageFailure& failure) {
            st.FailAfterCommitPoint({failure.code, failure.fault});
        }
        st.ReleaseExclusiveLock();
    }
    return Status::Ok();
}

void Transaction::Rollback() {
    for (ItemFile* file : files_) file->state().LeaveTransaction(true);
    files_.clear();
    control_names_.clear();
    failure_ = Status::Ok();
}

}  // namespace zelt::storage
