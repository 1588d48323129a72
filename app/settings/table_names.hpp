// Where the catalogue's tables live: GLO.FilePath put in front of each table's file name.
//
// The name variables hold 64 characters, so the directory and the longest table name
// together must fit in 64. A directory that does not fit is refused rather than cut (a cut
// name would put the tables somewhere nobody chose). A directory is written with its
// trailing "/"; nothing is inserted between it and the table name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt::app {

inline constexpr std::size_t kTableNameLength = 64;

// The longest bare file name of the catalogue's tables ("PROJECTS.PLM", "TEMPFILE.PLM").
std::size_t LongestTableFileName();
// The longest directory that still leaves room for every table name.
std::size_t LongestFilePath();

// The directory with a "/" added when it has none; a blank directory stays blank.
std::string WithTrailingSeparator(std::string_view directory);
// Nothing when `directory` (clipped) fits in front of every table name; otherwise the
// message that says why it is refused.
std::optional<std::string> FilePathProblem(std::string_view directory);

// TF's name becomes the clipped GLO.FilePath followed by its current name. False, and the
// name left alone, when the two do not fit.
bool PrefixTfName();
// The same for APPS (and with it APPS1), PROJECTS and TEMPFILE.
bool PrefixCatalogueNames();

}  // namespace zelt::app
