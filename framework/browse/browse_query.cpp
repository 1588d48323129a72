// BrowseController: query by example over the browse's view.
#include "framework/browse/browse_controller.hpp"
#include "framework/query/query_form.hpp"
#include "framework/query/query_history.hpp"
#include "framework/query/query_refusal.hpp"

namespace zelt::framework {

void BrowseController::QueryRecords() {
    if (!Query || !window_) return;
    QueryForm form(Errors(), *Query);
    QueryResult = form.Run();
    if (QueryResult == ResponseCompleted) ApplyQuery(true);
}

void BrowseController::ApplyQuery(bool remember) {
    if (!Query) return;
    std::string filter;
    if (RefuseQuery(*Query, *this, &filter)) {
        Query->Restore(applied_query_);  // the entries as the list is filtered
        return;
    }
    query_filter_ = std::move(filter);
    applied_query_ = Query->SaveText();
    // The query holds whichever order the list is sorted by.
    const std::size_t active = ActiveNumber();
    for (std::size_t n = 1; n <= SortCount(); ++n) {
        SetSort(n);
        SetFilter(query_filter_, kQueryFilterId);
    }
    SetSort(active);
    if (remember && Query->History()) Query->History()->Remember(Query->SaveText());
    if (window_ && loaded_) ResetQueueFromStart();
}

Level BrowseController::TakeSavedQuery(std::string_view saved) {
    if (!Query) return LevelNotify;
    const Level level = Query->Restore(saved);
    ApplyQuery(true);
    return level;
}

void BrowseController::ClearQueryFilter() {
    if (Query) Query->ClearQuery();
    query_filter_.clear();
    applied_query_.clear();
    const std::size_t active = ActiveNumber();
    for (std::size_t n = 1; n <= SortCount(); ++n) {
        SetSort(n);
        SetFilter({}, kQueryFilterId);
    }
    SetSort(active);
    if (window_ && loaded_) ResetQueueFromStart();
}

}  // namespace zelt::framework
