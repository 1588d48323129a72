// The item store of a Pelmar file.
#pragma once

#include "storage/item_file.hpp"
#include "storage/tables/item_store.hpp"

namespace zelt::storage {

class ItemFileStore final : public ItemStore {
  public:
    explicit ItemFileStore(ItemFile& file) : file_(&file) {}

    Status Insert(BytesView key, BytesView data) override { return file_->Insert(key, data); }
    Status Replace(BytesView key, BytesView data) override { return file_->Replace(key, data); }
    Status ReplaceLater(BytesView key, BytesView data) override {
        return file_->ReplaceLater(key, data);
    }
    Status Erase(BytesView key, bool* found) override { return file_->Erase(key, found); }
    Status Find(BytesView key, Bytes* data, bool* found) override {
        return file_->Find(key, data, found);
    }
    Status Seek(BytesView key, SeekMode mode, Bytes* key_out, Bytes* data_out,
                bool* found) override {
        return file_->Seek(key, mode, key_out, data_out, found);
    }
    Status SeekRun(BytesView key, std::size_t max, ItemRun& run) override {
        return file_->SeekRun(key, max, run);
    }
    std::uint64_t Version() const override { return file_->Version(); }
    Status IssueIdentifier(std::array<std::uint8_t, 4>& out) override {
        return file_->IssueIdentifier(out);
    }

    ItemFile& File() { return *file_; }

  private:
    ItemFile* file_;
};

}  // namespace zelt::storage
