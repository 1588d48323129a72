// The batch engine: the make, import and export batches that drive the IDE, and the two
// routines they share, PrepareNames and LogEvent.
//
// Batches. Each walks its applications in ascending priority (equal priorities by file
// name), one after another, through the IDE channel (app/ide), writing every step to the
// activity log (TEMPFILE) and its progress to StatusMsg:
//
//   MakeTagged          ?ExecuteApp      every application of APPS whose Tag is 1
//   MakeProject(name)   ?Generate        every application of the project of that name
//   MakeSubset          ?GenerateSubset  the entries of SubsetTagQueue
//   ImportDictionaries  ?ImportDCT       tagged applications: F.TXD into F.DCT (asks first)
//   ImportApplications  ?ImportApp       tagged applications: F.TXA into F.APP (asks first)
//   ExportApplications  ?ExportApp       tagged applications: F.APP to F.TXA
//   ExportDictionaries  ?ExportDCT       tagged applications: F.DCT to F.TXD
//
// A make sends [ExecuteProject("dir/NAME.APP")] per application after deleting its old
// target, and waits until the target exists again. Old targets and old text files are
// deleted, and results watched, by their whole names (a name longer than DeletionFileName's
// 80 characters is never cut). An import or export sends its command
// (ide_commands.hpp) and waits for its result file beside the application. Paths are the
// catalogue's: a directory (APP.DrivenPath) ends with its "/".
//
// Parallel makes. With ParallelIDEs above 1 (the "ParallelIDEs" setting, zelt --jobs) a make
// drives that many IDEs at once: applications of one priority are made at the same time, and
// a higher priority number starts only once every lower one has ended (parallel_make.cpp
// says how). With 1 the make is the one-by-one make above, event for event.
//
// Every batch returns a BatchSummary: what became of its items, and whether it could run at
// all. The headless mode turns it into its exit status (ExitStatus()).
//
// The engine uses the catalogue's dictionary (InitDictionary must have run), the APP and
// TMP record buffers, DeletionFile and DeletionFileName, and the IdeChannel's Channel,
// Connected, StatusMsg and DDETimeOutMinutes. It opens the tables it needs at the start of a
// batch and closes them (counted opens) at its end. One batch runs at a time, on the
// thread that owns the window.
//
// Waits. A waiting item ends when its result is seen; when five minutes have passed and
// the runtime's error code is set (it logs "Error <code> <text>"); when the IDE went away
// (it ended the conversation, its name left the bus, or the IDE process that ZELT started
// ended in failure: "Error 602 DDE channel is not open: Vextor went away", noticed at the
// next look, so within a tick); or at the hard limit, which is off unless the user sets it
// (WaitLimitSeconds, else WaitMinutes, the "WaitMinutes" setting): "Wait limit reached".
// Each of these but the first counts the item as failed, and the batch goes on with the
// next item. Times are elapsed time on the installed clock, so midnight does not matter. A
// result file that existed before the command counts only once it was written again after
// the command was sent; an export's file counts once its size and time stayed the same
// between two looks at least kSteadyResultMs apart. RequestAbort (Cancel, the Close button,
// a signal) ends any batch at its next look, and the wait for the IDE's acknowledgement and
// for a starting IDE too: the item is left with the event "Aborted: the batch was
// cancelled", and the batch ends with "Processing Aborted". A batch whose IDE cannot be
// reached logs why ("Not run: <reason>") under the name "Vextor".
//
// The activity log. Each event is kept as it happens and written through an EventWriter
// (event_writer.hpp): before every command is sent, before every wait, question or message,
// at the end of the batch, and a quarter of a second after the first of a busy stretch. No
// event is held in an open transaction while the batch waits. The window hears of an event
// once it is on disk (EventLogged), or that it could not be written (EventNotLogged, with
// "Log not written: <code>" in StatusMsg). Events that other stations kept out until the
// retries ran out are counted (BatchSummary::events_lost) and the batch goes on; a log that
// cannot be written at all (read-only, a full disk) ends the batch before its next command,
// with "Processing Terminated" saying why.
//
// Unsafe names. A path or name that holds a double quote, a square bracket or a control
// character (and, in the imports, whose destination goes unquoted, a comma) would make a
// malformed command: the item is skipped with an event saying why, and the batch goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batches/batch_window.hpp"
#include "app/batches/event_writer.hpp"
#include "app/batches/result_watch.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "app/ide/ide_channel.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

// Field widths of the activity log.
inline constexpr std::size_t kEventNameLength = 40;  // TMP.Apps
inline constexpr std::size_t kEventTextLength = 80;  // TMP.Event

// A waiting item with the runtime's error code set gives up after this long.
inline constexpr std::int64_t kErrorWaitMs = 5 * 60000;
// The name under which batch-wide events (the IDE not reached) are logged.
inline constexpr std::string_view kIdeEventName = "Vextor";

// An entry of ProcessQueue (PQ) or SubsetTagQueue (SQ): one application to make.
struct QueueEntry {
    FixedString<50> AppName;    // file name with extension
    FixedString<80> DrivePath;  // directory with its trailing "/"
    std::uint8_t Priority = 0;
    FixedString<250> Target;  // file the make produces
};

// An entry of FileQueue: one file of a directory listing.
struct FileQueueEntry {
    std::string Name;         // the whole file name (no directory)
    std::int32_t Date = 0;    // day number of its last change
    std::int32_t Time = 0;    // clock value of its last change
    std::int64_t Size = 0;    // bytes
    std::uint8_t Attrib = 0;  // 0 for a normal file
};

// The names that PrepareNames derives from an application record.
struct PreparedNames {
    FixedString<50> BaseName;    // Application before its first point
    FixedString<3> TargetExt;    // up to three characters of Target after its first point;
                                 // its first three characters when it has no point
    FixedString<200> TargetDir;  // Target up to and including its last "/"; blank when the
                                 // target or TargetExt is blank, or it has no "/"
};
PreparedNames PrepareNames(const AppsRecord& app);

// Appends one event to TEMPFILE with the table's add (not through its manager): TMP.Apps is
// `name` cut at 40, TMP.Event `text` cut at 80, TMP.Date and TMP.Clock today's day number
// and clock value of the installed clock. TEMPFILE must be open. Returns the runtime's error
// code of the add (0 when written); TMP holds the record as written either way.
runtime::ErrorCode AppendEvent(std::string_view name, std::string_view text);

// What became of a batch.
struct BatchSummary {
    int made = 0;                // items whose result was seen
    int skipped = 0;             // file missing, no target, unsafe name
    int failed = 0;              // error path, or the wait limit reached
    int not_attempted = 0;       // items left when the batch ended early
    int events_lost = 0;         // events that could not be written to the activity log
    bool aborted = false;        // AbortFlag ended it
    bool answered_no = false;    // the confirmation was not answered Yes: nothing was done
    bool could_not_run = false;  // the IDE could not be reached, or a table not opened
    bool log_unusable = false;   // the activity log could not be written: the batch stopped
    std::string reason;          // why it could not run or stopped (the runtime's error text,
                                 // or the IDE's)

    // 0 when every item finished and every event was written; 1 when an item was skipped or
    // failed, an event was lost, the question was answered No, or the batch was aborted; 2
    // when the batch could not run or the activity log could not be written.
    int ExitStatus() const;
};

class BatchEngine {
  public:
    // `window` is normally the IdeWindow of `channel` as well.
    BatchEngine(IdeChannel& channel, BatchWindow& window);
    BatchEngine(const BatchEngine&) = delete;
    BatchEngine& operator=(const BatchEngine&) = delete;

    // --- Working state, shared with the main window -------------------------------------
    // Applications of the project being made (filled by MakeProject).
    std::vector<QueueEntry> ProcessQueue;
    // Applications tagged on the Project Subsets tab, in AppName order; membership is by
    // AppName alone (ToggleSubsetTag, IsSubsetTagged). MakeSubset makes them by priority and
    // leaves the queue as it is.
    std::vector<QueueEntry> SubsetTagQueue;
    // The last directory listing of an import or export.
    std::vector<FileQueueEntry> FileQueue;
    // 1 ends the running batch at its next look. Safe to set from a signal handler.
    std::atomic<std::uint8_t> AbortFlag{0};
    // Applications skipped for want of a target in the running (or last) batch.
    std::int32_t NoTargetCount = 0;
    // The hard wait limit in minutes ("WaitMinutes" in the settings); 0: none.
    std::uint8_t WaitMinutes = 0;
    // Above 0: the hard wait limit in seconds instead (--wait-limit).
    std::int64_t WaitLimitSeconds = 0;
    // How many IDEs a make drives at once ("ParallelIDEs", --jobs); 1: one item after
    // another, exactly as the make batch always did.
    int ParallelIDEs = 1;
    // Set by PrepareNames for the current application.
    FixedString<50> BaseName;
    FixedString<3> TargetExt;
    FixedString<200> TargetDir;

    // --- Batches --------------------------------------------------------------------------
    BatchSummary MakeTagged();
    // `project_name`: the project's name, as the selected line of the project tree shows it.
    // An unknown name makes nothing and ends with "Processing Complete".
    BatchSummary MakeProject(std::string_view project_name);
    BatchSummary MakeSubset();
    BatchSummary ImportDictionaries();
    BatchSummary ImportApplications();
    BatchSummary ExportApplications();
    BatchSummary ExportDictionaries();

    // --- Shared routines ------------------------------------------------------------------
    // Sets BaseName, TargetExt and TargetDir from the APP record buffer.
    void PrepareNames();
    // Keeps the event for the activity log (see The activity log above); the window hears of
    // it once it was written. False when the log has become unusable in this batch.
    bool LogEvent(std::string_view name, std::string_view text);
    // StatusMsg := text (cut at 30), and the window redisplayed.
    void ShowStatus(std::string_view text);
    // The hard wait limit in milliseconds; 0: none.
    std::int64_t WaitLimitMs() const;

    // --- Main window helpers --------------------------------------------------------------
    // ?Toggle: removes the entry named like `entry` or adds `entry` in AppName order; true
    // when it is tagged afterwards.
    bool ToggleSubsetTag(const QueueEntry& entry);
    bool IsSubsetTagged(std::string_view app_name) const;
    // Sets AbortFlag only (a signal handler may call it).
    void RequestAbort() { AbortFlag.store(1); }
    // ?BUTTON7 Close: empties ProcessQueue, FileQueue and SubsetTagQueue and sets AbortFlag.
    void CloseButton();

    IdeChannel& Ide() { return channel_; }
    BatchWindow& Window() { return window_; }

  private:
    enum class MakeVariant { Tagged, Project, Subset };
    enum class WaitEnd { Seen, Aborted, Failed };
    enum class Sent { Acknowledged, ErrorPath, Aborted };
    struct Transfer;

    // The batch start shared by all: TEMPFILE and APPS opened, the reply time-out set,
    // AbortFlag cleared, the IDE connected. False (with the summary saying why) when the
    // batch cannot run; nothing is left open then.
    bool BeginBatch(BatchSummary& summary);
    void CloseBatchTables();
    // The tagged applications in APP.PriorityKey order, from the lowest priority.
    std::vector<AppsRecord> TaggedApplications();
    std::vector<AppsRecord> ProjectApplications(std::string_view project_name);

    BatchSummary RunMake(MakeVariant variant, const std::vector<AppsRecord>& items,
                         BatchSummary summary);

    // The make over several IDEs, stage by stage (parallel_make.cpp, whose header is its
    // manual). It ends with every conversation closed, Channel 0 and Connected 0.
    struct Lane;
    struct Flight;
    enum class Launch { InFlight, Stopped };
    void MakeInStages(MakeVariant variant, const std::vector<AppsRecord>& items,
                      BatchSummary& summary);
    std::vector<Lane> OpenLanes();
    // The steps of one item before its command: its file and name checked, "Begin Make",
    // its target checked and the old one deleted. Nothing when the item was skipped.
    std::optional<Flight> PrepareItem(MakeVariant variant, const AppsRecord& item,
                                      BatchSummary& summary);
    // Sends the prepared item's command on its lane; in flight once acknowledged. Stopped:
    // the error path was taken or the batch was aborted.
    Launch SendPrepared(MakeVariant variant, Flight flight, std::vector<Lane>& lanes,
                        std::vector<Flight>& flights, BatchSummary& summary);
    // One look at an item in flight: true when it has ended (its events logged).
    bool FlightEnded(MakeVariant variant, Flight& flight, Lane& lane, BatchSummary& summary);
    // The lane's conversation closed, and another IDE that answers taken in its place.
    void ReplaceLane(Lane& lane);
    void ShowInFlight(const std::vector<Flight>& flights);
    // One application of a make; false when the batch ends (error path).
    bool MakeOne(MakeVariant variant, const AppsRecord& item, BatchSummary& summary);
    BatchSummary RunTransfer(const Transfer& kind);
    bool TransferOne(const Transfer& kind, BatchSummary& summary);

    // Sends CommandText on Channel and checks the result: acknowledged, the error path
    // follows, or AbortFlag was set meanwhile (nothing is shown then).
    Sent SendCommand(const std::string& command);
    // Waits for the result until `seen` says so, the item fails (see Waits above) or
    // AbortFlag is set.
    WaitEnd AwaitResult(std::string_view name, const std::string& result_path,
                        const std::function<bool()>& seen);
    // The error path's message (codes below 600) and event.
    void TakeErrorPath(std::string_view name, std::string_view message, BatchSummary& summary);
    // Logs why `command` (as sent, padded) for `full_name` cannot be sent; false when it can.
    bool SkipUnsafe(std::string_view name, std::string_view full_name, const std::string& command,
                    bool bare_argument, BatchSummary& summary);
    void CloseItemConversation();
    // The event of an item left on abort.
    void LogAborted(std::string_view name);
    // "Processing Aborted", "Processing Complete", or why the batch ended early.
    std::string EndStatus(bool aborted) const;
    // Writes the events kept and tells the window what became of them; the runtime's error
    // state is kept. False once the log is unusable (the batch must send nothing more).
    bool SettleEvents();
    void SettleEventsWhenDue();
    // What the summary says of the log and of the items not reached.
    void CloseSummary(BatchSummary& summary) const;
    void EndingBeeps(bool focus_subsets);
    void ItemDone();

    IdeChannel& channel_;
    BatchWindow& window_;
    std::string remembered_project_;
    bool ide_gone_ = false;  // the IDE went away during this batch
    EventWriter events_;
    int events_lost_ = 0;
    bool log_unusable_ = false;
    runtime::ErrorCode log_failure_code_ = runtime::err::NoError;
    std::string log_failure_;
    ResultWatch watch_;  // of the waiting item's folder, kept from item to item
    int items_done_ = 0;
    int items_to_do_ = 0;
};

}  // namespace zelt::app
