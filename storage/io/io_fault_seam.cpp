#include "storage/io/io_fault_seam.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace zelt::storage::io {
namespace {
SeamAction g_action = SeamAction::None;
std::int64_t g_nth = 0;
std::int64_t g_count = 0;
bool g_stopped = false;
bool g_sync = true;

struct UnflushedWrite {
    int fd;  // a duplicate, so the write can be undone after the file was closed
    ino_t inode;
    std::uint64_t offset;
    std::string replaced;  // the bytes there before, as far as the file reached
    std::uint64_t length;
    std::uint64_t size_before;
};
bool g_track = false;
std::vector<UnflushedWrite> g_unflushed;
std::vector<std::string> g_created;  // files whose directory was not flushed since
std::vector<std::int64_t> g_flush_points;

ino_t InodeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
}

void ForgetUnflushed(const std::function<bool(const UnflushedWrite&)>& which) {
    std::vector<UnflushedWrite> kept;
    for (auto& write : g_unflushed) {
        if (which(write)) {
            ::close(write.fd);
        } else {
            kept.push_back(std::move(write));
        }
    }
    g_unflushed = std::move(kept);
}
}  // namespace

void IoFaultSeam::TrackUnflushed(bool enabled) {
    g_track = enabled;
    g_flush_points.clear();
    g_created.clear();
    ForgetUnflushed([](const UnflushedWrite&) { return true; });
}

bool IoFaultSeam::TrackingUnflushed() {
    return g_track;
}

void IoFaultSeam::NoteWrite(int fd, std::uint64_t offset, std::uint64_t length) {
    if (!g_track) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::string replaced(offset < size ? std::min(length, size - offset) : 0, '\0');
    if (!replaced.empty() &&
        ::pread(fd, replaced.data(), replaced.size(), static_cast<off_t>(offset)) < 0)
        return;
    g_unflushed.push_back({::dup(fd), st.st_ino, offset, std::move(replaced), length, size});
}

void IoFaultSeam::NoteFlush(int fd) {
    if (!g_track) return;
    g_flush_points.push_back(g_count);
    const ino_t inode = InodeOf(fd);
    ForgetUnflushed([&](const UnflushedWrite& write) { return write.inode == inode; });
}

std::size_t IoFaultSeam::UnflushedCount() {
    return g_unflushed.size();
}

std::vector<std::int64_t> IoFaultSeam::FlushPoints() {
    return g_flush_points;
}

void IoFaultSeam::UndoUnflushed(const std::function<bool(std::size_t, std::uint64_t)>& undo) {
    // A file ends where it ended before its first lost write, or behind the last write
    // that was kept, whichever is further.
    std::vector<std::pair<int, std::uint64_t>> ends;  // fd, end
    std::vector<ino_t> seen;
    for (std::size_t i = 0; i < g_unflushed.size(); ++i) {
        const UnflushedWrite& write = g_unflushed[i];
        auto at = std::find(seen.begin(), seen.end(), write.inode);
        if (at == seen.end()) {
            seen.push_back(write.inode);
            ends.emplace_back(write.fd, write.size_before);
            at = seen.end() - 1;
        }
        auto& end = ends[static_cast<std::size_t>(at - seen.begin())].second;
        if (!undo(i, write.offset)) end = std::max(end, write.offset + write.length);
    }
    for (std::size_t i = g_unflushed.size(); i-- > 0;) {
        const UnflushedWrite& write = g_unflushed[i];
        if (!undo(i, write.offset)) continue;
        std::string bytes = write.replaced;
        bytes.resize(write.length, '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::pwrite(write.fd, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(write.offset + done));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
    for (const auto& [fd, end] : ends) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > end) {
            if (::ftruncate(fd, static_cast<off_t>(end)) != 0) continue;
        }
    }
    ForgetUnflushed([](const UnflushedWrite&) { return true; });
}

void IoFaultSeam::NoteCreated(const std::string& path) {
    if (g_track) g_created.push_back(path);
}

void IoFaultSeam::NoteDirectoryFlush(const std::string& directory) {
    if (!g_track) return;
    g_flush_points.push_back(g_count);
    std::erase_if(g_created, [&](const std::string& path) {
        return std::filesystem::path(path).parent_path() == std::filesystem::path(directory);
    });
}

std::size_t IoFaultSeam::UnflushedEntryCount() {
    return g_created.size();
}

void IoFaultSeam::DropUnflushedEntries() {
    for (const std::string& path : g_created) ::unlink(path.c_str());
    g_created.clear();
}

void IoFaultSeam::Arm(SeamAction action, std::int64_t nth) {
    g_flush_points.clear();
    g_action = action;
    g_nth = nth;
    g_count = 0;
    g_stopped = false;
}

void IoFaultSeam::Disarm() {
    Arm(SeamAction::None, 0);
}

void IoFaultSeam::SetDeviceSync(bool enabled) {
    g_sync = enabled;
}

bool IoFaultSeam::DeviceSync() {
    return g_sync;
}

std::int64_t IoFaultSeam::Count() {
    return g_count;
}

bool IoFaultSeam::Stopped() {
    return g_stopped;
}

SeamAction IoFaultSeam::Next() {
    ++g_count;
    if (g_stopped) return SeamAction::Stop;
    if (g_action == SeamAction::None || g_count != g_nth) return SeamAction::None;
    if (g_action == SeamAction::Stop) g_stopped = true;
    return g_action;
}

}  // namespace zelt::storage::io
