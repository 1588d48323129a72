// BrowseController: a list box over a view that loads only the rows it shows.
//
// It keeps a sliding window of loaded rows, scrolls by row, page and end, maps the scroll
// thumb onto key values, jumps by typed characters (step locator), turns alert keys and
// its popup menu into the window's Insert, Change, Delete, View, Print, Query, Select and
// Toolbox buttons, calls the update form for them, and in a window opened to select a
// record leaves the chosen record in the buffer. It registers itself with its window.
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
#include "framework/window/window_controller.hpp"
#include "runtime/window/list_source.hpp"

namespace zelt::framework {

// One loaded row: the values of the browse's fields and the record's position.
struct BrowseRow {
    std::vector<std::string> values;
    std::string position;
};

// Fill directions.
inline constexpr int kFillBackward = 1;
inline constexpr int kFillForward = 2;

// Alert keys of a browse list.
inline constexpr int kInsertKey = 45;
inline constexpr int kDeleteKey = 46;
inline constexpr int kChangeKey = 525;  // Ctrl+Enter
inline constexpr int kViewKey = 269;    // Shift+Enter
inline constexpr int kDoubleClickKey = 130;

class BrowseController : public ViewManager, public WindowComponent {
public:
    BrowseController() = default;
    BrowseController(const BrowseController&) = delete;
    BrowseController& operator=(const BrowseController&) = delete;

    // ---- Settings ---------------------------------------------------------------------
    std::uint8_t AllowUnfilled = 0;
    std::uint16_t AskProcedure = 0;
    SnapshotId Buffer = 0;
    runtime::ControlNumber ChangeControl = 0;
    std::int32_t CurrentChoice = 0;
    std::int32_t CurrentEvent = 0;
    runtime::ControlNumber DeleteControl = 0;
    std::uint8_t FileLoaded = 0;
    runtime::ControlNumber InsertControl = 0;
    std::int32_t ItemsToFill = 0;
    std::int32_t LastChoice = 0;
    std::int32_t LastItems = 0;  // most rows kept loaded; 0: the visible rows
    runtime::ControlNumber ListControl = 0;
    std::uint8_t LoadPending = 0;
    std::uint8_t Loaded = 0;
    std::uint8_t NeedRefresh = 0;
    std::int32_t PrevChoice = 0;
    runtime::ControlNumber PrintControl = 0;
    runtime::ControlNumber QueryControl = 0;
    std::uint8_t QuickScan = 1;
    std::uint8_t RetainRow = 1;
    runtime::ControlNumber SelectControl = 0;
    std::uint8_t SelectWholeRecord = 0;
    std::uint8_t Selecting = 0;
    std::uint8_t StartAtCurrent = 0;
    runtime::ControlNumber ToolControl = 0;
    runtime::ControlNumber ViewControl = 0;
    // Rows the list shows; 0: as many as the list control shows.
    std::int32_t VisibleRows = 0;

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
    // Thumb positioning on the active order.
    // A table filled from the data is filled from the view when the thumb is first used.
    void SetThumb(std::unique_ptr<Distribution> thumb) {
        ActiveOrder().Thumb = std::move(thumb);
        distribution_filled_ = false;
    }

    // ---- The rows ---------------------------------------------------------------------
    const std::vector<BrowseRow>& ListQueue() const { return rows_; }
    int Items() const;  // the visible rows
    // Reads up to ItemsToFill rows in a direction; the number read.
    virtual int FillRows(int direction);
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
    std::string PopupText() const;
    virtual void ShowPopup();
    // Buttons without a behaviour of their own here.
    virtual void Print() {}
    virtual void QueryRecords() {}
    virtual void Toolbox() {}

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
        runtime::ListCell Cell(int row, int column) const override { return browse_.Cell(row, column); }

    private:
        const BrowseController& browse_;
    };

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
};

}  // namespace zelt::framework
