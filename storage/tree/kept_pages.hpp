// The page cache of a file, kept after the file is closed for the next open of it.
//
// A browse or a report opens its table file afresh each time, and a file opened again
// would start with no page in memory: every index page and leaf read and decoded again.
// When a file that this open has not changed is closed, its page cache (clean and parked
// nodes, page_cache.hpp) is kept whole, and the next open of the same file takes it up as
// it was. Kept caches stay within one budget of `kBudget` bytes for the whole process; the
// one kept longest goes first.
//
// A kept cache shows the file as one header describes it. Each file's share (by device and
// inode) carries that header: an open takes the cache only when the header it read from the
// file is the same. Besides:
//   - an open that changes the tree, or reads it through a journal, spoils the share: what
//     it kept goes, and that open keeps nothing. A write the disk loses later is never
//     answered from here.
//   - the share carries the file's size and change times as they were when it was last
//     taken up or given back; a file written by anything since (a repair, a copy over it)
//     is read afresh.
//   - a file changed less than two seconds before is neither kept nor taken up: the
//     system's file times move in steps, and only a change that falls in a later step shows.
//   - enciphered files are never kept (each page's tag is checked as its parent is read).
// One lock guards the store: opens on several threads may share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "storage/io/file_handle.hpp"
#include "storage/pagefile/file_header.hpp"
#include "storage/tree/page_cache.hpp"

namespace zelt::storage {

struct KeptShare;

// One open file's link to its share of the kept caches.
class KeptLink {
  public:
    static constexpr std::size_t kBudget = std::size_t{16} << 20;

    KeptLink() = default;
    ~KeptLink();  // a link never given back empties its share
    KeptLink(const KeptLink&) = delete;
    KeptLink& operator=(const KeptLink&) = delete;

    // Called with every header the tree takes from the file: takes the file's share when
    // it shows that header and the file is as it was, else empties it for this header.
    // Answers the cache kept by the last close, if there is one, for the tree to use.
    std::unique_ptr<PageCache> Attach(const io::FileHandle& handle, const FileHeader& header);
    // This open changes the file (or reads it through a journal): the share empties, and
    // nothing is kept any more.
    void Spoil() {
        if (!spoiled_) SpoilNow();
    }
    // The file is being closed: `cache` (moved from; it holds no dirty node) is kept for the
    // next open when the file is as it was when the share was taken; the share empties
    // otherwise.
    void Detach(const io::FileHandle& handle, PageCache& cache);

  private:
    void SpoilNow();
    void Release(bool empty);
    KeptShare* share_ = nullptr;
    std::uint64_t generation_ = 0;
    bool spoiled_ = false;
};

}  // namespace zelt::storage
