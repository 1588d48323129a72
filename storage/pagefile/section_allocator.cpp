#include "storage/pagefile/section_allocator.hpp"

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"

namespace zelt::storage {
namespace {

// Makes the gap between section k-1 and section k at least `need` units.
bool MakeRoomBelow(FileHeader& h, int k, std::int32_t need, PageMover& mover) {
    if (h.start(k) - h.end(k - 1) >= need) return true;
    int j = k - 1;
    if (j < 1) return false;
    std::int32_t shortfall = need - (h.start(k) - h.end(j));
    if (!MakeRoomBelow(h, j, (shortfall + j - 1) / j * j, mover)) return false;
    while (h.start(k) - h.end(j) < need) {
        if (h.pages(j) > 0) mover.MovePage(h.end(j) - j, h.start(j) - j);
        h.set_start(j, h.start(j) - j);
        h.set_end(j, h.end(j) - j);
    }
    return true;
}

// Makes the gap between section k and section k+1 at least `need` units.
void MakeRoomAbove(FileHeader& h, int k, std::int32_t need, PageMover& mover) {
    if (k >= kMaxClass) return;
    std::int32_t gap = h.start(k + 1) - h.end(k);
    if (gap >= need) return;
    std::int32_t shortfall = need - gap;
    if (shortfall > k) RaiseFault(fault::RoomAboveTooLarge);
    int j = k + 1;
    if (h.pages(j) <= 1) {
        MakeRoomAbove(h, j, shortfall, mover);
        if (h.pages(j) == 1) mover.MovePage(h.start(j), h.start(j) + shortfall);
        h.set_start(j, h.start(j) + shortfall);
        h.set_end(j, h.end(j) + shortfall);
    } else {
        MakeRoomAbove(h, j, j, mover);
        mover.MovePage(h.start(j), h.end(j));
        h.set_start(j, h.start(j) + j);
        h.set_end(j, h.end(j) + j);
    }
}

}  // namespace

std::int32_t AllocateSlot(FileHeader& h, int k, PageMover& mover) {
    if (MakeRoomBelow(h, k, k, mover)) {
        h.set_start(k, h.start(k) - k);
        return h.start(k);
    }
    MakeRoomAbove(h, k, k, mover);
    std::int32_t address = h.end(k);
    h.set_end(k, h.end(k) + k);
    return address;
}

void FreeSlot(FileHeader& h, std::int32_t address, int k, PageMover& mover) {
    std::int32_t last = h.end(k) - k;
    if (address != last) mover.MovePage(last, address);
    h.set_end(k, last);
}

void CompactSections(FileHeader& h, PageMover& mover) {
    for (int k = 2; k <= kMaxClass; ++k) {
        std::int32_t pages = h.pages(k);
        if (pages <= 1) {
            if (pages == 1 && h.start(k) != h.end(k - 1)) mover.MovePage(h.start(k), h.end(k - 1));
            h.set_start(k, h.end(k - 1));
            h.set_end(k, h.end(k - 1) + (pages == 1 ? k : 0));
        } else {
            while (h.start(k) - h.end(k - 1) >= k) {
                mover.MovePage(h.end(k) - k, h.start(k) - k);
                h.set_start(k, h.start(k) - k);
                h.set_end(k, h.end(k) - k);
            }
        }
    }
}

}  // namespace zelt::storage
