// What the table layer needs of a file: an ordered set of unique byte-string keys with data,
// looked up exactly or by seeking, and the file-wide identifier counter.
//
// `ItemFileStore` serves it from a Pelmar file (storage/item_file.hpp); `MemoryItemStore`
// from memory, for dynamic indexes and for tests of the table rules.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "storage/item_file.hpp"

namespace zelt::storage {

class ItemStore {
  public:
    virtual ~ItemStore() = default;

    virtual Status Insert(BytesView key, BytesView data) = 0;
    virtual Status Replace(BytesView key, BytesView data) = 0;
    // A replacement the store may hold back until it commits (reads see it at once).
    virtual Status ReplaceLater(BytesView key, BytesView data) { return Replace(key, data); }
    virtual Status Erase(BytesView key, bool* found) = 0;
    virtual Status Find(BytesView key, Bytes* data, bool* found) = 0;
    // Positions on the item that `mode` picks relative to `key`; `found` is false when
    // there is none.
    virtual Status Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out,
                        bool* found) = 0;
    virtual Status IssueIdentifier(std::array<std::uint8_t, 4>& out) = 0;
    // Seek(key, After) with the items after it that the store reads cheaply, at most `max`
    // in all, and the version they stand for (ItemRun). A store that keeps no version gives
    // the one item, version 0.
    virtual Status SeekRun(BytesView key, std::size_t max, ItemRun& run) {
        run.Clear();
        if (max == 0) return Status::Ok();
        Bytes found_key;
        Bytes data;
        bool found = false;
        const Status status = Seek(key, SeekMode::After, &found_key, &data, &found);
        if (status.ok() && found) run.Add(found_key, data);
        return status;
    }
    // Changes whenever the items may have changed; 0: the store keeps no version.
    virtual std::uint64_t Version() const { return 0; }
};

class MemoryItemStore final : public ItemStore {
  public:
    Status Insert(BytesView key, BytesView data) override;
    Status Replace(BytesView key, BytesView data) override;
    Status Erase(BytesView key, bool* found) override;
    Status Find(BytesView key, Bytes* data, bool* found) override;
    Status Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out,
                bool* found) override;
    Status IssueIdentifier(std::array<std::uint8_t, 4>& out) override;

    const std::map<Bytes, Bytes, std::less<>>& Items() const { return items_; }
    void Clear() { items_.clear(); }

  private:
    std::map<Bytes, Bytes, std::less<>> items_;
    std::uint32_t last_identifier_ = 0;
};

}  // namespace zelt::storage
