// BrowseController: a list box over a view that loads only the rows it shows.
//
// It keeps a sliding window of loaded rows, scrolls by row, page and end, maps the scroll
// thumb onto key values, jumps by typed characters (step locator), turns alert keys and
// its popup menu into the window's Insert, Change, Delete, View, Print, Query, Select and
// Toolbox buttons, calls the update form for them (or, without one, edits the record in the
// list itself), runs the query form of its QueryBuilder and offers the recently used
// queries, and in a window opened to select a record leaves the chosen record in the
// buffer. It registers itself with its window.
//
// Edit in place (no AskProcedure, EditList naming the list columns that can be edited):
// Insert, Change (Ctrl+Enter, double click) put an entry over the first editable cell of the
// row. Enter saves the row through the file manager, Tab and Shift+Tab move between the
// editable columns (Tab from the last saves), Up and Down save and go on editing the row
// above or below, Escape drops the changes (and the new record). A row the file manager
// refuses stays in edit with the manager's message shown. Clicking elsewhere in the list
// saves; closing the window drops an unfinished edit.
//
//   BrowseController list;
//   list.Init(window, Ctl::List, view, apps, errors);
//   list.ActiveOrder().Order = "+APP:Priority";
//   list.AddField(Use(...));  list.InsertControl = Ctl::Insert;  list.AskProcedure = 1;
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/browse/view_manager.hpp"
#include "framework/query/query_builder.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/window/list_source.hpp"

namespace zelt::framework {

// One loaded row: the values of the browse's fields and the record's position.
struct BrowseRow {
    std::vector<std::string> values;
    std::string position;
};

// Which way FillRows reads.
enum class FillDirection : std::uint8_t { Backward = 1, Forward = 2 };

// Edit in place: what Enter, Tab, the arrow keys and a lost focus do.
enum class EditAction : std::uint8_t {
    Ignore = 0,  // nothing: the entry stays
    Save = 1,    // save the row and end the edit
    Next = 2,    // go on to the next column or row (saving a row left)
    Cancel = 3,  // drop the changes (focus loss)
};

// How a browse loads, scrolls, selects and edits in place.
struct BrowseSettings {
    // A last page that is not full stays so (no filling back to a full list). Default: off.
    bool AllowUnfilled = false;
    // Edit in place, Up and Down. Default: Next (save, then edit the row above or below).
    EditAction ArrowAction = EditAction::Next;
    // Edit in place, Enter. Default: Save.
    EditAction EnterAction = EditAction::Save;
    // Every record is loaded in the list: no paging. Default: off.
    bool FileLoaded = false;
    // Edit in place, the focus leaving the entry. Default: Save.
    EditAction FocusLossAction = EditAction::Save;
    // The query builder is shared with other browses. Default: off.
    bool QueryShared = false;
    // The driver reads ahead while more than one row is filled. Default: on.
    bool QuickScan = true;
    // The highlighted row keeps its place in the list across a reload. Default: on.
    bool RetainRow = true;
    // A selection re-reads the whole record instead of copying the row's columns. Default: off.
    bool SelectWholeRecord = false;
    // The first load starts on the record in the buffer instead of the first. Default: off.
    bool StartAtCurrent = false;
    // Edit in place, Tab and Shift+Tab. Default: Next (the next column; from the last, save).
    EditAction TabAction = EditAction::Next;
};

class BrowseController : public ViewManager, public WindowComponent {
  public:
    BrowseController() = default;
    BrowseController(const BrowseController&) = delete;
    BrowseController& operator=(const BrowseController&) = delete;

    // ---- Settings and state -------------------------------------------------------------
    BrowseSettings Settings;
    std::uint16_t AskProcedure = 0;
    SnapshotId Buffer = 0;
    runtime::ControlNumber ChangeControl = 0;
    std::int32_t CurrentChoice = 0;
    std::int32_t CurrentEvent = 0;
    runtime::ControlNumber DeleteControl = 0;
    // Edit in place: the list columns (from 1) that can be edited, in Tab order.
    std::vector<int> EditList;
    runtime::ControlNumber InsertControl = 0;
    std::int32_t ItemsToFill = 0;
    std::int32_t LastChoice = 0;
    std::int32_t LastItems = 0;  // most rows kept loaded; 0: the visible rows
    runtime::ControlNumber ListControl = 0;
    std::int32_t PrevChoice = 0;
    runtime::ControlNumber PrintControl = 0;
    std::uint16_t PrintProcedure = 0;
    QueryBuilder* Query = nullptr;  // query by example, or none
    runtime::ControlNumber QueryControl = 0;
    std::int32_t QueryResult = 0;
    runtime::ControlNumber SelectControl = 0;
    runtime::ControlNumber ToolControl = 0;
    runtime::ControlNumber ViewControl = 0;
    // Rows the list shows; 0: as many as the list control shows.
    std::int32_t VisibleRows = 0;

    // The list has been loaded once.
    bool Loaded() const { return loaded_; }
    // The window was opened to select a record: the popup offers "&Select".
    bool Selecting() const { return selecting_; }

    // Sets up the view and registers with the window (a window opened with RequestSelect
    // makes the browse select).
    void Init(WindowController& window, runtime::ControlNumber list, RecordView& view,
              PrimaryRecord& primary, ErrorReporter& errors);
    // A field of the view shown in (or carried by) the list, column by column.
    void AddField(runtime::Binding field);
    // How a row's cell is shown; by default the field's value as text.
    void SetCellFormat(std::function<runtime::ListCell(const BrowseRow&, int column)> format) {
        cell_format_ = std::move(format);
    }
    // Thumb positioning on the active order (browse_thumb.cpp). A table filled from the data
    // is filled from the view when the thumb is first used; a numeric distribution whose
    // limits come from the data takes them from the first and last record as the list shows.
    void SetThumb(std::unique_ptr<Distribution> thumb) {
        ActiveOrder().Thumb = std::move(thumb);
        distribution_filled_ = false;
    }

    // ---- The rows ---------------------------------------------------------------------
    const std::vector<BrowseRow>& ListQueue() const { return rows_; }
    int Items() const;  // the visible rows
    // Reads up to ItemsToFill rows in a direction; the number read.
    virtual int FillRows(FillDirection direction);
    virtual void ScrollOne(runtime::EventCode event);
    virtual void ScrollPage(runtime::EventCode event);
    virtual void ScrollEnd(runtime::EventCode event);
    // Positions by the thumb (1-100) and reloads.
    virtual void TakeThumb(int percentile);
    // The step locator: a character typed on the list.
    virtual void Locate(char typed);
    // Copies the highlighted row into the view's fields (clears them for an empty list).
    virtual void UpdateBuffer();
    // Reloads the rows: from the start, around the key values in the buffer, or around a
    // record's position.
    void ResetQueueFromStart();
    void ResetQueueAtBuffer();
    void ResetQueueAt(const std::string& position);

    // A navigation button of the window's toolbar (3005 bottom ... 3010 up one row): the
    // matching scroll of the list, then the toolbar shows the new state. False for any
    // other control.
    bool TakeToolbarButton(int control);

    // ---- Record actions ---------------------------------------------------------------
    // Insert, change, delete or view through the update form AskProcedure.
    virtual void AskRecord(RequestCode request);
    virtual void ResetFromAsk(RequestCode request, ResponseCode response);
    // Prepares the buffer for a new record: cleared, the range fields primed.
    virtual Level PrepareRecord();
    // The popup menu's entries, as the window system's popup text.
    std::string PopupText();
    virtual void ShowPopup();
    // Print: the highlighted record is read whole, then the program's print hook runs
    // (with PrintProcedure); Toolbox: the program's toolbox hook.
    virtual void Print();
    virtual void Toolbox();
    void SetPrintHook(std::function<void(BrowseController&, std::uint16_t procedure)> hook) {
        print_hook_ = std::move(hook);
    }
    void SetToolboxHook(std::function<void(BrowseController&)> hook) {
        toolbox_hook_ = std::move(hook);
    }

    // ---- Query by example ---------------------------------------------------------------
    // Runs the query form of Query; Ok applies the query and keeps it as recently used.
    virtual void QueryRecords();
    // Applies Query's filter to every sort order and reloads from the top (an empty query
    // removes the filter); `remember` keeps it in the recently used list.
    void ApplyQuery(bool remember);
    // Applies a saved query (a recently used one); columns no longer offered are reported
    // and dropped.
    Level TakeSavedQuery(std::string_view saved);
    // Removes the query's filter.
    void ClearQueryFilter();
    // A query filters the list: its filter is part of what the view applies.
    bool QueryApplied() const {
        return !query_filter_.empty() &&
               FilterExpression().find("(" + query_filter_ + ")") != std::string::npos;
    }

    // ---- Edit in place --------------------------------------------------------------------
    // Starts editing the highlighted row (change) or a new row (insert); false when the
    // list cannot edit (no EditList, no row, the record cannot be read or prepared).
    virtual bool EditRecord(RequestCode request);
    bool Editing() const { return edit_.active; }
    // Saves the edited row; LevelOk when written (or nothing changed), else the row stays
    // in edit.
    virtual Level SaveEdit();
    // Drops the edit: the buffer as it was, a new record released.
    virtual void CancelEdit();

    // ---- WindowComponent ----------------------------------------------------------------
    void Kill() override;
    void Reset(bool force) override;
    bool NeedsReset() override;
    void Update() override {}
    Level HandleEvent() override;
    void SetAlerts() override;
    void UpdateWindow() override;

    // ---- What the list shows ---------------------------------------------------------------
    int RowCount() const { return static_cast<int>(rows_.size()); }
    runtime::ListCell Cell(int row, int column) const;

    WindowController* Window() const { return window_; }

  private:
    // The loaded rows as the list control reads them.
    class Rows final : public runtime::ListSource {
      public:
        explicit Rows(const BrowseController& browse) : browse_(browse) {}
        int RowCount() const override { return browse_.RowCount(); }
        runtime::ListCell Cell(int row, int column) const override {
            return browse_.Cell(row, column);
        }

      private:
        const BrowseController& browse_;
    };

    enum ReloadMode : int { kFromStart, kAtBuffer, kAtPosition };

    BrowseRow MakeRow() const;
    // Reloads from the start, at the buffer's key values or at a position; with RetainRow
    // the place read lands on list row `row`.
    void Reload(int mode, const std::string& position, int row);
    void Show();
    Level TakeAccepted(runtime::ControlNumber control);
    void Act(runtime::ControlNumber control);
    bool ButtonUsable(runtime::ControlNumber control) const;
    std::vector<std::string> CurrentResetValues() const;
    void Navigate(NavigationRequest request);
    void FinishSelection();
    void FillDistribution();
    // Places the list's thumb where the highlighted record lies in the whole order.
    void ShowThumb();
    // The records may have changed: limits taken from the data are taken again.
    void DataChanged();
    // Edit in place.
    struct EditState {
        bool active = false;
        RequestCode request = RequestNone;
        int row = 0;             // the row in edit
        std::size_t column = 0;  // index into EditList
        SnapshotId snapshot = 0;
        std::string position;  // the row's record before the edit
    };
    void EditColumn(std::size_t index);
    void TakeEditText();
    void TakeEditKey(int keycode);
    void EndEditEntry();
    Level DeleteInList();
    // The popup's entries and what each does.
    struct PopupChoice {
        std::string text;
        bool enabled = true;
        std::function<void()> act;
    };
    std::vector<PopupChoice> PopupChoices();

    Rows source_{*this};
    WindowController* window_ = nullptr;
    std::vector<runtime::Binding> fields_;
    std::vector<BrowseRow> rows_;
    std::function<runtime::ListCell(const BrowseRow&, int)> cell_format_;
    std::vector<std::string> reset_values_;
    bool alerts_set_ = false;
    bool distribution_filled_ = false;
    std::size_t loaded_sort_ = 0;
    bool killed_ = false;
    bool loaded_ = false;
    bool load_pending_ = false;  // a reload is due
    bool need_refresh_ = false;  // the list must be refreshed
    bool selecting_ = false;
    bool closing_ = false;
    EditState edit_;
    std::string query_filter_;
    std::string applied_query_;  // the query behind query_filter_, as saved
    std::function<void(BrowseController&, std::uint16_t)> print_hook_;
    std::function<void(BrowseController&)> toolbox_hook_;
};

}  // namespace zelt::framework
