#include "storage/pagefile/item_list.hpp"

#include <algorithm>
#include <cstring>

namespace zelt::storage {
namespace {
// Garbage below this many bytes is never worth a rebuild.
constexpr std::size_t kGarbageSlack = 1024;
// A list that grows starts with room for about a page, and then doubles.
constexpr std::size_t kFirstRoom = 4096;

void MakeRoom(std::string& bytes, std::size_t more) {
    const std::size_t need = bytes.size() + more;
    if (need > bytes.capacity()) bytes.reserve(std::max({need, 2 * bytes.capacity(), kFirstRoom}));
}

bool Within(std::string_view part, const std::string& whole) {
    return !part.empty() && part.data() >= whole.data() &&
           part.data() < whole.data() + whole.size();
}
}  // namespace

void ItemList::Reserve(std::size_t count, std::size_t bytes) {
    slots_.reserve(count);
    bytes_.reserve(bytes);
}

ItemList::Slot ItemList::Append(std::string_view key, std::string_view data) {
    if (Within(key, bytes_) || Within(data, bytes_)) {
        // Growing the buffer would move the bytes they view.
        const std::string copy = std::string(key).append(data);
        return Append(std::string_view(copy).substr(0, key.size()),
                      std::string_view(copy).substr(key.size()));
    }
    const Slot slot{static_cast<std::uint32_t>(bytes_.size()),
                    static_cast<std::uint16_t>(key.size() + data.size()),
                    static_cast<std::uint16_t>(key.size())};
    MakeRoom(bytes_, slot.length);
    bytes_.append(key).append(data);
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
    // Offsets, not pointers: the buffer may move as it grows.
    if (shared > 0) bytes_.append(bytes_, slots_[from].offset, shared);
    bytes_.append(rest);
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
    std::size_t moved = 0;
    for (std::size_t i = index; i < slots_.size(); ++i) moved += slots_[i].length;
    to.slots_.reserve(to.slots_.size() + (slots_.size() - index));
    MakeRoom(to.bytes_, moved);
    for (std::size_t i = index; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        to.slots_.push_back(
            {static_cast<std::uint32_t>(to.bytes_.size()), slot.length, slot.key_length});
        to.bytes_.append(bytes_.data() + slot.offset, slot.length);
    }
    to.live_ += moved;
    live_ -= moved;
    slots_.resize(index);
    if (bytes_.size() - live_ > live_ + kGarbageSlack) Compact();
}

void ItemList::Clear() {
    bytes_.clear();
    slots_.clear();
    live_ = 0;
}

void ItemList::Compact() {
    std::string bytes;
    bytes.reserve(live_);
    for (Slot& slot : slots_) {
        const std::uint32_t offset = static_cast<std::uint32_t>(bytes.size());
        bytes.append(bytes_, slot.offset, slot.length);
        slot.offset = offset;
    }
    bytes_ = std::move(bytes);
}

}  // namespace zelt::storage
