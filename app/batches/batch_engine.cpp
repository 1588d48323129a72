#include "app/batches/batch_engine.hpp"

#include <algorithm>

#include "app/batches/file_services.hpp"
#include "app/batches/result_watch.hpp"
#include "app/catalogue/busy_retry.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {

PreparedNames PrepareNames(const AppsRecord& app) {
    PreparedNames names;
    const std::string application = app.Application.Clip();
    names.BaseName = std::string_view(application).substr(0, application.find('.'));
    const std::string_view target = ClipText(app.Target.View());
    const auto point = target.find('.');
    names.TargetExt =
        point == std::string_view::npos ? target.substr(0, 3) : target.substr(point + 1, 3);
    if (!target.empty() && !ClipText(names.TargetExt.View()).empty()) {
        const auto slash = target.rfind('/');
        if (slash != std::string_view::npos) names.TargetDir = target.substr(0, slash + 1);
    }
    return names;
}

int BatchSummary::ExitStatus() const {
    if (could_not_run || log_unusable) return 2;
    if (skipped > 0 || failed > 0 || events_lost > 0 || aborted || answered_no) return 1;
    return 0;
}

BatchEngine::BatchEngine(IdeChannel& channel, BatchWindow& window)
    : channel_(channel), window_(window) {}

void BatchEngine::PrepareNames() {
    const PreparedNames names = app::PrepareNames(APP);
    BaseName = names.BaseName;
    TargetExt = names.TargetExt;
    TargetDir = names.TargetDir;
}

void BatchEngine::ShowStatus(std::string_view text) {
    channel_.SetStatus(text);
    window_.Redisplay();
}

bool BatchEngine::LogEvent(std::string_view name, std::string_view text) {
    if (log_unusable_) {
        // Nothing more reaches the log in this batch; the window still hears of the event.
        EventWriter lost;
        const TempFileRecord event = lost.Take(name, text);
        ++events_lost_;
        window_.EventNotLogged(event, log_failure_code_, log_failure_);
        return false;
    }
    events_.Take(name, text);
    SettleEventsWhenDue();
    return !log_unusable_;
}

bool BatchEngine::SettleEvents() {
    if (!events_.Pending()) return !log_unusable_;
    const EventWriter::Flushed done = events_.Flush();
    if (done.outcome == EventWriter::Outcome::Written) {
        for (const TempFileRecord& event : done.events) window_.EventLogged(event);
        return !log_unusable_;
    }
    events_lost_ += static_cast<int>(done.events.size());
    const runtime::ErrorState kept = runtime::CurrentError();
    ShowStatus("Log not written: " + std::to_string(done.code));
    for (const TempFileRecord& event : done.events)
        window_.EventNotLogged(event, done.code, done.text);
    if (done.outcome == EventWriter::Outcome::Unusable) {
        log_unusable_ = true;
        log_failure_code_ = done.code;
        log_failure_ = "The activity log " + TempFile.FileName() + " cannot be written: error " +
                       std::to_string(done.code) + " " + std::string(ClipText(done.text));
        runtime::MessageRequest box;
        box.text = log_failure_ + ".||The batch stops here.";
        box.caption = "Processing Terminated";
        box.icon = runtime::StockIcon::Hand;
        box.buttons = runtime::button::Ok;
        window_.ShowMessageBox(box);
    }
    runtime::RestoreError(kept);
    return !log_unusable_;
}

void BatchEngine::SettleEventsWhenDue() {
    if (events_.Due()) SettleEvents();
}

void BatchEngine::CloseSummary(BatchSummary& summary) const {
    summary.not_attempted = std::max(0, items_to_do_ - items_done_);
    summary.events_lost = events_lost_;
    if (log_unusable_) {
        summary.log_unusable = true;
        summary.reason = log_failure_;
    }
}

std::int64_t BatchEngine::WaitLimitMs() const {
    if (WaitLimitSeconds > 0) return WaitLimitSeconds * 1000;
    return std::int64_t{WaitMinutes} * 60000;
}

bool BatchEngine::IsSubsetTagged(std::string_view app_name) const {
    const std::string_view name = ClipText(app_name);
    return std::any_of(SubsetTagQueue.begin(), SubsetTagQueue.end(),
                       [&](const QueueEntry& e) { return ClipText(e.AppName.View()) == name; });
}

bool BatchEngine::ToggleSubsetTag(const QueueEntry& entry) {
    const std::string_view name = ClipText(entry.AppName.View());
    const auto found =
        std::find_if(SubsetTagQueue.begin(), SubsetTagQueue.end(),
                     [&](const QueueEntry& e) { return ClipText(e.AppName.View()) == name; });
    if (found != SubsetTagQueue.end()) {
        SubsetTagQueue.erase(found);
        return false;
    }
    const auto at = std::upper_bound(SubsetTagQueue.begin(), SubsetTagQueue.end(), entry,
                                     [](const QueueEntry& a, const QueueEntry& b) {
                                         return a.AppName.View() < b.AppName.View();
                                     });
    SubsetTagQueue.insert(at, entry);
    return true;
}

void BatchEngine::CloseButton() {
    ProcessQueue.clear();
    FileQueue.clear();
    SubsetTagQueue.clear();
    AbortFlag.store(1);
}

// --- Steps shared by every batch ---------------------------------------------------------

namespace {

std::string ErrorEventText() {
    return "Error " + std::to_string(runtime::CurrentErrorCode()) + " " +
           std::string(ClipText(runtime::CurrentErrorText()));
}

// Why `text` cannot stand in a command, or nothing.
const char* UnsafeCharacter(std::string_view text, bool bare_argument) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"') return "a double quote";
        if (c == '[' || c == ']') return "a square bracket";
        if (u < 0x20 || u == 0x7f) return "a control character";
        if (bare_argument && c == ',') return "a comma";
    }
    return nullptr;
}

}  // namespace

bool BatchEngine::BeginBatch(BatchSummary& summary) {
    const auto cannot_run = [&](std::string reason) {
        summary.could_not_run = true;
        summary.reason = std::move(reason);
        return false;
    };
    OpenWhenFree(TempFileManager);  // another ZELT may be committing to the log
    if (TempFileRelations.OpenAll() != framework::LevelOk ||
        TempFileManager.EnsureOpen() != framework::LevelOk) {
        std::string reason = "The activity log cannot be opened: " + runtime::CurrentErrorText();
        TempFileRelations.CloseAll();
        return cannot_run(std::move(reason));
    }
    if ((TempFileManager.Settings.OpenMode & 0x0F) == 0) {
        // Opened for reading only: not one event of the batch could be written.
        TempFileRelations.CloseAll();
        return cannot_run("The activity log " + TempFile.FileName() +
                          " can only be read, and the batch would write to it");
    }
    if (AppsManager.Open() != framework::LevelOk ||
        AppsManager.EnsureOpen() != framework::LevelOk) {
        std::string reason = "The applications cannot be opened: " + runtime::CurrentErrorText();
        AppsManager.Close();
        TempFileRelations.CloseAll();
        return cannot_run(std::move(reason));
    }
    channel_.ApplyTimeOut();
    AbortFlag.store(0);
    ide_gone_ = false;
    items_done_ = 0;
    items_to_do_ = 0;
    events_lost_ = 0;
    log_unusable_ = false;
    log_failure_.clear();
    if (!channel_.ConnectToIde()) {
        const bool aborted = AbortFlag.load() != 0;  // given up while the IDE was starting
        const std::string reason =
            channel_.FailureReason.empty() ? "Vextor could not be reached" : channel_.FailureReason;
        LogEvent(kIdeEventName, aborted
                                    ? "Aborted: the batch was cancelled while Vextor was starting"
                                    : "Not run: " + reason);
        SettleEvents();
        CloseBatchTables();
        if (aborted) {
            summary.aborted = true;
            ShowStatus("Processing Aborted");
            return false;
        }
        return cannot_run(reason);
    }
    return true;
}

void BatchEngine::CloseBatchTables() {
    AppsManager.Close();
    TempFileRelations.CloseAll();
}

std::vector<AppsRecord> BatchEngine::TaggedApplications() {
    std::vector<AppsRecord> tagged;
    APP.Priority = 0;  // from the lowest priority on, whatever the buffer held
    Apps.SetKeyKey(AppsTable::PriorityKey);
    while (AppsManager.Next() == framework::LevelOk) {
        if (APP.Tag == 1) tagged.push_back(APP);
    }
    return tagged;
}

BatchEngine::Sent BatchEngine::SendCommand(const std::string& command) {
    SettleEventsWhenDue();
    if (channel_.Channel == 0) {
        // No conversation: the command cannot go anywhere, and waiting for its result would
        // only run into the limit.
        runtime::PostError(runtime::err::DdeChannelNotOpen);
    } else {
        channel_.Client().ExecuteCommand(channel_.Channel, command);
    }
    // Cancelled (or signalled) while the IDE held its answer: the item is left as it is.
    if (AbortFlag.load() != 0) return Sent::Aborted;
    if (channel_.Client().LastCommandFault().kind == runtime::CommandFault::Kind::PartnerGone)
        ide_gone_ = true;
    // The check may show a message; the log is not held meanwhile.
    if (runtime::CurrentErrorCode() > 600) SettleEvents();
    channel_.CheckChannelResult();
    return runtime::CurrentErrorCode() != runtime::err::NoError ? Sent::ErrorPath
                                                                : Sent::Acknowledged;
}

BatchEngine::WaitEnd BatchEngine::AwaitResult(std::string_view name, const std::string& result_path,
                                              const std::function<bool()>& seen) {
    const runtime::ClockSource& clock = runtime::CurrentClockSource();
    const std::int64_t start = clock.MonotonicMs();
    const std::int64_t limit = WaitLimitMs();
    bool watching = false;  // set up only when the result is not there at once
    for (;;) {
        if (AbortFlag.load() != 0) return WaitEnd::Aborted;
        if (seen()) return WaitEnd::Seen;
        if (!watching) {
            // A result that came after the first look and before the watch would wake no
            // one: look once more now that the watch is there.
            watching = true;
            watch_.Follow(result_path);
            watch_.Drain();
            if (seen()) return WaitEnd::Seen;
        }
        if (channel_.IdeGone()) {
            ide_gone_ = true;
            runtime::PostError(runtime::err::DdeChannelNotOpen);
            ShowStatus("Vextor went away");
            LogEvent(name, ErrorEventText() + ": Vextor went away");
            return WaitEnd::Failed;
        }
        const std::int64_t waited = clock.MonotonicMs() - start;
        const bool error_set = runtime::CurrentErrorCode() != runtime::err::NoError;
        if (error_set && waited >= kErrorWaitMs) {
            LogEvent(name, ErrorEventText());
            return WaitEnd::Failed;
        }
        if (limit > 0 && waited >= limit) {
            if (error_set) LogEvent(name, ErrorEventText());
            LogEvent(name, "Wait limit reached");
            return WaitEnd::Failed;
        }
        channel_.CheckChannelResult();
        SettleEvents();
        window_.WaitForResult({watch_.Descriptor(), kResultTickMs, result_path});
        watch_.Drain();
        channel_.Client().ProcessPending();
    }
}

void BatchEngine::TakeErrorPath(std::string_view name, std::string_view message,
                                BatchSummary& summary) {
    const runtime::ErrorCode code = runtime::CurrentErrorCode();
    const std::string event = ErrorEventText();
    SettleEvents();
    if (code < 600) {
        runtime::MessageRequest box;
        box.text = std::string(message) + std::to_string(code) + " " +
                   std::string(ClipText(runtime::CurrentErrorText()));
        box.caption = "Processing Terminated";
        box.icon = runtime::StockIcon::Question;
        box.buttons = runtime::button::Ok;
        window_.ShowMessageBox(box);
    }
    LogEvent(name, event);
    ++summary.failed;
    ItemDone();
}

bool BatchEngine::SkipUnsafe(std::string_view name, std::string_view full_name,
                             const std::string& command, bool bare_argument,
                             BatchSummary& summary) {
    std::string why;
    if (const char* character = UnsafeCharacter(full_name, bare_argument)) {
        why = std::string("Skipped: path or name holds ") + character;
    } else if (ClipText(command).empty() || ClipText(command).back() != ']') {
        // Cut at 255 characters: the closing bracket, the only one it may hold, was lost.
        why = "Skipped: path too long for the command";
    } else {
        return false;
    }
    LogEvent(name, why);
    ++summary.skipped;
    ItemDone();
    return true;
}

void BatchEngine::CloseItemConversation() {
    if (channel_.Channel != 0) channel_.Client().CloseConversation(channel_.Channel);
    channel_.Channel = 0;
    channel_.Connected = 0;
}

void BatchEngine::LogAborted(std::string_view name) {
    LogEvent(name, "Aborted: the batch was cancelled");
}

std::string BatchEngine::EndStatus(bool aborted) const {
    if (log_unusable_) return "Stopped: log not written";
    if (aborted) return "Processing Aborted";
    return ide_gone_ ? "Ended: Vextor went away" : "Processing Complete";
}

void BatchEngine::EndingBeeps(bool focus_subsets) {
    SettleEvents();
    TempFile.ClearRecord();
    window_.Beep();
    window_.Activate();
    if (focus_subsets) window_.Focus(BatchFocus::ProjectSubsetsTab);
    window_.Beep();
}

void BatchEngine::ItemDone() {
    window_.Progress(++items_done_, items_to_do_);
}

}  // namespace zelt::app
