#include "app/headless/headless_run.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "app/batches/batch_engine.hpp"
#include "app/catalogue/busy_retry.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/headless/catalogue_listing.hpp"
#include "app/headless/console_batch_window.hpp"
#include "app/headless/console_messages.hpp"
#include "app/headless/exit_on_signal.hpp"
#include "app/headless/history_listing.hpp"
#include "app/headless/junit_report.hpp"
#include "app/headless/log_listing.hpp"
#include "app/headless/report_text.hpp"
#include "app/headless/table_creation_lock.hpp"
#include "app/headless/termination_signals.hpp"
#include "app/ide/ide_channel.hpp"
#include "app/settings/opening_steps.hpp"
#include "app/settings/settings_file.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {
namespace {

constexpr int kFinished = 0;
constexpr int kCouldNotRun = 2;

int CouldNotRun(const std::string& why) {
    WriteLine(stderr, "zelt: " + why);
    return kCouldNotRun;
}

// The name of a batch in its reports, as the command line gives it.
std::string BatchName(const HeadlessOptions& options) {
    switch (options.command) {
        case HeadlessCommand::MakeTagged:
            return "make tagged";
        case HeadlessCommand::MakeProject:
            return "make project " + options.project;
        case HeadlessCommand::MakeSubset:
            return "make subset";
        case HeadlessCommand::ImportDct:
            return "import dct";
        case HeadlessCommand::ImportApp:
            return "import app";
        case HeadlessCommand::ExportApp:
            return "export app";
        case HeadlessCommand::ExportDct:
            return "export dct";
        default:
            return "zelt";
    }
}

// Writes the batch's JUnit report when one was asked for; the exit status stays the
// batch's, but a report that cannot be written is told and makes it at least 1.
int WriteJUnit(const HeadlessOptions& options, const BatchRecord& record,
               const runtime::LocalDateTime& started, int status) {
    if (options.junit_path.empty()) return status;
    std::vector<CatalogueEntry> catalogue;
    std::string error;
    if (!record.Items().empty() && !ReadCatalogue(catalogue, &error)) {
        WriteLine(stderr, error + "; the report names no projects");
    }
    const ProjectOf project_of = [&catalogue](const AppsRecord& app) {
        const CatalogueEntry* entry = FindEntry(catalogue, app);
        return entry && entry->in_project ? ReportText(entry->project) : std::string("catalogue");
    };
    if (!WriteReportFile(options.junit_path, JUnitReport(record, project_of, started), &error)) {
        WriteLine(stderr, "zelt: the JUnit report was not written: " + error);
        return status == 0 ? 1 : status;
    }
    return status;
}

// A batch that cannot run still leaves its report, with the reason (`told`: the reason was
// already printed).
int BatchNotRun(const HeadlessOptions& options, const std::string& why, bool told = false) {
    const int status = told ? kCouldNotRun : CouldNotRun(why);
    if (!IsBatch(options.command)) return status;
    BatchRecord record(BatchName(options));
    BatchSummary summary;
    summary.could_not_run = true;
    summary.reason = why;
    record.Finish(summary, 0);
    return WriteJUnit(options, record, runtime::CurrentClockSource().Now(), status);
}

// True when the report's folder takes a new file, so that a long batch does not end
// without the report it was asked for.
bool ReportWritable(const std::string& path) {
    const std::string probe = path + ".partial";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) return false;
    std::fclose(file);
    std::remove(probe.c_str());
    return true;
}

// Opens and closes the table once, so that a table that cannot be used stops the run before
// any batch starts; the reason is the runtime's error text.
bool Usable(framework::FileManager& manager) {
    const TableCreationLock creating(manager.File().FileName());
    if (!creating.Held()) {
        WriteLine(stderr, "zelt: another ZELT is creating the table " + manager.File().FileName() +
                              "; try again once it has started");
        return false;
    }
    OpenWhenFree(manager);
    runtime::ClearError();
    const framework::Level level = manager.AttemptOpen(true);
    if (level != framework::LevelOk) {
        WriteLine(stderr, "zelt: the table " + manager.File().FileName() +
                              " cannot be opened: " + runtime::CurrentErrorText() + " (error " +
                              std::to_string(runtime::CurrentErrorCode()) + ")");
        return false;
    }
    manager.Close();
    return true;
}

std::string Summary(const BatchSummary& s) {
    if (s.could_not_run)
        return "the batch could not run" + (s.reason.empty() ? "" : ": " + s.reason);
    std::string text = std::to_string(s.made) + " finished, " + std::to_string(s.skipped) +
                       " skipped, " + std::to_string(s.failed) + " failed";
    if (s.not_attempted > 0) text += ", " + std::to_string(s.not_attempted) + " not attempted";
    if (s.events_lost > 0)
        text += "; " + std::to_string(s.events_lost) +
                (s.events_lost == 1 ? " event was" : " events were") +
                " not written to the activity log";
    if (s.log_unusable) text += "; stopped: " + s.reason;
    if (s.aborted) text += "; aborted";
    if (s.answered_no) text += "; the question was not answered Yes, nothing was done";
    return text;
}

// --make project NAME: the project must exist, or nothing would be made and nothing said.
// The name is stored text.
bool KnownProject(const std::string& name) {
    if (ProjectsManager.Open() != framework::LevelOk) return false;
    PRO.ProjectName = runtime::ClipText(name);
    const bool found =
        ProjectsManager.FetchOrClear(ProjectsTable::ProjectNameKey) == framework::LevelOk;
    ProjectsManager.Close();
    if (!found) {
        WriteLine(stderr, "zelt: there is no project named \"" + runtime::StoredToUtf8(name) +
                              "\" in " + ProjectsManager.File().FileName());
    }
    return found;
}

// The PDF report of --print-log, removed when a signal ends the run while it is written: a
// file that was not there before, or one that this run has changed.
std::function<void()> RemoveHalfWritten(const std::string& path) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    return [path, existed, before] {
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0) return;
        if (!existed || now.st_ino != before.st_ino ||
            now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != before.st_mtim.tv_nsec || now.st_size != before.st_size)
            ::unlink(path.c_str());
    };
}

BatchSummary RunCommand(BatchEngine& engine, const HeadlessOptions& options) {
    switch (options.command) {
        case HeadlessCommand::MakeTagged:
            return engine.MakeTagged();
        case HeadlessCommand::MakeProject:
            return engine.MakeProject(options.project);
        case HeadlessCommand::MakeSubset:
            return engine.MakeSubset();
        case HeadlessCommand::ImportDct:
            return engine.ImportDictionaries();
        case HeadlessCommand::ImportApp:
            return engine.ImportApplications();
        case HeadlessCommand::ExportApp:
            return engine.ExportApplications();
        case HeadlessCommand::ExportDct:
            return engine.ExportDictionaries();
        default:
            break;
    }
    BatchSummary none;
    none.could_not_run = true;
    none.reason = "not a batch";
    return none;
}

int RunBatch(const HeadlessOptions& options, const IdeServices& services,
             TerminationSignals& signals, const SubsetTagQueue& subset_tags) {
    std::string reason = "no transport";
    std::shared_ptr<runtime::ConversationTransport> transport =
        services.connect ? services.connect(&reason) : nullptr;
    if (!transport || !services.starter)
        return BatchNotRun(options, "the IDE cannot be reached: " + reason);
    runtime::ConversationClient client(transport);
    ConsoleBatchWindow window(options.yes, signals);
    IdeStartLimits limits;
    limits.answer_limit_ms = options.start_limit_seconds * 1000;
    IdeChannel ide(
        client, window, *services.starter, [] { return std::string(GLO.RunString.View()); },
        limits);
    ide.DDETimeOutMinutes = options.timeout_minutes;
    BatchEngine engine(ide, window);
    window.Attach(&engine, &client);
    transport->SetSleep([&window](int descriptor, std::int64_t timeout_ms) {
        return window.SleepOnBus(descriptor, timeout_ms);
    });
    BatchTrace trace(BatchName(options), options.json);
    window.Trace(&trace);
    engine.WaitMinutes = static_cast<std::uint8_t>(ReadWaitMinutes());
    engine.WaitLimitSeconds = options.wait_limit_seconds;
    engine.ParallelIDEs = options.jobs > 0 ? options.jobs : ReadParallelIDEs();
    window.TimeLeft().SetIdes(engine.ParallelIDEs);
    engine.SubsetTagQueue = subset_tags;
    if (signals.Arrived()) engine.RequestAbort();
    const bool make = options.command == HeadlessCommand::MakeTagged ||
                      options.command == HeadlessCommand::MakeProject ||
                      options.command == HeadlessCommand::MakeSubset;
    if (make) window.TimeLeft().ReadHistory();

    const runtime::ClockSource& clock = runtime::CurrentClockSource();
    const runtime::LocalDateTime started = clock.Now();
    const std::int64_t start_ms = clock.MonotonicMs();
    const BatchSummary summary = RunCommand(engine, options);
    if (ide.Channel != 0) client.CloseConversation(ide.Channel);
    transport->SetSleep(nullptr);
    if (!summary.answered_no && !summary.could_not_run) WriteLine(stderr, "zelt: " + ide.StatusMsg);
    trace.Finish(summary, static_cast<double>(clock.MonotonicMs() - start_ms) / 1000.0,
                 ide.StatusMsg);
    WriteLine(stderr, "zelt: " + Summary(summary));
    return WriteJUnit(options, trace.Record(), started, summary.ExitStatus());
}

}  // namespace

int RunHeadless(Program& program, const HeadlessOptions& options) {
    TerminationSignals signals;
    if (std::optional<std::string> problem = CheckSettingsFile()) {
        return BatchNotRun(options, *problem + " (the settings are not usable)");
    }
    if (!options.junit_path.empty() && !ReportWritable(options.junit_path)) {
        return CouldNotRun("the JUnit report cannot be written to " + options.junit_path);
    }
    // A name from the command line is UTF-8; the catalogue's names are stored text.
    HeadlessOptions stored_options = options;
    if (options.command == HeadlessCommand::MakeProject) {
        std::string refusal;
        const std::optional<std::string> name = runtime::Utf8ToStored(options.project, &refusal);
        if (!name)
            return CouldNotRun("no project can be named \"" + options.project + "\": " + refusal);
        stored_options.project = *name;
    }
    const bool batch = IsBatch(options.command);
    SubsetTagQueue subset_tags;
    SettingsOpening opening;
    opening.subset_tags = options.command == HeadlessCommand::MakeSubset ? &subset_tags : nullptr;
    opening.new_log = batch;
    if (!LoadSettingsAtOpening(program.Errors(), opening))
        return BatchNotRun(options, "the settings could not be loaded", true);
    if (options.command == HeadlessCommand::MakeSubset && GLO.RetainTags != 1) {
        return BatchNotRun(options,
                           "--make subset makes the project subset tags saved in TF, and they are "
                           "kept only with RetainTags=1 in ZELT.INI");
    }
    if (!Usable(TempFileManager) || (batch && (!Usable(AppsManager) || !Usable(ProjectsManager)))) {
        return batch ? BatchNotRun(options, "a table cannot be opened", true) : kCouldNotRun;
    }

    if (options.command == HeadlessCommand::MakeProject && !KnownProject(stored_options.project))
        return BatchNotRun(options, "there is no project named \"" + options.project + "\"", true);

    int status = kFinished;
    switch (options.command) {
        case HeadlessCommand::Log: {
            const ExitOnSignal exit(signals, "the listing ends");
            status = ListLog(options.csv, options.json);
            break;
        }
        case HeadlessCommand::History: {
            const ExitOnSignal exit(signals, "the listing ends");
            status = ListHistory(options.applications, options.csv    ? HistoryForm::Csv
                                                       : options.json ? HistoryForm::Json
                                                                      : HistoryForm::Table);
            break;
        }
        case HeadlessCommand::ListProjects: {
            const ExitOnSignal exit(signals, "the listing ends");
            status = ListProjects(options.json);
            break;
        }
        case HeadlessCommand::ListApplications: {
            const ExitOnSignal exit(signals, "the listing ends");
            status = ListApplications(options.json);
            break;
        }
        case HeadlessCommand::EmptyLog:
            status = EmptyLog(options.yes);
            break;
        case HeadlessCommand::PrintLog: {
            const ExitOnSignal exit(signals, "the report is not written",
                                    RemoveHalfWritten(options.pdf_path));
            status = SaveLogPdf(program, options.pdf_path);
            break;
        }
        case HeadlessCommand::Help:
            break;
        default:
            status = RunBatch(stored_options, program.Ide(), signals, subset_tags);
            break;
    }
    if (opening.subset_tags && GLO.RetainTags == 1) TfManager.Close();
    return status;
}

}  // namespace zelt::app
