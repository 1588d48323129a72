// A walk's step from the last item of a leaf to the first of the leaf after it.
//
// A descent to a leaf passes the index page right above it (its parent) and takes one of
// its entries; the shortcuts keep that parent and entry with a finger and with the last
// exact lookup. The leaf after is then the child of the next entry of the same parent, so
// a walk in key order reaches it without a descent from the root, without the searches of
// the index pages on the way and without the leaf hints. The parent is used only while
// the tree's routes are as they were (no split, move or new header since) and while it is
// held and still names the leaf at that entry; otherwise the caller descends as before.
#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/key_order.hpp"
#include "storage/tree/tree_file.hpp"

namespace zelt::storage {

Node* TreeFile::NextLeaf(const LeafParent& up, std::int32_t leaf, LeafParent* next_up,
                         const std::string_view* routed) {
    if (!shortcuts_.Stands(up)) return nullptr;
    Node* parent = cache_.Find(up.address);
    if (parent == nullptr || parent->page.level != 1) return nullptr;
    const std::vector<std::int32_t>& children = parent->page.children;
    const ItemList& entries = parent->page.items;
    const std::size_t at = up.index + 1;
    if (at >= children.size() || children.size() != entries.size() || children[up.index] != leaf)
        return nullptr;
    // A lookup goes on only where a descent through this parent would go.
    if (routed != nullptr && (KeyLess(*routed, entries.key(at)) ||
                              (at + 1 < entries.size() && !KeyLess(*routed, entries.key(at + 1)))))
        return nullptr;
    Node* left = cache_.Find(leaf);
    Node* next = FetchLeaf(children[at]);
    CheckChild(*parent, *next);
    if (next->page.items.empty()) RaiseFault(fault::ItemTreeLinks);
    *next_up = shortcuts_.Parent(*parent, at);
    // The walk is past the leaf it left: its node goes at once, and its storage (still in
    // the processor's caches) takes the next leaf read, instead of being parked for
    // lookups that come back to it.
    if (left != nullptr && left != next) cache_.Release(left);
    return next;
}

const Item* TreeFile::FindInNextLeaf(std::string_view key) {
    Node* leaf = shortcuts_.LastFoundLeaf();
    if (leaf == nullptr || shortcuts_.last_found() + 1 != leaf->page.items.size()) return nullptr;
    LeafParent up;
    Node* next = NextLeaf(shortcuts_.last_lookup_parent(), leaf->address, &up, &key);
    if (next == nullptr || !KeyEqual(next->page.items.key(0), key)) return nullptr;
    shortcuts_.exact_leaf() = next->address;
    shortcuts_.NoteLookup(*next, up);
    shortcuts_.NoteFound(0);
    return Answer(next->page.items[0]);
}

}  // namespace zelt::storage
