#include "storage/tree/page_cache.hpp"

#include <algorithm>

namespace zelt::storage {

Node* PageCache::Find(std::int32_t address) {
    Node* node = nullptr;
    if (recent_[0] != nullptr && recent_[0]->address == address) {
        node = recent_[0];
    } else if (recent_[1] != nullptr && recent_[1]->address == address) {
        node = recent_[1];
        std::swap(recent_[0], recent_[1]);
    } else {
        auto it = nodes_.find(address);
        if (it == nodes_.end()) return nullptr;
        node = it->second.get();
        recent_[1] = recent_[0];
        recent_[0] = node;
    }
    if (!node->dirty) {
        ++tick_;
        node->last_use = tick_;
        ++node->uses;
        auto& list = CleanList(node);
        list.splice(list.end(), list, node->lru);
    }
    return node;
}

Node* PageCache::Add(std::unique_ptr<Node> node) {
    Node* raw = node.get();
    raw->created = raw->last_use = ++tick_;
    auto& slot = nodes_[raw->address];
    if (slot) Forget(slot.get());
    slot = std::move(node);
    if (raw->dirty) {
        dirty_.push_back(raw);
    } else {
        raw->lru = CleanList(raw).insert(CleanList(raw).end(), raw);
    }
    return raw;
}

void PageCache::MarkDirty(Node* node) {
    if (node->dirty) return;
    CleanList(node).erase(node->lru);
    node->dirty = true;
    dirty_.push_back(node);
}

void PageCache::MarkAllClean() {
    for (Node* node : dirty_) {
        node->dirty = false;
        node->last_use = tick_;
        node->lru = CleanList(node).insert(CleanList(node).end(), node);
    }
    dirty_.clear();
}

void PageCache::Refile(Node* node, std::int32_t address) {
    auto it = nodes_.find(node->address);
    std::unique_ptr<Node> owned = std::move(it->second);
    nodes_.erase(it);
    node->address = address;
    auto& slot = nodes_[address];
    if (slot) Forget(slot.get());
    slot = std::move(owned);
}

void PageCache::Remove(Node* node) {
    Forget(node);
    if (node->dirty) {
        dirty_.erase(std::find(dirty_.begin(), dirty_.end(), node));
    } else {
        CleanList(node).erase(node->lru);
    }
    nodes_.erase(node->address);
}

void PageCache::Clear() {
    recent_ = {};
    clean_leaves_.clear();
    clean_index_.clear();
    dirty_.clear();
    nodes_.clear();
}

void PageCache::Evict(std::list<Node*>& list) {
    Node* lru = list.front();
    list.pop_front();
    Forget(lru);
    nodes_.erase(lru->address);
}

void PageCache::Trim() {
    while (clean_count() >= kMinClean) {
        const std::uint64_t held = clean_count();
        if (held >= kMaxClean) {
            Evict(clean_leaves_.empty() ? clean_index_ : clean_leaves_);
            continue;
        }
        // The least recently used node; an index page there ends the trim while index
        // pages fill at most half of the cache.
        std::list<Node*>* list = &clean_leaves_;
        if (clean_leaves_.empty() ||
            (!clean_index_.empty() &&
             clean_index_.front()->last_use < clean_leaves_.front()->last_use)) {
            list = &clean_index_;
        }
        if (list == &clean_index_ && clean_index_.size() <= kMaxClean / 2) break;
        Node* lru = list->front();
        std::uint64_t idle = tick_ - lru->last_use;
        std::uint64_t age = tick_ - lru->created;
        if (idle < 4 * (age / held)) break;
        Evict(*list);
    }
}

std::vector<Node*> PageCache::DirtyNodes() const {
    std::vector<Node*> out = dirty_;
    std::sort(out.begin(), out.end(),
              [](const Node* a, const Node* b) { return a->address < b->address; });
    return out;
}

}  // namespace zelt::storage
