// In-memory nodes of one open file, keyed by page address.
//
// Clean nodes sit in least-recently-used order and may be evicted by the trimming rule
// (at least 20 kept, at most 100); dirty nodes are never evicted until a commit writes them
// or the file's changes are dropped. Index pages, which every descent passes and which
// cost the most to read again, do not count as idle while they fill at most half of the
// cache, and at the bound leaves go before them.
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
    std::list<Node*>::iterator lru;
};

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

    // The node at `address`, stamping a clean one as just used; null when absent.
    Node* Find(std::int32_t address);
    // Adds a node (clean or dirty as it says).
    Node* Add(std::unique_ptr<Node> node);
    void MarkDirty(Node* node);
    void MarkAllClean();
    void Refile(Node* node, std::int32_t address);
    void Remove(Node* node);
    void Clear();
    // Applies the trimming rule to the clean list.
    void Trim();
    // A node as new for a page about to be read or made: the one the trim evicted last,
    // cleared but keeping the storage of its items and children, when there is one.
    std::unique_ptr<Node> NewNode();

    std::vector<Node*> DirtyNodes() const;  // ordered by address
    std::size_t clean_count() const { return clean_leaves_.size() + clean_index_.size(); }
    std::size_t size() const { return nodes_.size(); }
    std::uint64_t tick() const { return tick_; }

  private:
    NodeTable nodes_;
    std::list<Node*>& CleanList(const Node* node) {
        return node->page.level == 0 ? clean_leaves_ : clean_index_;
    }
    void Evict(std::list<Node*>& list);
    // Files a clean node at the most recent end of its list, and takes it out again; the
    // list cells are kept in `spare_links_` for the next node rather than freed.
    void Link(Node* node);
    void Unlink(const Node* node);
    // Takes a node out of the recent, clean and dirty lists (it is about to be destroyed).
    void Unlist(const Node* node);
    std::list<Node*> clean_leaves_;  // front: least recently used
    std::list<Node*> clean_index_;
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
