#include "storage/io/io_fault_seam.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace zelt::storage::io {
namespace {
SeamAction g_action = SeamAction::None;
std::int64_t g_nth = 0;
std::int64_t g_count = 0;
bool g_stopped = false;
bool g_sync = true;
int g_error = 0;

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

std::string g_log;  // the cross-process log, when set

// Log records: 'W', inode, offset, length, size before, path length, replaced length, path,
// replaced bytes; or 'F', inode. Integers as u64 in the machine's order.
void AppendLog(const std::string& record) {
    const int fd = ::open(g_log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    [[maybe_unused]] const auto n = ::write(fd, record.data(), record.size());
    ::close(fd);
}

void PutU64(std::string& out, std::uint64_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::uint64_t GetU64(const std::string& in, std::size_t& at) {
    std::uint64_t value = 0;
    if (at + sizeof value <= in.size()) std::memcpy(&value, in.data() + at, sizeof value);
    at += sizeof value;
    return value;
}

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
    if (!g_log.empty()) {
        char path[4096];
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const auto got = ::readlink(self.c_str(), path, sizeof path);
        const std::string name(path, got > 0 ? static_cast<std::size_t>(got) : 0);
        std::string record = "W";
        for (std::uint64_t value : {std::uint64_t{st.st_ino}, offset, length, size,
                                    std::uint64_t{name.size()}, std::uint64_t{replaced.size()}})
            PutU64(record, value);
        AppendLog(record + name + replaced);
        return;
    }
    g_unflushed.push_back({::dup(fd), st.st_ino, offset, std::move(replaced), length, size});
}

void IoFaultSeam::NoteFlush(int fd) {
    if (!g_track) return;
    if (!g_log.empty()) {
        std::string record = "F";
        PutU64(record, InodeOf(fd));
        AppendLog(record);
    }
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

void IoFaultSeam::LogUnflushedTo(const std::string& path) {
    TrackUnflushed(!path.empty());
    g_log = path;
}

std::size_t IoFaultSeam::UndoLoggedUnflushed(
    const std::string& path, const std::function<bool(std::size_t, std::uint64_t)>& undo) {
    std::ifstream in(path, std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    struct Logged {
        std::uint64_t inode, offset, length, size_before;
        std::string path, replaced;
    };
    std::vector<Logged> pending;
    for (std::size_t at = 0; at < log.size();) {
        const char type = log[at++];
        if (type == 'F') {
            const std::uint64_t inode = GetU64(log, at);
            std::erase_if(pending, [&](const Logged& w) { return w.inode == inode; });
            continue;
        }
        Logged w;
        w.inode = GetU64(log, at);
        w.offset = GetU64(log, at);
        w.length = GetU64(log, at);
        w.size_before = GetU64(log, at);
        const std::uint64_t name_length = GetU64(log, at);
        const std::uint64_t replaced_length = GetU64(log, at);
        if (at + name_length + replaced_length > log.size()) break;
        w.path = log.substr(at, name_length);
        at += name_length;
        w.replaced = log.substr(at, replaced_length);
        at += replaced_length;
        pending.push_back(std::move(w));
    }
    // Each sector (512 bytes) of a lost write is lost on its own, as a disk may write some
    // sectors of one request and not others; `undo` sees them in the order written. Each
    // file ends where it ended before its first lost write or behind the last kept sector.
    constexpr std::uint64_t kSector = 512;
    struct Sector {
        std::size_t write;
        std::uint64_t offset, length;
        bool lost;
    };
    std::vector<Sector> sectors;
    std::vector<std::pair<std::string, std::uint64_t>> ends;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const Logged& w = pending[i];
        auto end = std::find_if(ends.begin(), ends.end(),
                                [&](const auto& e) { return e.first == w.path; });
        if (end == ends.end()) end = ends.insert(ends.end(), {w.path, w.size_before});
        for (std::uint64_t at = 0; at < w.length; at += kSector) {
            const std::uint64_t length = std::min(kSector, w.length - at);
            const bool lost = undo(sectors.size(), w.offset + at);
            sectors.push_back({i, at, length, lost});
            if (!lost) end->second = std::max(end->second, w.offset + at + length);
        }
    }
    for (std::size_t s = sectors.size(); s-- > 0;) {
        const Sector& sector = sectors[s];
        if (!sector.lost) continue;
        const Logged& w = pending[sector.write];
        const int fd = ::open(w.path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) continue;
        std::string bytes = w.replaced;
        bytes.resize(w.length, '\0');
        [[maybe_unused]] const auto n = ::pwrite(fd, bytes.data() + sector.offset, sector.length,
                                                 static_cast<off_t>(w.offset + sector.offset));
        ::close(fd);
    }
    for (const auto& [file, end] : ends) {
        std::error_code ec;
        if (std::filesystem::file_size(file, ec) > end && !ec)
            std::filesystem::resize_file(file, end, ec);
    }
    return pending.size();
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

void IoFaultSeam::Arm(SeamAction action, std::int64_t nth, int error) {
    g_error = error;
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

int IoFaultSeam::FailError() {
    return g_error;
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
