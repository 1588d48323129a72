#include "storage/pagefile/item_list.hpp"

#include <algorithm>
#include <cstring>

#include "storage/pagefile/small_copy.hpp"

namespace zelt::storage {
namespace {
// Garbage below this many bytes is never worth a rebuild.
constexpr std::size_t kGarbageSlack = 1024;
// A list that grows starts with room for about a page, and then doubles.
constexpr std::size_t kFirstRoom = 4096;

bool Within(std::string_view part, const char* data, std::size_t size) {
    return !part.empty() && part.data() >= data && part.data() < data + size;
}
}  // namespace

void ItemList::Bytes::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
}

void ItemList::Bytes::Grow(std::size_t need) {
    Reserve(std::max({need, 2 * capacity_, kFirstRoom}));
}

void ItemList::Reserve(std::size_t count, std::size_t bytes) {
    slots_.reserve(count);
    bytes_.Reserve(bytes);
}

ItemList::Slot ItemList::Append(std::string_view key, std::string_view data) {
    if (Within(key, bytes_.data(), bytes_.size()) || Within(data, bytes_.data(), bytes_.size())) {
        // Growing the buffer would move the bytes they view.
        const std::string copy = std::string(key).append(data);
        return Append(std::string_view(copy).substr(0, key.size()),
                      std::string_view(copy).substr(key.size()));
    }
    const Slot slot{static_cast<std::uint32_t>(bytes_.size()),
                    static_cast<std::uint16_t>(key.size() + data.size()),
                    static_cast<std::uint16_t>(key.size())};
    char* at = bytes_.Extend(slot.length);
    if (!key.empty()) std::memcpy(at, key.data(), key.size());
    if (!data.empty()) std::memcpy(at + key.size(), data.data(), data.size());
    live_ += slot.length;
    return slot;
}

void ItemList::Insert(std::size_t index, std::string_view key, std::string_view data) {
    const Slot slot = Append(key, data);
    slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(index), slot);
}

void ItemList::PushBackSharing(std::size_t from, std::size_t shared, std::string_view rest,
                               std::size_t key_length) {
    const Slot slot{static_cast<std::uint32_t>(bytes_.size()),
                    static_cast<std::uint16_t>(shared + rest.size()),
                    static_cast<std::uint16_t>(key_length)};
    char* at = bytes_.Extend(slot.length);
    // The item before is found by its offset: the buffer may have moved as it grew.
    CopySmall(at, bytes_.data() + slots_[from].offset, shared);
    CopySmall(at + shared, rest.data(), rest.size());
    live_ += slot.length;
    slots_.push_back(slot);
}

void ItemList::Drop(const Slot& slot) {
    live_ -= slot.length;
    if (bytes_.size() - live_ > live_ + kGarbageSlack) Compact();
}

void ItemList::Erase(std::size_t index) {
    const Slot slot = slots_[index];
    slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(index));
    Drop(slot);
}

void ItemList::OverwriteData(std::size_t index, std::string_view data) {
    const Slot& slot = slots_[index];
    std::memmove(bytes_.data() + slot.offset + slot.key_length, data.data(), data.size());
}

void ItemList::ReplaceWithKey(std::size_t index, std::string_view key) {
    const Slot old = slots_[index];
    slots_[index] = Append(key, {});
    Drop(old);
}

void ItemList::MoveTailTo(std::size_t index, ItemList& to) {
    const std::size_t full = live_;
    std::size_t moved = 0;
    for (std::size_t i = index; i < slots_.size(); ++i) moved += slots_[i].length;
    to.slots_.reserve(to.slots_.size() + (slots_.size() - index));
    // A list split because it filled: the tail gets room to fill as far again, since items
    // added in key order go on arriving there.
    to.bytes_.Reserve(to.bytes_.size() + std::max(moved, full + kGarbageSlack));
    char* at = to.bytes_.Extend(moved);
    std::uint32_t offset = static_cast<std::uint32_t>(to.bytes_.size() - moved);
    for (std::size_t i = index; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        to.slots_.push_back({offset, slot.length, slot.key_length});
        std::memcpy(at, bytes_.data() + slot.offset, slot.length);
        at += slot.length;
        offset += slot.length;
    }
    to.live_ += moved;
    live_ -= moved;
    slots_.resize(index);
    // The head keeps only its own bytes: a page left behind by items added in key order is
    // not touched again, and a commit of thousands of them holds them all.
    if (bytes_.capacity() > live_ + live_ / 2 + kGarbageSlack) Compact();
}

void ItemList::Clear() {
    bytes_.Clear();
    slots_.clear();
    live_ = 0;
}

void ItemList::Compact() {
    Bytes bytes;
    bytes.Reserve(live_);
    for (Slot& slot : slots_) {
        char* at = bytes.Extend(slot.length);
        std::memcpy(at, bytes_.data() + slot.offset, slot.length);
        slot.offset = static_cast<std::uint32_t>(at - bytes.data());
    }
    bytes_.Swap(bytes);
}

}  // namespace zelt::storage
