// Pages on disk: the page header, the item stream with shared prefixes and carried
// lengths, and the choice between a coded and an uncoded body.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/pagefile/item_list.hpp"

namespace zelt::storage {

inline constexpr int kItemLimit = 15094;         // item length must stay below this
inline constexpr std::uint8_t kPageFill = 0xB0;  // fill behind the stored length

// What a page holds: its level, its items in key order and, for an index page, the child
// address of each item, plus the accounted size carried in the page header.
struct PageContent {
    std::uint8_t level = 0;
    ItemList items;
    std::vector<std::int32_t> children;
    std::uint32_t accounted = 13;
};

// The Node formula: 13 + sum(item length + 5), plus 4 per item on an index page.
std::uint32_t AccountedSize(const PageContent& page);

// Appends the item stream of `items`.
void EncodeItems(const ItemList& items, std::string& out);
// Parses `count` items from `stream`, which they must fill exactly (fault 1602).
ItemList DecodeItems(std::string_view stream, std::size_t count);
// The same into `items`, whose storage is reused.
void DecodeItemsInto(std::string_view stream, std::size_t count, ItemList& items);

// The page as stored: its size (a multiple of 256) is the page's size class in units.
// Faults 1659 (longer than its accounted size) and 1678 (longer than 15104 bytes).
std::string EncodePage(const PageContent& page, std::uint32_t home_offset);
// Units the encoded page occupies, without building the final bytes.
int EncodedClass(const PageContent& page);

// The two halves of EncodePage, for a commit that sizes a page before it knows where the
// page goes: the stored image with the home offset left 0, and the stamp of the home
// offset and the child addresses (both live in the never-coded page header, so neither
// changes the image's size). The image has room for `extra` more bytes without moving.
std::string EncodePageImage(const PageContent& page, std::size_t extra = 0);
void StampPageImage(std::string& image, const PageContent& page, std::uint32_t home_offset);

// Parses a page of `stored.size()` bytes (its size class). Faults 1477, 522, 530, 1602, 300.
PageContent DecodePage(std::string_view stored);

// A page read but with its item stream not yet parsed into items: level, accounted size
// and child addresses are filled in, `stream` holds the expanded item stream.
struct PageImage {
    PageContent page;  // items empty until parsed
    std::string stream;
    std::size_t count = 0;
};
PageImage ReadPageImage(std::string_view stored);
// The same into the caller's page (level, accounting, children; its items untouched) and
// stream, whose storage is reused; answers the item count.
std::size_t ReadPageParts(std::string_view stored, PageContent& page, std::string& stream);
// Parses the items of an image into its page (the rest of DecodePage).
void ParseImageItems(PageImage& image);

// A lookup in an item stream without building its items: the index of the first item
// whose key is at or above `key` (above it when `strict`), with that item's key and data
// (index == count when there is none). The whole stream is checked as DecodeItems checks it.
struct StreamHit {
    std::size_t index = 0;
    std::string key;
    std::string data;
};
StreamHit SearchItems(std::string_view stream, std::size_t count, std::string_view key,
                      bool strict);

}  // namespace zelt::storage
