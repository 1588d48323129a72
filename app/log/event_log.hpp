// The activity log (TEMPFILE) as the user meets it: browsed (ViewEvents), one event looked
// at or edited (UpdateEvents), emptied (Empty Log), and printed (PrintLog). The batches
// append the events (app/batches); here they are read in date and time order
// (tmp:clockkey), and each application's name is shown only on the first of a run of its
// events.
#pragma once

#include <string>
#include <string_view>

#include "framework/error_reporter.hpp"
#include "framework/ini_store.hpp"
#include "framework/window/request_codes.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

// The application column of the browse and the report (Loc:AppName): the name for the first
// of a run of events of the same application, blank for the ones that follow.
class RepeatedNameBlanker {
  public:
    std::string Shown(std::string_view apps);
    void Restart() { previous_.clear(); }

  private:
    std::string previous_;
};

// Locks TEMPFILE, empties it and unlocks it. TEMPFILE must be open; the runtime's error
// code of the first step that failed (0 when emptied).
runtime::ErrorCode EmptyEventLog();
// The main window's "Empty Log": asks "Are you entirely sure?" ("Best be sure, chaver",
// exclamation icon, Yes and No); on Yes opens TEMPFILE and empties it as above. True when
// the log was emptied; a failure is reported through `errors`.
bool EmptyLogButton(framework::ErrorReporter& errors);

// The browse "Activity Log": every event with its application (blanked when repeated), date
// (picture 1), time (picture 3) and text; Insert, View (changes the event), Delete, Print
// Log, History (the build history's window, app/history/history_window.hpp) and Close. On
// an empty log it says "If there was something to show you, I'd show it."
// ("Go Away") and closes by itself.
//
// The events can be searched: the list's popup menu and Ctrl+F run the query form over the
// application, date, time and event; the recent queries are kept in `queries` (section
// "Query") and offered in the popup (none: the queries are not kept). After a form opened
// from the list closes, the list has the keyboard again.
void ViewEvents(framework::ErrorReporter& errors, framework::IniStore* queries = nullptr);
// The form "DDE Activity Record" on the current TMP record, with the global request: read
// only for a view, the delete carried out at once after the framework's question.
framework::ResponseCode UpdateEvents(framework::ErrorReporter& errors);

}  // namespace zelt::app
