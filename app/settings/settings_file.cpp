#include "app/settings/settings_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/settings/table_names.hpp"
#include "runtime/profile/profile.hpp"

namespace zelt::app {
namespace {

constexpr std::size_t kRunStringLength = 254;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// What is wrong with one value of section "Preserved", if anything.
std::optional<std::string> ValueProblem(std::string_view key, std::string_view value) {
    if (SameIgnoringCase(key, "NewLog")) {
        if (value.empty() || value.front() == 'Y' || value.front() == 'N') return std::nullopt;
        return "NewLog must be Y or N, not " + Quoted(value);
    }
    if (SameIgnoringCase(key, "RetainTags")) {
        if (value.empty() || value == "0" || value == "1") return std::nullopt;
        return "RetainTags must be 0 or 1, not " + Quoted(value);
    }
    if (SameIgnoringCase(key, "WaitMinutes")) {
        const std::optional<int> minutes = WholeNumber(value);
        if (minutes && *minutes >= 1 && *minutes <= 255) return std::nullopt;
        return "WaitMinutes must be a number of minutes from 1 to 255, not " + Quoted(value);
    }
    if (SameIgnoringCase(key, "ParallelIDEs")) {
        const std::optional<int> count = WholeNumber(value);
        if (count && *count >= 1 && *count <= kMaxParallelIDEs) return std::nullopt;
        return "ParallelIDEs must be a number of IDEs from 1 to " +
               std::to_string(kMaxParallelIDEs) + ", not " + Quoted(value);
    }
    if (SameIgnoringCase(key, "CL_Command")) {
        if (value.size() <= kRunStringLength) return std::nullopt;
        return "CL_Command is longer than " + std::to_string(kRunStringLength) + " characters";
    }
    if (SameIgnoringCase(key, "FilePath")) {
        if (std::optional<std::string> problem = FilePathProblem(WithTrailingSeparator(value))) {
            return "FilePath: " + *problem;
        }
    }
    return std::nullopt;
}

// The name of the settings file in messages: its full path.
std::string Named(std::string_view file) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(std::string(file), ec);
    return ec ? std::string(file) : full.lexically_normal().string();
}

// Why a file that is there cannot be read as settings, from what open() and fstat() say.
std::string Reason(int error) {
    switch (error) {
        case ELOOP:
            return "its symbolic links form a loop";
        case EACCES:
            return "permission denied";
        default:
            return std::strerror(error);
    }
}

// The text of the settings file: empty when it is missing, nothing (with `problem` saying
// why) when it is there but no regular file that can be read. A FIFO or a device is never
// read from, so nothing waits on a writer that does not come.
std::optional<std::string> SettingsText(std::string_view file, std::string* problem) {
    const std::string path(file);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return std::string();
        *problem = Named(file) + " cannot be read: " + Reason(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    std::string why;
    if (::fstat(fd, &st) != 0) {
        why = Reason(errno);
    } else if (S_ISDIR(st.st_mode)) {
        why = "it is a directory";
    } else if (S_ISFIFO(st.st_mode)) {
        why = "it is a named pipe (FIFO), not a file";
    } else if (!S_ISREG(st.st_mode)) {
        why = "it is not a regular file";
    } else {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) why = Reason(errno);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (!why.empty()) {
        *problem = Named(file) + " cannot be read: " + why;
        return std::nullopt;
    }
    return text;
}

// The next line of `text` from `at` without its line end; false at the end.
bool NextLine(std::string_view text, std::size_t& at, std::string_view& line) {
    if (at >= text.size()) return false;
    const std::size_t end = std::min(text.find('\n', at), text.size());
    line = text.substr(at, end - at);
    at = end + 1;
    return true;
}

std::string Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

}  // namespace

void ReadSettingsFile(std::string_view file) {
    const std::string new_log = runtime::ProfileText(file, kSettingsSection, "NewLog", "");
    GLO.UseNewLog = std::string_view(new_log).substr(0, 1);
    const std::string run = runtime::ProfileText(file, kSettingsSection, "CL_Command", "");
    GLO.RunString = std::string_view(run).substr(0, kRunStringLength);
    GLO.FilePath = runtime::ProfileText(file, kSettingsSection, "FilePath", "");
    GLO.RetainTags =
        static_cast<std::uint8_t>(runtime::ProfileNumber(file, kSettingsSection, "RetainTags", 0));
    GLO.ParallelIDEs = static_cast<std::uint8_t>(ReadParallelIDEs(file));
}

bool WriteSettingsFile(std::string_view file) {
    bool ok = runtime::WriteProfileText(file, kSettingsSection, "NewLog", GLO.UseNewLog.Clip());
    ok =
        runtime::WriteProfileText(file, kSettingsSection, "CL_Command", GLO.RunString.View()) && ok;
    ok = runtime::WriteProfileText(file, kSettingsSection, "FilePath", GLO.FilePath.Clip()) && ok;
    ok = runtime::WriteProfileText(file, kSettingsSection, "RetainTags",
                                   std::to_string(GLO.RetainTags)) &&
         ok;
    const int parallel = std::clamp<int>(GLO.ParallelIDEs, 1, kMaxParallelIDEs);
    if (parallel != ReadParallelIDEs(file)) {
        ok = runtime::WriteProfileText(file, kSettingsSection, "ParallelIDEs",
                                       std::to_string(parallel)) &&
             ok;
    }
    return ok;
}

int ReadWaitMinutes(std::string_view file) {
    const std::string text = runtime::ProfileText(file, kSettingsSection, "WaitMinutes", "");
    const std::optional<int> minutes = WholeNumber(Trim(text));
    return minutes && *minutes >= 1 && *minutes <= 255 ? *minutes : kNoWaitLimit;
}

int ReadParallelIDEs(std::string_view file) {
    const std::string text = runtime::ProfileText(file, kSettingsSection, "ParallelIDEs", "");
    const std::optional<int> count = WholeNumber(Trim(text));
    return count && *count >= 1 && *count <= kMaxParallelIDEs ? *count : 1;
}

std::optional<std::string> SettingsFileUnreadable(std::string_view file) {
    std::string problem;
    if (SettingsText(file, &problem)) return std::nullopt;
    return problem;
}

std::optional<std::string> CheckSettingsFile(std::string_view file) {
    std::string problem;
    const std::optional<std::string> content = SettingsText(file, &problem);
    if (!content) return problem;
    std::string_view text = *content;
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    const std::string name = "ZELT.INI";
    std::string_view line;
    std::size_t at = 0;
    int number = 0;
    bool in_any_section = false;
    bool in_preserved = false;
    while (NextLine(text, at, line)) {
        ++number;
        const std::string where = name + " line " + std::to_string(number) + ": ";
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
        if (trimmed.front() == '[') {
            // "[name]", and after it at most blanks and a comment.
            const auto close = trimmed.find(']');
            const std::string_view after = close == std::string_view::npos
                                               ? std::string_view{}
                                               : Trim(trimmed.substr(close + 1));
            if (close == std::string_view::npos || Trim(trimmed.substr(1, close - 1)).empty() ||
                (!after.empty() && after.front() != ';' && after.front() != '#')) {
                return where + "a section header must read [name]";
            }
            in_any_section = true;
            in_preserved = SameIgnoringCase(Trim(trimmed.substr(1, close - 1)), kSettingsSection);
            continue;
        }
        const auto equals = trimmed.find('=');
        if (equals == std::string_view::npos || Trim(trimmed.substr(0, equals)).empty()) {
            return where + "expected key=value, found " + Quoted(trimmed);
        }
        if (!in_any_section) return where + "a setting before the first [section]";
        if (!in_preserved) continue;
        const std::string value = Unquoted(Trim(trimmed.substr(equals + 1)));
        if (std::optional<std::string> wrong =
                ValueProblem(Trim(trimmed.substr(0, equals)), value)) {
            return where + *wrong;
        }
    }
    return std::nullopt;
}

bool SettingsComplete() {
    return !GLO.UseNewLog.Clip().empty() && !Trim(GLO.RunString.View()).empty() &&
           !GLO.FilePath.Clip().empty();
}

}  // namespace zelt::app
