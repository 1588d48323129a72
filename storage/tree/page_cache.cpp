#include "storage/tree/page_cache.hpp"

#include <algorithm>

namespace zelt::storage {

std::unique_ptr<Node> NodeTable::Put(std::unique_ptr<Node> node) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const std::int32_t address = node->address;
    for (std::size_t i = Home(address);; i = (i + 1) & mask_) {
        Slot& slot = slots_[i];
        if (!slot.node) {
            slot.address = address;
            slot.node = std::move(node);
            ++used_;
            return nullptr;
        }
        if (slot.address == address) {
            std::swap(slot.node, node);
            return node;
        }
    }
}

std::unique_ptr<Node> NodeTable::Take(std::int32_t address) {
    if (slots_.empty()) return nullptr;
    std::size_t hole = Home(address);
    while (slots_[hole].node && slots_[hole].address != address) hole = (hole + 1) & mask_;
    if (!slots_[hole].node) return nullptr;
    std::unique_ptr<Node> taken = std::move(slots_[hole].node);
    --used_;
    // Entries behind the hole whose home is not between it and them move into it.
    for (std::size_t at = (hole + 1) & mask_; slots_[at].node; at = (at + 1) & mask_) {
        const std::size_t home = Home(slots_[at].address);
        const bool stays = hole < at ? (hole < home && home <= at) : (hole < home || home <= at);
        if (stays) continue;
        slots_[hole] = std::move(slots_[at]);
        hole = at;
    }
    // A table grown for a large transaction shrinks again once few nodes are left: a probe
    // for a page not held reads a line of a table far larger than the nodes need.
    if (slots_.size() > kSmallest && 8 * used_ < slots_.size()) Resize(4 * used_);
    return taken;
}

void NodeTable::Clear() {
    slots_.clear();
    mask_ = 0;
    used_ = 0;
}

void NodeTable::Grow() {
    Resize(2 * slots_.size());
}

void NodeTable::Resize(std::size_t at_least) {
    std::size_t size = kSmallest;
    while (size < at_least) size *= 2;
    std::vector<Slot> old = std::move(slots_);
    slots_ = std::vector<Slot>(size);
    mask_ = slots_.size() - 1;
    used_ = 0;
    for (Slot& slot : old) {
        if (slot.node) Put(std::move(slot.node));
    }
}

Node* PageCache::Find(std::int32_t address) {
    Node* node = nullptr;
    if (recent_[0] != nullptr && recent_[0]->address == address) {
        node = recent_[0];
    } else if (recent_[1] != nullptr && recent_[1]->address == address) {
        node = recent_[1];
        std::swap(recent_[0], recent_[1]);
    } else {
        node = nodes_.Find(address);
        if (node == nullptr) return nullptr;
        recent_[1] = recent_[0];
        recent_[0] = node;
    }
    if (!node->dirty) {
        ++tick_;
        node->last_use = tick_;
        ++node->uses;
        if (node->parked) {
            // Back as if just read.
            Unlink(node);
            node->parked = false;
            node->created = tick_;
            Link(node);
        } else if (node->page.level == 0 || index_bytes_ > kIndexBytes / 2) {
            // Index pages far below their budget are never evicted: their order of use
            // does not matter yet, and keeping it costs a descent a list move per level.
            auto& list = ListOf(node);
            if (std::next(node->lru) != list.end()) list.splice(list.end(), list, node->lru);
        }
    }
    return node;
}

std::unique_ptr<Node> PageCache::NewNode() {
    if (!spare_) return std::make_unique<Node>();
    std::unique_ptr<Node> node = std::move(spare_);
    // Everything as new but the storage of the items and the children.
    ItemList items = std::move(node->page.items);
    std::vector<std::int32_t> children = std::move(node->page.children);
    items.Clear();
    children.clear();
    *node = Node{};
    node->page.items = std::move(items);
    node->page.children = std::move(children);
    return node;
}

Node* PageCache::Add(std::unique_ptr<Node> node) {
    Node* raw = node.get();
    raw->created = raw->last_use = ++tick_;
    raw->parked = false;
    if (auto replaced = nodes_.Put(std::move(node))) Unlist(replaced.get());
    if (raw->dirty) {
        dirty_.push_back(raw);
    } else {
        Link(raw);
    }
    return raw;
}

void PageCache::MarkDirty(Node* node) {
    if (node->dirty) return;
    Unlink(node);
    node->parked = false;
    node->dirty = true;
    dirty_.push_back(node);
}

void PageCache::MarkAllClean() {
    for (Node* node : dirty_) {
        node->dirty = false;
        node->last_use = tick_;
        Link(node);
    }
    dirty_.clear();
}

void PageCache::Refile(Node* node, std::int32_t address) {
    std::unique_ptr<Node> owned = nodes_.Take(node->address);
    node->address = address;
    if (auto replaced = nodes_.Put(std::move(owned))) Unlist(replaced.get());
}

void PageCache::Unlist(const Node* node) {
    Forget(node);
    if (node->dirty) {
        dirty_.erase(std::find(dirty_.begin(), dirty_.end(), node));
    } else {
        Unlink(node);
    }
}

void PageCache::Remove(Node* node) {
    Unlist(node);
    nodes_.Take(node->address);
}

void PageCache::Clear() {
    recent_ = {};
    spare_.reset();
    spare_links_.clear();
    clean_leaves_.clear();
    clean_index_.clear();
    parked_.clear();
    leaf_bytes_ = index_bytes_ = parked_bytes_ = 0;
    dirty_.clear();
    nodes_.Clear();
}

void PageCache::Link(Node* node) {
    node->held_bytes = NodeBytes(*node);
    BytesOf(node) += node->held_bytes;
    std::list<Node*>& list = ListOf(node);
    if (spare_links_.empty()) {
        node->lru = list.insert(list.end(), node);
        return;
    }
    list.splice(list.end(), spare_links_, spare_links_.begin());
    node->lru = std::prev(list.end());
    *node->lru = node;
}

void PageCache::Unlink(const Node* node) {
    BytesOf(node) -= node->held_bytes;
    spare_links_.splice(spare_links_.begin(), ListOf(node), node->lru);
}

void PageCache::Drop(Node* node) {
    Forget(node);
    Unlink(node);
    spare_ = nodes_.Take(node->address);
}

void PageCache::Evict(std::list<Node*>& list) {
    Node* lru = list.front();
    if (NodeBytes(*lru) > parked_budget_) {
        Drop(lru);
        return;
    }
    Forget(lru);
    Unlink(lru);
    lru->parked = true;
    Link(lru);
    while (parked_bytes_ > parked_budget_) Drop(parked_.front());
}

void PageCache::Trim() {
    while (index_bytes_ > kIndexBytes && !clean_index_.empty()) Evict(clean_index_);
    while (clean_leaves_.size() >= kMinClean) {
        const std::uint64_t held = clean_leaves_.size();
        if (held >= kMaxClean) {
            Evict(clean_leaves_);
            continue;
        }
        const Node* lru = clean_leaves_.front();
        const std::uint64_t idle = tick_ - lru->last_use;
        const std::uint64_t age = tick_ - lru->created;
        // idle < 4 * floor(age / held), without a division: floor(age / held) is at least
        // idle / 4 + 1 exactly when age is at least (idle / 4 + 1) * held.
        std::uint64_t bound = 0;
        if (!__builtin_mul_overflow(idle / 4 + 1, held, &bound) && age >= bound) break;
        Evict(clean_leaves_);
    }
}

std::vector<Node*> PageCache::DirtyNodes() const {
    std::vector<Node*> out = dirty_;
    std::sort(out.begin(), out.end(),
              [](const Node* a, const Node* b) { return a->address < b->address; });
    return out;
}

}  // namespace zelt::storage
