#include "app/batches/batch_engine.hpp"

#include <algorithm>

#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::app {

PreparedNames PrepareNames(const AppsRecord& app) {
    PreparedNames names;
    const std::string application = app.Application.Clip();
    names.BaseName = std::string_view(application).substr(0, application.find('.'));
    const std::string_view target = ClipText(app.Target.View());
    const auto point = target.find('.');
    names.TargetExt = point == std::string_view::npos ? target.substr(0, 3) : target.substr(point + 1, 3);
    if (!target.empty() && !ClipText(names.TargetExt.View()).empty()) {
        const auto slash = target.rfind('/');
        if (slash != std::string_view::npos) names.TargetDir = target.substr(0, slash + 1);
    }
    return names;
}

int BatchSummary::ExitStatus() const {
    if (could_not_run) return 2;
    if (skipped > 0 || failed > 0 || aborted || answered_no) return 1;
    return 0;
}

BatchEngine::BatchEngine(IdeChannel& channel, BatchWindow& window) : channel_(channel), window_(window) {}

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
    const runtime::ErrorCode code = AppendEvent(name, text);
    if (code == runtime::err::NoError) {
        window_.EventLogged(TMP);
        return true;
    }
    const std::string error_text = runtime::CurrentErrorText();
    ShowStatus("Log not written: " + std::to_string(code));
    window_.EventNotLogged(TMP, code, error_text);
    return false;
}

std::int64_t BatchEngine::WaitLimitMs() const {
    if (WaitLimitSeconds > 0) return WaitLimitSeconds * 1000;
    return std::int64_t{WaitMinutes} * 60000;
}

bool BatchEngine::IsSubsetTagged(std::string_view app_name) const {
    const std::string_view name = ClipText(app_name);
    return std::any_of(SubsetTagQueue.begin(), SubsetTagQueue.end(), [&](const QueueEntry& e) {
        return ClipText(e.AppName.View()) == name;
    });
}

bool BatchEngine::ToggleSubsetTag(const QueueEntry& entry) {
    const std::string_view name = ClipText(entry.AppName.View());
    const auto found = std::find_if(SubsetTagQueue.begin(), SubsetTagQueue.end(),
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

namespace {
BatchSummary NotBuiltYet() {
    BatchSummary summary;
    summary.could_not_run = true;
    summary.reason = "this batch is not built yet";
    return summary;
}
}  // namespace

BatchSummary BatchEngine::MakeTagged() { return NotBuiltYet(); }
BatchSummary BatchEngine::MakeProject(std::string_view) { return NotBuiltYet(); }
BatchSummary BatchEngine::MakeSubset() { return NotBuiltYet(); }
BatchSummary BatchEngine::ImportDictionaries() { return NotBuiltYet(); }
BatchSummary BatchEngine::ImportApplications() { return NotBuiltYet(); }
BatchSummary BatchEngine::ExportApplications() { return NotBuiltYet(); }
BatchSummary BatchEngine::ExportDictionaries() { return NotBuiltYet(); }

}  // namespace zelt::app
