#include "framework/browse/view_manager.hpp"

#include <algorithm>

#include "framework/error_ids.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::framework {

namespace {

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
    if (expression.size() > kMaxFilterLength) expression.resize(kMaxFilterLength);
    return expression;
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

Level ViewManager::ApplyFilter() {
    filter_ = BuildFilterExpression(ActiveOrder());
    if (const auto code = View->SetFilter(filter_); code != runtime::err::NoError) {
        // The view goes on unfiltered; the same expression failing again is not reported
        // again at every reload.
        if (filter_ != failed_filter_) ReportViewError(code);
        failed_filter_ = filter_;
        filter_.clear();
        View->SetFilter({});
        return LevelNotify;
    }
    failed_filter_.clear();
    return LevelOk;
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
