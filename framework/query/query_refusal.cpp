#include "framework/query/query_refusal.hpp"

namespace zelt::framework {

std::string QueryRefusal(QueryBuilder& query, ViewManager& view, std::string* filter) {
    if (std::string problem = query.Problem(); !problem.empty()) return problem;
    *filter = query.GetFilter();
    const std::size_t length = view.LongestFilterWith(*filter, kQueryFilterId);
    if (length <= kMaxFilterLength) return {};
    return "The query is too long: the list's filter would take " + std::to_string(length) +
           " characters, and it holds at most " + std::to_string(kMaxFilterLength) + ".";
}

bool RefuseQuery(QueryBuilder& query, ViewManager& view, std::string* filter) {
    const std::string refusal = QueryRefusal(query, view, filter);
    if (refusal.empty()) return false;
    view.Errors().ShowMessage(refusal + "|The list keeps the filter it had.", kQueryRefusedCaption,
                              icon::Exclamation, button::Ok, button::Ok);
    return true;
}

}  // namespace zelt::framework
