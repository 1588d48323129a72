#include "framework/browse/view_manager.hpp"

#include <algorithm>
#include <optional>

#include "framework/error_ids.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::framework {

namespace {

constexpr std::string_view kFilterErrorCaption = "View Open Error";

std::string UpperText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Operand(const ViewField& field) {
    return field.no_case && field.text ? "UPPER(" + field.label + ")" : field.label;
}

std::string Comparison(const ViewField& field, std::string_view op, std::string_view value) {
    return Operand(field) + " " + std::string(op) + " " + FilterConstant(field, value);
}

std::string LimitOf(const RangePair& pair) {
    return pair.low ? pair.low.Read() : pair.field.value.Read();
}

}  // namespace

std::string FilterConstant(const ViewField& field, std::string_view value) {
    if (!field.text) {
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
        return value.empty() ? "0" : std::string(value);
    }
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    const std::string text = field.no_case ? UpperText(value) : std::string(value);
    std::string quoted = "'";
    for (char c : text) {
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
    }
    return quoted + "'";
}

std::string BuildFilterExpression(const SortOrder& order) {
    std::string expression;
    auto join = [&expression](const std::string& part) {
        if (!expression.empty()) expression += " AND ";
        expression += part;
    };
    const auto& pairs = order.RangeList;
    switch (order.Limit) {
        case LimitType::Fixed:
        case LimitType::Current:
        case LimitType::Related:
            for (const RangePair& pair : pairs) join(Comparison(pair.field, "=", LimitOf(pair)));
            break;
        case LimitType::Between:
            for (std::size_t i = 0; i + 1 < pairs.size(); ++i)
                join(Comparison(pairs[i].field, "=", LimitOf(pairs[i])));
            if (!pairs.empty()) {
                const RangePair& last = pairs.back();
                join(Comparison(last.field, ">=", LimitOf(last)));
                join(Comparison(last.field, "<=", last.high.Read()));
            }
            break;
        case LimitType::None:
            break;
    }
    for (const NamedFilter& f : order.Filter) {
        if (!f.Filter.empty()) join("(" + f.Filter + ")");
    }
    return expression;
}

std::string BuildRangeExpression(const SortOrder& order) {
    SortOrder range;
    range.Limit = order.Limit;
    range.RangeList = order.RangeList;
    return BuildFilterExpression(range);
}

void ViewManager::Init(RecordView& view, PrimaryRecord& primary, ErrorReporter& errors) {
    View = &view;
    Primary = &primary;
    errors_ = &errors;
    PageSize = 20;
    PagesBehind = 2;
    PagesAhead = 0;
    Timeout = 60;
    orders_.clear();
    AddSortOrder();
}

void ViewManager::Kill() {
    Close();
    orders_.clear();
}

SortOrder& ViewManager::AddSortOrder(std::string order_expression) {
    orders_.emplace_back();
    orders_.back().Order = std::move(order_expression);
    active_ = orders_.size() - 1;
    return orders_.back();
}

bool ViewManager::SetSort(std::size_t number) {
    if (number < 1 || number > orders_.size()) return false;
    active_ = number - 1;
    return true;
}

void ViewManager::AddRange(ViewField field, runtime::Binding limit, LimitType type) {
    SortOrder& order = ActiveOrder();
    order.Limit = type;
    order.RangeList.push_back({std::move(field), std::move(limit), {}});
}

void ViewManager::AddRangeBetween(ViewField field, runtime::Binding low, runtime::Binding high) {
    SortOrder& order = ActiveOrder();
    order.Limit = LimitType::Between;
    order.RangeList.push_back({std::move(field), std::move(low), std::move(high)});
}

void ViewManager::SetFilter(std::string_view filter, std::string_view id) {
    auto& filters = ActiveOrder().Filter;
    auto it = std::find_if(filters.begin(), filters.end(),
                           [&](const NamedFilter& f) { return f.Id == id; });
    if (filter.empty()) {
        if (it != filters.end()) filters.erase(it);
        return;
    }
    if (it != filters.end())
        it->Filter = std::string(filter);
    else
        filters.push_back({std::string(id.substr(0, 30)), std::string(filter)});
}

Level ViewManager::ReportViewError(runtime::ErrorCode code) {
    runtime::PostError(code);
    errors_->SetFile(View->Name());
    return errors_->Raise(msg::ViewOpenFailed);
}

Level ViewManager::Open() {
    if (!View) return LevelNotify;
    if (!opened_) {
        if (Primary) Primary->EnsureOpen();
        const runtime::ErrorCode code = View->Open();
        if (code != runtime::err::NoError && code != runtime::err::FileAlreadyOpen)
            ReportViewError(code);
        View->SetBuffering(PageSize, PagesBehind, PagesAhead, Timeout);
        opened_ = true;
    }
    ApplyOrder();
    return ApplyFilter();
}

void ViewManager::Close() {
    if (opened_ && View) View->Close();
    opened_ = false;
}

Level ViewManager::ApplyOrder() {
    if (const auto code = View->SetOrder(ActiveOrder().Order); code != runtime::err::NoError)
        return ReportViewError(code);
    return LevelOk;
}

runtime::ErrorCode ViewManager::TryFilter(const std::string& expression) {
    if (expression.size() > kMaxFilterLength) return runtime::err::InvalidExpression;
    const runtime::ErrorCode code = View->SetFilter(expression);
    if (code == runtime::err::NoError) filter_ = expression;
    return code;
}

Level ViewManager::ApplyFilter() {
    const SortOrder& order = ActiveOrder();
    const std::string wanted = BuildFilterExpression(order);
    const runtime::ErrorCode code = TryFilter(wanted);
    if (code == runtime::err::NoError) {
        failed_filter_.clear();
        return LevelOk;
    }
    // The same expression failing again is not reported again at every reload.
    if (wanted != failed_filter_) {
        runtime::PostError(code);
        errors_->ShowMessage("Error: (" + runtime::CurrentErrorText() +
                                 ") attempting to filter the current VIEW. The range limits are "
                                 "kept; the filter that failed is left out.",
                             kFilterErrorCaption, icon::Asterisk, button::Ok, button::Ok);
    }
    failed_filter_ = wanted;
    // Never wider than asked: the range limits stay, with every named filter that still
    // applies beside them; only a failing one is left out. Should even the range fail, the
    // view keeps the filter it had.
    std::string kept = BuildRangeExpression(order);
    if (TryFilter(kept) != runtime::err::NoError) return LevelNotify;
    for (const NamedFilter& f : order.Filter) {
        if (f.Filter.empty()) continue;
        const std::string wider =
            kept.empty() ? "(" + f.Filter + ")" : kept + " AND (" + f.Filter + ")";
        if (TryFilter(wider) == runtime::err::NoError) kept = wider;
    }
    TryFilter(kept);
    return LevelNotify;
}

std::size_t ViewManager::LongestFilterWith(std::string_view filter, std::string_view id) {
    const std::size_t active = active_;
    std::size_t longest = 0;
    for (std::size_t n = 0; n < orders_.size(); ++n) {
        active_ = n;
        const auto& filters = orders_[n].Filter;
        const auto it = std::find_if(filters.begin(), filters.end(),
                                     [&](const NamedFilter& f) { return f.Id == id; });
        const std::optional<std::string> before =
            it == filters.end() ? std::nullopt : std::optional<std::string>(it->Filter);
        SetFilter(filter, id);
        longest = std::max(longest, BuildFilterExpression(orders_[n]).size());
        SetFilter(before ? std::string_view(*before) : std::string_view(), id);
    }
    active_ = active;
    return longest;
}

Level ViewManager::ResetView(bool at_buffer) {
    if (!opened_) {
        Open();
    } else {
        ApplyOrder();
        ApplyFilter();
    }
    const runtime::ErrorCode code = at_buffer ? View->SetAtBuffer() : View->SetStart();
    if (code != runtime::err::NoError) return ReportViewError(code);
    return LevelOk;
}

Level ViewManager::Next() {
    return Read(true);
}
Level ViewManager::Previous() {
    return Read(false);
}

Level ViewManager::Read(bool next) {
    for (;;) {
        const runtime::ErrorCode code = next ? View->Next() : View->Previous();
        if (code == runtime::err::RecordNotAvailable) return LevelNotify;
        if (code != runtime::err::NoError) {
            runtime::PostError(code);
            errors_->SetFile(View->Name());
            errors_->Raise(msg::RetrievalError);
            return LevelFatal;
        }
        switch (ValidateRecord()) {
            case RecordStatus::InRange:
                return LevelOk;
            case RecordStatus::OutOfRange:
                return LevelNotify;
            case RecordStatus::Filtered:
                continue;
        }
    }
}

}  // namespace zelt::framework
