// The primary table of a form or browse as its relation tracker and file manager keep it.
//
//   TrackedRecord apps(relate_apps);      // relate_apps: the RelationTracker of APPS
//   form.Primary = &apps;
#pragma once

#include "framework/file_manager.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/primary_record.hpp"

namespace zelt::framework {

class TrackedRecord final : public PrimaryRecord {
  public:
    explicit TrackedRecord(RelationTracker& tracker) : tracker_(tracker) {}

    RelationTracker& Tracker() const { return tracker_; }
    FileManager& Manager() const { return *tracker_.Me; }

    SnapshotId SaveSnapshot() override { return Manager().SaveSnapshot(); }
    void RestoreSnapshot(SnapshotId& id, bool copy_back = true) override {
        Manager().RestoreSnapshot(id, copy_back);
    }
    bool SameAsSnapshot(SnapshotId id) override { return id == 0 || Manager().SameAsSnapshot(id); }

    Level EnsureOpen() override { return Manager().EnsureOpen(); }
    void SaveLinks() override { tracker_.SaveLinks(); }
    void ClearRecord() override { Manager().File().ClearRecord(); }
    Level PrepareRecord(bool keep_buffer) override { return Manager().PrepareRecord(keep_buffer); }
    Level ReserveAutoNumber() override { return Manager().ReserveAutoNumber(); }
    Level ReleaseAutoNumber() override { return tracker_.ReleaseAutoNumber(); }
    Level Insert() override { return Manager().Insert(); }
    Level Update(bool from_form) override { return tracker_.Update(from_form); }
    Level Delete(bool ask) override { return tracker_.Delete(ask); }
    std::string Position() override { return Manager().GetPosition(); }
    Level Reread(std::string_view position) override {
        return Manager().RereadByPosition(position);
    }
    void SetQuickScan(bool on) override { tracker_.SetQuickScan(on); }
    std::int64_t RecordCount() override { return Manager().File().Records(); }
    std::int64_t FileBytes() override { return Manager().File().Bytes(); }
    std::int64_t RecordBytes() override {
        return static_cast<std::int64_t>(Manager().File().Record().size());
    }

  private:
    RelationTracker& tracker_;
};

// A secondary table whose buffer a form keeps (WindowController::AddUpdateFile).
class ManagedSnapshots final : public RecordSnapshots {
  public:
    explicit ManagedSnapshots(FileManager& manager) : manager_(manager) {}
    SnapshotId SaveSnapshot() override { return manager_.SaveSnapshot(); }
    void RestoreSnapshot(SnapshotId& id, bool copy_back = true) override {
        manager_.RestoreSnapshot(id, copy_back);
    }
    bool SameAsSnapshot(SnapshotId id) override { return id == 0 || manager_.SameAsSnapshot(id); }

  private:
    FileManager& manager_;
};

}  // namespace zelt::framework
