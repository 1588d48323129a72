#include "app/batches/result_watches.hpp"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "app/batches/file_services.hpp"

namespace zelt::app {

namespace {
void Add(int epoll, int descriptor) {
    if (epoll < 0 || descriptor < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = descriptor;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, descriptor, &event);
}
}  // namespace

ResultWatches::ResultWatches(int also_descriptor) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    Add(epoll_, inotify_);
    Add(epoll_, also_descriptor);
}

ResultWatches::~ResultWatches() {
    if (epoll_ >= 0) ::close(epoll_);
    if (inotify_ >= 0) ::close(inotify_);
}

void ResultWatches::Follow(const std::string& path) {
    Folder& folder = folders_[FolderOf(path)];
    if (++folder.waiting > 1 || inotify_ < 0) return;
    constexpr std::uint32_t kChanges =
        IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_ATTRIB;
    folder.watch = ::inotify_add_watch(inotify_, FolderOf(path).c_str(), kChanges);
}

void ResultWatches::Forget(const std::string& path) {
    const auto it = folders_.find(FolderOf(path));
    if (it == folders_.end() || --it->second.waiting > 0) return;
    // Folders share a watch when they are one folder under two names: only the last one
    // waiting removes it.
    const int watch = it->second.watch;
    folders_.erase(it);
    if (watch < 0) return;
    for (const auto& [name, other] : folders_)
        if (other.watch == watch) return;
    ::inotify_rm_watch(inotify_, watch);
}

void ResultWatches::Drain() {
    if (inotify_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    while (::read(inotify_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace zelt::app
