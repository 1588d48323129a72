#include "framework/file_manager.hpp"

#include <algorithm>
#include <cctype>

#include "framework/field_access.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/key_build_progress.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/flag_scope.hpp"

namespace zelt::framework {
namespace {

namespace err = runtime::err;
constexpr std::size_t kFileNameLimit = 256;
constexpr int kAutoNumberTries = 3;

// Keeps the runtime's error state across calls made only to look around.
class KeepError {
  public:
    KeepError() : kept_(runtime::CurrentError()) {}
    ~KeepError() { runtime::RestoreError(kept_); }
    KeepError(const KeepError&) = delete;
    KeepError& operator=(const KeepError&) = delete;

  private:
    runtime::ErrorState kept_;
};

}  // namespace

FileManager::~FileManager() {
    if (file_ && !cleaned_up_) file_->SetCallback(nullptr);
}

void FileManager::Init(runtime::Table& file, ErrorReporter& errors) {
    file_ = &file;
    errors_ = &errors;
    info_.clear();
    keys_.clear();
    buffers_.clear();
    Settings = FileSettings{};
    primary_key_ = 0;
    has_auto_inc_ = false;
    file_name_value_ = file.FileName().substr(0, kFileNameLimit);
    cleaned_up_ = false;
    file.SetCallback(this);
}

void FileManager::AddKey(int key, std::string_view description, int auto_inc_position) {
    const auto& decl = file_->Declaration();
    if (key < 0 || static_cast<std::size_t>(key) >= decl.Keys().size()) return;
    const auto& k = decl.Keys()[static_cast<std::size_t>(key)];
    KeyEntry entry;
    entry.Key = key;
    entry.Description = std::string(description.substr(0, 80));
    entry.AutoInc = auto_inc_position;
    entry.Dups = k.Dup();
    entry.NoCase = k.NoCase();
    for (const auto& c : k.components) {
        KeyComponentEntry part;
        part.Field = c.field;
        part.Ascend = !c.descending;
        const auto& f = decl.Fields()[static_cast<std::size_t>(c.field)];
        part.FieldName =
            k.NoCase() && runtime::IsTextType(f.type) ? "UPPER(" + f.label + ")" : f.label;
        entry.Fields.push_back(std::move(part));
    }
    keys_.push_back(std::move(entry));
    if (auto_inc_position != 0) has_auto_inc_ = true;
    if (k.Primary()) primary_key_ = static_cast<int>(keys_.size());
}

void FileManager::Kill() {
    if (cleaned_up_ || !file_) return;
    CleanUp();
    // Whatever is still open is closed: the program is ending.
    for (ThreadState& s : info_) {
        if (s.Used) file_->Close();
        s.Used = false;
        s.Opened = 0;
    }
    file_->SetCallback(nullptr);
    buffers_.clear();
    cleaned_up_ = true;
}

ThreadState& FileManager::State() {
    std::uint32_t id = file_->Declaration().IsThreaded() ? CurrentThreadNumber() : 1;
    std::lock_guard lock(state_mutex_);
    for (ThreadState& s : info_) {
        if (s.Id == id) return s;
    }
    info_.push_back(ThreadState{});
    info_.back().Id = id;
    return info_.back();
}

std::string FileManager::CurrentFileName() const {
    return file_->Declaration().HasNameVariable() ? file_->FileName() : file_name_value_;
}

void FileManager::SetFile() {
    errors_->SetFile(CurrentFileName());
}

// Opening and closing -------------------------------------------------------------------

Level FileManager::Open(bool force) {
    return OpenCounted(true, force);
}
Level FileManager::AttemptOpen(bool force) {
    return OpenCounted(false, force);
}

Level FileManager::OpenCounted(bool repair, bool force) {
    ThreadState& s = State();
    if ((force || !Settings.LazyOpen) && s.Opened == 0 && !s.Used) {
        Level level = OpenFile(repair);
        if (level != LevelOk) return level;
    }
    ++s.Opened;
    return LevelOk;
}

Level FileManager::OpenFile(bool repair) {
    ThreadState& s = State();
    SetFile();
    for (int attempt = 0; attempt < 2; ++attempt) {
        runtime::ErrorCode code = file_->Open(Settings.OpenMode);
        if (code == err::AccessDenied) {
            // A locked file may need its lock recovered before the second try.
            file_->Send("Recover=" + std::to_string(Settings.LockRecover));
            code = file_->Open(Settings.OpenMode);
        }
        switch (code) {
            case err::NoError:
            case err::FileAlreadyOpen:
                s.Used = true;
                s.AtEOF = false;
                s.AutoIncDone = false;
                return LevelOk;
            case err::AccessDenied:
                if ((Settings.OpenMode & 0x0F) != 0) {
                    Settings.OpenMode = static_cast<std::uint8_t>(Settings.OpenMode & 0xF0);
                    Raise(msg::AccessDenied);
                    continue;
                }
                break;
            case err::FileNotFound:
                if (Settings.Create) {
                    if (file_->Create() == err::NoError) continue;
                    NoteError(msg::CreateError);
                    return repair ? ReportLastError() : LevelNotify;
                }
                break;
            case err::KeyFileMustBeRebuilt:
                NoteError(msg::RebuildKey);
                if (!repair) return LevelNotify;
                ReportLastError();
                if (RebuildKeys() == err::NoError) continue;
                return Raise(msg::RebuildError);
            default:
                break;
        }
        break;
    }
    NoteError(msg::OpenFailed);
    return repair ? ReportLastError() : LevelNotify;
}

runtime::ErrorCode FileManager::RebuildKeys() {
    // A rebuild can take long: it shows its progress and can be cancelled.
    const KeyBuildProgress progress;
    return file_->Build();
}

Level FileManager::Close() {
    const runtime::FlagScope guard(in_close_);
    ThreadState& s = State();
    if (s.Opened > 0) {
        --s.Opened;
        if (s.Opened == 0 && s.Used) {
            s.Used = false;
            file_->Close();
        }
    }
    return LevelOk;
}

Level FileManager::EnsureOpen(int) {
    const runtime::FlagScope guard(in_use_file_);
    ThreadState& s = State();
    SetFile();
    if (s.Used) return LevelOk;
    if (s.Opened == 0) {
        // Used before it was opened: a programming error, which ends the program.
        NoteError(msg::UseClosedFile);
        Level level = ReportLastError();
        return level == LevelOk ? LevelFatal : level;
    }
    std::int32_t snapshot = SaveSnapshot();
    Level level = OpenFile(true);
    RestoreSnapshot(snapshot);
    return level;
}

// Errors ----------------------------------------------------------------------------------

void FileManager::NoteError(ErrorId id) {
    errors_->CaptureErrorState();
    State().LastError = id;
}

Level FileManager::ReportLastError() {
    SetFile();
    return errors_->Dispatch(State().LastError);
}

Level FileManager::Raise(ErrorId id) {
    NoteError(id);
    return ReportLastError();
}

Level FileManager::RaiseWithMessage(ErrorId id, std::string_view text) {
    SetFile();
    State().LastError = id;
    return errors_->RaiseWithMessage(id, text);
}

Level FileManager::CheckRecord(int& failed_field) {
    return CheckFields(1, static_cast<int>(file_->Declaration().Fields().size()), failed_field);
}

Level FileManager::CheckFields(int low, int high, int& failed_field) {
    if (AliasedFile) return AliasedFile->CheckFields(low, high, failed_field);
    for (int n = low; n <= high; ++n) {
        Level level = CheckField(n);
        if (level != LevelOk) {
            failed_field = n;
            return level;
        }
    }
    return LevelOk;
}

Level FileManager::CheckField(int) {
    return LevelOk;
}

// Record operations ---------------------------------------------------------------------

Level FileManager::Insert() {
    return InsertWith(true);
}
Level FileManager::AttemptInsert() {
    return InsertWith(false);
}

std::string FileManager::DuplicatedKeyDescription(bool numbered_keys) {
    KeepError keep;
    for (const KeyEntry& key : keys_) {
        if (key.Dups || (!numbered_keys && key.AutoInc != 0)) continue;
        if (file_->DuplicateKey(key.Key)) return key.Description;
    }
    return {};
}

Level FileManager::InsertWith(bool report) {
    if (EnsureOpen() != LevelOk) return LevelFatal;
    int failed = 0;
    if (CheckRecord(failed) != LevelOk) return LevelNotify;
    ThreadState& s = State();
    runtime::ErrorCode code = err::NoError;
    if (!has_auto_inc_) {
        code = file_->Add();
    } else if (s.AutoIncDone) {
        code = file_->Put();
    } else if (AutoNumber(report) != LevelOk) {
        if (!duplicate_while_numbering_) return LevelNotify;
        code = err::CreatesDuplicateKey;  // reported below like any duplicate
    }
    if (code == err::NoError) {
        s.AutoIncDone = false;
        return LevelOk;
    }
    if (code == err::CreatesDuplicateKey) {
        NoteError(msg::DuplicateKey);
        if (report) {
            errors_->MessageText = DuplicatedKeyDescription(true).substr(0, 255);
            ReportLastError();
        }
        return LevelNotify;
    }
    NoteError(msg::InsertError);
    return report ? ReportLastError() : LevelNotify;
}

Level FileManager::Update(UpdateReport mode) {
    if (EnsureOpen() != LevelOk) return LevelFatal;
    int failed = 0;
    if (CheckRecord(failed) != LevelOk) return LevelAsk;
    std::string position = GetPosition();
    runtime::ErrorCode code = file_->Put();
    if (code == err::NoError) return LevelOk;
    if (code == err::RecordChanged) {
        NoteError(mode == UpdateReport::Form ? msg::ChangedByOtherForm : msg::ChangedByOther);
        if (mode != UpdateReport::Quiet) ReportLastError();
        // Show what the other station stored, and watch it for the next change.
        KeepError keep;
        file_->Watch();
        RereadByPosition(position);
        return LevelNotify;
    }
    NoteError(msg::PutFailed);
    if (mode != UpdateReport::Quiet) ReportLastError();
    return LevelNotify;
}

Level FileManager::AttemptUpdate() {
    return Update(UpdateReport::Quiet);
}

Level FileManager::Next() {
    return NextOrPrevious(true, true);
}
Level FileManager::AttemptNext() {
    return NextOrPrevious(true, false);
}
Level FileManager::Previous() {
    return NextOrPrevious(false, true);
}
Level FileManager::AttemptPrevious() {
    return NextOrPrevious(false, false);
}

Level FileManager::NextOrPrevious(bool next, bool report) {
    if (EnsureOpen() != LevelOk) return LevelFatal;
    ThreadState& s = State();
    for (;;) {
        s.AtEOF = false;
        runtime::ErrorCode code = next ? file_->Next() : file_->Previous();
        switch (code) {
            case err::NoError:
                return LevelOk;
            case err::RecordNotAvailable:
                s.AtEOF = true;
                return LevelNotify;
            case err::RecordIsAlreadyHeld:
                if (Settings.SkipHeldRecords) continue;
                NoteError(msg::RecordHeld);
                return report ? ReportLastError() : LevelNotify;
            default:
                NoteError(msg::RetrievalError);
                return report ? ReportLastError() : LevelFatal;
        }
    }
}

Level FileManager::Fetch(int key) {
    if (EnsureOpen() != LevelOk) return LevelFatal;
    return file_->Get(key) == err::NoError ? LevelOk : LevelNotify;
}

Level FileManager::FetchOrClear(int key) {
    Level level = Fetch(key);
    if (level != LevelOk) file_->ClearRecord();
    return level;
}

Level FileManager::DeleteRecord() {
    SetFile();
    file_->Delete();
    return LevelOk;
}

// Auto numbering -------------------------------------------------------------------------

Level FileManager::PrepareRecord(bool keep_buffer) {
    if (AliasedFile) {
        auto mine = file_->Record();
        auto theirs = AliasedFile->File().Record();
        std::size_t n = std::min(mine.size(), theirs.size());
        std::copy_n(mine.begin(), n, theirs.begin());
        Level level = AliasedFile->PrepareRecord(keep_buffer);
        std::copy_n(theirs.begin(), n, mine.begin());
        return level;
    }
    if (!keep_buffer) file_->ClearRecord();
    if (has_auto_inc_) {
        State().AutoIncDone = false;
        return ReserveAutoNumber();
    }
    return LevelOk;
}

Level FileManager::ReserveAutoNumber() {
    return AutoNumber(true);
}
Level FileManager::AttemptAutoNumber() {
    return AutoNumber(false);
}

std::int64_t FileManager::NextAutoValue(const KeyEntry& key, bool& failed, bool report,
                                        Level& level) {
    const KeyComponentEntry& part = key.Fields[static_cast<std::size_t>(key.AutoInc - 1)];
    std::int32_t snapshot = SaveSnapshot();
    std::int64_t value = 1;
    runtime::ErrorCode code = err::NoError;
    if (key.Fields.size() == 1) {
        file_->SetKey(key.Key);
        code = part.Ascend ? file_->Previous() : file_->Next();
        if (code == err::NoError) value = FieldNumber(*file_, part.Field).value_or(0) + 1;
    } else {
        // The components before the numbered one are the prefix the number counts within.
        auto prefix_of = [&] {
            std::string prefix;
            for (int i = 0; i < key.AutoInc - 1; ++i) {
                auto bytes = FieldBytes(*file_, key.Fields[static_cast<std::size_t>(i)].Field);
                prefix.append(bytes.data(), bytes.size());
            }
            return prefix;
        };
        std::string prefix = prefix_of();
        SetFieldHighest(*file_, part.Field);
        file_->SetKeyKey(key.Key);
        code = part.Ascend ? file_->Previous() : file_->Next();
        if (code == err::NoError && prefix_of() == prefix) {
            value = FieldNumber(*file_, part.Field).value_or(0) + 1;
        }
    }
    if (code != err::NoError && code != err::RecordNotAvailable) {
        NoteError(msg::RetrievalError);
        RestoreSnapshot(snapshot);
        failed = true;
        level = report ? ReportLastError() : LevelNotify;
        return 0;
    }
    RestoreSnapshot(snapshot);
    return value;
}

Level FileManager::AutoNumber(bool report) {
    duplicate_while_numbering_ = false;
    if (EnsureOpen() != LevelOk) return LevelFatal;
    ThreadState& s = State();
    if (!has_auto_inc_ || s.AutoIncDone) return LevelOk;
    int failures = 0;
    for (;;) {
        for (const KeyEntry& key : keys_) {
            if (key.AutoInc == 0 || static_cast<std::size_t>(key.AutoInc) > key.Fields.size()) {
                continue;
            }
            bool failed = false;
            Level level = LevelOk;
            std::int64_t value = NextAutoValue(key, failed, report, level);
            if (failed) return level == LevelOk ? LevelNotify : level;
            SetFieldNumber(*file_, key.Fields[static_cast<std::size_t>(key.AutoInc - 1)].Field,
                           value);
        }
        duplicate_while_numbering_ = false;
        runtime::ErrorCode code = file_->Add();
        if (code == err::NoError) {
            s.AutoIncDone = true;
            return LevelOk;
        }
        // A duplicate of a key without numbering (a name already taken) cannot go away by
        // numbering again: it is told as the duplicate it is.
        if (code == err::CreatesDuplicateKey && !DuplicatedKeyDescription(false).empty()) {
            NoteError(msg::DuplicateKey);
            duplicate_while_numbering_ = true;
            return LevelNotify;
        }
        // Another station may have taken the number: count the miss and number again.
        if (++failures < kAutoNumberTries) continue;
        NoteError(msg::RetryAutoInc);
        if (!report || ReportLastError() != LevelOk) return LevelNotify;
        failures = 0;
    }
}

Level FileManager::ReleaseAutoNumber(RelationTracker* tracker) {
    ThreadState& s = State();
    if (!has_auto_inc_ || !s.AutoIncDone) return LevelOk;
    Level level = LevelOk;
    if (tracker) {
        level = tracker->Delete(false);
    } else {
        SetFile();
        level = file_->Delete() == err::NoError ? LevelOk : LevelNotify;
    }
    if (level == LevelOk) s.AutoIncDone = false;
    return level;
}

// Snapshots and positions ------------------------------------------------------------------

std::int32_t FileManager::SaveSnapshot() {
    std::int32_t id = 1;
    for (const Snapshot& b : buffers_) id = std::max(id, b.Id + 1);
    auto record = file_->Record();
    buffers_.push_back({id, std::string(record.data(), record.size())});
    std::size_t memos = file_->Declaration().Memos().size();
    for (std::size_t m = 0; m < memos; ++m) {
        buffers_.push_back({id + 1 + static_cast<std::int32_t>(m), file_->MemoBuffer(m)});
    }
    buffers_.push_back({id + 1 + static_cast<std::int32_t>(memos), GetPosition()});
    return id;
}

void FileManager::RestoreSnapshot(std::int32_t& id, bool copy_back) {
    if (id == 0) return;
    const runtime::FlagScope guard(in_restore_);
    std::size_t memos = file_->Declaration().Memos().size();
    auto take = [&](std::int32_t which, std::string& out) {
        auto it = std::find_if(buffers_.begin(), buffers_.end(),
                               [which](const Snapshot& b) { return b.Id == which; });
        if (it == buffers_.end()) return false;
        out = std::move(it->Buffer);
        buffers_.erase(it);
        return true;
    };
    std::string record, position;
    bool have_record = take(id, record);
    std::vector<std::string> memo_texts(memos);
    std::vector<bool> have_memo(memos, false);
    for (std::size_t m = 0; m < memos; ++m) {
        have_memo[m] = take(id + 1 + static_cast<std::int32_t>(m), memo_texts[m]);
    }
    bool have_position = take(id + 1 + static_cast<std::int32_t>(memos), position);
    id = 0;
    if (!copy_back) return;
    if (have_position && !position.empty() && State().Used) {
        // Make the saved record current again (it may be gone; the buffer comes back anyway).
        KeepError keep;
        if (primary_key_ != 0) {
            file_->RegetKey(keys_[static_cast<std::size_t>(primary_key_ - 1)].Key, position);
        } else {
            file_->Reget(position);
        }
    }
    if (have_record) {
        auto buffer = file_->Record();
        std::copy_n(record.begin(), std::min(record.size(), buffer.size()), buffer.begin());
    }
    for (std::size_t m = 0; m < memos; ++m) {
        if (have_memo[m]) file_->MemoBuffer(m) = std::move(memo_texts[m]);
    }
}

bool FileManager::SameAsSnapshot(std::int32_t id) {
    auto find = [&](std::int32_t which) -> const std::string* {
        for (const Snapshot& b : buffers_) {
            if (b.Id == which) return &b.Buffer;
        }
        return nullptr;
    };
    const std::string* record = find(id);
    if (!record) return false;
    auto buffer = file_->Record();
    if (std::string_view(buffer.data(), buffer.size()) != *record) return false;
    for (std::size_t m = 0; m < file_->Declaration().Memos().size(); ++m) {
        const std::string* memo = find(id + 1 + static_cast<std::int32_t>(m));
        if (!memo || *memo != file_->MemoBuffer(m)) return false;
    }
    return true;
}

std::string FileManager::GetPosition() {
    if (!State().Used) return {};
    KeepError keep;
    if (primary_key_ != 0) {
        return file_->PositionKey(keys_[static_cast<std::size_t>(primary_key_ - 1)].Key);
    }
    return file_->Position();
}

Level FileManager::RereadByPosition(std::string_view position) {
    if (EnsureOpen() != LevelOk) return LevelNotify;
    runtime::ErrorCode code =
        primary_key_ != 0
            ? file_->RegetKey(keys_[static_cast<std::size_t>(primary_key_ - 1)].Key, position)
            : file_->Reget(position);
    return code == err::NoError ? LevelOk : LevelNotify;
}

// Driver notifications ----------------------------------------------------------------------

bool FileManager::Notify(runtime::FileOp op, runtime::Table&) {
    if (op == runtime::FileOp::Close) {
        ThreadState& s = State();
        if (in_restore_ && s.Opened > 0) {
            s.Opened = 0;
            s.Used = false;
            Close();
        }
    } else if (op == runtime::FileOp::Destroy) {
        const runtime::FlagScope guard(in_callback_);
    }
    return true;
}

}  // namespace zelt::framework
