#include "framework/standard_error_log.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zelt::framework {

constexpr std::size_t kLineLimit = 1024;

StandardErrorLog::StandardErrorLog(std::string file_name) : file_name_(std::move(file_name)) {}

StandardErrorLog::~StandardErrorLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool StandardErrorLog::IsOpen() const { return fd_ >= 0; }

Level StandardErrorLog::Open(bool force) {
    if (count_ == 0 || force) {
        if (fd_ < 0) {
            fd_ = ::open(file_name_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (fd_ < 0) return LevelNotify;
        }
    }
    ++count_;
    return LevelOk;
}

Level StandardErrorLog::Close(bool force) {
    // A Close without an Open leaves the count alone, so the next Open opens the file.
    if (count_ == 0 && !force) return LevelOk;
    if (count_ == 1 || force) {
        if (fd_ >= 0) {
            int rc = ::close(fd_);
            fd_ = -1;
            if (rc != 0) {
                count_ = 0;
                return LevelNotify;
            }
        }
        count_ = 1;
    }
    --count_;
    return LevelOk;
}

Level StandardErrorLog::Take(std::string_view line) {
    if (fd_ < 0) return LevelNotify;
    std::string record(line.substr(0, kLineLimit));
    for (char& c : record) {
        if (c == '\n' || c == '\r') c = ' ';  // one message, one line
    }
    record += '\n';
    std::size_t done = 0;
    while (done < record.size()) {
        ssize_t n = ::write(fd_, record.data() + done, record.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LevelNotify;
        }
        done += static_cast<std::size_t>(n);
    }
    return LevelOk;
}

}  // namespace zelt::framework
