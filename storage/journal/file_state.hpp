// Open-file state behind an ItemFile: the handle, the tree with its cached header, the
// header as last committed on disk, the read/write state and the locks held.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/io/file_handle.hpp"
#include "storage/item_file.hpp"
#include "storage/tree/tree_file.hpp"

namespace zelt::storage {

// Lock offsets of the file protocol, all at and above 2 GiB so they never cover data.
inline constexpr std::uint64_t kLockBase = std::uint64_t{1} << 31;
inline constexpr std::uint64_t kReaderSlots = 1023;
inline constexpr std::uint64_t kWriterByte = kLockBase + 1023;
inline std::uint64_t RecordLockOffset(std::uint32_t number) {
    return kLockBase + 1024 + std::uint64_t{number} + 1;
}

class ItemFileState {
  public:
    std::filesystem::path path;
    OpenOptions options;
    std::unique_ptr<io::FileHandle> handle;
    std::unique_ptr<TreeFile> tree;
    FileHeader committed = FileHeader::Fresh();  // the header as it stands at offset 0

    bool shared() const { return options.share == Share::DenyNone; }
    bool deny_write() const { return options.share == Share::DenyWrite; }

    bool header_held = false;
    bool validated = false;
    bool write_state = false;
    bool in_operation = false;
    bool in_transaction = false;
    bool damaged = false;
    bool closed = false;
    Transaction* transaction = nullptr;
    // The first failure that struck this file inside a transaction. Its cached changes are
    // gone with it, so the transaction can only fail: Commit reports this and commits none.
    Status transaction_failure;

    // Pages journaled by phase 1 of the current commit, written in place by phase 2.
    std::vector<std::pair<std::uint64_t, std::string>> pending_pages;

    // A file only this handle writes (deny write, deny all) does not wait for the header
    // that closes a commit's journal to reach the disk: its pages are home and flushed by
    // then, so a crash leaves either that header or the one before it, which still points
    // to the journal, and the journal replays the same pages. Until the next flush that
    // journal, [journal_kept_from, journal_kept_to), must stay as it is.
    bool close_unflushed = false;
    std::uint32_t journal_kept_from = 0;
    std::uint32_t journal_kept_to = 0;

    std::uint32_t reader_slot = 0;
    bool reader_locked = false;
    bool writer_locked = false;
    bool exclusive_locked = false;

    // Replacements held back during a transaction (the latest data per key): every read
    // of the file sees them, and they reach the tree before anything walks it or the
    // file commits. A table's counters change with every record; this way each counter
    // item is written once per commit instead of once per record.
    std::map<std::string, std::string, std::less<>> deferred;

    void ApplyDeferred() {
        for (const auto& [key, data] : deferred) ApplyDeferredItem(key, data);
        deferred.clear();
    }
    // Applies the held-back replacement of `key`, if there is one.
    void ApplyDeferred(std::string_view key) {
        auto it = deferred.find(key);
        if (it == deferred.end()) return;
        ApplyDeferredItem(it->first, it->second);
        deferred.erase(it);
    }

    // Forgets every cached change; the next validation reads the disk again.
    void DropCachedState() {
        deferred.clear();
        pending_pages.clear();
        header_held = false;
        validated = false;
        tree->clear_journal_map();
        tree->Reset(committed);
    }

  private:
    void ApplyDeferredItem(std::string_view key, std::string_view data) {
        if (tree->Rewrite(key, data)) return;
        tree->Erase(key);
        tree->Insert(key, data);
    }
};

}  // namespace zelt::storage
