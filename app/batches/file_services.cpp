#include "app/batches/file_services.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "app/catalogue/catalogue_tables.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/file/os_file.hpp"
#include "runtime/values/day_number.hpp"

namespace zelt::app {

namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// The day number and clock value of a file time, in local time.
void SetFileTime(FileQueueEntry& entry, const timespec& when) {
    std::tm local{};
    const std::time_t seconds = when.tv_sec;
    if (::localtime_r(&seconds, &local) == nullptr) return;
    runtime::CalendarDate date;
    date.year = static_cast<std::uint32_t>(local.tm_year + 1900);
    date.month = static_cast<std::uint8_t>(local.tm_mon + 1);
    date.day = static_cast<std::uint8_t>(local.tm_mday);
    runtime::TimeOfDay time;
    time.hour = static_cast<std::uint8_t>(local.tm_hour);
    time.minute = static_cast<std::uint8_t>(local.tm_min);
    time.second = static_cast<std::uint8_t>(local.tm_sec);
    time.hundredths = static_cast<std::uint8_t>(when.tv_nsec / 10000000);
    entry.Date = runtime::DateToDayNumber(date);
    entry.Time = runtime::TimeToClock(time);
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

runtime::ErrorCode RemoveThroughDeletionFile(std::string_view path) {
    DeletionFileName = path;
    if (path.size() <= DeletionFileName.Size()) return DeletionFile.Remove();
    // Cut at 80 characters the name could be another file's: the whole name is removed.
    const runtime::ErrorCode code = runtime::RemoveFile(std::string(path));
    runtime::PostError(code);
    return code;
}

std::string UpperName(std::string_view name) {
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
    return upper;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    // Iterative wildcard match with one back-tracking point for the last "*".
    std::size_t n = 0, m = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || Upper(mask[m]) == Upper(name[n]))) {
            ++n, ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            resume = n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

std::vector<FileQueueEntry> ListFiles(std::string_view mask) {
    std::vector<FileQueueEntry> files;
    const auto slash = mask.rfind('/');
    const std::string folder = FolderOf(mask);
    const std::string_view name_mask =
        slash == std::string_view::npos ? mask : mask.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return files;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!MatchesMask(name, name_mask)) continue;
        struct stat info {};
        const std::string path = folder + "/" + std::string(name);
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        FileQueueEntry file;
        file.Name = name;
        file.Size = info.st_size;
        SetFileTime(file, info.st_mtim);
        files.push_back(std::move(file));
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end(),
              [](const FileQueueEntry& a, const FileQueueEntry& b) { return a.Name < b.Name; });
    return files;
}

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    return stamp;
}

bool WrittenSince(const FileStamp& before, const FileStamp& now) {
    if (!now.exists) return false;
    if (!before.exists) return true;
    const auto same_time = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return now.device != before.device || now.inode != before.inode || now.size != before.size ||
           !same_time(now.modified, before.modified) || !same_time(now.changed, before.changed);
}

}  // namespace zelt::app
