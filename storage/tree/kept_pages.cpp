#include "storage/tree/kept_pages.hpp"

#include <time.h>

#include <algorithm>
#include <list>
#include <map>
#include <mutex>
#include <utility>

#include "storage/io/io_fault_seam.hpp"

namespace zelt::storage {

struct KeptShare {
    bool valid = false;  // `header` says which state of the file the cache shows
    FileHeader header;
    io::FileStamp stamp;
    // Moves on whenever what is kept stops showing the file: a link that took the share
    // before keeps nothing more.
    std::uint64_t generation = 1;
    int attached = 0;
    std::unique_ptr<PageCache> cache;
    std::size_t bytes = 0;
    std::list<KeptShare*>::iterator lru;
};

namespace {

constexpr std::int64_t kNano = 1'000'000'000;
constexpr std::int64_t kSettledNs = 2 * kNano;

class KeptStore {
  public:
    static KeptStore& Shared() {
        static KeptStore* store = new KeptStore;  // never destroyed: files may close at exit
        return *store;
    }
    std::mutex mutex;

    KeptShare& ShareOf(const io::FileStamp& stamp) { return shares_[{stamp.device, stamp.inode}]; }
    // Drops a share that nobody holds and that keeps nothing.
    void Forget(KeptShare& share) {
        if (share.attached > 0 || share.cache) return;
        shares_.erase({share.stamp.device, share.stamp.inode});
    }
    void Empty(KeptShare& share) {
        if (!share.cache) return;
        share.cache.reset();
        bytes_ -= share.bytes;
        lru_.erase(share.lru);
    }
    std::unique_ptr<PageCache> Take(KeptShare& share) {
        if (!share.cache) return nullptr;
        bytes_ -= share.bytes;
        lru_.erase(share.lru);
        return std::move(share.cache);
    }
    void Keep(KeptShare& share, std::unique_ptr<PageCache> cache) {
        Empty(share);
        share.bytes = sizeof(PageCache) + cache->clean_bytes();
        share.cache = std::move(cache);
        bytes_ += share.bytes;
        share.lru = lru_.insert(lru_.end(), &share);
        while (bytes_ > KeptLink::kBudget) {
            KeptShare& oldest = *lru_.front();
            Empty(oldest);
            ++oldest.generation;
            Forget(oldest);
        }
    }

  private:
    std::map<std::pair<std::uint64_t, std::uint64_t>, KeptShare> shares_;
    std::list<KeptShare*> lru_;  // shares with a cache; front: kept longest
    std::size_t bytes_ = 0;
};

// Whether the file has stood unchanged long enough that a later change moves its times.
bool Settled(const io::FileStamp& stamp) {
    if (io::IoFaultSeam::Stopped()) return false;
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    const std::int64_t now_ns = static_cast<std::int64_t>(now.tv_sec) * kNano + now.tv_nsec;
    return std::max(stamp.modified_ns, stamp.changed_ns) <= now_ns - kSettledNs;
}

}  // namespace

KeptLink::~KeptLink() {
    if (share_ != nullptr) Release(true);
}

void KeptLink::Release(bool empty) {
    KeptStore& store = KeptStore::Shared();
    std::lock_guard lock(store.mutex);
    if (empty) {
        store.Empty(*share_);
        ++share_->generation;
    }
    --share_->attached;
    store.Forget(*share_);
    share_ = nullptr;
}

std::unique_ptr<PageCache> KeptLink::Attach(const io::FileHandle& handle,
                                            const FileHeader& header) {
    if (spoiled_ || handle.enciphered()) return nullptr;
    io::FileStamp stamp;
    if (!handle.Stamp(stamp)) return nullptr;
    const bool settled = Settled(stamp);
    KeptStore& store = KeptStore::Shared();
    std::lock_guard lock(store.mutex);
    KeptShare& share = store.ShareOf(stamp);
    if (!settled || !(share.stamp == stamp) || !share.valid || !(share.header == header)) {
        store.Empty(share);
        ++share.generation;
        share.valid = settled;
        share.header = header;
    }
    share.stamp = stamp;
    generation_ = share.generation;
    if (share_ == nullptr && settled) ++share.attached;
    if (share_ != nullptr && !settled) --share.attached;
    share_ = settled ? &share : nullptr;
    if (share_ != nullptr) return store.Take(share);
    store.Forget(share);
    return nullptr;
}

void KeptLink::SpoilNow() {
    spoiled_ = true;
    if (share_ == nullptr) return;
    {
        std::lock_guard lock(KeptStore::Shared().mutex);
        share_->valid = false;
    }
    Release(true);
}

void KeptLink::Detach(const io::FileHandle& handle, PageCache& cache) {
    if (share_ == nullptr) return;
    io::FileStamp stamp;
    const bool settled = handle.Stamp(stamp) && Settled(stamp);
    KeptStore& store = KeptStore::Shared();
    {
        std::lock_guard lock(store.mutex);
        if (settled && share_->stamp == stamp && share_->generation == generation_ &&
            cache.DirtyNodes().empty()) {
            auto kept = std::make_unique<PageCache>(std::move(cache));
            cache.Clear();
            store.Keep(*share_, std::move(kept));
            --share_->attached;
            store.Forget(*share_);
            share_ = nullptr;
            return;
        }
    }
    Release(true);
}

}  // namespace zelt::storage
