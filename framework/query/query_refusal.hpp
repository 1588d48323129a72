// Checks a query before a view takes it: a query whose entries make no filter, or whose
// filter would make a view's filter expression too long, is refused with a message and the
// view keeps the filter it has. A refused query never widens a list.
//
//   std::string filter;
//   if (RefuseQuery(query, view, &filter)) return;   // the message was shown
//   view.SetFilter(filter, kQueryFilterId);
#pragma once

#include <string>

#include "framework/browse/view_manager.hpp"
#include "framework/query/query_builder.hpp"

namespace zelt::framework {

// Caption of the message that refuses a query.
inline constexpr const char* kQueryRefusedCaption = "Query Not Applied";

// Why the query cannot filter the view (every sort order of it), or empty with the filter
// in `filter`.
std::string QueryRefusal(QueryBuilder& query, ViewManager& view, std::string* filter);
// QueryRefusal, showing the reason through the view's error reporter; true when refused.
bool RefuseQuery(QueryBuilder& query, ViewManager& view, std::string* filter);

}  // namespace zelt::framework
