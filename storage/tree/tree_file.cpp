#include "storage/tree/tree_file.hpp"

#include <algorithm>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/key_order.hpp"

namespace zelt::storage {
namespace {

constexpr std::uint32_t kSplitCrowded = 4096;
constexpr std::size_t kCrowdedItems = 20;

// The first item whose key is at or above `key` (strict: above it).
template <bool strict>
std::size_t Bound(const ItemList& items, std::string_view key) {
    std::size_t low = 0;
    std::size_t count = items.size();
    while (count > 0) {
        const std::size_t half = count / 2;
        const std::string_view probe = items.key(low + half);
        if (strict ? !KeyLess(key, probe) : KeyLess(probe, key)) {
            low += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return low;
}

std::size_t LowerBound(const PageContent& page, std::string_view key) {
    // Growing keys (record numbers, dates and times) land behind the last item.
    const std::size_t n = page.items.size();
    if (n > 0 && KeyLess(page.items.key(n - 1), key)) return n;
    return Bound<false>(page.items, key);
}

std::size_t UpperBound(const PageContent& page, std::string_view key) {
    return Bound<true>(page.items, key);
}

// Where `key` goes in a leaf. Runs of growing keys that end inside a page (each table's
// records and each key have a stretch of the one tree) land right behind the last insert.
std::size_t InsertPosition(const Node& leaf, std::string_view key) {
    const ItemList& items = leaf.page.items;
    const std::size_t next = leaf.last_insert + 1;
    if (next <= items.size() && KeyLess(items.key(next - 1), key) &&
        (next == items.size() || KeyLess(key, items.key(next))))
        return next;
    return LowerBound(leaf.page, key);
}

std::pair<std::string, std::string> Pair(const Item& item) {
    return {std::string(item.key()), std::string(item.data())};
}

}  // namespace

void TreeFile::Reset(const FileHeader& header) {
    shortcuts_.OnChange(TreeChange::kRoutes);
    window_.Drop();
    tree_seen_ = false;
    child_tags_.clear();
    header_ = header;
    cache_.Clear();
    if (auto kept = kept_.Attach(*handle_, header)) cache_ = std::move(*kept);
    next_temp_ = -1;
    root_in_memory_ = false;
    dirty_ = false;
}

// A file committed before it ever held an item (an identifier issued, nothing stored) has
// a header but still no root page: its root address is 0 and no section holds address 0.
// Once a tree exists it goes on existing until a new header is taken (Reset).
bool TreeFile::HasTree() const {
    if (root_in_memory_ || tree_seen_) return true;
    tree_seen_ = header_.change_counter() != 0 && (header_.root() != 0 || header_.ClassOf(0) != 0);
    return tree_seen_;
}

std::string_view TreeFile::ReadStored(std::int32_t address, int* size_class) {
    int k = address < 0 ? 0 : header_.ClassOf(address);
    if (k == 0) RaiseFault(fault::AddressInNoSection);
    auto offset = static_cast<std::uint64_t>(AddressToOffset(address));
    std::uint64_t position = offset;
    if (auto it = journal_map_.find(static_cast<std::uint32_t>(offset)); it != journal_map_.end()) {
        position = it->second;
    }
    *size_class = k;
    const std::size_t length = static_cast<std::size_t>(k) * kUnit;
    if (!handle_->enciphered()) return window_.View(position, length, read_bytes_);
    // A sealed page is unsealed in a copy of its own.
    read_bytes_.resize(length);
    window_.Read(position, read_bytes_);
    Unseal(address, offset, read_bytes_);
    return read_bytes_;
}

Node* TreeFile::Fetch(std::int32_t address) {
    if (Node* node = cache_.Find(address)) return node;
    int k = 0;
    const std::string_view stored = ReadStored(address, &k);
    std::unique_ptr<Node> node = cache_.NewNode();
    const std::size_t count = ReadPageParts(stored, node->page, stream_);
    return Keep(std::move(node), address, k, stream_, count);
}

void TreeFile::KeepPages() {
    if (dirty_) {
        kept_.Spoil();
        return;
    }
    kept_.Detach(*handle_, cache_);
}

Node* TreeFile::Hold(std::int32_t address, PageImage&& image, int size_class) {
    std::unique_ptr<Node> node = cache_.NewNode();
    node->page.level = image.page.level;
    node->page.accounted = image.page.accounted;
    node->page.children.swap(image.page.children);
    return Keep(std::move(node), address, size_class, image.stream, image.count);
}

Node* TreeFile::Keep(std::unique_ptr<Node> node, std::int32_t address, int size_class,
                     std::string_view stream, std::size_t count) {
    DecodeItemsInto(stream, count, node->page.items);
    node->address = address;
    node->size_class = size_class;
    return cache_.Add(std::move(node));
}

Node* TreeFile::Root() {
    if (!HasTree()) return nullptr;
    return Fetch(header_.root());
}

Node* TreeFile::NewNode(std::uint8_t level) {
    kept_.Spoil();
    std::unique_ptr<Node> node = cache_.NewNode();
    node->address = next_temp_--;
    node->page.level = level;
    node->dirty = true;
    dirty_ = true;
    return cache_.Add(std::move(node));
}

void TreeFile::Dirty(Node* node) {
    kept_.Spoil();
    shortcuts_.OnChange(TreeChange::kContent);
    cache_.MarkDirty(node);
    dirty_ = true;
}

std::size_t TreeFile::ChildIndex(const Node& node, std::string_view key) {
    if (node.page.items.empty() || node.page.children.size() != node.page.items.size()) {
        RaiseFault(fault::ItemTreeLinks);
    }
    std::size_t upper = UpperBound(node.page, key);
    return upper == 0 ? 0 : upper - 1;
}

void TreeFile::CheckChild(const Node& parent, const Node& child) {
    if (child.page.level + 1 != parent.page.level) RaiseFault(fault::ItemTreeLinks);
}

Node* TreeFile::Descend(std::string_view key, std::vector<Step>* path) {
    Node* node = Root();
    while (node->page.level > 0) {
        std::size_t index = ChildIndex(*node, key);
        if (path) path->push_back({node, index});
        Node* child = Fetch(node->page.children[index]);
        CheckChild(*node, *child);
        node = child;
    }
    return node;
}

// The descent of a lookup. While the cache has room to park what it lets go, every leaf is
// fetched and held: lookups that come back to it find it. Once it has none, a leaf that is
// not held is read for this one lookup and left with the shortcuts as the leaf read once
// (null comes back), so that scattered lookups neither build the items of every leaf they
// pass nor push out what is held; a leaf that the same kind of lookup reached last time
// too, or its right neighbour (a walk, a run of neighbouring keys), is fetched and held as
// any other page.
Node* TreeFile::DescendForLookup(std::string_view key, std::vector<Step>* path,
                                 std::int32_t& last_leaf, bool one_off) {
    descent_up_ = {};
    Node* node = Root();
    while (node->page.level > 0) {
        std::size_t index = ChildIndex(*node, key);
        if (path) path->push_back({node, index});
        const std::int32_t address = node->page.children[index];
        if (node->page.level == 1) descent_up_ = shortcuts_.Parent(*node, index);
        // The right neighbour of the leaf last reached is where a walk goes next.
        const bool follows = index > 0 && node->page.children[index - 1] == last_leaf;
        if (one_off && node->page.level == 1 && !follows && !cache_.parking_room() &&
            cache_.Find(address) == nullptr && last_leaf != address) {
            last_leaf = address;
            PageImage& image = shortcuts_.ReadOnceRoom();
            int k = 0;
            const std::string_view stored = ReadStored(address, &k);
            image.count = ReadPageParts(stored, image.page, image.stream);
            if (image.page.level != 0) RaiseFault(fault::ItemTreeLinks);
            shortcuts_.KeepReadOnce(address, k);
            return nullptr;
        }
        Node* child = node->page.level == 1 ? FetchLeaf(address) : Fetch(address);
        CheckChild(*node, *child);
        node = child;
    }
    last_leaf = node->address;
    return node;
}

Node* TreeFile::FetchLeaf(std::int32_t address) {
    if (!shortcuts_.HoldsReadOnce(address)) return Fetch(address);
    if (Node* node = cache_.Find(address)) return node;
    int k = 0;
    PageImage image = shortcuts_.TakeReadOnce(&k);
    return Hold(address, std::move(image), k);
}

Node* TreeFile::DescendToLevel(std::string_view key, int level) {
    Node* node = Root();
    while (node->page.level > level) {
        Node* child = Fetch(node->page.children[ChildIndex(*node, key)]);
        CheckChild(*node, *child);
        node = child;
    }
    if (node->page.level != level) RaiseFault(fault::ItemTreeLinks);
    return node;
}

const Item* TreeFile::Scratch(std::string&& key, std::string&& data) {
    const auto key_length = static_cast<std::uint16_t>(key.size());
    scratch_ = std::move(key);
    scratch_.append(data);
    return Answer({scratch_, key_length});
}

std::optional<std::string> TreeFile::Find(std::string_view key) {
    const Item* item = FindItem(key);
    if (item == nullptr) return std::nullopt;
    return std::string(item->data());
}

const Item* TreeFile::FindItem(std::string_view key) {
    cache_.Trim();
    if (!HasTree()) return nullptr;
    // Lookups in key order (a walk reading each item's record) want the item after the
    // one found last.
    if (const Item* next = FindNextFound(key)) return next;
    if (const Item* next = FindInNextLeaf(key)) return next;
    LeafParent up;
    Node* leaf = shortcuts_.LastLookupLeaf(key);
    if (leaf == nullptr) leaf = shortcuts_.HintedLeaf(key);
    if (leaf == nullptr) {
        leaf = DescendForLookup(key, nullptr, shortcuts_.exact_leaf(), true);
        up = descent_up_;
        if (leaf == nullptr) {
            const PageImage& once = shortcuts_.read_once();
            StreamHit hit = SearchItems(once.stream, once.count, key, false);
            if (hit.index == once.count || hit.key != key) return nullptr;
            return Scratch(std::move(hit.key), std::move(hit.data));
        }
    }
    const auto& items = leaf->page.items;
    const std::size_t pos = LowerBound(leaf->page, key);
    shortcuts_.NoteLookup(*leaf, up);
    if (pos == items.size() || !KeyEqual(items.key(pos), key)) return nullptr;
    shortcuts_.NoteFound(pos);
    return Answer(items[pos]);
}

const Item* TreeFile::FindNextFound(std::string_view key) {
    Node* leaf = shortcuts_.LastFoundLeaf();
    if (leaf == nullptr) return nullptr;
    const std::size_t pos = shortcuts_.last_found() + 1;
    const ItemList& items = leaf->page.items;
    if (pos >= items.size() || !KeyEqual(items.key(pos), key)) return nullptr;
    shortcuts_.NoteFound(pos);
    return Answer(items[pos]);
}

void TreeFile::Insert(std::string_view key, std::string_view data) {
    if (key.size() + data.size() >= static_cast<std::size_t>(kItemLimit))
        RaiseFault(fault::ItemTooLarge);
    cache_.Trim();
    if (!HasTree()) {
        Node* root = NewNode(0);
        header_.set_root(root->address);
        root_in_memory_ = true;
    }
    std::vector<Step>& path = insert_path_;  // kept: an add descends several times
    path.clear();
    Node* leaf = shortcuts_.HintedLeaf(key);
    const bool hinted = leaf != nullptr;
    if (!hinted) leaf = Descend(key, &path);
    const std::size_t pos = InsertPosition(*leaf, key);
    if (pos < leaf->page.items.size() && leaf->page.items[pos].key() == key) {
        RaiseFault(fault::DuplicateItemKey);
    }
    // A hinted leaf takes only keys above its first one (the root leaf excepted), so no
    // entry above it changes.
    if (hinted && pos == 0 && leaf->address != header_.root()) RaiseFault(fault::ItemTreeLinks);
    leaf->page.accounted += static_cast<std::uint32_t>(key.size() + data.size()) + 5;
    leaf->page.items.Insert(pos, key, data);
    leaf->last_insert = pos;
    Dirty(leaf);
    if (pos == 0) {
        // A new first key: the entries above it are copies of it and follow.
        Node* child = leaf;
        for (std::size_t i = path.size(); i-- > 0;) {
            Step step = path[i];
            if (step.node->page.items[step.index].key() != child->page.items.front().key()) {
                ReplaceEntry(step.node, step.index, child->page.items.front().key());
            }
            if (step.index != 0) break;
            child = step.node;
        }
    }
    if (!ApplySplitRule(leaf) && !hinted) shortcuts_.SetHint(leaf, path);
}

void TreeFile::ReplaceEntry(Node* parent, std::size_t index, std::string_view key) {
    shortcuts_.OnChange(TreeChange::kRoutes);
    parent->page.accounted = parent->page.accounted -
                             static_cast<std::uint32_t>(parent->page.items[index].bytes.size()) +
                             static_cast<std::uint32_t>(key.size());
    parent->page.items.ReplaceWithKey(index, key);
    Dirty(parent);
}

bool TreeFile::ApplySplitRule(Node* node) {
    PageContent& page = node->page;
    // A sealed index page also keeps a tag per child.
    const std::size_t weight =
        page.accounted + (handle_->enciphered() && page.level > 0
                              ? io::BlockCipher::kChildTag * page.items.size()
                              : 0);
    bool must_split = weight > split_above_ ||
                      (page.accounted > kSplitCrowded && page.items.size() > kCrowdedItems);
    if (!must_split) return false;
    if (page.items.size() < 2) RaiseFault(fault::SplitTooFewItems);
    shortcuts_.OnChange(TreeChange::kRoutes);
    if (node->address == header_.root()) {
        Node* child = NewNode(page.level);
        child->page.items = std::move(page.items);
        child->page.children = std::move(page.children);
        child->page.accounted = page.accounted;
        page.items.Clear();
        page.children.clear();
        page.level = static_cast<std::uint8_t>(page.level + 1);
        page.accounted = 13;
        Dirty(node);
        EnterChild(child);
        ApplySplitRule(child);
        return true;
    }
    Node* right = NewNode(page.level);
    const std::size_t half = page.items.size() / 2;
    page.items.MoveTailTo(half, right->page.items);
    const auto middle = static_cast<std::ptrdiff_t>(half);
    if (page.level > 0) {
        right->page.children.assign(page.children.begin() + middle, page.children.end());
        page.children.erase(page.children.begin() + middle, page.children.end());
    }
    page.accounted = AccountedSize(page);
    right->page.accounted = AccountedSize(right->page);
    Dirty(node);
    EnterChild(right);
    ApplySplitRule(node);
    ApplySplitRule(right);
    return true;
}

void TreeFile::EnterChild(Node* child) {
    shortcuts_.OnChange(TreeChange::kRoutes);
    std::string key(child->page.items.front().key());
    Node* parent = DescendToLevel(key, child->page.level + 1);
    std::size_t pos = UpperBound(parent->page, key);
    parent->page.items.Insert(pos, key, {});
    parent->page.children.insert(parent->page.children.begin() + static_cast<std::ptrdiff_t>(pos),
                                 child->address);
    parent->page.accounted += static_cast<std::uint32_t>(key.size()) + 9;
    Dirty(parent);
    ApplySplitRule(parent);
}

bool TreeFile::Erase(std::string_view key) {
    cache_.Trim();
    if (!HasTree()) return false;
    std::vector<Step> path;
    Node* leaf = Descend(key, &path);
    std::size_t pos = LowerBound(leaf->page, key);
    if (pos == leaf->page.items.size() || leaf->page.items[pos].key() != key) return false;
    shortcuts_.OnChange(TreeChange::kRoutes);
    leaf->page.accounted -= static_cast<std::uint32_t>(leaf->page.items[pos].bytes.size()) + 5;
    leaf->page.items.Erase(pos);
    Dirty(leaf);
    // Emptied pages leave the tree now; their slots are freed once the tree is whole again,
    // highest address first, so that no freed slot is ever moved into another.
    std::vector<std::pair<std::int32_t, int>> freed;
    Node* child = leaf;
    for (std::size_t i = path.size(); i-- > 0;) {
        Node* parent = path[i].node;
        std::size_t index = path[i].index;
        if (child->page.items.empty()) {
            parent->page.accounted -=
                static_cast<std::uint32_t>(parent->page.items[index].bytes.size()) + 9;
            parent->page.items.Erase(index);
            parent->page.children.erase(parent->page.children.begin() +
                                        static_cast<std::ptrdiff_t>(index));
            Dirty(parent);
            if (child->size_class > 0) freed.emplace_back(child->address, child->size_class);
            cache_.Remove(child);
        } else if (child->page.items.front().key() > parent->page.items[index].key()) {
            ReplaceEntry(parent, index, child->page.items.front().key());
        }
        child = parent;
    }
    Node* root = Root();
    if (root != nullptr && root->page.level > 0 && root->page.items.empty()) {
        root->page.level = 0;  // an index without entries would lead nowhere: an empty leaf
        root->page.accounted = 13;
        Dirty(root);
    }
    std::sort(freed.begin(), freed.end(), std::greater<>());
    for (auto [address, k] : freed) FreeSlot(header_, address, k, *this);
    return true;
}

bool TreeFile::Rewrite(std::string_view key, std::string_view data) {
    cache_.Trim();
    if (!HasTree()) return false;
    Node* leaf = shortcuts_.HintedLeaf(key);
    if (leaf == nullptr) leaf = Descend(key, nullptr);
    std::size_t pos = LowerBound(leaf->page, key);
    if (pos == leaf->page.items.size()) return false;
    const Item item = leaf->page.items[pos];
    if (item.key() != key || item.data().size() != data.size()) return false;
    leaf->page.items.OverwriteData(pos, data);
    Dirty(leaf);
    return true;
}

Node* TreeFile::Leftmost(Node* node) {
    while (node->page.level > 0) {
        if (node->page.items.empty()) RaiseFault(fault::ItemTreeLinks);
        Node* child = Fetch(node->page.children.front());
        CheckChild(*node, *child);
        node = child;
    }
    return node;
}

Node* TreeFile::Rightmost(Node* node) {
    while (node->page.level > 0) {
        if (node->page.items.empty()) RaiseFault(fault::ItemTreeLinks);
        Node* child = Fetch(node->page.children.back());
        CheckChild(*node, *child);
        node = child;
    }
    return node;
}

std::optional<std::pair<std::string, std::string>> TreeFile::Upper(std::string_view key,
                                                                   bool strict) {
    const Item* item = UpperItem(key, strict);
    if (item == nullptr) return std::nullopt;
    return Pair(*item);
}

const Item* TreeFile::UpperItem(std::string_view key, bool strict) {
    cache_.Trim();
    if (!HasTree()) return nullptr;
    LookupShortcuts::Finger* finger = shortcuts_.FindFinger(key);
    if (finger != nullptr) {
        if (Node* leaf = shortcuts_.FingerLeaf(*finger)) {
            std::size_t pos = finger->index + (strict ? 1 : 0);
            if (pos < leaf->page.items.size()) {
                shortcuts_.SetFinger(finger, leaf, pos);
                return Answer(leaf->page.items[pos]);
            }
            // Past the leaf's last item: the first of the leaf after it.
            LeafParent up;
            if (Node* next = NextLeaf(finger->up, leaf->address, &up)) {
                shortcuts_.seek_leaf() = next->address;
                shortcuts_.SetFinger(finger, next, 0).up = up;
                return Answer(next->page.items.front());
            }
        }
    }
    if (Node* leaf = shortcuts_.SeekLeafAround(key)) {
        const std::size_t pos = strict ? UpperBound(leaf->page, key) : LowerBound(leaf->page, key);
        shortcuts_.SetFinger(finger, leaf, pos);
        return Answer(leaf->page.items[pos]);
    }
    std::vector<Step> path;
    // A step of a walk (strictly after an item read) holds its leaf at once.
    Node* leaf = DescendForLookup(key, &path, shortcuts_.seek_leaf(), !strict);
    const LeafParent up = descent_up_;
    if (leaf == nullptr) {
        const PageImage& once = shortcuts_.read_once();
        StreamHit hit = SearchItems(once.stream, once.count, key, strict);
        if (hit.index < once.count) return Scratch(std::move(hit.key), std::move(hit.data));
        // The answer lies in a leaf further on: go there from the leaf, held this time.
        leaf = FetchLeaf(path.back().node->page.children[path.back().index]);
        CheckChild(*path.back().node, *leaf);
    }
    std::size_t pos = strict ? UpperBound(leaf->page, key) : LowerBound(leaf->page, key);
    if (pos < leaf->page.items.size()) {
        shortcuts_.SetFinger(finger, leaf, pos).up = up;
        return Answer(leaf->page.items[pos]);
    }
    for (std::size_t i = path.size(); i-- > 0;) {
        Node* parent = path[i].node;
        if (path[i].index + 1 < parent->page.items.size()) {
            Node* next = Fetch(parent->page.children[path[i].index + 1]);
            CheckChild(*parent, *next);
            Node* first = Leftmost(next);
            if (first->page.items.empty()) RaiseFault(fault::ItemTreeLinks);
            shortcuts_.SetFinger(finger, first, 0);
            return Answer(first->page.items.front());
        }
    }
    return nullptr;
}

void TreeFile::ItemsAfter(std::string_view key, std::size_t max, std::vector<Item>& out) {
    out.clear();
    if (max == 0) return;
    const Item* first = UpperItem(key, true);
    if (first == nullptr) return;
    out.push_back(*first);
    // UpperItem leaves a finger on what it found, unless it read the leaf for this one
    // lookup; the rest of a held leaf comes from there, and the finger moves to the last.
    LookupShortcuts::Finger* finger = shortcuts_.FindFinger(first->key());
    Node* leaf = finger != nullptr ? shortcuts_.FingerLeaf(*finger) : nullptr;
    if (leaf == nullptr) return;
    const ItemList& items = leaf->page.items;
    const std::size_t end = std::min(items.size(), finger->index + max);
    for (std::size_t i = finger->index + 1; i < end; ++i) out.push_back(items[i]);
    shortcuts_.SetFinger(finger, leaf, end - 1);
}

std::optional<std::pair<std::string, std::string>> TreeFile::Lower(std::string_view key,
                                                                   bool strict) {
    const Item* item = LowerItem(key, strict);
    if (item == nullptr) return std::nullopt;
    return Pair(*item);
}

const Item* TreeFile::LowerItem(std::string_view key, bool strict) {
    cache_.Trim();
    if (!HasTree()) return nullptr;
    LookupShortcuts::Finger* finger = shortcuts_.FindFinger(key);
    if (finger != nullptr) {
        if (Node* leaf = shortcuts_.FingerLeaf(*finger)) {
            if (!strict || finger->index > 0) {
                std::size_t pos = finger->index - (strict ? 1 : 0);
                shortcuts_.SetFinger(finger, leaf, pos);
                return Answer(leaf->page.items[pos]);
            }
        }
    }
    std::vector<Step> path;
    Node* leaf = Descend(key, &path);
    std::size_t pos = strict ? LowerBound(leaf->page, key) : UpperBound(leaf->page, key);
    if (pos > 0) {
        shortcuts_.SetFinger(finger, leaf, pos - 1);
        return Answer(leaf->page.items[pos - 1]);
    }
    for (std::size_t i = path.size(); i-- > 0;) {
        Node* parent = path[i].node;
        if (path[i].index > 0) {
            Node* prev = Fetch(parent->page.children[path[i].index - 1]);
            CheckChild(*parent, *prev);
            Node* last = Rightmost(prev);
            if (last->page.items.empty()) RaiseFault(fault::ItemTreeLinks);
            shortcuts_.SetFinger(finger, last, last->page.items.size() - 1);
            return Answer(last->page.items.back());
        }
    }
    return nullptr;
}

std::optional<std::pair<std::string, std::string>> TreeFile::First() {
    return Upper({}, false);
}

std::optional<std::pair<std::string, std::string>> TreeFile::Last() {
    cache_.Trim();
    if (!HasTree()) return std::nullopt;
    Node* leaf = Rightmost(Root());
    if (leaf->page.items.empty()) return std::nullopt;
    return Pair(leaf->page.items.back());
}

std::size_t TreeFile::Verify() {
    cache_.Trim();
    if (!HasTree()) return 0;
    Node* root = Root();
    if (root == nullptr || root->page.items.empty()) return 0;
    return VerifyNode(root, root->page.items.front().key(), true, nullptr);
}

std::size_t TreeFile::VerifyNode(Node* node, std::string_view first_key, bool leftmost,
                                 const std::string* upper) {
    const PageContent& page = node->page;
    if (page.accounted != AccountedSize(page)) RaiseFault(fault::ItemTreeLinks);
    if (page.items.empty()) RaiseFault(fault::ItemTreeLinks);
    if (!leftmost && page.items.front().key() != first_key) RaiseFault(fault::ItemTreeLinks);
    for (std::size_t i = 1; i < page.items.size(); ++i) {
        if (!(page.items[i - 1].key() < page.items[i].key())) RaiseFault(fault::ItemTreeLinks);
    }
    // Every key lies below the next entry of the parents above: a search could not reach it
    // otherwise.
    if (upper != nullptr && !(page.items.back().key() < *upper)) RaiseFault(fault::ItemTreeLinks);
    if (page.level == 0) return page.items.size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < page.items.size(); ++i) {
        std::string entry(page.items[i].key());
        std::string next;
        if (i + 1 < page.items.size()) next = page.items[i + 1].key();
        Node* child = Fetch(page.children[i]);
        CheckChild(*node, *child);
        if (child->page.items.empty() || child->page.items.front().key() != entry)
            RaiseFault(fault::ItemTreeLinks);
        count += VerifyNode(child, entry, false, i + 1 < page.items.size() ? &next : upper);
    }
    return count;
}

}  // namespace zelt::storage
