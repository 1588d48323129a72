// The placement of a commit's pages: every changed page gets a slot of its coded size, the
// sections are compacted, and the page images are laid out (sealed in an enciphered file)
// for the journal to write. CommitDone forgets what the commit wrote.
#include "storage/tree/tree_file.hpp"

#include <algorithm>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"

namespace zelt::storage {

void TreeFile::MovePage(std::int32_t from, std::int32_t to) {
    shortcuts_.OnChange(TreeChange::kRoutes);
    Node* node = Fetch(from);
    if (to >= 0) {
        if (Node* there = cache_.Find(to); there != nullptr && there != node)
            RaiseFault(fault::ItemTreeLinks);
    }
    Dirty(node);
    cache_.Refile(node, to);
    if (header_.root() == from) {
        header_.set_root(to);
        return;
    }
    if (node->page.items.empty()) RaiseFault(fault::MovedPageEmpty);
    std::string key(node->page.items.front().key());
    Node* parent = Root();
    for (;;) {
        // A damaged header may name no root while its pages are still moved.
        if (parent == nullptr || parent->page.level == 0 || parent->page.items.empty())
            RaiseFault(fault::MovedPageNotFound);
        std::size_t index = ChildIndex(*parent, key);
        if (parent->page.children[index] == from) {
            parent->page.children[index] = to;
            Dirty(parent);
            return;
        }
        Node* child = Fetch(parent->page.children[index]);
        CheckChild(*parent, *child);
        parent = child;
    }
}

bool TreeFile::PlaceDirtyNodes(PageImages& images) {
    bool changed = false;
    for (Node* node : cache_.DirtyNodes()) {
        // Placing pages changes only child addresses, never a page's coded size: each
        // page is coded once per commit.
        std::string& image = images[node];
        if (image.empty()) image = PageBytes(node->page);
        int k = static_cast<int>(image.size() / kUnit);
        if (node->address >= 0 && node->size_class == k) continue;
        if (node->address >= 0) {
            std::int32_t old_address = node->address;
            int old_class = node->size_class;
            MovePage(old_address, next_temp_--);
            FreeSlot(header_, old_address, old_class, *this);
        }
        node->size_class = 0;
        std::int32_t address = AllocateSlot(header_, k, *this);
        MovePage(node->address, address);
        node->size_class = k;
        changed = true;
    }
    return changed;
}

std::vector<std::pair<std::uint64_t, std::string>> TreeFile::PrepareCommit() {
    std::vector<std::pair<std::uint64_t, std::string>> pages;
    window_.Drop();  // the file is about to be written
    if (!dirty_) return pages;
    PageImages images;
    PlaceDirtyNodes(images);
    for (int round = 0; round < 16; ++round) {
        CompactSections(header_, *this);
        if (!PlaceDirtyNodes(images)) break;
    }
    std::vector<Node*> dirty = cache_.DirtyNodes();
    if (handle_->enciphered()) {
        // Children before parents, so that each parent holds its children's new tags.
        DirtyParents();
        dirty = cache_.DirtyNodes();
        std::stable_sort(dirty.begin(), dirty.end(), [](const Node* a, const Node* b) {
            return a->page.level < b->page.level;
        });
    }
    for (Node* node : dirty) {
        if (node->address < 0) RaiseFault(fault::ItemTreeLinks);
        auto offset = static_cast<std::uint64_t>(AddressToOffset(node->address));
        std::string bytes;
        if (auto it = images.find(node); it != images.end()) bytes = std::move(it->second);
        if (bytes.empty()) bytes = PageBytes(node->page);
        StampPageImage(bytes, node->page, static_cast<std::uint32_t>(offset));
        if (handle_->enciphered()) Seal(*node, bytes);
        if (bytes.size() != static_cast<std::size_t>(node->size_class) * kUnit)
            RaiseFault(fault::PageLengthClass);
        pages.emplace_back(offset, std::move(bytes));
    }
    if (handle_->enciphered())
        std::sort(pages.begin(), pages.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
    return pages;
}

void TreeFile::CommitDone() {
    shortcuts_.OnChange(TreeChange::kRoutes);
    window_.Drop();
    cache_.MarkAllClean();
    dirty_ = false;
    root_in_memory_ = false;
    next_temp_ = -1;
}

}  // namespace zelt::storage
