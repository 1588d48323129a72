// RelationTracker: a table's relations to other tables and the referential integrity kept
// when its records change or go.
//
// For every relation a change of the linking fields (or a deletion) does nothing, clears the
// related records' linking fields, is refused while related records exist, or is carried down
// to them, recursively through the whole tree of relations. Opening and closing reach all
// related tables once per sweep; changes can be framed in a driver transaction, which a
// TrackerTransaction scope ends: committed when the operation succeeds, rolled back on every
// other way out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/file_manager.hpp"
#include "framework/levels.hpp"

namespace zelt::framework {

class RelationTracker;

enum RelationMode : std::uint8_t {
    ModeNone = 0,
    ModeClear = 1,
    ModeRestrict = 2,
    ModeCascade = 3,
};

// The linking fields of one relation: pairs of a field of this table (Left) and the matching
// field of the related table (Right), with a saved copy of Left's value.
class LinkPairs {
  public:
    struct Pair {
        runtime::Table* left_table;
        int left;
        runtime::Table* right_table;
        int right;
        std::string saved;
    };
    void Add(runtime::Table& left_table, int left, runtime::Table& right_table, int right);
    const std::vector<Pair>& Pairs() const { return pairs_; }

    void LeftIntoSaved();
    void LeftIntoRight();
    void SavedIntoRight();
    void SavedIntoLeft();
    void RightIntoLeft();
    void ClearRight();
    bool LeftEqualsRight() const;
    bool LeftEqualsSaved() const;
    bool RightEqualsSaved() const;

  private:
    std::vector<Pair> pairs_;
};

// The driver transaction of one tracker operation. Begun over the tables the operation may
// touch; Commit() or Rollback() ends it, and leaving the scope without either rolls it back.
// Without a transaction (none was begun, or it has ended) both do nothing. Rolling back keeps
// the noted error, so that it can still be reported. A commit the file layer refuses has
// changed nothing; its code is returned so that the operation reports a failure.
class TrackerTransaction {
  public:
    TrackerTransaction() = default;
    ~TrackerTransaction() { Rollback(); }
    TrackerTransaction(const TrackerTransaction&) = delete;
    TrackerTransaction& operator=(const TrackerTransaction&) = delete;

    // The file layer's code; the transaction is open only when it is 0.
    runtime::ErrorCode Begin(std::span<runtime::Table* const> tables);
    runtime::ErrorCode Commit();
    void Rollback();
    bool Active() const { return active_; }

  private:
    bool active_ = false;
};

struct RelationEntry {
    RelationTracker* File = nullptr;  // the related table's tracker
    std::unique_ptr<LinkPairs> Fields;
    int HisKey = -1;  // related key led by the linking fields; -1 on the many side
    std::uint8_t UpdateMode = ModeNone;
    std::uint8_t DeleteMode = ModeNone;
};

class RelationTracker {
  public:
    RelationTracker() = default;
    virtual ~RelationTracker() = default;
    RelationTracker(const RelationTracker&) = delete;
    RelationTracker& operator=(const RelationTracker&) = delete;

    FileManager* Me = nullptr;
    RelationTracker* AliasFile = nullptr;
    bool UseLogout = false;

    void Init(FileManager& file_manager, bool use_logout = false);
    // Declared on both sides: on the "one" side with the many side's key and the modes, on
    // the "many" side with no key (-1) and mode 0.
    void AddRelation(RelationTracker& related, std::uint8_t update_mode = ModeNone,
                     std::uint8_t delete_mode = ModeNone, int his_key = -1);
    // Adds a pair to the last relation, by field labels of this and of the related table;
    // false when a label is unknown.
    bool AddLink(std::string_view left_field, std::string_view right_field);
    // The same with the related table named, for a related tracker not initialised yet.
    bool AddLink(std::string_view left_field, runtime::Table& related_table,
                 std::string_view right_field);

    virtual Level ReleaseAutoNumber();
    virtual Level CloseAll();
    virtual Level Delete(bool ask = true);
    // Runs on the related table's tracker; a failure rolls `tx` back before it is reported.
    virtual Level CascadeDelete(const RelationEntry& parent_relation, TrackerTransaction& tx);
    virtual void Kill();
    virtual Level OpenAll();
    virtual void SaveLinks();
    virtual void SetQuickScan(bool on, int propagate = 0);
    virtual Level Update(bool from_form = false);
    virtual Level CascadeUpdate(const RelationEntry& parent_relation, TrackerTransaction& tx);
    virtual Level UpdateCascaded(TrackerTransaction& tx);

    // Hands each linking pair towards `related` to `visit` (this table's field first, or the
    // related table's first when `theirs_first`); false when there is no such relation.
    bool ForEachLink(const RelationTracker& related, bool theirs_first,
                     const std::function<void(std::span<char>, std::span<char>)>& visit) const;

    const std::vector<RelationEntry>& Relations() const { return relations_; }
    // Busy feedback around a deletion, shared by all trackers: it stands for the screen's
    // busy cursor, which belongs to the process rather than to a table. The window system
    // installs a real one at start and removes it at the end; by default there is none.
    static void SetBusyHook(std::function<void(bool busy)> hook);

  private:
    enum class Sweep { Open, Close, QuickScan };
    // The trackers one sweep has reached; each is reached once, which ends cycles.
    using Reached = std::vector<const RelationTracker*>;
    Level SweepFrom(Sweep what, Reached& reached, bool on, int propagate);
    void CollectUpdateSet(std::vector<RelationTracker*>& set);
    void CollectDeleteSet(std::vector<RelationTracker*>& set);
    // Begins `tx` over the set when UseLogout; false (after reporting) on failure.
    bool BeginTransaction(bool for_delete, TrackerTransaction& tx);
    // The parts of Update and of one try of Delete between opening and closing the tables.
    Level UpdateOpened(bool from_form);
    Level DeleteOnce();
    Level DeleteOpened(const std::string& position);
    // What a cascade did with one linked record.
    enum class LinkedOutcome { Done, Skipped, Failed };
    // Hands every record of this table linked to the parent (by the parent's stored values,
    // or by its values in the buffer) to `take`, each once. Failed ends the walk with
    // LevelNotify; a fatal read is reported and does the same. The buffer and position come
    // back afterwards.
    Level ForEachLinkedRecord(const RelationEntry& parent, bool stored_values,
                              TrackerTransaction& tx, const std::function<LinkedOutcome()>& take);
    // True when this table holds a record linked to the parent's values loaded before the
    // change.
    bool HasLinkedRecord(const RelationEntry& parent_relation);

    std::vector<RelationEntry> relations_;
};

}  // namespace zelt::framework
