// GetConfig, the settings window (title: ZELT "Menu"): the four settings, with a chooser
// for the IDE's program and one for the tables' directory, and how many IDEs a make batch
// drives at once (ParallelIDEs, 1 to 16; 1 makes one application after another).
//
// It opens with the values of ZELT.INI (replacing unsaved values). Ok writes the four
// settings to ZELT.INI, then opens TF when subset tags are retained, or deletes TF's file
// when they are not, and answers completed. Cancel answers cancelled; the globals keep what
// the controls last put into them.
//
// Ok refuses a table directory too long to sit in front of the table names (and says why);
// a directory typed without its trailing "/" gets one.
#pragma once

#include "framework/error_reporter.hpp"
#include "framework/window/request_codes.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

// The settings window's controls by their declaration numbers.
enum class GetConfigCtl : int {
    PROMPT1 = 1,
    UseNewLog = 2,     // ?GLO:UseNewLog, option group
    UseNewLogNo = 3,   // radio "No" -> "N"
    UseNewLogYes = 4,  // radio "Yes" -> "Y"
    RunStringPrompt = 5,
    RunString = 6,  // ?GLO:RunString
    LookupFile = 7,
    FilePath = 8,  // ?GLO:FilePath
    PROMPT3 = 9,
    BUTTON4 = 10,
    RetainTags = 11,  // ?GLO:RetainTags
    ParallelIDEsPrompt = 12,
    ParallelIDEs = 13,  // ?GLO:ParallelIDEs, spin 1 to 16
    OkButton = 14,
    CancelButton = 15,
};

inline constexpr const char* kGetConfigTitle = "ZELT \"Menu\"";

runtime::WindowDeclaration GetConfigDeclaration();

// Runs the settings window modally; the response (also left in the global response).
framework::ResponseCode GetConfig(framework::ErrorReporter& errors);

}  // namespace zelt::app
