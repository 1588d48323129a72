// Placement of pages in the size-class sections of the header.
//
// Sections float: room is made by rotating single pages from one end of a section to the
// other. Every rotation asks the mover to carry the page at one address to another (the
// tree re-files its node and rewrites the one reference to it).
#pragma once

#include <cstdint>

#include "storage/pagefile/file_header.hpp"

namespace zelt::storage {

class PageMover {
  public:
    virtual ~PageMover() = default;
    virtual void MovePage(std::int32_t from, std::int32_t to) = 0;
};

// A slot for a page of class k; the page goes there when the caller moves it in.
std::int32_t AllocateSlot(FileHeader& header, int k, PageMover& mover);
// Closes the hole of the page at `address` (class k), which the caller has already taken
// away, by moving the section's last page into it.
void FreeSlot(FileHeader& header, std::int32_t address, int k, PageMover& mover);
// Pulls sections 2..59 down onto the section below them.
void CompactSections(FileHeader& header, PageMover& mover);

}  // namespace zelt::storage
