// The items of one page in key order, held in one buffer.
//
// Each item's key bytes and data bytes lie together in the list's buffer, and a small
// slot per item (offset, length, key length) says where. A page parsed from disk costs
// one allocation for its bytes and one for its slots, and dropping it frees two; a
// search probes the slots and compares bytes that lie side by side in one buffer.
//
// An Item is a view: it stays valid while its list is unchanged. Inserts append their
// bytes; erases and new keys leave the old bytes behind as garbage, and once the garbage
// outweighs the live bytes the buffer is rebuilt. An insert may take its key or data from
// the list itself.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::storage {

// One item: key bytes followed by data bytes.
struct Item {
    std::string_view bytes;
    std::uint16_t key_length = 0;

    std::string_view key() const { return bytes.substr(0, key_length); }
    std::string_view data() const { return bytes.substr(key_length); }
};

class ItemList {
  public:
    std::size_t size() const { return slots_.size(); }
    bool empty() const { return slots_.empty(); }
    Item operator[](std::size_t index) const {
        const Slot& slot = slots_[index];
        return {std::string_view(bytes_.data() + slot.offset, slot.length), slot.key_length};
    }
    Item front() const { return (*this)[0]; }
    Item back() const { return (*this)[slots_.size() - 1]; }
    // Just the key of item `index`.
    std::string_view key(std::size_t index) const {
        const Slot& slot = slots_[index];
        return {bytes_.data() + slot.offset, slot.key_length};
    }

    // Makes room for `count` items of `bytes` bytes in all.
    void Reserve(std::size_t count, std::size_t bytes);
    void Insert(std::size_t index, std::string_view key, std::string_view data);
    void PushBack(std::string_view key, std::string_view data) { Insert(size(), key, data); }
    // Appends an item made of the first `shared` bytes of item `from` followed by `rest`,
    // `key_length` of the whole being key (a page's item stream as it is read).
    void PushBackSharing(std::size_t from, std::size_t shared, std::string_view rest,
                         std::size_t key_length);
    void Erase(std::size_t index);
    // Overwrites the data of item `index` with `data` of the same length.
    void OverwriteData(std::size_t index, std::string_view data);
    // Makes item `index` the key `key` without data (an index page's entry).
    void ReplaceWithKey(std::size_t index, std::string_view key);
    // Moves the items from `index` on to the end of `to`.
    void MoveTailTo(std::size_t index, ItemList& to);
    void Clear();

  private:
    struct Slot {
        std::uint32_t offset;
        std::uint16_t length;
        std::uint16_t key_length;
    };
    // Appends the bytes of a new item (which may lie in the buffer) and answers its slot.
    Slot Append(std::string_view key, std::string_view data);
    void Drop(const Slot& slot);
    void Compact();

    // The items' bytes: a plain growing buffer, so that a page being parsed writes each
    // item once where it goes.
    class Bytes {
      public:
        Bytes() = default;
        Bytes(const Bytes& other) { *this = other; }
        Bytes& operator=(const Bytes& other) {
            if (this == &other) return *this;
            Clear();
            Reserve(other.size_);
            if (other.size_ > 0) std::memcpy(Extend(other.size_), other.data(), other.size_);
            return *this;
        }
        Bytes(Bytes&& other) noexcept { Swap(other); }
        Bytes& operator=(Bytes&& other) noexcept {
            Bytes taken(std::move(other));
            Swap(taken);
            return *this;
        }
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return capacity_; }
        const char* data() const { return data_.get(); }
        char* data() { return data_.get(); }
        void Reserve(std::size_t capacity);
        // Room for `n` more bytes at the end, growing the buffer if need be; answers where
        // they go (the bytes before keep their offsets, not their addresses).
        char* Extend(std::size_t n) {
            if (size_ + n > capacity_) Grow(size_ + n);
            char* at = data_.get() + size_;
            size_ += n;
            return at;
        }
        void Clear() { size_ = 0; }
        void Swap(Bytes& other) noexcept {
            data_.swap(other.data_);
            std::swap(size_, other.size_);
            std::swap(capacity_, other.capacity_);
        }

      private:
        void Grow(std::size_t need);
        std::unique_ptr<char[]> data_;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };

    Bytes bytes_;
    std::vector<Slot> slots_;
    std::size_t live_ = 0;  // bytes of the items in `slots_`; the rest of `bytes_` is garbage
};

}  // namespace zelt::storage
