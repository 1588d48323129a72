// The B+tree of one open file: page fetch through the cache (and through a journal being
// read), search, insert, delete, ordered neighbours, the split rule, and the placement of
// pages in their size-class sections when a commit writes them.
//
// Lookups and inserts first try the shortcuts of lookup_shortcuts.hpp; every change of the
// tree is reported to them through shortcuts_.OnChange (Dirty does it for a page's items,
// whatever splits, moves or re-enters pages says kRoutes). The sealing of pages in an
// enciphered file lives in tree_file_seal.cpp, the placement of a commit's pages in
// tree_file_commit.cpp, a walk's step from one leaf to the next in tree_file_walk.cpp.
//
// The page cache outlasts a close while the file stays as it was (kept_pages.hpp): the next
// open of the file takes it up. Any change of the tree spoils what was kept.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "storage/io/file_handle.hpp"
#include "storage/pagefile/file_header.hpp"
#include "storage/pagefile/section_allocator.hpp"
#include "storage/tree/kept_pages.hpp"
#include "storage/tree/lookup_shortcuts.hpp"
#include "storage/tree/page_cache.hpp"
#include "storage/tree/read_window.hpp"

namespace zelt::storage {

class TreeFile : public PageMover {
  public:
    // A file with a cipher seals every page it writes and checks every page it reads
    // against its own tag and the tag its parent (or, for the root, the header) holds for
    // it: fault 2401 for one that fails. Its pages end with the children's tags and their
    // own, so they split that much earlier, and stay below the largest class.
    explicit TreeFile(io::FileHandle& handle)
        : handle_(&handle),
          window_(handle),
          split_above_(handle.enciphered()
                           ? io::BlockCipher::kLargestClass * 256 - io::BlockCipher::kPageTag
                           : 15094) {}

    // The held header and whether a tree exists (a file never committed has none).
    FileHeader& header() { return header_; }
    const FileHeader& header() const { return header_; }
    // Takes `header` as the file's state, forgetting every cached node.
    void Reset(const FileHeader& header);
    void set_journal_map(std::unordered_map<std::uint32_t, std::uint64_t> map) {
        kept_.Spoil();
        shortcuts_.OnChange(TreeChange::kContent);
        window_.Drop();
        journal_map_ = std::move(map);
    }
    void clear_journal_map() {
        shortcuts_.OnChange(TreeChange::kContent);
        window_.Drop();
        journal_map_.clear();
    }
    bool reading_journal() const { return !journal_map_.empty(); }
    bool dirty() const { return dirty_; }
    void set_dirty() {
        kept_.Spoil();
        dirty_ = true;
    }
    // The file is being closed: its page cache is kept for the next open when the file is
    // as it was (KeptLink::Detach); DropKeptPages lets it go (a close that failed).
    void KeepPages();
    void DropKeptPages() { kept_.Spoil(); }
    // A number that changes whenever the items may have changed: a page changed, a new
    // header taken, or NoteChange called (for changes held back outside the tree).
    std::uint64_t version() const { return shortcuts_.shape(); }
    void NoteChange() { shortcuts_.OnChange(TreeChange::kContent); }

    // Items. Insert faults 824 (too large) and 706 (key present).
    std::optional<std::string> Find(std::string_view key);
    void Insert(std::string_view key, std::string_view data);
    bool Erase(std::string_view key);
    // Overwrites the data of an existing item whose data has the same length; false (and
    // nothing changed) when the item is absent or the lengths differ.
    bool Rewrite(std::string_view key, std::string_view data);
    // The least item above (or at, when !strict) `key`, or the greatest below (or at).
    std::optional<std::pair<std::string, std::string>> Upper(std::string_view key, bool strict);
    std::optional<std::pair<std::string, std::string>> Lower(std::string_view key, bool strict);
    std::optional<std::pair<std::string, std::string>> First();
    std::optional<std::pair<std::string, std::string>> Last();
    // The same lookups answered with the item itself (null: none), which stays valid until
    // the next call on the tree; callers copy out only what they keep.
    const Item* FindItem(std::string_view key);
    const Item* UpperItem(std::string_view key, bool strict);
    const Item* LowerItem(std::string_view key, bool strict);
    // FindItem for the item right after the one the last exact lookup found, answered only
    // when that is `key` and its leaf is held (a walk reading its records in order); null
    // otherwise, having read nothing.
    const Item* FindNextFound(std::string_view key);
    // The items after `key` (strictly), at most `max` of them, into `out` (cleared first):
    // the first as UpperItem(key, true) finds it, then the items that follow it in its leaf.
    // Valid until the next call on the tree.
    void ItemsAfter(std::string_view key, std::size_t max, std::vector<Item>& out);

    // Commit support: places every dirty node in a slot of its class, then compacts; returns
    // the pages to write as (file offset, bytes), ordered by offset.
    std::vector<std::pair<std::uint64_t, std::string>> PrepareCommit();
    // After a successful commit every node is clean again.
    void CommitDone();

    // Walks the whole tree checking levels, key order, entries equal to their child's first
    // key, every key below the next entry of the pages above, and accounted sizes; returns
    // the number of items (fault 300 on a broken link).
    std::size_t Verify();

    void MovePage(std::int32_t from, std::int32_t to) override;
    PageCache& cache() { return cache_; }

  private:
    using Step = TreeStep;

    bool HasTree() const;
    Node* Fetch(std::int32_t address);
    // The stored bytes of the page at `address` (unsealed), valid until the next read or
    // the window is dropped.
    std::string_view ReadStored(std::int32_t address, int* size_class);
    // Builds the node of a page read and holds it in the cache.
    Node* Hold(std::int32_t address, PageImage&& image, int size_class);
    // Parses `count` items from `stream` into `node` (its header filled in) and holds it.
    Node* Keep(std::unique_ptr<Node> node, std::int32_t address, int size_class,
               std::string_view stream, std::size_t count);
    // Leaves a leaf read for one lookup with the shortcuts, returning null.
    Node* DescendForLookup(std::string_view key, std::vector<Step>* path, std::int32_t& last_leaf,
                           bool one_off);
    // The leaf at `address`, built from the one read for a single lookup when that is it.
    Node* FetchLeaf(std::int32_t address);
    // The leaf after `leaf` (an address): the child of the entry after the leaf's own in
    // its parent `up`, held, with its parent in `next_up`. Null when `up` no longer
    // stands, the parent is not held or no longer names `leaf` there, or the leaf's entry
    // is the parent's last (the next leaf then lies under another parent). With `routed`,
    // also null (having read nothing) unless the parent routes that key to the next leaf.
    Node* NextLeaf(const LeafParent& up, std::int32_t leaf, LeafParent* next_up,
                   const std::string_view* routed = nullptr);
    // FindItem's answer when the last exact lookup found its leaf's last item and `key` is
    // the first item of the leaf after (a walk reading its records in order); else null,
    // and the caller searches as usual.
    const Item* FindInNextLeaf(std::string_view key);
    Node* Root();
    Node* NewNode(std::uint8_t level);
    void Dirty(Node* node);
    static std::size_t ChildIndex(const Node& node, std::string_view key);
    // Guards every descent: a child sits exactly one level below its parent, so no damaged
    // file can lead a descent round in a circle.
    static void CheckChild(const Node& parent, const Node& child);
    Node* Descend(std::string_view key, std::vector<Step>* path);
    Node* DescendToLevel(std::string_view key, int level);
    // True when the page split.
    bool ApplySplitRule(Node* node);
    void EnterChild(Node* child);
    void ReplaceEntry(Node* parent, std::size_t index, std::string_view key);
    const Item* Scratch(std::string&& key, std::string&& data);
    Node* Leftmost(Node* node);
    Node* Rightmost(Node* node);
    using PageImages = std::unordered_map<const Node*, std::string>;
    bool PlaceDirtyNodes(PageImages& images);
    std::size_t VerifyNode(Node* node, std::string_view first_key, bool leftmost,
                           const std::string* upper);

    // The stored image of a page, with room for its tags in a sealed file.
    std::string PageBytes(const PageContent& page) const;
    // Sealed files: checks a page read at `address` and takes its tags off.
    void Unseal(std::int32_t address, std::uint64_t offset, std::string& bytes);
    // Sealed files: dirties the parents of every dirty page (a page's new tag goes into its
    // parent), then seals the pages from the leaves up, the root's tag going to the header.
    void DirtyParents();
    void Seal(const Node& node, std::string& bytes);
    using Tag = std::array<std::uint8_t, io::BlockCipher::kChildTag>;

    io::FileHandle* handle_;
    ReadWindow window_;
    std::uint32_t split_above_;
    // Sealed files: the tag each page must have, as its parent holds it.
    std::unordered_map<std::int32_t, Tag> child_tags_;
    FileHeader header_ = FileHeader::Fresh();
    PageCache cache_;
    KeptLink kept_;
    std::unordered_map<std::uint32_t, std::uint64_t> journal_map_;
    std::int32_t next_temp_ = -1;
    LookupShortcuts shortcuts_{cache_};
    // The item a lookup answers with; `scratch_` holds one found in a leaf read but not held.
    const Item* Answer(Item item) {
        answer_ = item;
        return &answer_;
    }
    Item answer_;
    std::string scratch_;
    // Kept between page reads for their storage: the bytes read, the expanded items.
    std::string read_bytes_;
    std::string stream_;
    bool root_in_memory_ = false;
    mutable bool tree_seen_ = false;  // HasTree() answered true since the last Reset
    std::vector<Step> insert_path_;
    // The parent of the leaf the last DescendForLookup reached (none: a root leaf).
    LeafParent descent_up_;
    bool dirty_ = false;
};

}  // namespace zelt::storage
