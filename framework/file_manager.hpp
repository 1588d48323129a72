// FileManager: how the framework uses one table.
//
// It owns the table's open state (nested opens counted, the physical open deferred to the
// first record operation), opens robustly (lock recovery, read-only fallback, creation of a
// missing file, key rebuild), numbers new records automatically, keeps numbered snapshots of
// the record buffer, and turns every failure of a record operation into an error identifier.
// Each operation has a reporting form that raises the error through the ErrorReporter and an
// attempt form that only notes it (LastError) for the caller to report.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/levels.hpp"
#include "runtime/file/table.hpp"

namespace zelt::framework {

class RelationTracker;

struct KeyComponentEntry {
    int Field = 0;          // field number in the table
    std::string FieldName;  // the label, "UPPER(label)" for a text part of a no-case key
    bool Ascend = true;
};

struct KeyEntry {
    int Key = 0;              // key number in the table
    std::string Description;  // named in the duplicate-key message
    std::vector<KeyComponentEntry> Fields;
    int AutoInc = 0;  // position (from 1) of the auto-numbered component, 0: none
    bool Dups = false;
    bool NoCase = false;
};

struct ThreadState {
    std::uint32_t Id = 1;
    bool Used = false;         // physically opened
    std::uint16_t Opened = 0;  // open count
    bool AtEOF = false;
    bool AutoIncDone = false;  // a record was added to reserve auto numbers
    ErrorId LastError{};
};

// How Update reports: not at all, by message, or by the message meant for a form.
enum class UpdateReport : std::uint8_t { Quiet = 0, Report = 1, Form = 2 };

inline constexpr std::uint8_t kDefaultOpenMode = 0x42;  // read/write, deny none

// How a manager opens its table and reads it; Init puts the defaults back.
struct FileSettings {
    // A missing file is created when it is opened. Default: on.
    bool Create = true;
    // The physical open waits for the first record operation. Default: on.
    bool LazyOpen = true;
    // Sent with the driver's "Recover=" command when the file is found locked. Default: 10.
    std::int16_t LockRecover = 10;
    // The runtime's open code: the low bits the access (0 read-only, 1 write-only, 2 read and
    // write), the high bits the sharing (0x40 deny none). Default: kDefaultOpenMode. An open
    // refused for writing falls back to reading and leaves the access bits cleared here.
    std::uint8_t OpenMode = kDefaultOpenMode;
    // Reading in sequence skips records held by another station. Default: off.
    bool SkipHeldRecords = false;
};

class FileManager : public runtime::FileCallback {
  public:
    FileManager() = default;
    ~FileManager() override;
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    FileSettings Settings;
    // The manager of the table that this one is an alias of, or none.
    FileManager* AliasedFile = nullptr;

    void Init(runtime::Table& file, ErrorReporter& errors);
    // Adds a key by its number in the table; a non-zero position makes that component (from
    // 1) auto-numbered.
    void AddKey(int key, std::string_view description, int auto_inc_position = 0);
    virtual void Kill();

    // Counted open: with the repair of damaged keys (Open) or without (AttemptOpen).
    virtual Level Open(bool force = false);
    virtual Level AttemptOpen(bool force = false);
    virtual Level Close();
    // Makes the table usable before a record operation (the deferred physical open).
    Level EnsureOpen(int mode = 0);

    virtual Level Insert();
    virtual Level AttemptInsert();
    virtual Level Update(UpdateReport mode = UpdateReport::Report);
    virtual Level AttemptUpdate();
    virtual Level Next();
    virtual Level AttemptNext();
    virtual Level Previous();
    virtual Level AttemptPrevious();
    virtual Level Fetch(int key);
    virtual Level FetchOrClear(int key);

    virtual Level PrepareRecord(bool keep_buffer = false);
    virtual Level ReserveAutoNumber();
    virtual Level AttemptAutoNumber();
    // Deletes a record added to reserve numbers (an insert that was cancelled), through the
    // tracker when one is given so that its related records go too.
    virtual Level ReleaseAutoNumber(RelationTracker* tracker = nullptr);

    std::int32_t SaveSnapshot();
    // Puts the buffer, memos and position saved under `id` back (when copy_back) and forgets
    // them; `id` becomes 0. Id 0 does nothing.
    void RestoreSnapshot(std::int32_t& id, bool copy_back = true);
    virtual bool SameAsSnapshot(std::int32_t id);

    // The current record's position in the primary key (else in file order); empty when the
    // table cannot be used.
    std::string GetPosition();
    Level RereadByPosition(std::string_view position);

    void NoteError(ErrorId id);
    virtual Level ReportLastError();
    virtual Level Raise(ErrorId id);
    virtual Level RaiseWithMessage(ErrorId id, std::string_view text);

    // Field checks before a write: all accepted unless a derived manager says otherwise.
    virtual Level CheckRecord(int& failed_field);
    virtual Level CheckFields(int low, int high, int& failed_field);
    virtual Level CheckField(int field);
    // Deletes the current record; always LevelOk (the error is left in the runtime's state).
    virtual Level DeleteRecord();
    // Consulted by cascaded deletions: true skips the record.
    virtual bool SkipRecordInCascade() { return false; }
    // Runs once for `Kill`, before the manager lets go of the table.
    virtual void CleanUp() {}

    bool Notify(runtime::FileOp op, runtime::Table& table) override;

    runtime::Table& File() const { return *file_; }
    ErrorReporter& Errors() const { return *errors_; }
    ThreadState& State();
    const std::vector<KeyEntry>& Keys() const { return keys_; }
    bool HasAutoInc() const { return has_auto_inc_; }
    // Position in Keys() (from 1) of the primary key, 0 when none.
    int PrimaryKey() const { return primary_key_; }
    const std::string& FileNameValue() const { return file_name_value_; }
    bool CleanedUp() const { return cleaned_up_; }
    // The file name in effect: the table's name variable, else the declared name.
    std::string CurrentFileName() const;
    // Tells the reporter which file the next message is about.
    void SetFile();

  protected:
    Level OpenCounted(bool repair, bool force);
    Level OpenFile(bool repair);
    Level InsertWith(bool report);
    Level NextOrPrevious(bool next, bool report);
    Level AutoNumber(bool report);

  private:
    // Finds the first unique key that the buffer duplicates; its description, or empty.
    std::string DuplicatedKeyDescription(bool numbered_keys);
    std::int64_t NextAutoValue(const KeyEntry& key, bool& failed, bool report, Level& level);
    // Builds every key of the table behind a progress window that can cancel the build.
    runtime::ErrorCode RebuildKeys();

    runtime::Table* file_ = nullptr;
    ErrorReporter* errors_ = nullptr;
    std::string file_name_value_;
    std::vector<KeyEntry> keys_;
    bool has_auto_inc_ = false;
    int primary_key_ = 0;
    std::mutex state_mutex_;
    std::deque<ThreadState> info_;
    struct Snapshot {
        std::int32_t Id;
        std::string Buffer;
    };
    std::vector<Snapshot> buffers_;
    bool in_use_file_ = false, in_callback_ = false, in_close_ = false, in_restore_ = false;
    bool cleaned_up_ = false;
    bool duplicate_while_numbering_ = false;
};

}  // namespace zelt::framework
