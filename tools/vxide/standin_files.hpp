// The files of the stand-in IDE (docs/ide-standin.md): the application file it makes, the
// text forms it exports and imports, and writing a result in one step.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt::vxide {

// What a make needs from an application file.
struct ApplicationFile {
    std::string target;             // absolute, or relative to the application's folder
    std::string build;              // a command line to run first; empty for none
    std::string working_directory;  // where the build runs; empty: the application's folder
};

// Reads "Target=", "Build=" and "WorkDir=" (names in any letter case; lines starting with
// "#" or ";" are comments, other lines are ignored). Relative paths are made absolute
// against the application's folder.
ApplicationFile ParseApplicationFile(std::string_view text, std::string_view application_path);

// The path itself when it exists, else a file in the same folder whose name differs only in
// letter case; nothing when there is neither.
std::optional<std::string> FindFileIgnoringCase(const std::string& path);

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error);
// Writes a temporary file beside `path` and renames it over `path`, so that nobody sees a
// partial file.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string* error);

// The text form of an application or dictionary ("application", "dictionary"): a header
// line, then the content unchanged when it is printable text, or in hexadecimal lines.
std::string ToTextForm(std::string_view kind, std::string_view content);
// The content back from a text form; a file without the header is taken as it is. The
// header line may end in LF or CRLF; the hexadecimal lines may end in either.
std::string FromTextForm(std::string_view text);

}  // namespace zelt::vxide
