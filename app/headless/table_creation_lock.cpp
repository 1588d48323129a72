#include "app/headless/table_creation_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace zelt::app {

TableCreationLock::TableCreationLock(const std::string& file, std::int64_t wait_ms) {
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (folder.empty()) folder = ".";
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    const bool creating = ::access(file.c_str(), F_OK) != 0;
    const int kind = creating ? LOCK_EX : LOCK_SH;
    std::int64_t slept = 0;
    std::int64_t pause = 5;
    while (::flock(fd_, kind | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return;  // the folder cannot be locked (a file system without locks): go on
        }
        if (slept >= wait_ms) {
            held_ = false;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        slept += pause;
        pause = std::min<std::int64_t>(pause * 2, 200);
    }
}

TableCreationLock::~TableCreationLock() {
    if (fd_ >= 0) ::close(fd_);  // lets go of the lock
}

}  // namespace zelt::app
