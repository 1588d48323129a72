#include "platform/profile/ini_file_service.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/profile/ini_document.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/regional_settings.hpp"

namespace zelt::platform {
namespace fs = std::filesystem;
namespace err = runtime::err;
namespace {

// The whole text of a file; nothing when it cannot be read or is no regular file (a missing
// file reads empty). A FIFO is opened without waiting for a writer and never read.
std::optional<std::string> ReadAll(int fd);
std::optional<std::string> Load(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return std::string();
        return std::nullopt;
    }
    std::optional<std::string> text = ReadAll(fd);
    ::close(fd);
    return text;
}

// The whole text behind an open file; nothing when it is no regular file or cannot be read.
std::optional<std::string> ReadAll(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

// An exclusive lock on the file at a path, held while the file is read, changed and
// replaced; the lock ends with the object. Writers in other processes wait for it, at most
// `wait`; readers never need it, since a file is replaced in one step.
class FileLock {
  public:
    // Opens (creating it empty when missing) and locks the file that is at `path` once the
    // lock is held: a writer that replaced it meanwhile left the lock on the old one.
    FileLock(const fs::path& path, std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            fd_ =
                ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
            if (fd_ < 0) {
                why_ = path.string() + " cannot be opened: " + std::strerror(errno);
                return;
            }
            if (!LockBefore(deadline)) {
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.1f",
                              static_cast<double>(wait.count()) / 1000.0);
                why_ = path.string() + " is locked by another program, which held it longer than " +
                       seconds + " seconds";
                ::close(fd_);
                fd_ = -1;
                return;
            }
            struct stat held {};
            struct stat now {};
            if (::fstat(fd_, &held) == 0 && ::stat(path.c_str(), &now) == 0 &&
                held.st_dev == now.st_dev && held.st_ino == now.st_ino) {
                return;
            }
            ::close(fd_);
            fd_ = -1;
        }
        why_ = path.string() + " kept being replaced while it was to be locked";
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // The locked file, or -1 when it could not be opened and locked (why() says why).
    int fd() const { return fd_; }
    const std::string& why() const { return why_; }

  private:
    // Tries the lock until it is had or the deadline has passed, pausing a little longer
    // after each attempt (up to 50 ms).
    bool LockBefore(std::chrono::steady_clock::time_point deadline) const {
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
            if (errno != EWOULDBLOCK && errno != EINTR) return false;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return false;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
    }

    int fd_ = -1;
    std::string why_;
};

// The file a write goes to: the target of a symbolic link.
std::optional<fs::path> WriteTarget(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(path, ec)) return path;
    fs::path target = fs::canonical(path, ec);
    if (ec) return std::nullopt;
    return target;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the text over the file itself, for a folder that takes no new file. Not one step
// for readers, but the writers' lock is held throughout.
bool StoreInPlace(const fs::path& target, const std::string& text, std::string* why) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = fd >= 0 && WriteAll(fd, text) &&
              ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    if (!ok) *why = target.string() + " cannot be written: " + std::strerror(errno);
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        *why = target.string() + " cannot be written: " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

// Writes the text beside the file and renames it over, keeping the old file's permissions.
// When the folder refuses the new file, an existing file is written in place.
bool Store(const fs::path& target, const std::string& text, std::string* why) {
    mode_t mode = 0644;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) mode = old.st_mode & 07777;

    std::string temp = target.string() + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM)) return StoreInPlace(target, text, why);
        *why = target.parent_path().string() + " takes no new file: " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        *why = target.string() + " cannot be written: " + std::strerror(errno);
        ::unlink(temp.c_str());
    }
    return ok;
}

// Fails a write: the runtime's error says why, for the caller to show.
bool Refuse(runtime::ErrorCode code, std::string why) {
    runtime::PostErrorWithText(code, std::move(why));
    return false;
}

}  // namespace

fs::path DefaultUserProfilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : ".") / ".config";
    }
    return base / "zelt" / "profile.ini";
}

void InstallIniFileService() {
    runtime::InstallProfileService(std::make_shared<IniFileService>());
    InstallRegionalSettingsFromProfile();
}

void InstallRegionalSettingsFromProfile() {
    runtime::InstallRegionalSettingsLoader([](std::string_view key) {
        return runtime::CurrentProfileService().Read(runtime::kUserProfile, "intl", key);
    });
}

IniFileService::IniFileService() : user_profile_(DefaultUserProfilePath()) {}
IniFileService::IniFileService(fs::path user_profile) : user_profile_(std::move(user_profile)) {}

fs::path IniFileService::PathOf(std::string_view file) const {
    if (file.empty()) return user_profile_;
    return fs::path(std::string(file));
}

std::optional<std::string> IniFileService::Read(std::string_view file, std::string_view section,
                                                std::string_view key) {
    std::lock_guard lock(mutex_);
    auto text = Load(PathOf(file));
    if (!text) return std::nullopt;
    return IniDocument(*text).Value(section, key);
}

bool IniFileService::Write(std::string_view file, std::string_view section, std::string_view key,
                           std::optional<std::string_view> value) {
    // A name that would change the file's structure, or not read back, is refused; a value
    // is kept on its line.
    if (!IsWritableKey(key) || section.find_first_of("]\r\n") != std::string_view::npos)
        return false;
    std::string one_line;
    if (value) {
        one_line = std::string(*value);
        for (char& c : one_line) {
            if (c == '\r' || c == '\n') c = ' ';
        }
    }
    std::lock_guard lock(mutex_);
    const std::optional<fs::path> path = WriteTarget(PathOf(file));
    if (!path) return Refuse(err::FileNotFound, PathOf(file).string() + " links to nothing");
    std::error_code ec;
    if (!value && !fs::exists(*path, ec)) return true;  // nothing to remove
    // A file that its user may not write keeps its text: it is never replaced behind its
    // permissions.
    if (::access(path->c_str(), F_OK) == 0 && ::access(path->c_str(), W_OK) != 0) {
        return Refuse(err::AccessDenied, path->string() + " is read-only: " + std::strerror(errno));
    }
    if (path->has_parent_path()) fs::create_directories(path->parent_path(), ec);
    if (ec) return Refuse(err::PathNotFound, path->parent_path().string() + ": " + ec.message());
    // Read, change and replace as one step for every process.
    const FileLock held(*path, lock_wait_);
    if (held.fd() < 0) return Refuse(err::AccessDenied, held.why());
    auto text = ReadAll(held.fd());
    // Unreadable: never replace what we cannot see.
    if (!text) return Refuse(err::AccessDenied, path->string() + " cannot be read as a file");
    IniDocument doc(*text);
    if (value) {
        doc.Set(section, key, one_line);
    } else if (!doc.Remove(section, key)) {
        return true;
    }
    std::string why;
    return Store(*path, doc.Text(), &why) || Refuse(err::AccessDenied, why);
}

std::vector<std::string> IniFileService::Keys(std::string_view file, std::string_view section) {
    std::lock_guard lock(mutex_);
    auto text = Load(PathOf(file));
    if (!text) return {};
    return IniDocument(*text).Keys(section);
}

}  // namespace zelt::platform
