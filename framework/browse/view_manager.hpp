// ViewManager: owns a view with its sort orders, range limits and filters, turns them into
// the view's order and filter expressions, and reads the view record by record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/browse/record_view.hpp"
#include "framework/browse/sort_order.hpp"
#include "framework/error_reporter.hpp"
#include "framework/levels.hpp"
#include "framework/window/primary_record.hpp"

namespace zelt::framework {

// The longest filter expression a view is given. A longer one is never cut (a cut one
// would not compile, or would mean something else): it fails as one that does not compile.
inline constexpr std::size_t kMaxFilterLength = 5000;

// A constant as the filter expression writes it: a text quoted (quotes doubled, trailing
// blanks cut, upper-cased for a case-insensitive field), a number as it is.
std::string FilterConstant(const ViewField& field, std::string_view value);
// The range part and the named filters of an order joined into one filter expression.
std::string BuildFilterExpression(const SortOrder& order);
// The range part alone.
std::string BuildRangeExpression(const SortOrder& order);

// What ValidateRecord says of a record.
enum class RecordStatus : std::uint8_t { InRange = 0, OutOfRange = 1, Filtered = 2 };

class ViewManager {
  public:
    ViewManager() = default;
    virtual ~ViewManager() = default;
    ViewManager(const ViewManager&) = delete;
    ViewManager& operator=(const ViewManager&) = delete;

    std::uint16_t PagesAhead = 0;
    std::uint16_t PagesBehind = 0;
    std::uint16_t PageSize = 0;
    PrimaryRecord* Primary = nullptr;
    std::uint16_t Timeout = 0;
    RecordView* View = nullptr;

    // The view is open: Open opened it and Close has not run since.
    bool Opened() const { return opened_; }

    // Sets the view and the primary table, the buffering defaults, and a first sort order.
    void Init(RecordView& view, PrimaryRecord& primary, ErrorReporter& errors);
    virtual void Kill();

    // Sort orders: AddSortOrder appends one and makes it active; SetSort picks one (from 1).
    SortOrder& AddSortOrder(std::string order_expression = {});
    bool SetSort(std::size_t number);
    SortOrder& ActiveOrder() { return orders_.at(active_); }
    std::size_t ActiveNumber() const { return active_ + 1; }
    std::size_t SortCount() const { return orders_.size(); }

    // Range limits of the active order.
    void AddRange(ViewField field, runtime::Binding limit, LimitType type = LimitType::Fixed);
    void AddRangeBetween(ViewField field, runtime::Binding low, runtime::Binding high);
    // Stores or replaces the named filter of the active order (an empty text removes it).
    void SetFilter(std::string_view filter, std::string_view id = "default");
    // The length of the longest order's filter expression were `filter` its filter `id`
    // (checked before a filter is set, against kMaxFilterLength).
    std::size_t LongestFilterWith(std::string_view filter, std::string_view id);

    virtual Level Open();
    virtual void Close();
    virtual Level ApplyOrder();
    // Gives the view the active order's filter expression. One that fails (it does not
    // compile, or is longer than kMaxFilterLength) is reported, and the view is never left
    // wider than asked: it keeps the range limits and every named filter that applies
    // beside them (LevelNotify).
    virtual Level ApplyFilter();
    // Applies range, order and filter and positions at the start, or at the key values in
    // the buffer.
    virtual Level ResetView(bool at_buffer = false);
    // The next or previous record in range: LevelOk, LevelNotify at the end, LevelFatal
    // after a read error was reported.
    virtual Level Next();
    virtual Level Previous();
    // Filters records beyond what the view's expressions do; all pass unless overridden.
    virtual RecordStatus ValidateRecord() { return RecordStatus::InRange; }

    ErrorReporter& Errors() const { return *errors_; }
    // The filter expression the view applies.
    const std::string& FilterExpression() const { return filter_; }

  protected:
    Level ReportViewError(runtime::ErrorCode code);

  private:
    Level Read(bool next);
    // Gives the view an expression; on success it is FilterExpression().
    runtime::ErrorCode TryFilter(const std::string& expression);

    ErrorReporter* errors_ = nullptr;
    std::vector<SortOrder> orders_;
    std::size_t active_ = 0;
    std::string filter_;
    std::string failed_filter_;
    bool opened_ = false;
};

}  // namespace zelt::framework
