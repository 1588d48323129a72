#include "app/settings/table_names.hpp"

#include <algorithm>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {
namespace {

constexpr std::string_view kBareNames[] = {"APPS.PLM", "TEMPFILE.PLM", "PROJECTS.PLM", "TF.PLM"};

std::string_view Clip(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// Puts the directory in front of the name, unless the result would not fit.
bool Prefix(FixedString<64>& name) {
    const std::string directory = GLO.FilePath.Clip();
    const std::string full = directory + name.Clip();
    if (full.size() > kTableNameLength) return false;
    name = full;
    return true;
}

}  // namespace

std::size_t LongestTableFileName() {
    std::size_t longest = 0;
    for (std::string_view name : kBareNames) longest = std::max(longest, name.size());
    return longest;
}

std::size_t LongestFilePath() {
    return kTableNameLength - LongestTableFileName();
}

std::string WithTrailingSeparator(std::string_view directory) {
    std::string text(Clip(directory));
    if (!text.empty() && text.back() != '/') text += '/';
    return text;
}

std::optional<std::string> FilePathProblem(std::string_view directory) {
    const std::size_t length = Clip(directory).size();
    if (length <= LongestFilePath()) return std::nullopt;
    return "The path to ZELT files is " + std::to_string(length) +
           " characters long. With the names of the tables it must fit in " +
           std::to_string(kTableNameLength) + " characters, so the path may have at most " +
           std::to_string(LongestFilePath()) + ".";
}

bool PrefixTfName() {
    return Prefix(TfFileName);
}

bool PrefixCatalogueNames() {
    if (FilePathProblem(GLO.FilePath.View())) return false;
    return Prefix(AppsFileName) && Prefix(ProjectsFileName) && Prefix(TempFileFileName);
}

}  // namespace zelt::app
