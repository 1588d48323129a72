// Limiting a browse to the children of its parent's current record, through the linking
// fields of the relation between the two tables.
#pragma once

#include "framework/browse/view_manager.hpp"
#include "framework/relation_tracker.hpp"

namespace zelt::framework {

// Adds a range of the active order: each linking field of `child` equals the parent's
// field. False when the tables have no relation.
bool LimitToParent(ViewManager& view, const RelationTracker& child, const RelationTracker& parent);

}  // namespace zelt::framework
