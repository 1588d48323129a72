// The file services of the batches: whether a file exists, removing a file through
// DeletionFile, listing a folder by a mask into FileQueue entries, and telling whether a
// result file was written after a given moment.
//
// Names are Linux paths. A mask ("/work/*.DCT", "/work/ORDERS.TXD") matches file names
// ignoring letter case, with "*" for any run of characters and "?" for one, as the IDE
// finds its files; only regular files are listed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "app/batches/batch_engine.hpp"
#include "runtime/errors/error_codes.hpp"

namespace zelt::app {

// True when `path` names an existing file (anything but a directory).
bool FileExists(const std::string& path);

// DeletionFileName := `path` (cut at 80 characters), and the file removed through
// DeletionFile; a longer name is removed whole, never under its first 80 characters. Leaves
// the runtime's error code: 2 when there was no such file.
runtime::ErrorCode RemoveThroughDeletionFile(std::string_view path);

// The regular files matching `mask` (folder part, then a name mask), in name order.
std::vector<FileQueueEntry> ListFiles(std::string_view mask);

// Whether `name` matches the name mask `mask`, ignoring letter case.
bool MatchesMask(std::string_view name, std::string_view mask);

// Upper-case copy of a name.
std::string UpperName(std::string_view name);

// What identifies one version of a file: a rewrite in place changes its times or size, a
// file written elsewhere and renamed over it its inode.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    timespec modified{};
    timespec changed{};
};
FileStamp StampOf(const std::string& path);
// True when `now` is a file that is not the version `before` saw (or `before` saw none).
bool WrittenSince(const FileStamp& before, const FileStamp& now);

// The folder part of a path: everything up to its last "/" ("." when it has none).
std::string FolderOf(std::string_view path);

}  // namespace zelt::app
