#include "storage/tree/lookup_shortcuts.hpp"

#include <utility>

namespace zelt::storage {

void LookupShortcuts::SetHint(const Node* leaf, const std::vector<TreeStep>& path) {
    LeafHint& hint = hints_[next_hint_++ % kLeafHints];
    hint.layout = layout_;
    hint.address = leaf->address;
    hint.has_lower = !path.empty();
    if (hint.has_lower) hint.lower.assign(path.back().node->page.items[path.back().index].key());
    hint.has_upper = false;
    for (std::size_t i = path.size(); i-- > 0;) {
        const PageContent& page = path[i].node->page;
        if (path[i].index + 1 < page.items.size()) {
            hint.has_upper = true;
            hint.upper.assign(page.items[path[i].index + 1].key());
            break;
        }
    }
}

PageImage LookupShortcuts::TakeReadOnce(int* size_class) {
    read_once_shape_ = 0;
    *size_class = read_once_class_;
    PageImage image = std::move(read_once_);
    read_once_ = PageImage{};
    return image;
}

}  // namespace zelt::storage
