// What the main window does with the settings as it opens and as it closes.
//
// Opening, in order (after the window's own initialisation, before any catalogue table is
// used):
//   WarnIdeNotRunning        when no conversation with the IDE was established;
//   LoadSettingsAtOpening    ZELT.INI read; TF's name prefixed with GLO.FilePath; the saved
//                            subset tags restored when GLO.RetainTags is 1; the settings
//                            window when a text setting is blank; the other tables' names
//                            prefixed; the event log emptied when GLO.UseNewLog is "Y".
// Closing:
//   SaveSettingsAtClosing    the subset tags written to TF when GLO.RetainTags is 1.
//
// Without a settings window (the headless mode) blank settings stay blank, as after Cancel:
// the tables are then in the current directory.
#pragma once

#include <functional>

#include "app/settings/subset_tags.hpp"
#include "framework/error_reporter.hpp"

namespace zelt::app {

// The sound, then the "Warning" box telling that the IDE is not running.
void WarnIdeNotRunning();

struct SettingsOpening {
    // Runs the settings window (GetConfig); empty: blank settings stay blank.
    std::function<void()> run_settings_window;
    // Restores the saved subset tags into this queue when GLO.RetainTags is 1; null: TF is
    // left alone.
    SubsetTagQueue* subset_tags = nullptr;
    // Empties the event log when GLO.UseNewLog is "Y".
    bool new_log = true;
};

// False when the tables cannot be used as set: a table directory too long for the table
// names, or an event log that could not be emptied. The reason was shown through `errors`'
// presenter (a message box, or standard error without windows).
bool LoadSettingsAtOpening(framework::ErrorReporter& errors, const SettingsOpening& opening);
// The closing step: the subset tags saved when they are retained.
void SaveSettingsAtClosing(const SubsetTagQueue& subset_tags);

// Empties the event log by creating TEMPFILE anew; false (runtime error state set) when
// that failed.
bool CreateNewLog();

}  // namespace zelt::app
