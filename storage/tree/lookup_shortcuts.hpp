// The shortcuts that let a B+tree answer a lookup or take an insert without descending
// from the root again:
//
//   fingers          where a recent ordered read (least above, greatest below) landed: the
//                    leaf and the item's index in it. The next step of a walk moves inside
//                    that leaf, and from its last item to the leaf after it.
//   leaf hints       a leaf recent inserts went into and the keys that route to it (above
//                    its entry in its parent, below the next entry on the way down, each
//                    unbounded at the tree's edge). Runs of neighbouring keys (growing
//                    record numbers, dates and times) go straight to the leaf.
//   last seek        the leaf the last ordered lookup reached: a seek whose key lies inside
//                    it is answered there without a descent.
//   last lookup      the leaf the last exact lookup reached and the item it found there:
//                    lookups in key order (a walk reading each item's record) try the next
//                    item first, and from the leaf's last item the first of the leaf after.
//   leaf parents     for a finger and for the last lookup, the index page above the leaf
//                    and the leaf's entry in it, as the descent to the leaf passed them: the
//                    leaf after it is the next entry's child, found without a descent.
//   leaf read once   a leaf read for one lookup and not held, so that scattered lookups
//                    neither build the items of every leaf they pass nor push the index
//                    pages out of the cache. When the next lookup (the change of a record
//                    just read) wants it held, it is taken as it is instead of read again.
//                    With it go the leaves the last exact and ordered lookups reached,
//                    which decide whether a leaf is read once or held.
//
// Each shortcut is good only while the tree is as it was when it was taken. The tree
// reports every change through one call, OnChange(kind), and the shortcuts work out
// which of them lapse:
//
//   kContent   items of a page added, removed or rewritten, or the pages read from
//              elsewhere (a journal): fingers, the last lookup and the leaf read once
//              lapse; leaf hints stay, since every key still routes to the same leaf.
//   kRoutes    a page split, an entry added, changed or dropped, a page emptied or moved,
//              the tree taken afresh from its header or committed: every shortcut lapses.
//
// Whoever changes the tree says so within the same call, before anything can look
// again; when in doubt, kRoutes is always safe (it only costs a descent). Everything here is
// inline-cheap: no allocation on a hit, no virtual call. The shortcuts never own a node; they name
// leaves by address and find them in the page cache again, checking that each is still a leaf
// holding what it held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/pagefile/key_order.hpp"
#include "storage/pagefile/page_codec.hpp"
#include "storage/tree/page_cache.hpp"

namespace zelt::storage {

// One step of a descent: the index page passed and the entry taken in it.
struct TreeStep {
    Node* node;
    std::size_t index;
};

enum class TreeChange { kContent, kRoutes };

// The index page right above a leaf (by address) and the leaf's entry in it, taken while
// the tree's routes stood as `layout` says (0: none known).
struct LeafParent {
    std::uint64_t layout = 0;
    std::int32_t address = 0;
    std::size_t index = 0;
};

class LookupShortcuts {
  public:
    struct Finger {
        std::uint64_t shape = 0;  // 0: unused
        std::int32_t address = 0;
        std::size_t index = 0;
        std::string key;
        LeafParent up;  // the leaf's parent, when the finger came to it through one
    };

    explicit LookupShortcuts(PageCache& cache) : cache_(&cache) {}

    // Changes with every change of the tree's items or routes and every new header.
    std::uint64_t shape() const { return shape_; }
    // A leaf parent taken now, and whether one still describes the routes.
    LeafParent Parent(const Node& parent, std::size_t index) const {
        return {layout_, parent.address, index};
    }
    bool Stands(const LeafParent& up) const { return up.layout == layout_; }
    void OnChange(TreeChange kind) {
        ++shape_;
        if (kind == TreeChange::kRoutes) ++layout_;
    }

    // Fingers. FindFinger: the finger left at `key` (null: none). FingerLeaf: its leaf, or
    // null when that no longer holds the item. SetFinger moves `reuse` (or the oldest
    // finger) to the item at `index` of `leaf`.
    Finger* FindFinger(std::string_view key) {
        for (Finger& finger : fingers_) {
            if (finger.shape == shape_ && KeyEqual(finger.key, key)) return &finger;
        }
        return nullptr;
    }
    Node* FingerLeaf(const Finger& finger) {
        if (finger.shape != shape_) return nullptr;
        Node* leaf = cache_->Find(finger.address);
        if (leaf == nullptr || leaf->page.level != 0 || finger.index >= leaf->page.items.size() ||
            !KeyEqual(leaf->page.items.key(finger.index), finger.key)) {
            return nullptr;
        }
        return leaf;
    }
    // A finger that moves to another leaf forgets its parent (the caller sets the new one).
    Finger& SetFinger(Finger* reuse, const Node* leaf, std::size_t index) {
        Finger& finger = reuse != nullptr ? *reuse : fingers_[next_finger_++ % kFingers];
        if (reuse == nullptr || finger.address != leaf->address) finger.up = {};
        finger.shape = shape_;
        finger.address = leaf->address;
        finger.index = index;
        finger.key.assign(leaf->page.items[index].key());
        return finger;
    }

    // Leaf hints. HintedLeaf: a held leaf `key` routes to, or null. SetHint records `leaf`
    // with the bounds the descent `path` to it passed.
    Node* HintedLeaf(std::string_view key) {
        for (LeafHint& hint : hints_) {
            if (hint.layout != layout_) continue;
            if (hint.has_lower && !KeyLess(hint.lower, key)) continue;
            if (hint.has_upper && !KeyLess(key, hint.upper)) continue;
            Node* leaf = cache_->Find(hint.address);
            if (leaf == nullptr || leaf->page.level != 0 || leaf->page.items.empty()) {
                hint.layout = 0;
                continue;
            }
            return leaf;
        }
        return nullptr;
    }
    void SetHint(const Node* leaf, const std::vector<TreeStep>& path);

    // The last exact lookup. LastLookupLeaf: its leaf when `key` lies between that leaf's
    // first and last items (a leaf covers the keys from its first item up to its right
    // neighbour's), else null. last_found: the index of the item it found.
    // Any held leaf whose items span `key` is where `key` lies, whatever changed since
    // (the changes of records just read, in key order, each change its leaf's items).
    Node* LastLookupLeaf(std::string_view key) {
        Node* leaf = cache_->Find(find_leaf_);
        if (leaf != nullptr && leaf->page.level == 0 && !leaf->page.items.empty() &&
            !KeyLess(key, leaf->page.items.key(0)) &&
            !KeyLess(leaf->page.items.key(leaf->page.items.size() - 1), key)) {
            return leaf;
        }
        return nullptr;
    }
    std::size_t last_found() const { return find_index_; }
    // The leaf of the last exact lookup while it is held and the tree unchanged, else null.
    Node* LastFoundLeaf() {
        if (find_shape_ != shape_) return nullptr;
        Node* leaf = cache_->Find(find_leaf_);
        return leaf != nullptr && leaf->page.level == 0 ? leaf : nullptr;
    }
    // `up`: the leaf's parent when a descent passed it; the same leaf reached otherwise
    // keeps the parent it had.
    void NoteLookup(const Node& leaf, const LeafParent& up = {}) {
        if (up.layout != 0 || find_leaf_ != leaf.address) find_up_ = up;
        find_shape_ = shape_;
        find_leaf_ = leaf.address;
    }
    void NoteFound(std::size_t index) { find_index_ = index; }
    const LeafParent& last_lookup_parent() const { return find_up_; }

    // The leaf read once. ReadOnceRoom before reading one (a failed read leaves none);
    // KeepReadOnce after; HoldsReadOnce: whether it is the leaf at `address`, unchanged
    // since; TakeReadOnce hands its image over (and forgets it).
    // Where the next leaf read once goes: the image of the last one, its storage kept
    // (it stands for nothing until KeepReadOnce).
    PageImage& ReadOnceRoom() {
        read_once_shape_ = 0;
        return read_once_;
    }
    void KeepReadOnce(std::int32_t address, int size_class) {
        read_once_class_ = size_class;
        read_once_address_ = address;
        read_once_shape_ = shape_;
    }
    bool HoldsReadOnce(std::int32_t address) const {
        return read_once_shape_ == shape_ && read_once_address_ == address;
    }
    const PageImage& read_once() const { return read_once_; }
    PageImage TakeReadOnce(int* size_class);
    // The held leaf the last ordered lookup reached when `key` lies from its first item up
    // to (not including) its last, else null: a seek of `key` either way finds its answer
    // there (seeks by key in rising order, a few items apart).
    Node* SeekLeafAround(std::string_view key) {
        Node* leaf = cache_->Find(last_seek_leaf_);
        if (leaf == nullptr || leaf->page.level != 0 || leaf->page.items.size() < 2) return nullptr;
        const ItemList& items = leaf->page.items;
        if (KeyLess(key, items.key(0)) || !KeyLess(key, items.key(items.size() - 1)))
            return nullptr;
        return leaf;
    }
    // The leaves the last exact lookup and the last ordered lookup reached.
    std::int32_t& exact_leaf() { return last_find_leaf_; }
    std::int32_t& seek_leaf() { return last_seek_leaf_; }

  private:
    struct LeafHint {
        std::uint64_t layout = 0;  // 0: unused
        std::int32_t address = 0;
        bool has_lower = false;
        bool has_upper = false;
        std::string lower;
        std::string upper;
    };
    static constexpr std::size_t kFingers = 4;
    static constexpr std::size_t kLeafHints = 8;

    PageCache* cache_;
    // Counts every change (shape) and every change of routes (layout); a shortcut is good
    // while the count it was taken at stays.
    std::uint64_t shape_ = 1;
    std::uint64_t layout_ = 1;
    Finger fingers_[kFingers];
    std::size_t next_finger_ = 0;
    LeafHint hints_[kLeafHints];
    std::size_t next_hint_ = 0;
    PageImage read_once_;
    int read_once_class_ = 0;
    std::int32_t read_once_address_ = 0;
    std::uint64_t read_once_shape_ = 0;  // 0: none
    std::uint64_t find_shape_ = 0;
    std::int32_t find_leaf_ = 0;
    std::size_t find_index_ = 0;
    LeafParent find_up_;
    std::int32_t last_find_leaf_ = 0;
    std::int32_t last_seek_leaf_ = 0;
};

}  // namespace zelt::storage
