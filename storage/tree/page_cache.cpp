#include "storage/tree/page_cache.hpp"

#include <algorithm>

namespace zelt::storage {

Node* PageCache::Find(std::int32_t address) {
    auto it = nodes_.find(address);
    if (it == nodes_.end()) return nullptr;
    Node* node = it->second.get();
    if (!node->dirty) {
        ++tick_;
        node->last_use = tick_;
        ++node->uses;
        clean_.splice(clean_.end(), clean_, node->lru);
    }
    return node;
}

Node* PageCache::Add(std::unique_ptr<Node> node) {
    Node* raw = node.get();
    raw->created = raw->last_use = ++tick_;
    nodes_[raw->address] = std::move(node);
    if (raw->dirty) {
        dirty_.push_back(raw);
    } else {
        raw->lru = clean_.insert(clean_.end(), raw);
    }
    return raw;
}

void PageCache::MarkDirty(Node* node) {
    if (node->dirty) return;
    clean_.erase(node->lru);
    node->dirty = true;
    dirty_.push_back(node);
}

void PageCache::MarkAllClean() {
    for (Node* node : dirty_) {
        node->dirty = false;
        node->last_use = tick_;
        node->lru = clean_.insert(clean_.end(), node);
    }
    dirty_.clear();
}

void PageCache::Refile(Node* node, std::int32_t address) {
    auto it = nodes_.find(node->address);
    std::unique_ptr<Node> owned = std::move(it->second);
    nodes_.erase(it);
    node->address = address;
    nodes_[address] = std::move(owned);
}

void PageCache::Remove(Node* node) {
    if (node->dirty) {
        dirty_.erase(std::find(dirty_.begin(), dirty_.end(), node));
    } else {
        clean_.erase(node->lru);
    }
    nodes_.erase(node->address);
}

void PageCache::Clear() {
    clean_.clear();
    dirty_.clear();
    nodes_.clear();
}

void PageCache::Trim() {
    while (clean_.size() >= kMinClean) {
        Node* lru = clean_.front();
        std::uint64_t held = clean_.size();
        std::uint64_t idle = tick_ - lru->last_use;
        std::uint64_t age = tick_ - lru->created;
        if (held < kMaxClean && idle < 4 * (age / held)) break;
        clean_.pop_front();
        nodes_.erase(lru->address);
    }
}

std::vector<Node*> PageCache::DirtyNodes() const {
    std::vector<Node*> out = dirty_;
    std::sort(out.begin(), out.end(), [](const Node* a, const Node* b) { return a->address < b->address; });
    return out;
}

}  // namespace zelt::storage
