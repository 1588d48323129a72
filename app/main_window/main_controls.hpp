// The main window's controls, numbered in declaration order, and its declaration.
//
// The main window shows the catalogue in four tabs (the applications by priority, the
// project tree, the import tools, and the project subsets with their own tags) and holds
// the batch buttons, the activity log's buttons, the settings button and the IDE's
// connection controls. After the 53 declared controls come the two of the status area that
// show while a batch runs: its progress (items done of items to do) and its Cancel button.
#pragma once

#include <string_view>

#include "runtime/window/window_declaration.hpp"

namespace zelt::app {

enum class MainCtl : int {
    Sheet1 = 1,
    Tab1 = 2,      // "&Applications"
    List = 3,      // APPS by APP:PriorityKey
    BUTTON13 = 4,  // "&Tag"
    Insert = 5,
    Change = 6,
    Delete = 7,
    UntagAllButton = 8,
    Tab2 = 9,  // "&Projects"
    RelTree = 10,
    Expand = 11,
    Contract = 12,
    Insert2 = 13,
    Change2 = 14,
    Delete2 = 15,
    Tab3 = 16,  // "Imports"
    STRING4 = 17,
    GROUP5 = 18,
    STRING5 = 19,
    STRING6 = 20,
    BUTTON23 = 21,  // "I'm Sure"
    ImportDCT = 22,
    ImportApp = 23,
    Tab4 = 24,   // "Project &Subsets"
    List2 = 25,  // PROJECTS by PRO:ProjectNameKey
    List3 = 26,  // APPS1 of the project selected in ?List:2
    ClearSubTags = 27,
    GenerateSubset = 28,
    Insert3 = 29,
    Change3 = 30,  // "Edit Project"
    Delete3 = 31,
    Toggle = 32,
    GROUP1 = 33,  // " Applications "
    ExecuteApp = 34,
    Generate = 35,
    ExportApp = 36,
    ExportDCT = 37,
    GROUP4 = 38,    // " Zeltery Menu "
    BUTTON16 = 39,  // "Configure ZELT"
    BUTTON17 = 40,  // "Empty Log"
    Event = 41,     // "View &Log"
    BUTTON21 = 42,  // "&Print Log"
    GROUP3 = 43,    // the connection controls
    StatusMsg2 = 44,
    ConnectToVX = 45,  // "Start Vextor"
    DisconnectFromVX = 46,
    BUTTON7 = 47,  // "Close"
    Timeout = 48,  // DDETimeOutMinutes
    TimeoutPrompt = 49,
    StatusMsg = 50,
    IMAGE1 = 51,
    PROMPT1 = 52,  // "Last Action:"
    STRING1 = 53,
    BatchProgress = 54,  // items done of items to do, while a batch runs
    CancelBatch = 55,    // "Cancel", while a batch runs
};

constexpr runtime::ControlNumber operator+(MainCtl c) {
    return static_cast<runtime::ControlNumber>(c);
}

inline constexpr std::string_view kMainTitle = "Zeltaway --  ZELT v.5.5j";
inline constexpr int kMainTimerHundredths = 50;  // how often a waiting batch looks around

// Column colours of the lists (0xRRGGBB).
inline constexpr int kRed = 0xFF0000;
inline constexpr int kYellow = 0xFFFF00;
inline constexpr int kPurple = 0x800080;

// The icon of the tagged rows of ?List and ?List:3 (icon 1 of their formats).
inline constexpr std::string_view kCheckIcon = "check";

// `status` and `timeout_minutes` are the variables the status fields and the spin show.
runtime::WindowDeclaration MainWindowDeclaration(runtime::Binding status,
                                                 runtime::Binding timeout_minutes);

}  // namespace zelt::app
