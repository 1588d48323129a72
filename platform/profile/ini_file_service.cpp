#include "platform/profile/ini_file_service.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/profile/ini_document.hpp"
#include "runtime/values/regional_settings.hpp"

namespace zelt::platform {
namespace fs = std::filesystem;
namespace {

// The whole text of a file; nothing when it cannot be read (a missing file reads empty).
std::optional<std::string> Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!fs::exists(path, ec)) return std::string();
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
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

// Writes the text beside the file and renames it over, keeping the old file's permissions.
bool Store(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::canonical(target, ec);
        if (ec) return false;
    }
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    if (ec) return false;
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;

    std::string temp = target.string() + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
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

bool IniFileService::Write(std::string_view file, std::string_view section,
                           std::string_view key, std::optional<std::string_view> value) {
    // A name that would change the file's structure is refused; a value is kept on its line.
    if (key.find_first_of("=\r\n") != std::string_view::npos ||
        section.find_first_of("]\r\n") != std::string_view::npos ||
        TrimBlanks(key).empty()) {
        return false;
    }
    std::string one_line;
    if (value) {
        one_line = std::string(*value);
        for (char& c : one_line) {
            if (c == '\r' || c == '\n') c = ' ';
        }
    }
    std::lock_guard lock(mutex_);
    fs::path path = PathOf(file);
    auto text = Load(path);
    if (!text) return false;  // unreadable: never replace what we cannot see
    IniDocument doc(*text);
    if (value) {
        doc.Set(section, key, one_line);
    } else if (!doc.Remove(section, key)) {
        return true;
    }
    return Store(path, doc.Text());
}

std::vector<std::string> IniFileService::Keys(std::string_view file, std::string_view section) {
    std::lock_guard lock(mutex_);
    auto text = Load(PathOf(file));
    if (!text) return {};
    return IniDocument(*text).Keys(section);
}

}  // namespace zelt::platform
