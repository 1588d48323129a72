// What the batch engine needs from the window that drives it.
//
// The make, import and export batches run in one engine (batch_engine.hpp). Two drivers
// run it: the main window, over the window model, and the headless mode, over standard
// output, standard error and signals. Each implements BatchWindow; neither copies batch
// logic. The engine decides what comes next, writes the texts, measures the wait's limit and
// tests AbortFlag; the window only shows, asks, beeps, moves the focus and sleeps.
//
// A BatchWindow is also the IdeWindow of the IdeChannel that the engine drives, so the
// channel's own messages ("DDE timeout", "Error 6 : ..."), its redisplays and the wait for a
// starting IDE reach the same object:
//
//     MyWindow window;                                  // implements BatchWindow
//     IdeChannel ide(client, window, starter, run_string);
//     BatchEngine batches(ide, window);
//     BatchSummary done = batches.MakeTagged();
//
// Redisplay() (from IdeWindow) is called whenever the engine has put a new text in
// IdeChannel::StatusMsg; the main window redisplays its two status fields, which are bound
// to that text, and the headless mode may ignore it.
//
// Waiting. After a command was acknowledged the item waits for its result file. The engine
// looks for the file, and when it is not there yet it calls WaitForResult once, then looks
// again: the loop, its limit and the abort test are the engine's. WaitForResult returns when
// the folder of the result changed (the watch descriptor became readable), when `tick_ms`
// has passed, or when something happened that may have set AbortFlag (the Close button, a
// signal). The main window runs a nested event loop of its own window meanwhile (so the
// window repaints and its Close button gets through); the headless mode polls the watch
// descriptor together with its signal descriptor (SleepOnResult does that). Neither spins.
// The engine measures the limit on the installed clock (runtime::CurrentClockSource), as
// elapsed monotonic time, never as time of day: a test window on a VirtualClockSource
// advances that clock inside WaitForResult, and a wait may cross midnight.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/ide/ide_window.hpp"
#include "runtime/errors/error_codes.hpp"
#include "runtime/window/message_box.hpp"

namespace zelt::app {

// Where the end of a batch moves the focus.
enum class BatchFocus {
    ApplicationsList,   // ?List
    ProjectSubsetsTab,  // ?Tab4
};

// How long a waiting item sleeps at most before it looks for its result again, so that a
// result is noticed within this time even where the folder cannot be watched.
inline constexpr std::int64_t kResultTickMs = 50;
// The timer interval of the main window: an exported file counts as finished once it has
// kept its size between two looks at least this far apart.
inline constexpr std::int64_t kSteadyResultMs = 500;

// One sleep of a waiting item.
struct ResultWait {
    // Readable when an entry of the result's folder was written, closed, moved in or
    // removed; -1 when the folder cannot be watched (it does not exist yet, or the system
    // refused the watch). The engine drains it after each wake.
    int watch_descriptor = -1;
    // The longest sleep, in milliseconds on the installed clock.
    std::int64_t tick_ms = kResultTickMs;
    // The result file waited for, for a window that wants to show it.
    std::string_view result_path;
};

class BatchWindow : public IdeWindow {
  public:
    // A modal message box with caption, stock icon and buttons (runtime::button bits, "|" a
    // line break in the text); answers the button pressed. The batches ask "Confirm"
    // (Yes/No, No the default) before an import and tell "Processing Terminated" and
    // "Warning" with OK. A window that cannot ask answers the default button.
    virtual int ShowMessageBox(const runtime::MessageRequest& request) = 0;
    // The default system beep.
    virtual void Beep() = 0;
    // Makes the window the active (foreground) window.
    virtual void Activate() = 0;
    // Moves the focus at the end of a batch.
    virtual void Focus(BatchFocus target) = 0;

    // Told after each event was added to the activity log (TEMPFILE); `event` is the record
    // as written (name cut at 40, text at 80, date and clock of the moment).
    virtual void EventLogged(const TempFileRecord& event) { (void)event; }
    // Told when an event could not be added; `code` and `text` are the runtime's error of the
    // add. The engine has put "Log not written: <code>" in StatusMsg and redisplayed.
    virtual void EventNotLogged(const TempFileRecord& event, runtime::ErrorCode code,
                                std::string_view text) {
        (void)event, (void)code, (void)text;
    }
    // Told once a batch knows its items, before it takes the first: the applications in the
    // order it takes them. Progress counts them off as each one ends.
    virtual void BatchItems(const std::vector<AppsRecord>& items) { (void)items; }
    // Items of the batch dealt with so far (made, skipped or failed) out of the items it has.
    virtual void Progress(int done, int to_do) { (void)done, (void)to_do; }

    // One sleep of a waiting item (see Waiting above). Handles the window's own events
    // meanwhile; returns after at most `wait.tick_ms` on the installed clock.
    virtual void WaitForResult(const ResultWait& wait) = 0;
};

// The plain sleep of WaitForResult for a window without an event loop of its own: polls the
// watch descriptor and `extra_descriptor` (a signal descriptor, or -1) for at most
// `wait.tick_ms` real milliseconds. True when a descriptor woke it.
bool SleepOnResult(const ResultWait& wait, int extra_descriptor = -1);

}  // namespace zelt::app
