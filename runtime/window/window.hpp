// A window at run time: its controls' state, its event queue and its accept loop.
//
//   Window window(SettingsDeclaration());
//   window.Open();
//   while (window.Accept()) {
//       if (window.Event() == event::Accepted && window.Field() == Ctl::OkButton) ...
//   }
//
// Accept delivers one event at a time: first the events queued for this window (posted by
// the program or produced by what the user did), then a due timer event, and otherwise it
// waits for the user through the backend. Accept loops nest: a handler may run another
// loop of the same window (it takes the window's events until it breaks out) or open a
// window of its own. Before taking the next event Accept does the default handling of the
// last one unless the handler called Cycle: a close-window or close-down event closes the
// window, after which Accept answers false.
//
// A handler that runs a nested loop while it handles a close event calls Cycle first if the
// window is to stay open: the nested loop's first Accept does the default handling.
//
// A window's texts keep one accelerator per Alt key (UniqueAccelerators, accelerators.hpp).
//
// On opening, the window is displayed from its variables and gets OpenWindow then GainFocus;
// the window it covers gets LoseFocus, and GainFocus again when this one closes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/events/event_codes.hpp"
#include "runtime/window/chart_data.hpp"
#include "runtime/window/list_source.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

class WindowSystem;

struct QueuedEvent {
    EventCode code = 0;
    ControlNumber field = 0;
    int keycode = 0;
    char32_t key_char = 0;
};

// A control's state as the program and the backends see it.
struct ControlState {
    std::string text;   // caption, prompt, tab title
    std::string value;  // entered or shown value (check: its true or false value)
    std::string tip;
    bool hidden = false;
    bool disabled = false;
    bool read_only = false;
    int choice = 0;  // list/tree: highlighted row; sheet: tab (1-based); option: radio
    int thumb = 0;   // list: thumb position 1..100 after a thumb drag
    const ListSource* rows = nullptr;
    std::set<int> alerts;   // key codes that become AlertKey events
    int list_revision = 0;  // grows whenever the program says the rows changed
    int visible_rows = 0;   // list: rows the list shows at its present size
    // list: the cell edited in place (row and column from 1; 0 when none) and the text of
    // the entry shown over it
    int edit_row = 0;
    int edit_column = 0;
    std::string edit_text;
    // list: the widths of its columns in pixels as the user left them (empty: as declared)
    std::vector<int> column_widths;
    // chart: what it shows (none: nothing yet)
    std::shared_ptr<const ChartData> chart;
};

// Where a window is and how big, in pixels of the screen.
struct WindowGeometry {
    int x = 0;
    int y = 0;
    int width = 0;  // 0 = the size the backend chooses
    int height = 0;
    bool maximised = false;
    bool iconised = false;
};

class Window {
  public:
    // A window of the installed window system (CurrentWindowSystem()).
    explicit Window(WindowDeclaration declaration);
    Window(WindowSystem& system, WindowDeclaration declaration);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const WindowDeclaration& Declaration() const { return declaration_; }
    WindowSystem& System() { return system_; }

    // Shows the window. False when it is open already or the window system has halted.
    bool Open();
    // Closes the window at once; a loop's next Accept answers false.
    void Close();
    bool IsOpen() const { return open_; }

    std::string Title() const { return title_; }
    void SetTitle(std::string title);

    // Position and size (for saving and restoring them); set by the program before or after
    // opening, and kept up to date by the backend as the user moves and sizes the window.
    const WindowGeometry& Geometry() const { return geometry_; }
    void SetGeometry(const WindowGeometry& geometry);
    // A window can be kept out of sight while it runs (a progress window shown late).
    void SetVisible(bool visible);
    bool IsVisible() const { return visible_; }

    // ---- The accept loop -------------------------------------------------------------
    bool Accept();
    EventCode Event() const { return current_.code; }
    ControlNumber Field() const { return current_.field; }  // 0 for a window event
    int Keycode() const { return current_.keycode; }        // AlertKey: the key pressed
    char32_t KeyChar() const { return current_.key_char; }  // Locate: the character typed
    // Skips the default handling of the current event (a close stays undone).
    void Cycle() { cycled_ = true; }

    // Lets the backend deliver what the user has done so far, without waiting; true when an
    // event is queued, which Accept then delivers at once. For windows shown while the
    // program works and cannot return to the loop.
    bool Poll();
    // Lets the toolkit run until an event is queued for this window, `descriptor` (-1: none)
    // becomes readable, or the monotonic clock reaches `deadline_ms`; for a handler that
    // waits on a descriptor and looks at the window's events itself. Returns at once when an
    // event is queued already.
    void WaitFor(int descriptor, std::int64_t deadline_ms);
    // Queues an event for this window (field 0: a window event). False when the window is
    // closed, or a field event names no control.
    bool Post(EventCode code, ControlNumber field = 0, int keycode = 0);
    // Events queued and not yet delivered.
    const std::deque<QueuedEvent>& Pending() const { return queue_; }

    // Timer events every `hundredths` of a second on the installed clock (0 = none), counted
    // from the end of the last timer event's handling: the window always waits for input
    // in between.
    void SetTimer(int hundredths);
    int TimerInterval() const { return timer_; }

    // ---- Controls ----------------------------------------------------------------------
    int ControlCount() const { return declaration_.ControlCount(); }
    const ControlDeclaration* Declared(ControlNumber n) const { return declaration_.Control(n); }
    // The state of a control; the state of "no control" for a number out of range.
    const ControlState& Control(ControlNumber n) const;
    ControlNumber Find(std::string_view name) const { return declaration_.Find(name); }

    std::string Text(ControlNumber n) const { return Control(n).text; }
    void SetText(ControlNumber n, std::string text);
    // A chart's data (chart_data.hpp).
    void SetChart(ControlNumber n, ChartData data);
    std::string Value(ControlNumber n) const { return Control(n).value; }
    void SetValue(ControlNumber n, std::string value);
    void SetTip(ControlNumber n, std::string tip);
    void Hide(ControlNumber n, bool hidden = true);
    void Unhide(ControlNumber n) { Hide(n, false); }
    void Enable(ControlNumber n, bool enabled = true);
    void Disable(ControlNumber n) { Enable(n, false); }
    void SetReadOnly(ControlNumber n, bool read_only = true);
    bool IsHidden(ControlNumber n) const { return Control(n).hidden; }
    bool IsDisabled(ControlNumber n) const { return Control(n).disabled; }
    // Hidden or disabled itself or through a container, or on a tab not shown.
    bool IsReachable(ControlNumber n) const;

    // Shows the variables' values in their controls (0: every control), and lists reread
    // their rows.
    void Display(ControlNumber n = 0);
    // Takes the controls' values into their variables (0: every control).
    void Update(ControlNumber n = 0);
    // The runtime's accept-all pass: every value into its variable, then Completed posted.
    void AcceptAll();

    // Moves the focus to a control (queues Selected when the focus moves). A position
    // selects the position-th control of a group or option group, or that row of a list; a
    // control on a tab not shown brings its tab to the front, and the sheet hears of the new
    // page as when the user clicks the tab (TabChanging, NewSelection).
    void Select(ControlNumber n, int position = 0);
    ControlNumber Focus() const { return focus_; }

    // Lists, trees, sheets and option groups: the chosen row, tab or radio (1-based).
    int Choice(ControlNumber n) const { return Control(n).choice; }
    void SetChoice(ControlNumber n, int choice);
    void SetListSource(ControlNumber n, const ListSource* rows);
    // The program changed the rows of a list: the backend shows them again.
    void RowsChanged(ControlNumber n);
    int RowCount(ControlNumber n) const;
    // Key codes that produce AlertKey events on this control.
    void Alert(ControlNumber n, int keycode);
    void RemoveAlert(ControlNumber n, int keycode);
    // A list cell's text as shown: the source's text under the column's picture.
    std::string CellText(ControlNumber n, int row, int column) const;
    // How many rows a list shows at its present size (a browse loads that many): what the
    // backend measured, else the declared height, else 10.
    int VisibleRows(ControlNumber n) const;
    // Where a list's scroll thumb stands, 1..100 (lists whose program pages through the
    // rows itself place the thumb by the position in the whole table).
    void SetThumb(ControlNumber n, int percent);
    int Thumb(ControlNumber n) const { return Control(n).thumb; }
    // A list's column widths in pixels (the ones the user left last time); empty: as declared.
    void SetColumnWidths(ControlNumber n, std::vector<int> widths);
    // Edit in place: an entry over a list's cell, holding `text`. What the user types goes
    // to EditText; Enter, Tab, Shift+Tab, Escape, Up and Down in the entry arrive as
    // AlertKey events of the list while it edits. EndEdit takes the entry away.
    void EditCell(ControlNumber n, int row, int column, std::string text);
    void EndEdit(ControlNumber n);
    bool Editing(ControlNumber n) const { return Control(n).edit_row > 0; }
    const std::string& EditText(ControlNumber n) const { return Control(n).edit_text; }

    // ---- What the user does (called by the backends) -----------------------------------
    // Each answers false, and changes nothing, when the control cannot be reached.
    bool UserPress(ControlNumber n);                        // button, check, radio, tab, list Enter
    bool UserType(ControlNumber n, std::string_view text);  // entry, text, spin: then Accepted;
                                                            // a list's edit entry: no event
    bool UserChange(ControlNumber n, std::string_view text);  // spin arrows: NewSelection
    bool UserSelectRow(ControlNumber n, int row);             // list/tree click
    bool UserKey(ControlNumber n, int keycode);               // a key on a control
    bool UserChar(ControlNumber n, char32_t c);               // a character typed on a list
    bool UserDoubleClick(ControlNumber n, int row);
    bool UserExpand(ControlNumber n, int row);  // tree: a node opened
    bool UserContract(ControlNumber n, int row);
    bool UserThumb(ControlNumber n, int percent);  // list: the scroll thumb dragged
    bool UserFocus(ControlNumber n);               // the user put the focus there
    void UserCloseBox();                           // the window's close box
    // The user moved or sized the window: Moved / Sized follow (one of each at a time).
    // Without `report` the geometry is only noted (the backend placing the window).
    void UserGeometry(const WindowGeometry& geometry, bool report = true);
    // The backend measured how many rows a list shows.
    void UserVisibleRows(ControlNumber n, int rows);
    // The user dragged a list's column borders (only noted; no event follows).
    void UserColumnWidths(ControlNumber n, std::vector<int> widths);

  private:
    ControlState& State(ControlNumber n);
    void Changed(ControlNumber n);
    void Queue(QueuedEvent e);
    void MoveFocus(ControlNumber n);
    void BringTabForward(ControlNumber n);
    void DisplayOne(ControlNumber n);
    void UpdateOne(ControlNumber n);
    int TabIndex(ControlNumber tab) const;
    ControlNumber TabOfIndex(ControlNumber sheet, int index) const;
    bool IsList(ControlNumber n) const;
    ControlNumber FirstFocusable() const;
    bool Focusable(ControlNumber n) const;
    void StartTimer();
    void DefaultHandling();
    void CloseInternal();

    WindowSystem& system_;
    WindowDeclaration declaration_;
    std::string title_;
    std::vector<ControlState> controls_;
    ControlState none_;
    std::deque<QueuedEvent> queue_;
    QueuedEvent current_;
    bool open_ = false;
    bool delivered_ = false;  // an event was delivered and awaits its default handling
    bool cycled_ = false;
    int timer_ = 0;
    std::int64_t timer_due_ms_ = 0;
    ControlNumber focus_ = 0;
    WindowGeometry geometry_;
    bool visible_ = true;
};

}  // namespace zelt::runtime
