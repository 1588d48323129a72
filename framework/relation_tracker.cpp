#include "framework/relation_tracker.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "framework/field_access.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/file_driver.hpp"

namespace zelt::framework {
namespace {

namespace err = runtime::err;

constexpr std::int64_t kLogoutSeconds = 2;

void CopyField(runtime::Table& from, int from_field, runtime::Table& to, int to_field) {
    auto source = FieldBytes(from, from_field);
    auto target = FieldBytes(to, to_field);
    std::size_t n = std::min(source.size(), target.size());
    std::copy_n(source.begin(), n, target.begin());
    // A shorter source leaves the rest of a text blank rather than stale.
    std::fill(target.begin() + static_cast<std::ptrdiff_t>(n), target.end(), ' ');
}

bool SameField(runtime::Table& a, int a_field, runtime::Table& b, int b_field) {
    auto x = FieldBytes(a, a_field);
    auto y = FieldBytes(b, b_field);
    return std::string_view(x.data(), x.size()) == std::string_view(y.data(), y.size());
}

bool DriverFramesTransactions(runtime::Table& table) {
    const runtime::FileDriver* driver = table.Driver();
    if (!driver) driver = runtime::FindDriver(table.Declaration().Driver());
    return driver && driver->Supports(runtime::FileOp::Logout);
}

// The busy feedback installed by RelationTracker::SetBusyHook.
std::function<void(bool)>& BusyHook() {
    static std::function<void(bool)> hook;
    return hook;
}

// Shows the busy feedback for the length of a scope.
class BusyScope {
  public:
    BusyScope() {
        if (BusyHook()) BusyHook()(true);
    }
    ~BusyScope() {
        if (BusyHook()) BusyHook()(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

}  // namespace

// LinkPairs -----------------------------------------------------------------------------------

void LinkPairs::Add(runtime::Table& left_table, int left, runtime::Table& right_table, int right) {
    auto bytes = FieldBytes(left_table, left);
    pairs_.push_back(
        {&left_table, left, &right_table, right, std::string(bytes.data(), bytes.size())});
}

void LinkPairs::LeftIntoSaved() {
    for (Pair& p : pairs_) {
        auto bytes = FieldBytes(*p.left_table, p.left);
        p.saved.assign(bytes.data(), bytes.size());
    }
}

void LinkPairs::LeftIntoRight() {
    for (Pair& p : pairs_) CopyField(*p.left_table, p.left, *p.right_table, p.right);
}

void LinkPairs::RightIntoLeft() {
    for (Pair& p : pairs_) CopyField(*p.right_table, p.right, *p.left_table, p.left);
}

void LinkPairs::SavedIntoRight() {
    for (Pair& p : pairs_) {
        auto target = FieldBytes(*p.right_table, p.right);
        std::size_t n = std::min(p.saved.size(), target.size());
        std::copy_n(p.saved.begin(), n, target.begin());
        std::fill(target.begin() + static_cast<std::ptrdiff_t>(n), target.end(), ' ');
    }
}

void LinkPairs::SavedIntoLeft() {
    for (Pair& p : pairs_) {
        auto target = FieldBytes(*p.left_table, p.left);
        std::copy_n(p.saved.begin(), std::min(p.saved.size(), target.size()), target.begin());
    }
}

void LinkPairs::ClearRight() {
    for (Pair& p : pairs_) ClearField(*p.right_table, p.right);
}

bool LinkPairs::LeftEqualsRight() const {
    return std::all_of(pairs_.begin(), pairs_.end(), [](const Pair& p) {
        return SameField(*p.left_table, p.left, *p.right_table, p.right);
    });
}

bool LinkPairs::LeftEqualsSaved() const {
    return std::all_of(pairs_.begin(), pairs_.end(), [](const Pair& p) {
        auto bytes = FieldBytes(*p.left_table, p.left);
        return std::string_view(bytes.data(), bytes.size()) == p.saved;
    });
}

bool LinkPairs::RightEqualsSaved() const {
    return std::all_of(pairs_.begin(), pairs_.end(), [](const Pair& p) {
        auto bytes = FieldBytes(*p.right_table, p.right);
        std::string_view right(bytes.data(), bytes.size());
        return right.substr(0, p.saved.size()) == std::string_view(p.saved).substr(0, right.size());
    });
}

// Set-up ------------------------------------------------------------------------------------

void RelationTracker::Init(FileManager& file_manager, bool use_logout) {
    Me = &file_manager;
    relations_.clear();
    UseLogout = use_logout;
}

void RelationTracker::AddRelation(RelationTracker& related, std::uint8_t update_mode,
                                  std::uint8_t delete_mode, int his_key) {
    RelationEntry entry;
    entry.File = &related;
    entry.Fields = std::make_unique<LinkPairs>();
    entry.HisKey = his_key;
    entry.UpdateMode = update_mode;
    entry.DeleteMode = delete_mode;
    relations_.push_back(std::move(entry));
}

bool RelationTracker::AddLink(std::string_view left_field, std::string_view right_field) {
    if (relations_.empty() || !relations_.back().File->Me) return false;
    return AddLink(left_field, relations_.back().File->Me->File(), right_field);
}

bool RelationTracker::AddLink(std::string_view left_field, runtime::Table& theirs,
                              std::string_view right_field) {
    if (relations_.empty()) return false;
    RelationEntry& r = relations_.back();
    runtime::Table& mine = Me->File();
    int left = mine.Declaration().FieldNumber(left_field);
    int right = theirs.Declaration().FieldNumber(right_field);
    if (left < 0 || right < 0) return false;
    r.Fields->Add(mine, left, theirs, right);
    return true;
}

void RelationTracker::Kill() {
    relations_.clear();
}

void RelationTracker::SetBusyHook(std::function<void(bool)> hook) {
    BusyHook() = std::move(hook);
}

bool RelationTracker::ForEachLink(
    const RelationTracker& related, bool theirs_first,
    const std::function<void(std::span<char>, std::span<char>)>& visit) const {
    for (const RelationEntry& r : relations_) {
        if (r.File != &related) continue;
        for (const auto& p : r.Fields->Pairs()) {
            auto mine = FieldBytes(*p.left_table, p.left);
            auto theirs = FieldBytes(*p.right_table, p.right);
            if (theirs_first) {
                visit(theirs, mine);
            } else {
                visit(mine, theirs);
            }
        }
        return true;
    }
    return false;
}

void RelationTracker::SaveLinks() {
    for (RelationEntry& r : relations_) r.Fields->LeftIntoSaved();
}

Level RelationTracker::ReleaseAutoNumber() {
    return Me->ReleaseAutoNumber(this);
}

// Sweeps --------------------------------------------------------------------------------------

Level RelationTracker::OpenAll() {
    Reached reached;
    return SweepFrom(Sweep::Open, reached, false, 1);
}
Level RelationTracker::CloseAll() {
    Reached reached;
    return SweepFrom(Sweep::Close, reached, false, 1);
}

void RelationTracker::SetQuickScan(bool on, int propagate) {
    Reached reached;
    SweepFrom(Sweep::QuickScan, reached, on, propagate);
}

Level RelationTracker::SweepFrom(Sweep what, Reached& reached, bool on, int propagate) {
    if (std::find(reached.begin(), reached.end(), this) != reached.end()) return LevelOk;
    const bool top = reached.empty();
    reached.push_back(this);
    Level level = LevelOk;
    switch (what) {
        case Sweep::Open:
            level = Me->Open();
            if (level == LevelOk && top) level = Me->EnsureOpen();
            break;
        case Sweep::Close:
            level = Me->Close();
            break;
        case Sweep::QuickScan:
            Me->SetFile();
            Me->File().Send(on ? "QUICKSCAN=on" : "QUICKSCAN=off");
            if (propagate == 0) return LevelOk;
            break;
    }
    if (level != LevelOk) return level;
    for (RelationEntry& r : relations_) {
        if (what == Sweep::QuickScan && propagate == 2 && r.HisKey < 0) continue;
        level = r.File->SweepFrom(what, reached, on, propagate);
        if (level != LevelOk) return level;
    }
    return LevelOk;
}

// Transactions -------------------------------------------------------------------------------

void RelationTracker::CollectUpdateSet(std::vector<RelationTracker*>& set) {
    if (std::find(set.begin(), set.end(), this) != set.end()) return;
    set.push_back(this);
    for (RelationEntry& r : relations_) {
        if (r.UpdateMode == ModeClear || r.UpdateMode == ModeCascade) r.File->CollectUpdateSet(set);
    }
}

void RelationTracker::CollectDeleteSet(std::vector<RelationTracker*>& set) {
    if (std::find(set.begin(), set.end(), this) != set.end()) return;
    set.push_back(this);
    for (RelationEntry& r : relations_) {
        if (r.DeleteMode == ModeCascade) r.File->CollectDeleteSet(set);
        if (r.DeleteMode == ModeClear) r.File->CollectUpdateSet(set);
    }
}

runtime::ErrorCode TrackerTransaction::Begin(std::span<runtime::Table* const> tables) {
    const runtime::ErrorCode code = runtime::Logout(kLogoutSeconds, tables);
    active_ = code == err::NoError;
    return code;
}

runtime::ErrorCode TrackerTransaction::Commit() {
    if (!active_) return err::NoError;
    active_ = false;
    return runtime::Commit();
}

void TrackerTransaction::Rollback() {
    if (!active_) return;
    active_ = false;
    runtime::ErrorState kept = runtime::CurrentError();
    runtime::Rollback();
    runtime::RestoreError(kept);
}

bool RelationTracker::BeginTransaction(bool for_delete, TrackerTransaction& tx) {
    if (!UseLogout) return true;
    std::vector<RelationTracker*> trackers;
    if (for_delete) {
        CollectDeleteSet(trackers);
    } else {
        CollectUpdateSet(trackers);
    }
    std::vector<runtime::Table*> tables;
    for (RelationTracker* t : trackers) {
        runtime::Table* table = &t->Me->File();
        if (std::find(tables.begin(), tables.end(), table) != tables.end()) continue;
        // A driver without transactions is left out, and not asked again.
        if (!DriverFramesTransactions(*table)) {
            UseLogout = false;
            continue;
        }
        // A transaction takes tables that are open: a lazily opened one is opened now.
        if (t->Me->EnsureOpen() != LevelOk) return false;
        tables.push_back(table);
    }
    if (tables.empty()) return true;
    Me->SetFile();
    const runtime::ErrorCode code = tx.Begin(tables);
    if (code == err::UnsupportedFunction) {
        UseLogout = false;
        return true;
    }
    if (code != err::NoError) {
        Me->Raise(msg::LogoutError);
        return false;
    }
    return true;
}

// Update -----------------------------------------------------------------------------------

Level RelationTracker::Update(bool from_form) {
    Level level = OpenAll();
    if (level != LevelOk) return level;
    level = UpdateOpened(from_form);
    CloseAll();
    return level;
}

Level RelationTracker::UpdateOpened(bool from_form) {
    TrackerTransaction tx;
    if (!BeginTransaction(false, tx)) return LevelNotify;
    // A refused change is refused before anything is written, so that the stored record
    // never leaves its related records behind.
    for (RelationEntry& r : relations_) {
        if (r.UpdateMode != ModeRestrict || r.Fields->LeftEqualsSaved()) continue;
        if (r.File->HasLinkedRecord(r)) {
            r.File->Me->NoteError(msg::RestrictUpdate);
            tx.Rollback();
            r.File->Me->ReportLastError();
            r.Fields->SavedIntoLeft();
            return LevelNotify;
        }
    }
    const Level level = Me->AttemptUpdate();
    if (level != LevelOk) {
        tx.Rollback();
        ThreadState& s = Me->State();
        if (from_form && s.LastError == msg::ChangedByOther) s.LastError = msg::ChangedByOtherForm;
        if (level == LevelNotify) Me->ReportLastError();
        bool changed = s.LastError == msg::ChangedByOther || s.LastError == msg::ChangedByOtherForm;
        return changed ? LevelNotify : LevelAsk;
    }
    for (RelationEntry& r : relations_) {
        if (r.UpdateMode < ModeClear || r.UpdateMode > ModeCascade) continue;
        if (r.Fields->LeftEqualsSaved()) continue;
        if (r.File->CascadeUpdate(r, tx) != LevelOk) {
            // Show the linking values as they are stored again.
            r.Fields->SavedIntoLeft();
            tx.Rollback();
            return LevelNotify;
        }
    }
    if (tx.Commit() != err::NoError) {
        Me->Raise(msg::LogoutError);
        return LevelNotify;
    }
    return LevelOk;
}

Level RelationTracker::ForEachLinkedRecord(const RelationEntry& parent, bool stored_values,
                                           TrackerTransaction& tx,
                                           const std::function<LinkedOutcome()>& take) {
    if (Me->EnsureOpen() != LevelOk) {
        tx.Rollback();
        return LevelNotify;
    }
    std::int32_t snapshot = Me->SaveSnapshot();
    const auto position_on_linked = [&] {
        Me->File().ClearRecord();
        if (stored_values)
            parent.Fields->SavedIntoRight();
        else
            parent.Fields->LeftIntoRight();
        Me->File().SetKeyKey(parent.HisKey);
    };
    const auto linked = [&] {
        return stored_values ? parent.Fields->RightEqualsSaved() : parent.Fields->LeftEqualsRight();
    };
    Level result = LevelOk;
    std::set<std::string> seen;
    position_on_linked();
    for (;;) {
        const Level read = Me->AttemptNext();
        if (read == LevelFatal) {
            tx.Rollback();
            Me->ReportLastError();
            result = LevelNotify;
            break;
        }
        if (read != LevelOk || !linked()) break;
        if (!seen.insert(Me->File().Position()).second) continue;
        const LinkedOutcome outcome = take();
        if (outcome == LinkedOutcome::Failed) {
            result = LevelNotify;
            break;
        }
        // A record dealt with has left the parent's values: look for the next one afresh.
        if (outcome == LinkedOutcome::Done) position_on_linked();
    }
    Me->RestoreSnapshot(snapshot);
    return result;
}

Level RelationTracker::CascadeUpdate(const RelationEntry& parent, TrackerTransaction& tx) {
    return ForEachLinkedRecord(parent, true, tx, [&] {
        SaveLinks();
        if (parent.UpdateMode == ModeRestrict) {
            Me->NoteError(msg::RestrictUpdate);
            tx.Rollback();
            Me->ReportLastError();
            parent.Fields->SavedIntoLeft();
            return LinkedOutcome::Failed;
        }
        if (parent.UpdateMode == ModeClear)
            parent.Fields->ClearRight();
        else
            parent.Fields->LeftIntoRight();
        return UpdateCascaded(tx) == LevelOk ? LinkedOutcome::Done : LinkedOutcome::Failed;
    });
}

bool RelationTracker::HasLinkedRecord(const RelationEntry& parent) {
    if (Me->EnsureOpen() != LevelOk) return false;
    std::int32_t snapshot = Me->SaveSnapshot();
    Me->File().ClearRecord();
    parent.Fields->SavedIntoRight();
    Me->File().SetKeyKey(parent.HisKey);
    bool found = Me->AttemptNext() == LevelOk && parent.Fields->RightEqualsSaved();
    Me->RestoreSnapshot(snapshot);
    return found;
}

Level RelationTracker::UpdateCascaded(TrackerTransaction& tx) {
    for (RelationEntry& r : relations_) {
        if (r.UpdateMode < ModeClear || r.UpdateMode > ModeCascade) continue;
        if (r.Fields->LeftEqualsSaved()) continue;
        if (r.File->CascadeUpdate(r, tx) != LevelOk) {
            r.Fields->SavedIntoLeft();
            return LevelNotify;
        }
    }
    if (Me->AttemptUpdate() != LevelOk) {
        tx.Rollback();
        return Me->ReportLastError();
    }
    return LevelOk;
}

// Delete -----------------------------------------------------------------------------------

Level RelationTracker::Delete(bool ask) {
    if (ask && Me->Raise(msg::ConfirmDelete) != LevelOk) return LevelNotify;
    for (;;) {
        Level level = DeleteOnce();
        if (level == LevelOk) return LevelOk;
        if (Me->Raise(msg::RetryDelete) != LevelOk) return level;
    }
}

Level RelationTracker::DeleteOnce() {
    BusyScope busy;
    const std::string position = Me->GetPosition();
    Level level = OpenAll();
    if (level != LevelOk) return level;
    level = DeleteOpened(position);
    CloseAll();
    return level;
}

Level RelationTracker::DeleteOpened(const std::string& position) {
    TrackerTransaction tx;
    if (!BeginTransaction(true, tx)) return LevelNotify;
    if (!position.empty() && Me->RereadByPosition(position) != LevelOk) {
        Me->NoteError(msg::DeleteError);
        tx.Rollback();
        Me->ReportLastError();
        return LevelNotify;
    }
    for (RelationEntry& r : relations_) {
        if (r.DeleteMode < ModeClear || r.DeleteMode > ModeCascade) continue;
        const Level level = r.File->CascadeDelete(r, tx);
        if (level != LevelOk) {
            tx.Rollback();
            return level;
        }
    }
    Me->SetFile();
    if (Me->File().Delete() != err::NoError) {
        Me->NoteError(msg::DeleteError);
        tx.Rollback();
        Me->ReportLastError();
        return LevelNotify;
    }
    if (tx.Commit() != err::NoError) {
        Me->Raise(msg::LogoutError);
        return LevelNotify;
    }
    return LevelOk;
}

Level RelationTracker::CascadeDelete(const RelationEntry& parent, TrackerTransaction& tx) {
    return ForEachLinkedRecord(parent, false, tx, [&] {
        if (Me->SkipRecordInCascade()) return LinkedOutcome::Skipped;
        if (parent.DeleteMode == ModeRestrict) {
            Me->NoteError(msg::RestrictDelete);
            tx.Rollback();
            Me->ReportLastError();
            return LinkedOutcome::Failed;
        }
        if (parent.DeleteMode == ModeClear) {
            SaveLinks();
            parent.Fields->ClearRight();
            return UpdateCascaded(tx) == LevelOk ? LinkedOutcome::Done : LinkedOutcome::Failed;
        }
        for (RelationEntry& r : relations_) {
            if (r.DeleteMode < ModeClear || r.DeleteMode > ModeCascade) continue;
            if (r.File->CascadeDelete(r, tx) != LevelOk) return LinkedOutcome::Failed;
        }
        Me->SetFile();
        if (Me->File().Delete() != err::NoError) {
            Me->NoteError(msg::DeleteError);
            tx.Rollback();
            Me->ReportLastError();
            return LinkedOutcome::Failed;
        }
        return LinkedOutcome::Done;
    });
}

}  // namespace zelt::framework
