#include "storage/pagefile/page_codec.hpp"

#include <algorithm>
#include <cstring>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/file_header.hpp"
#include "storage/pagefile/key_order.hpp"
#include "storage/pagefile/run_length.hpp"

namespace zelt::storage {
namespace {

void PutU16(std::string& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t GetU16(std::string_view in, std::size_t at) {
    return std::uint32_t{static_cast<std::uint8_t>(in[at])} |
           std::uint32_t{static_cast<std::uint8_t>(in[at + 1])} << 8;
}
std::uint32_t GetU32(std::string_view in, std::size_t at) {
    return GetU16(in, at) | GetU16(in, at + 2) << 16;
}

std::size_t HeaderLength(const PageContent& page) {
    return 13 + (page.level > 0 ? 4 * page.items.size() : 0);
}

// Header plus item stream, unexpanded, into `out`.
void ExpandedInto(const PageContent& page, std::string& out) {
    // A damaged page's accounting may claim any size; no page is larger than the largest class.
    const std::size_t claimed = std::max<std::size_t>(page.accounted, HeaderLength(page));
    out.reserve(std::min<std::size_t>(claimed, kMaxPageBytes) + kUnit);
    out.assign(HeaderLength(page), '\0');
    EncodeItems(page.items, out);
    if (out.size() > page.accounted) RaiseFault(fault::PageOverAccounted);
    PutU16(out, 6, static_cast<std::uint32_t>(out.size()));
    PutU16(out, 8, page.accounted);
    PutU16(out, 10, static_cast<std::uint32_t>(page.items.size()));
    out[12] = static_cast<char>(page.level);
    if (page.level > 0) {
        for (std::size_t i = 0; i < page.children.size(); ++i) {
            PutU32(out, 13 + 4 * i, static_cast<std::uint32_t>(page.children[i]));
        }
    }
}

}  // namespace

std::uint32_t AccountedSize(const PageContent& page) {
    std::uint32_t size = 13;
    for (std::size_t i = 0; i < page.items.size(); ++i)
        size += static_cast<std::uint32_t>(page.items[i].bytes.size()) + 5;
    if (page.level > 0) size += 4 * static_cast<std::uint32_t>(page.items.size());
    return size;
}

void EncodeItems(const ItemList& items, std::string& out) {
    // Written through a pointer into room for the longest stream (every item whole, with
    // its flag and both lengths), then cut to what was written.
    std::size_t room = 0;
    for (std::size_t i = 0; i < items.size(); ++i) room += items[i].bytes.size() + 5;
    const std::size_t base = out.size();
    out.resize(base + room);
    char* at = out.data() + base;
    auto put16 = [&at](std::size_t v) {
        *at++ = static_cast<char>(v & 0xFF);
        *at++ = static_cast<char>((v >> 8) & 0xFF);
    };
    Item prev;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item item = items[i];
        std::uint8_t flag = 0;
        std::size_t shared = 0;
        if (i == 0) {
            flag = 0xC0;
        } else {
            std::size_t limit = std::min({std::size_t{63}, item.bytes.size(), prev.bytes.size()});
            shared = CommonPrefixLength(item.bytes.data(), prev.bytes.data(), limit);
            if (item.bytes.size() != prev.bytes.size()) flag |= 0x80;
            if (item.key_length != prev.key_length) flag |= 0x40;
        }
        flag |= static_cast<std::uint8_t>(shared);
        *at++ = static_cast<char>(flag);
        if (flag & 0x80) put16(item.bytes.size());
        if (flag & 0x40) put16(item.key_length);
        const std::size_t rest = item.bytes.size() - shared;
        std::memcpy(at, item.bytes.data() + shared, rest);
        at += rest;
        prev = item;
    }
    out.resize(static_cast<std::size_t>(at - out.data()));
}

namespace {
// Reads a page's item stream: per item a flag byte (the length of the prefix shared with
// the item before in its low six bits; 0x80: an item length follows, 0x40: a key length
// follows), the lengths it carries, then the bytes not shared. Damage raises its fault.
class ItemStreamReader {
  public:
    explicit ItemStreamReader(std::string_view stream) : stream_(stream) {}

    // Reads item `index` onto the end of `items` (its shared prefix taken from the item
    // before); false when its key does not follow the key before. The order is checked on
    // the stream's bytes, before they are copied.
    bool NextInto(std::size_t index, ItemList& items) {
        const std::size_t shared =
            Header(index, index > 0 ? items[index - 1].bytes.size() : std::size_t{0});
        const std::string_view rest(stream_.data() + pos_, item_length_ - shared);
        const bool follows =
            index == 0 || RestFollows(items.key(index - 1), shared, rest, key_length_);
        items.PushBackSharing(index > 0 ? index - 1 : 0, shared, rest, key_length_);
        pos_ += rest.size();
        return follows;
    }
    // Reads item `index` over `item`, which holds the item before it and keeps the prefix
    // they share; false when its key does not follow the key before (`previous_key` bytes).
    bool NextInPlace(std::size_t index, std::string& item, std::size_t previous_key) {
        const std::size_t shared = Header(index, item.size());
        const std::string_view rest(stream_.data() + pos_, item_length_ - shared);
        const bool follows = index == 0 || RestFollows(std::string_view(item.data(), previous_key),
                                                       shared, rest, key_length_);
        item.resize(shared);
        item.append(rest);
        pos_ += rest.size();
        return follows;
    }
    std::size_t KeyLength() const { return key_length_; }
    // Every byte of the stream must belong to an item.
    void Finish() const {
        if (pos_ != stream_.size()) RaiseFault(fault::StreamLength);
    }

  private:
    // Reads the flag byte and the lengths it carries; answers the shared prefix's length.
    std::size_t Header(std::size_t index, std::size_t previous_length) {
        Need(1);
        const auto flag = static_cast<std::uint8_t>(stream_[pos_++]);
        const std::size_t shared = flag & 0x3F;
        if (index == 0 && (flag & 0xC0) != 0xC0) RaiseFault(fault::StreamLength);
        if (flag & 0x80) {
            Need(2);
            item_length_ = GetU16(stream_, pos_);
            pos_ += 2;
        }
        if (flag & 0x40) {
            Need(2);
            key_length_ = GetU16(stream_, pos_);
            pos_ += 2;
        }
        if (key_length_ > item_length_ || shared > item_length_ ||
            (index > 0 && shared > previous_length) || (index == 0 && shared != 0)) {
            RaiseFault(fault::StreamLength);
        }
        Need(item_length_ - shared);
        return shared;
    }
    // Whether the key made of `prev`'s first `shared` bytes and then `rest` (whose first
    // key_length - shared bytes are key) sorts after `prev`.
    static bool RestFollows(std::string_view prev, std::size_t shared, std::string_view rest,
                            std::size_t key_length) {
        const std::size_t common = std::min(prev.size(), key_length);
        for (std::size_t i = std::min(shared, common); i < common; ++i) {
            const auto x = static_cast<std::uint8_t>(prev[i]);
            const auto y = static_cast<std::uint8_t>(rest[i - shared]);
            if (x != y) return x < y;
        }
        return prev.size() < key_length;
    }
    void Need(std::size_t n) const {
        if (stream_.size() - pos_ < n) RaiseFault(fault::StreamLength);
    }

    std::string_view stream_;
    std::size_t pos_ = 0;
    std::size_t item_length_ = 0;
    std::size_t key_length_ = 0;
};
}  // namespace

void DecodeItemsInto(std::string_view stream, std::size_t count, ItemList& items) {
    items.Clear();
    // Shared prefixes make the items longer than the stream; twice its length is ample.
    items.Reserve(count, stream.size() * 2);
    ItemStreamReader reader(stream);
    for (std::size_t i = 0; i < count; ++i) {
        if (!reader.NextInto(i, items)) RaiseFault(fault::ItemTreeLinks);
    }
    reader.Finish();
}

ItemList DecodeItems(std::string_view stream, std::size_t count) {
    ItemList items;
    DecodeItemsInto(stream, count, items);
    return items;
}

std::string EncodePageImage(const PageContent& page, std::size_t extra) {
    // The page is laid out and coded in buffers kept for the next one (a commit codes
    // thousands), and only the image is copied out: an image held until the commit writes
    // it takes its own size, not the expanded page's.
    thread_local std::string expanded;
    thread_local std::string coded;
    ExpandedInto(page, expanded);
    const std::size_t header = HeaderLength(page);
    // The body is coded when that saves at least one 256-byte unit.
    const bool use_coded = RunLengthCodeInto(std::string_view(expanded).substr(header), coded) &&
                           RoundUnit(static_cast<std::uint32_t>(header + coded.size())) <
                               RoundUnit(static_cast<std::uint32_t>(expanded.size()));
    const std::size_t length = use_coded ? header + coded.size() : expanded.size();
    if (length > static_cast<std::size_t>(kMaxPageBytes)) RaiseFault(fault::PageTooLong);
    const std::size_t rounded = RoundUnit(static_cast<std::uint32_t>(length));
    std::string bytes;
    bytes.reserve(rounded + extra);
    bytes.append(expanded, 0, use_coded ? header : expanded.size());
    if (use_coded) bytes += coded;
    PutU16(bytes, 4, static_cast<std::uint32_t>(length));
    bytes.resize(rounded, static_cast<char>(kPageFill));
    return bytes;
}

void StampPageImage(std::string& image, const PageContent& page, std::uint32_t home_offset) {
    PutU32(image, 0, home_offset);
    if (page.level > 0) {
        for (std::size_t i = 0; i < page.children.size(); ++i) {
            PutU32(image, 13 + 4 * i, static_cast<std::uint32_t>(page.children[i]));
        }
    }
}

std::string EncodePage(const PageContent& page, std::uint32_t home_offset) {
    std::string bytes = EncodePageImage(page);
    StampPageImage(bytes, page, home_offset);
    return bytes;
}

int EncodedClass(const PageContent& page) {
    return static_cast<int>(EncodePageImage(page).size() / kUnit);
}

PageContent DecodePage(std::string_view stored) {
    PageImage image = ReadPageImage(stored);
    ParseImageItems(image);
    return std::move(image.page);
}

std::size_t ReadPageParts(std::string_view stored, PageContent& page, std::string& stream) {
    if (stored.size() < 13) RaiseFault(fault::PageLengthClass);
    std::uint32_t stored_length = GetU16(stored, 4);
    if (RoundUnit(stored_length) != stored.size()) RaiseFault(fault::PageLengthClass);
    std::uint32_t expanded_length = GetU16(stored, 6);
    page.accounted = GetU16(stored, 8);
    std::size_t count = GetU16(stored, 10);
    page.level = static_cast<std::uint8_t>(stored[12]);
    std::size_t header = 13 + (page.level > 0 ? 4 * count : 0);
    if (header > stored_length || header > expanded_length) RaiseFault(fault::StreamLength);
    if (stored_length < expanded_length) {
        RunLengthExpandInto(stored.substr(header, stored_length - header), expanded_length - header,
                            stream);
    } else {
        stream.assign(stored.substr(header, expanded_length - header));
    }
    page.children.clear();
    if (page.level > 0) {
        page.children.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            page.children.push_back(static_cast<std::int32_t>(GetU32(stored, 13 + 4 * i)));
        }
    }
    return count;
}

PageImage ReadPageImage(std::string_view stored) {
    PageImage image;
    image.count = ReadPageParts(stored, image.page, image.stream);
    return image;
}

void ParseImageItems(PageImage& image) {
    image.page.items = DecodeItems(image.stream, image.count);
    image.stream.clear();
    image.stream.shrink_to_fit();
}

StreamHit SearchItems(std::string_view stream, std::size_t count, std::string_view key,
                      bool strict) {
    StreamHit hit;
    hit.index = count;
    // Each item is read over the one before, keeping what they share, in a buffer kept
    // for the next search (scattered lookups search a page each).
    thread_local std::string item;
    item.clear();
    std::size_t key_length = 0;
    ItemStreamReader reader(stream);
    for (std::size_t i = 0; i < count; ++i) {
        if (!reader.NextInPlace(i, item, key_length)) RaiseFault(fault::ItemTreeLinks);
        key_length = reader.KeyLength();
        const std::string_view this_key(item.data(), key_length);
        if (hit.index == count && (strict ? KeyLess(key, this_key) : !KeyLess(this_key, key))) {
            hit.index = i;
            hit.key.assign(this_key);
            hit.data.assign(item, key_length);
        }
    }
    reader.Finish();
    return hit;
}

}  // namespace zelt::storage
