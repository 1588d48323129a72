#include "runtime/file/os_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace zelt::runtime {
namespace {

// Flushes the directory that holds `path`, so that a name created, renamed or removed
// there survives a power loss.
ErrorCode SyncDirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrorCodeFromErrno(errno);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return rc == 0 ? err::NoError : ErrorCodeFromErrno(error);
}

std::string DirectoryPart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

OsFile& OsFile::operator=(OsFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

ErrorCode OsFile::Open(const std::string& path, int mode) {
    Close();
    if (path.empty()) return err::InvalidFilename;
    int flags = O_CLOEXEC;
    switch (mode & 3) {
        case 0:
            flags |= O_RDONLY;
            break;
        case 1:
            flags |= O_WRONLY;
            break;
        default:
            flags |= O_RDWR;
            break;
    }
    if ((mode & 0x100) != 0) {
        flags |= O_CREAT;
        if ((mode & 0x200) != 0) flags |= O_TRUNC;
        if ((mode & 3) == 0) flags = (flags & ~O_RDONLY) | O_RDWR;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) return ErrorCodeFromErrno(errno);
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
        Close();
        return err::AccessDenied;
    }
    return err::NoError;
}

ErrorCode OsFile::CreateEmpty(const std::string& path) {
    return Open(path, 0x2 | 0x100 | 0x200);
}

void OsFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::int64_t OsFile::Size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
    return info.st_size;
}

ErrorCode RemoveFile(const std::string& path) {
    if (path.empty()) return err::FileNotFound;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return ErrorCodeFromErrno(errno);
    if (S_ISDIR(info.st_mode)) return err::AccessDenied;
    if (::unlink(path.c_str()) != 0) return ErrorCodeFromErrno(errno);
    return SyncDirectoryOf(path);
}

ErrorCode RenameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return err::InvalidFilename;
    if (::access(from.c_str(), F_OK) != 0) return ErrorCodeFromErrno(errno);
    if (::rename(from.c_str(), to.c_str()) != 0) return ErrorCodeFromErrno(errno);
    if (const ErrorCode code = SyncDirectoryOf(to); code != err::NoError) return code;
    return DirectoryPart(from) == DirectoryPart(to) ? err::NoError : SyncDirectoryOf(from);
}

ErrorCode CopyFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return err::InvalidFilename;
    OsFile source;
    if (auto code = source.Open(from, 0); code != err::NoError) return code;
    // Write to a temporary name first so that a failed copy never leaves half a file
    // under the target's name.
    const std::string temporary = to + ".~cp";
    OsFile target;
    if (auto code = target.CreateEmpty(temporary); code != err::NoError) return code;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(source.Fd(), buffer.data(), buffer.size());
        if (got < 0) {
            const int e = errno;
            ::unlink(temporary.c_str());
            return ErrorCodeFromErrno(e);
        }
        if (got == 0) break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put =
                ::write(target.Fd(), buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put <= 0) {
                const int e = put < 0 ? errno : ENOSPC;
                ::unlink(temporary.c_str());
                return ErrorCodeFromErrno(e);
            }
            done += put;
        }
    }
    if (::fsync(target.Fd()) != 0 || ::rename(temporary.c_str(), to.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        return ErrorCodeFromErrno(e);
    }
    return SyncDirectoryOf(to);
}

}  // namespace zelt::runtime
