#include "app/batches/result_watch.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include "app/batches/file_services.hpp"

namespace zelt::app {

ResultWatch::~ResultWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultWatch::Follow(const std::string& path) {
    if (fd_ < 0) fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    const std::string folder = FolderOf(path);
    if (watch_ >= 0 && folder != folder_) {
        ::inotify_rm_watch(fd_, watch_);
        watch_ = -1;
    }
    constexpr std::uint32_t kChanges =
        IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;
    // Adding a watch to a folder already watched only renews it.
    watch_ = ::inotify_add_watch(fd_, folder.c_str(), kChanges);
    folder_ = watch_ >= 0 ? folder : std::string();
}

void ResultWatch::Drain() {
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace zelt::app
