// What windows and browses do with the record buffer of a table: the surface of a table's
// file manager and relation tracker that forms and lists use, so that they can be driven
// by the real managers or by a stand-in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/levels.hpp"

namespace zelt::framework {

using SnapshotId = std::int32_t;  // 0 = none

// Numbered snapshots of a record buffer.
class RecordSnapshots {
  public:
    virtual ~RecordSnapshots() = default;
    virtual SnapshotId SaveSnapshot() = 0;
    // Puts the buffer saved under `id` back (when copy_back) and forgets it; `id` becomes 0.
    // Id 0 does nothing.
    virtual void RestoreSnapshot(SnapshotId& id, bool copy_back = true) = 0;
    // True when the buffer equals the snapshot (true for id 0: nothing to compare with).
    virtual bool SameAsSnapshot(SnapshotId id) = 0;
};

// The primary table of a form or a browse, reached through its relation tracker.
class PrimaryRecord : public RecordSnapshots {
  public:
    // Makes the table physically usable (the deferred open).
    virtual Level EnsureOpen() = 0;
    // Remembers the linking values loaded, for a later update.
    virtual void SaveLinks() = 0;
    // Blanks the record buffer.
    virtual void ClearRecord() = 0;
    // Prepares a new record: clears the buffer unless keep_buffer, then reserves its
    // automatic numbers (a browse does it before it calls its insert form).
    virtual Level PrepareRecord(bool keep_buffer) = 0;
    // Reserves automatic numbers again for the new record in the buffer.
    virtual Level ReserveAutoNumber() = 0;
    // Deletes the record added to reserve numbers, with its related records.
    virtual Level ReleaseAutoNumber() = 0;
    // Adds the buffer as a new record, reporting a failure.
    virtual Level Insert() = 0;
    // Writes the changed record with integrity; from_form picks the message that points to
    // the history key. LevelOk, LevelNotify (changed elsewhere or refused) or LevelAsk.
    virtual Level Update(bool from_form) = 0;
    // Deletes the current record with integrity, asking first when `ask`.
    virtual Level Delete(bool ask) = 0;
    // The current record's position, and reading a record back by it.
    virtual std::string Position() = 0;
    virtual Level Reread(std::string_view position) = 0;
    // The driver's read-ahead while a list fills many rows.
    virtual void SetQuickScan(bool on) { (void)on; }
    // Sizes a report measures its progress by: the records in the table (0 when the driver
    // cannot count them), the table's size in bytes, and the size of one record.
    virtual std::int64_t RecordCount() { return 0; }
    virtual std::int64_t FileBytes() { return 0; }
    virtual std::int64_t RecordBytes() { return 0; }
};

}  // namespace zelt::framework
