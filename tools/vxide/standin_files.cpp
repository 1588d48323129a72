#include "tools/vxide/standin_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace zelt::vxide {

namespace {

constexpr std::string_view kTextFormHeader = "VXIDE-TEXT ";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string Resolve(std::string_view path, const std::string& folder) {
    if (path.empty() || path.front() == '/') return std::string(path);
    return folder + "/" + std::string(path);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsPlainText(std::string_view content) {
    return std::all_of(content.begin(), content.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 || c == '\n' || c == '\t' || c == '\r';
    });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ApplicationFile ParseApplicationFile(std::string_view text, std::string_view application_path) {
    ApplicationFile file;
    const std::string folder = FolderOf(application_path);
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view line = Trim(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key == "target")
            file.target = Resolve(value, folder);
        else if (key == "build")
            file.build = std::string(value);
        else if (key == "workdir")
            file.working_directory = Resolve(value, folder);
    }
    if (file.working_directory.empty()) file.working_directory = folder;
    return file;
}

std::optional<std::string> FindFileIgnoringCase(const std::string& path) {
    if (Exists(path)) return path;
    const std::string folder = FolderOf(path);
    const auto slash = path.rfind('/');
    const std::string wanted = Lower(slash == std::string::npos ? path : path.substr(slash + 1));
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> matches;
    while (dirent* entry = ::readdir(dir)) {
        if (Lower(entry->d_name) == wanted) matches.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(matches.begin(), matches.end());
    for (const std::string& name : matches) {
        std::string found = (slash == std::string::npos ? std::string() : folder + "/") + name;
        if (Exists(found)) return found;
    }
    return std::nullopt;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = path + ": " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string temp =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + name +
        ".vxide-" + std::to_string(::getpid());
    auto fail = [&](const std::string& where) {
        if (error) *error = where + ": " + std::strerror(errno);
        return false;
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail(path);
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail(path);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail(path);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail(path);
    }
    return true;
}

std::string ToTextForm(std::string_view kind, std::string_view content) {
    std::string text(kTextFormHeader);
    text += kind;
    if (IsPlainText(content)) {
        text += " plain\n";
        text += content;
        return text;
    }
    text += " hex\n";
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < content.size(); ++i) {
        const auto byte = static_cast<unsigned char>(content[i]);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
        if (i % 32 == 31) text += '\n';
    }
    if (content.size() % 32 != 0) text += '\n';
    return text;
}

std::string FromTextForm(std::string_view text) {
    if (!text.starts_with(kTextFormHeader)) return std::string(text);
    const auto newline = text.find('\n');
    std::string_view header = text.substr(0, newline);
    if (header.ends_with('\r')) header.remove_suffix(1);  // written with CRLF line ends
    const std::string_view body =
        newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    if (!header.ends_with(" hex")) return std::string(body);
    std::string content;
    int high = -1;
    for (char c : body) {
        const int v = HexValue(c);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            content += static_cast<char>((high << 4) | v);
            high = -1;
        }
    }
    return content;
}

}  // namespace zelt::vxide
