#include "storage/tables/item_store.hpp"

namespace zelt::storage {

Status MemoryItemStore::Insert(BytesView key, BytesView data) {
    if (key.size() + data.size() >= 15094) return Status::Fault(fault::ItemTooLarge);
    const auto [it, inserted] = items_.emplace(Bytes(key), Bytes(data));
    if (!inserted) return Status::Fault(fault::DuplicateItemKey);
    return Status::Ok();
}

Status MemoryItemStore::Replace(BytesView key, BytesView data) {
    if (key.size() + data.size() >= 15094) return Status::Fault(fault::ItemTooLarge);
    items_.insert_or_assign(Bytes(key), Bytes(data));
    return Status::Ok();
}

Status MemoryItemStore::Erase(BytesView key, bool* found) {
    const auto it = items_.find(key);
    if (found != nullptr) *found = it != items_.end();
    if (it != items_.end()) items_.erase(it);
    return Status::Ok();
}

Status MemoryItemStore::Find(BytesView key, Bytes* data, bool* found) {
    const auto it = items_.find(key);
    *found = it != items_.end();
    if (*found && data != nullptr) *data = it->second;
    return Status::Ok();
}

Status MemoryItemStore::Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out,
                             bool* found) {
    auto it = items_.end();
    switch (mode) {
        case SeekMode::AtOrAfter:
            it = items_.lower_bound(key);
            break;
        case SeekMode::After:
            it = items_.upper_bound(key);
            break;
        case SeekMode::AtOrBefore: {
            auto above = items_.upper_bound(key);
            it = above == items_.begin() ? items_.end() : std::prev(above);
            break;
        }
        case SeekMode::Before: {
            auto at = items_.lower_bound(key);
            it = at == items_.begin() ? items_.end() : std::prev(at);
            break;
        }
    }
    *found = it != items_.end();
    if (*found) {
        if (key_out != nullptr) *key_out = it->first;
        if (data_out != nullptr) *data_out = it->second;
    }
    return Status::Ok();
}

Status MemoryItemStore::IssueIdentifier(std::array<std::uint8_t, 4>& out) {
    if (last_identifier_ + 1 >= 0xFE000000u) return Status::Fault(fault::IdentifiersExhausted);
    ++last_identifier_;
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(last_identifier_ >> (24 - 8 * i));
    return Status::Ok();
}

}  // namespace zelt::storage
