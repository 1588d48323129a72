#include "app/batches/result_watch.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include "app/batches/file_services.hpp"

namespace zelt::app {

ResultWatch::ResultWatch(const std::string& path) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    const std::string folder = FolderOf(path);
    constexpr std::uint32_t kChanges =
        IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;
    watching_ = ::inotify_add_watch(fd_, folder.c_str(), kChanges) >= 0;
}

ResultWatch::~ResultWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void ResultWatch::Drain() {
    if (!watching_) return;
    alignas(inotify_event) char buffer[4096];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace zelt::app
