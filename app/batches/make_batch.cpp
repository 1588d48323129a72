// The three make batches: tagged applications, a project's applications, a project subset.
#include <algorithm>
#include <optional>

#include "app/batches/batch_engine.hpp"
#include "app/batches/file_services.hpp"
#include "app/batches/flight.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"

namespace zelt::app {

namespace {

AppsRecord FromQueue(const QueueEntry& entry) {
    AppsRecord record{};
    record.DrivenPath = entry.DrivePath;
    record.Application = entry.AppName;
    record.Tag = 0;
    record.Priority = entry.Priority;
    record.Target = entry.Target;
    record.P_Ref = 0;
    return record;
}

QueueEntry ToQueue(const AppsRecord& record) {
    QueueEntry entry;
    entry.AppName = record.Application;
    entry.DrivePath = record.DrivenPath;
    entry.Priority = record.Priority;
    entry.Target = record.Target;
    return entry;
}

// Priority first, then the file name without regard to case, as APP.PriorityKey orders.
bool MakesBefore(const QueueEntry& a, const QueueEntry& b) {
    if (a.Priority != b.Priority) return a.Priority < b.Priority;
    return UpperName(ClipText(a.AppName.View())) < UpperName(ClipText(b.AppName.View()));
}

// The conversation of one item: opened by the item when none is held (it is then closed
// when the item ends, however it ends), or the one the batch holds.
class ItemConversation {
  public:
    explicit ItemConversation(IdeChannel& ide) : ide_(ide), opened_(ide.Connected == 0) {
        if (opened_) ide_.Channel = ide_.Client().OpenConversation(kIdeService, "");
    }
    ~ItemConversation() {
        if (!opened_ || ide_.Channel == 0) return;
        const runtime::ErrorState kept = runtime::CurrentError();
        ide_.Client().CloseConversation(ide_.Channel);
        ide_.Channel = 0;
        runtime::RestoreError(kept);
    }
    ItemConversation(const ItemConversation&) = delete;
    ItemConversation& operator=(const ItemConversation&) = delete;

  private:
    IdeChannel& ide_;
    bool opened_;
};

}  // namespace

BatchSummary BatchEngine::MakeTagged() {
    BatchSummary summary;
    if (!BeginBatch(summary)) return summary;
    NoTargetCount = 0;
    return RunMake(MakeVariant::Tagged, TaggedApplications(), summary);
}

BatchSummary BatchEngine::MakeProject(std::string_view project_name) {
    BatchSummary summary;
    if (!BeginBatch(summary)) return summary;
    NoTargetCount = 0;
    return RunMake(MakeVariant::Project, ProjectApplications(project_name), summary);
}

BatchSummary BatchEngine::MakeSubset() {
    BatchSummary summary;
    if (!BeginBatch(summary)) return summary;
    NoTargetCount = 0;
    // Made by priority; the queue itself stays in name order for the Project Subsets tab.
    std::vector<QueueEntry> by_priority = SubsetTagQueue;
    std::stable_sort(by_priority.begin(), by_priority.end(), MakesBefore);
    std::vector<AppsRecord> items;
    for (const QueueEntry& entry : by_priority) items.push_back(FromQueue(entry));
    return RunMake(MakeVariant::Subset, items, summary);
}

std::vector<AppsRecord> BatchEngine::ProjectApplications(std::string_view project_name) {
    ProcessQueue.clear();
    if (ProjectsManager.Open() == framework::LevelOk) {
        PRO.ProjectName = ClipText(project_name);
        if (ProjectsManager.FetchOrClear(ProjectsTable::ProjectNameKey) == framework::LevelOk) {
            remembered_project_ = PRO.ProjectName.Clip();
        }
        PRO.ProjectName = remembered_project_;
        ProjectsManager.Close();
    } else {
        Projects.ClearRecord();
    }
    APP.P_Ref = PRO.P_Ref;
    Apps.SetKeyKey(AppsTable::P_RefKey);
    while (AppsManager.Next() == framework::LevelOk && APP.P_Ref == PRO.P_Ref) {
        const QueueEntry entry = ToQueue(APP);
        ProcessQueue.insert(
            std::upper_bound(ProcessQueue.begin(), ProcessQueue.end(), entry, MakesBefore), entry);
    }
    std::vector<AppsRecord> items;
    for (const QueueEntry& entry : ProcessQueue) items.push_back(FromQueue(entry));
    return items;
}

BatchSummary BatchEngine::RunMake(MakeVariant variant, const std::vector<AppsRecord>& items,
                                  BatchSummary summary) {
    items_to_do_ = static_cast<int>(items.size());
    window_.BatchItems(items);
    if (ParallelIDEs > 1) {
        MakeInStages(variant, items, summary);
    } else {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (AbortFlag.load() != 0 || log_unusable_) break;
            // A queue emptied meanwhile (the Close button) ends the batch too.
            if (variant == MakeVariant::Project && i >= ProcessQueue.size()) break;
            if (!MakeOne(variant, items[i], summary)) break;
        }
    }
    summary.aborted = AbortFlag.load() != 0;

    EndingBeeps(variant == MakeVariant::Subset);
    CloseSummary(summary);
    ShowStatus(EndStatus(summary.aborted));
    if (NoTargetCount > 0) {
        runtime::MessageRequest box;
        box.text =
            std::to_string(NoTargetCount) +
            " Files with NO target specified were found and were not made.||Check log for details.";
        box.caption = "Warning";
        box.icon = runtime::StockIcon::Question;
        box.buttons = runtime::button::Ok;
        window_.ShowMessageBox(box);
    }
    CloseItemConversation();
    if (variant == MakeVariant::Tagged) window_.Focus(BatchFocus::ApplicationsList);
    CloseBatchTables();
    return summary;
}

std::optional<BatchEngine::Flight> BatchEngine::PrepareItem(MakeVariant variant,
                                                            const AppsRecord& item,
                                                            BatchSummary& summary) {
    const std::string name = item.Application.Clip();
    if (variant == MakeVariant::Tagged) {
        APP = item;
        PrepareNames();
    }
    const std::string full_name =
        runtime::StoredToUtf8(FixedString<130>(item.DrivenPath.Clip() + name).Clip());
    if (!FileExists(runtime::StoredToUtf8(item.DrivenPath.Clip() + name))) {
        LogEvent(name, ".APP not found");
        ++summary.skipped;
        ItemDone();
        return std::nullopt;
    }
    std::string command = MakeCommand(full_name);
    if (SkipUnsafe(name, full_name, command, false, summary)) return std::nullopt;

    channel_.ApplyTimeOut();
    LogEvent(name, "Begin Make");
    const bool no_target = variant == MakeVariant::Tagged ? ClipText(TargetDir.View()).empty() ||
                                                                ClipText(TargetExt.View()).empty()
                                                          : ClipText(item.Target.View()).empty();
    if (no_target) {
        ++NoTargetCount;
        LogEvent(name, "Make Aborted: Target name or type not specified");
        ++summary.skipped;
        ItemDone();
        return std::nullopt;
    }
    Flight flight;
    flight.name = name;
    flight.shown = runtime::StoredToUtf8(name);
    flight.priority = item.Priority;
    flight.target = runtime::StoredToUtf8(item.Target.Clip());
    flight.command = std::move(command);
    // The old target goes first, so that an old build never counts as the new result.
    RemoveThroughDeletionFile(flight.target);
    flight.before = StampOf(flight.target);
    return flight;
}

bool BatchEngine::MakeOne(MakeVariant variant, const AppsRecord& item, BatchSummary& summary) {
    const ItemConversation conversation(channel_);
    const std::optional<Flight> prepared = PrepareItem(variant, item, summary);
    if (!prepared) return true;  // skipped: the batch goes on
    const std::string& name = prepared->name;
    const std::string& shown = prepared->shown;
    const std::string& target = prepared->target;
    const FileStamp& before = prepared->before;
    const std::string& command = prepared->command;
    // Every event so far is on disk before the IDE hears of the item.
    if (!SettleEvents()) return false;
    switch (SendCommand(command)) {
        case Sent::ErrorPath:
            TakeErrorPath(name, "Error Making .App ", summary);
            return false;
        case Sent::Aborted:
            LogAborted(name);
            ItemDone();
            return false;
        case Sent::Acknowledged:
            break;
    }
    const std::string priority = std::to_string(item.Priority);
    const bool subset = variant == MakeVariant::Subset;
    ShowStatus(shown + " DDE Ack. " + (subset ? "" : priority));
    switch (AwaitResult(name, target, [&] { return WrittenSince(before, StampOf(target)); })) {
        case WaitEnd::Seen:
            ShowStatus(shown + (subset ? " Compiled & Made" : " Compiled & Made " + priority));
            LogEvent(name, "Make Finished");
            ++summary.made;
            break;
        case WaitEnd::Failed:
            ++summary.failed;
            break;
        case WaitEnd::Aborted:
            LogAborted(name);
            break;
    }
    ItemDone();
    CloseItemConversation();
    return true;
}

}  // namespace zelt::app
