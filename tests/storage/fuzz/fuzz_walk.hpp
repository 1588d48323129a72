// Opens arbitrary file bytes as an item file and walks them: every item forwards and
// backwards, the tree check, then a small write. Any outcome but a clean status is a bug.
// Shared by the fuzz target and the regression test that replays its findings.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "storage/item_file.hpp"
#include "storage/journal/file_state.hpp"

namespace zelt::storage::fuzzing {

// True when every status seen was success, 36 (invalid data file), a fault number, or, for a
// write, "Handle Disk Full" (a damaged header that places the file's end near the limit).
inline bool CleanStatus(const Status& status) {
    return status.ok() || status.code == runtime::err::InvalidDataFile || status.is_fault() ||
           status.code == kFileFull;
}

inline bool WalkBytes(const std::filesystem::path& dir, const std::uint8_t* data,
                      std::size_t size) {
    std::filesystem::path path = dir / "fuzz.plm";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    bool clean = true;
    for (Access access : {Access::ReadOnly, Access::ReadWrite}) {
        std::unique_ptr<ItemFile> file;
        Status status =
            ItemFile::Open(path, {access, Share::DenyAll, Creation::OpenExisting, {}}, file);
        clean = clean && CleanStatus(status);
        if (!status.ok()) continue;
        ItemCursor cursor(*file);
        status = cursor.First();
        for (int steps = 0; status.ok() && cursor.Valid() && steps < 3000; ++steps)
            status = cursor.Next();
        clean = clean && CleanStatus(status);
        status = cursor.Last();
        for (int steps = 0; status.ok() && cursor.Valid() && steps < 3000; ++steps)
            status = cursor.Previous();
        clean = clean && CleanStatus(status);
        if (file->BeginRead().ok()) {
            try {
                file->state().tree->Verify();
            } catch (...) {
                // A damaged tree is reported by the check; that is the expected outcome here.
            }
            file->Finish();
        }
        if (access == Access::ReadWrite) {
            clean = clean && CleanStatus(file->Insert("fuzz", "item"));
            clean = clean && CleanStatus(file->Erase(std::string(1, '\0')));
            std::array<std::uint8_t, 4> id{};
            clean = clean && CleanStatus(file->IssueIdentifier(id));
        }
        clean = clean && CleanStatus(file->Close());
    }
    return clean;
}

}  // namespace zelt::storage::fuzzing
