// The demonstration window: one declaration that runs under either window backend.
//
// Two tabs (a list of items over a queue with an entry, a spin box and a check box; a tree
// of the same items), a timer that counts ticks into a progress bar, a popup menu, message
// boxes, a nested accept loop ("Wait") and a two-page report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/report/report_document.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::tools {

enum DemoCtl : int {
    Sheet = 1,
    TabItems,
    ItemList,
    NamePrompt,
    NameEntry,
    PriorityPrompt,
    PrioritySpin,
    TaggedCheck,
    AddItem,
    RemoveItem,
    TabTree,
    ItemTree,
    ExpandAll,
    ContractAll,
    Ticks,
    TickBar,
    MenuButton,
    ReportButton,
    WaitButton,
    CloseButton,
};

struct DemoItem {
    std::string name;
    int priority = 1;
    bool tagged = false;
};

struct DemoTreeRow {
    std::string display;
    int level = 1;  // negative: collapsed with children
    int icon = 0;
    int item = 0;  // 1-based item for an item row, 0 for a group row
};

struct DemoState {
    std::string name;
    std::uint8_t priority = 1;
    std::uint8_t tagged = 0;
    std::vector<DemoItem> items;
    std::vector<DemoTreeRow> tree;
    bool tagged_open = true;  // tree groups expanded
    bool untagged_open = true;
    int ticks = 0;
    int nested_waits = 0;  // nested loops completed
    std::string status;
    std::vector<std::string> log;  // what the handlers did, for tests
};

runtime::WindowDeclaration DemoDeclaration(DemoState& state);
// Runs the window until it closes.
void RunDemoWindow(DemoState& state);
// The items as a report of `lines` detail lines (repeating the items), 40 lines a page.
runtime::ReportDocument DemoReport(const DemoState& state, int lines);
// Rebuilds the tree queue from the items.
void BuildDemoTree(DemoState& state);

}  // namespace zelt::tools
