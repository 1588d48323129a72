// Splitting a command line into the words of a program's arguments, the way a shell splits
// them, without expanding anything and without running a shell.
//
//   blanks (spaces, tabs, line ends) separate words;
//   '...' keeps everything up to the next single quote as it is;
//   "..." keeps everything, except that a backslash before " \ $ ` takes that character;
//   a backslash outside quotes takes the next character as it is;
//   adjacent quoted and unquoted parts form one word ('' gives an empty word).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::platform {

// The words, or nothing (and the reason in `error`) for an unterminated quote or a final
// lone backslash.
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line,
                                                         std::string* error = nullptr);

// When the line looks written for a shell (an unquoted "&&", "||", "|", ";", "&", "<", ">",
// "`" or "$("), a sentence that says no shell is used, naming the first such operator, to
// add to a message about the line's failure; else empty.
std::string ShellSyntaxNote(std::string_view line);

}  // namespace zelt::platform
