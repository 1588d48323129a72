#include "framework/browse/parent_range.hpp"

#include "framework/browse/table_view.hpp"

namespace zelt::framework {

namespace {

void AddPair(ViewManager& view, runtime::Table& child_table, int child_field,
             runtime::Table& parent_table, int parent_field) {
    const auto& d = child_table.Declaration().Fields().at(static_cast<std::size_t>(child_field));
    ViewField field{d.label, FieldBinding(child_table, child_field), runtime::IsTextType(d.type),
                    false};
    view.AddRange(std::move(field), FieldBinding(parent_table, parent_field), LimitType::Related);
}

}  // namespace

bool LimitToParent(ViewManager& view, const RelationTracker& child, const RelationTracker& parent) {
    for (const RelationEntry& r : child.Relations()) {
        if (r.File != &parent || !r.Fields) continue;
        for (const auto& p : r.Fields->Pairs())
            AddPair(view, *p.left_table, p.left, *p.right_table, p.right);
        return true;
    }
    for (const RelationEntry& r : parent.Relations()) {
        if (r.File != &child || !r.Fields) continue;
        for (const auto& p : r.Fields->Pairs())
            AddPair(view, *p.right_table, p.right, *p.left_table, p.left);
        return true;
    }
    return false;
}

}  // namespace zelt::framework
