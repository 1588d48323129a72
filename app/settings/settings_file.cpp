#include "app/settings/settings_file.hpp"

#include <charconv>
#include <fstream>
#include <sstream>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/settings/table_names.hpp"
#include "runtime/profile/profile.hpp"

namespace zelt::app {
namespace {

constexpr std::size_t kRunStringLength = 254;

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
}

bool WriteSettingsFile(std::string_view file) {
    bool ok = runtime::WriteProfileText(file, kSettingsSection, "NewLog", GLO.UseNewLog.Clip());
    ok =
        runtime::WriteProfileText(file, kSettingsSection, "CL_Command", GLO.RunString.View()) && ok;
    ok = runtime::WriteProfileText(file, kSettingsSection, "FilePath", GLO.FilePath.Clip()) && ok;
    ok = runtime::WriteProfileText(file, kSettingsSection, "RetainTags",
                                   std::to_string(GLO.RetainTags)) &&
         ok;
    return ok;
}

int ReadWaitMinutes(std::string_view file) {
    const std::string text = runtime::ProfileText(file, kSettingsSection, "WaitMinutes", "");
    const std::optional<int> minutes = WholeNumber(Trim(text));
    return minutes && *minutes >= 1 && *minutes <= 255 ? *minutes : kDefaultWaitMinutes;
}

std::optional<std::string> CheckSettingsFile(std::string_view file) {
    std::ifstream in{std::string(file)};
    if (!in) return std::nullopt;  // a missing file means blank settings
    const std::string name = "ZELT.INI";
    std::string line;
    int number = 0;
    bool in_any_section = false;
    bool in_preserved = false;
    while (std::getline(in, line)) {
        ++number;
        const std::string where = name + " line " + std::to_string(number) + ": ";
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == ';' || text.front() == '#') continue;
        if (text.front() == '[') {
            if (text.back() != ']' || Trim(text.substr(1, text.size() - 2)).empty()) {
                return where + "a section header must read [name]";
            }
            in_any_section = true;
            in_preserved =
                SameIgnoringCase(Trim(text.substr(1, text.size() - 2)), kSettingsSection);
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || Trim(text.substr(0, equals)).empty()) {
            return where + "expected key=value, found " + Quoted(text);
        }
        if (!in_any_section) return where + "a setting before the first [section]";
        if (!in_preserved) continue;
        const std::string value = Unquoted(Trim(text.substr(equals + 1)));
        if (std::optional<std::string> problem =
                ValueProblem(Trim(text.substr(0, equals)), value)) {
            return where + *problem;
        }
    }
    if (in.bad()) return name + ": cannot be read";
    return std::nullopt;
}

bool SettingsComplete() {
    return !GLO.UseNewLog.Clip().empty() && !Trim(GLO.RunString.View()).empty() &&
           !GLO.FilePath.Clip().empty();
}

}  // namespace zelt::app
