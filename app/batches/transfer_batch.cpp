// The four import and export batches: each tagged application's dictionary or application
// file converted to or from its text form by the IDE, beside the application file.
#include <map>

#include "app/batches/batch_engine.hpp"
#include "app/batches/file_services.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {

struct BatchEngine::Transfer {
    bool import = false;
    const char* confirmation;  // the question an import asks first
    const char* source_ext;
    const char* result_ext;
    const char* missing;  // events
    const char* begin;
    const char* finished;
    const char* error_message;  // the error path's message, before the code
    std::string (*command)(std::string_view full_name);
    // Status texts while sending and after the acknowledgement.
    std::string (*sending)(const std::string& app, const std::string& priority);
    std::string (*acknowledged)(const std::string& app, const std::string& priority);
};

namespace {

std::string Importing(const std::string& app, const std::string&) {
    return "Importing " + app;
}
std::string Imported(const std::string& app, const std::string&) {
    return app + " Imported.";
}
std::string Exporting(const std::string& app, const std::string& priority) {
    return "Exporting " + app + ": " + priority;
}
std::string ExportAcknowledged(const std::string& app, const std::string& priority) {
    return app + " DDE Ack: " + priority;
}
std::string Exported(const std::string& app, const std::string&) {
    return app + " Exported.";
}

}  // namespace

BatchSummary BatchEngine::ImportDictionaries() {
    static const Transfer kind{true,
                               "Are you sure you want to import .TXD?",
                               ".TXD",
                               ".DCT",
                               ".TXD not found",
                               "Begin DCT Import",
                               "Import DCT Finished",
                               "Error Importing .DCT ",
                               ImportDictionaryCommand,
                               Importing,
                               Imported};
    return RunTransfer(kind);
}

BatchSummary BatchEngine::ImportApplications() {
    static const Transfer kind{true,
                               "Are you sure you want to import .TXA into .APP?",
                               ".TXA",
                               ".APP",
                               ".TXA not found",
                               "Begin APP Import",
                               "Import APP Finished",
                               "Error Making .App ",
                               ImportApplicationCommand,
                               Importing,
                               Imported};
    return RunTransfer(kind);
}

BatchSummary BatchEngine::ExportApplications() {
    static const Transfer kind{false,
                               nullptr,
                               ".APP",
                               ".TXA",
                               ".APP not found",
                               "Begin APP Export",
                               "Export APP Finished",
                               "Error Exporting .App ",
                               ExportApplicationCommand,
                               Exporting,
                               ExportAcknowledged};
    return RunTransfer(kind);
}

BatchSummary BatchEngine::ExportDictionaries() {
    static const Transfer kind{false,
                               nullptr,
                               ".DCT",
                               ".TXD",
                               ".DCT not found",
                               "Begin DCT Export",
                               "Export DCT Finished",
                               "Error Exporting .DCT ",
                               ExportDictionaryCommand,
                               Exporting,
                               Exported};
    return RunTransfer(kind);
}

BatchSummary BatchEngine::RunTransfer(const Transfer& kind) {
    BatchSummary summary;
    if (kind.import) {
        runtime::MessageRequest box;
        box.text = kind.confirmation;
        box.caption = "Confirm";
        box.icon = runtime::StockIcon::Exclamation;
        box.buttons = runtime::button::Yes | runtime::button::No;
        box.default_button = runtime::button::No;
        if (window_.ShowMessageBox(box) != runtime::button::Yes) {
            window_.Focus(BatchFocus::ApplicationsList);
            summary.answered_no = true;
            return summary;
        }
    }
    if (!BeginBatch(summary)) return summary;
    const std::vector<AppsRecord> tagged = TaggedApplications();
    items_to_do_ = static_cast<int>(tagged.size());
    window_.BatchItems(tagged);
    for (const AppsRecord& record : tagged) {
        if (AbortFlag.load() != 0 || log_unusable_) break;
        APP = record;
        if (!TransferOne(kind, summary)) break;
    }
    summary.aborted = AbortFlag.load() != 0;

    EndingBeeps(false);
    CloseSummary(summary);
    ShowStatus(EndStatus(summary.aborted));
    channel_.Client().CloseConversation(channel_.Channel);
    window_.Focus(BatchFocus::ApplicationsList);
    CloseBatchTables();
    return summary;
}

bool BatchEngine::TransferOne(const Transfer& kind, BatchSummary& summary) {
    const std::string app = APP.Application.Clip();
    PrepareNames();
    // The record's texts are stored text; the file system and the IDE take UTF-8.
    const std::string folder = runtime::StoredToUtf8(APP.DrivenPath.Clip());
    const std::string base = runtime::StoredToUtf8(BaseName.Clip());
    const std::string shown = runtime::StoredToUtf8(app);
    FileQueue = ListFiles(folder + base + kind.source_ext);
    if (FileQueue.empty()) {
        LogEvent(app, kind.missing);
        ++summary.skipped;
        ItemDone();
        return true;
    }
    FileQueue.clear();
    const std::string full_name =
        runtime::StoredToUtf8(FixedString<130>(APP.DrivenPath.Clip() + BaseName.Clip()).Clip());
    const std::string command = kind.command(full_name);
    // The imports name their destination bare, where a comma would end it.
    if (SkipUnsafe(app, full_name, command, kind.import, summary)) return true;
    channel_.ApplyTimeOut();
    LogEvent(app, kind.begin);

    const std::string result_path = folder + base + kind.result_ext;
    if (!kind.import) RemoveThroughDeletionFile(result_path);
    // What the folder held before the command: only a result written after it counts.
    const std::string mask = folder + "*" + kind.result_ext;
    const std::string result_name = UpperName(base + kind.result_ext);
    std::map<std::string, FileStamp> before;
    for (const FileQueueEntry& file : ListFiles(mask))
        before[file.Name] = StampOf(folder + file.Name);
    const std::string& watched = result_path;
    const FileStamp watched_before = StampOf(watched);

    const std::string priority = std::to_string(APP.Priority);
    ShowStatus(kind.sending(shown, priority));
    // Every event so far is on disk before the IDE hears of the item.
    if (!SettleEvents()) return false;
    switch (SendCommand(command)) {
        case Sent::ErrorPath:
            TakeErrorPath(app, kind.error_message, summary);
            return false;
        case Sent::Aborted:
            LogAborted(app);
            ItemDone();
            return false;
        case Sent::Acknowledged:
            break;
    }
    ShowStatus(kind.acknowledged(shown, priority));

    // LastSize, and when it was first seen: no size seen yet in this export.
    std::int64_t last_size = -1;
    timespec last_modified{};
    std::int64_t steady_since_ms = 0;
    const runtime::ClockSource& clock = runtime::CurrentClockSource();
    const auto imported = [&] {
        FileQueue = ListFiles(mask);
        for (const FileQueueEntry& file : FileQueue) {
            if (UpperName(file.Name) != result_name) continue;
            const auto old = before.find(file.Name);
            if (WrittenSince(old == before.end() ? FileStamp{} : old->second,
                             StampOf(folder + file.Name)))
                return true;
        }
        return false;
    };
    const auto exported = [&] {
        const FileStamp now = StampOf(watched);
        if (!WrittenSince(watched_before, now)) return false;
        const std::int64_t now_ms = clock.MonotonicMs();
        if (now.size == last_size && now.modified.tv_sec == last_modified.tv_sec &&
            now.modified.tv_nsec == last_modified.tv_nsec) {
            // Two looks in one wake say nothing: an IDE that writes in pieces may pause.
            return now_ms - steady_since_ms >= kSteadyResultMs;
        }
        last_size = now.size;
        last_modified = now.modified;
        steady_since_ms = now_ms;
        return false;
    };
    const WaitEnd end =
        kind.import ? AwaitResult(app, watched, imported) : AwaitResult(app, watched, exported);
    if (end == WaitEnd::Seen) {
        LogEvent(app, kind.finished);
        ++summary.made;
    } else if (end == WaitEnd::Failed) {
        ++summary.failed;
    } else {
        LogAborted(app);
    }
    ItemDone();
    return true;
}

}  // namespace zelt::app
