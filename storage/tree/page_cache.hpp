// In-memory nodes of one open file, keyed by page address.
//
// Clean leaves sit in least-recently-used order and leave it by the trimming rule (at least
// 20 kept, at most 100); dirty nodes are never evicted until a commit writes them or the
// file's changes are dropped. Index pages, which every descent passes and which cost the
// most to read again, are held apart from that rule: they stay while their nodes take at
// most `kIndexBytes` (some 3 MiB of them serve a file of a million records), and beyond that
// the least recently used go first.
//
// A node that leaves is parked rather than dropped: it stays decoded and findable at its
// address, outside the trimming rule, while the parked nodes take at most the parking
// budget (`kParkedBytes` unless set); beyond that the longest parked are dropped. Finding a
// parked node files it as just used again, with no read and no decoding. A large file read
// in an order that has nothing to do with where its records lie (a list sorted by a key
// whose order is not the order the records went in) comes back to pages it read a few
// hundred rows before; they are still here.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "storage/pagefile/page_codec.hpp"

namespace zelt::storage {

struct Node {
    std::int32_t address = 0;
    PageContent page;
    int size_class = 0;  // units of the slot it occupies; 0 while never placed
    bool dirty = false;
    std::uint64_t created = 0;
    std::uint64_t last_use = 0;
    std::uint64_t uses = 0;
    std::size_t last_insert = 0;  // where the last insert into the page landed
    std::size_t held_bytes = 0;   // NodeBytes when it was last filed clean
    bool parked = false;          // clean, outside the trimming rule (see PageCache)
    std::list<Node*>::iterator lru;
};

// About the memory a node takes: its items, their slots and its child addresses.
inline std::size_t NodeBytes(const Node& node) {
    return sizeof(Node) + node.page.accounted + 8 * node.page.items.size() +
           4 * node.page.children.size();
}

// The cache's nodes by page address, owned: one probe into a flat array of address and
// node, where a node-based hash map chases three pointers before it reaches the node.
// Linear probing at most half full; an erase shifts the entries behind it back.
class NodeTable {
  public:
    Node* Find(std::int32_t address) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = Home(address);; i = (i + 1) & mask_) {
            if (!slots_[i].node) return nullptr;
            if (slots_[i].address == address) return slots_[i].node.get();
        }
    }
    // Files `node` at its address; answers the node it replaced, if any.
    std::unique_ptr<Node> Put(std::unique_ptr<Node> node);
    // Takes the node at `address` out; null when there is none.
    std::unique_ptr<Node> Take(std::int32_t address);
    void Clear();
    std::size_t size() const { return used_; }

  private:
    struct Slot {
        std::int32_t address = 0;
        std::unique_ptr<Node> node;  // null: empty
    };
    std::size_t Home(std::int32_t address) const {
        return static_cast<std::size_t>(
                   (static_cast<std::uint64_t>(static_cast<std::uint32_t>(address)) *
                    0x9E3779B97F4A7C15u) >>
                   32) &
               mask_;
    }
    static constexpr std::size_t kSmallest = 256;
    void Grow();
    // Rebuilds the table with at least `at_least` slots (a power of two).
    void Resize(std::size_t at_least);
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
};

class PageCache {
  public:
    static constexpr std::size_t kMinClean = 20;
    static constexpr std::size_t kMaxClean = 100;
    static constexpr std::size_t kIndexBytes = std::size_t{8} << 20;
    static constexpr std::size_t kParkedBytes = std::size_t{8} << 20;

    // The node at `address`, stamping a clean one as just used; null when absent.
    Node* Find(std::int32_t address);
    // Adds a node (clean or dirty as it says).
    Node* Add(std::unique_ptr<Node> node);
    void MarkDirty(Node* node);
    void MarkAllClean();
    void Refile(Node* node, std::int32_t address);
    void Remove(Node* node);
    // Lets a clean node go at once, its storage serving the next node read (a walk that
    // has gone past the leaf); a dirty or parked node stays.
    void Release(Node* node) {
        if (!node->dirty && !node->parked) Drop(node);
    }
    void Clear();
    // Applies the trimming rule to the clean list.
    void Trim();
    void set_parked_budget(std::size_t bytes) { parked_budget_ = bytes; }
    // Whether parking a few more nodes drops none: a lookup that reads a leaf for itself
    // alone may as well hold it then.
    bool parking_room() const { return parked_bytes_ + kParkedBytes / 64 <= parked_budget_; }
    // A node as new for a page about to be read or made: the one the trim evicted last,
    // cleared but keeping the storage of its items and children, when there is one.
    std::unique_ptr<Node> NewNode();

    std::vector<Node*> DirtyNodes() const;  // ordered by address
    std::size_t clean_count() const { return clean_leaves_.size() + clean_index_.size(); }
    std::size_t parked_count() const { return parked_.size(); }
    // About the memory of the clean and parked nodes.
    std::size_t clean_bytes() const { return leaf_bytes_ + index_bytes_ + parked_bytes_; }
    std::size_t size() const { return nodes_.size(); }
    std::uint64_t tick() const { return tick_; }

  private:
    NodeTable nodes_;
    std::list<Node*>& ListOf(const Node* node) {
        if (node->parked) return parked_;
        return node->page.level == 0 ? clean_leaves_ : clean_index_;
    }
    std::size_t& BytesOf(const Node* node) {
        if (node->parked) return parked_bytes_;
        return node->page.level == 0 ? leaf_bytes_ : index_bytes_;
    }
    // Parks the least recently used node of `list` (or drops it when nothing is parked).
    void Evict(std::list<Node*>& list);
    // Takes a clean node out of the cache; its storage serves the next node read.
    void Drop(Node* node);
    // Files a clean node at the most recent end of its list, and takes it out again; the
    // list cells are kept in `spare_links_` for the next node rather than freed.
    void Link(Node* node);
    void Unlink(const Node* node);
    // Takes a node out of the recent, clean and dirty lists (it is about to be destroyed).
    void Unlist(const Node* node);
    std::list<Node*> clean_leaves_;  // front: least recently used
    std::list<Node*> clean_index_;
    std::list<Node*> parked_;  // front: parked longest
    // The held_bytes of the nodes in each list.
    std::size_t leaf_bytes_ = 0;
    std::size_t index_bytes_ = 0;
    std::size_t parked_bytes_ = 0;
    std::size_t parked_budget_ = kParkedBytes;
    std::vector<Node*> dirty_;
    std::unique_ptr<Node> spare_;
    std::list<Node*> spare_links_;
    std::uint64_t tick_ = 0;
    // The nodes found last (a walk and the lookups of its records alternate between two
    // leaves), found again without hashing; a node leaving the cache leaves these.
    std::array<Node*, 2> recent_{};
    void Forget(const Node* node) {
        for (Node*& r : recent_) {
            if (r == node) r = nullptr;
        }
    }
};

}  // namespace zelt::storage
