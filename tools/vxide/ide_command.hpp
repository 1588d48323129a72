// The commands the stand-in IDE understands, parsed strictly in the bracketed forms that
// ZELT sends (docs/ide-protocol.md), trailing blanks allowed.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace zelt::vxide {

enum class CommandKind {
    ImportDictionary,
    ImportApplication,
    Make,
    ExportApplication,
    ExportDictionary
};

struct IdeCommand {
    CommandKind kind = CommandKind::Make;
    std::string source;  // the file read: the application of a make, the text form of an import...
    std::string
        destination;  // the file written; empty for a make (its target comes from the application)
};

// The error numbers the stand-in IDE answers for "GetErrorNum".
namespace ide_error {
inline constexpr int None = 0;
inline constexpr int UnknownCommand = 1;
inline constexpr int MalformedCommand = 2;
inline constexpr int SourceNotFound = 3;
inline constexpr int NoTarget = 4;
inline constexpr int FileFailure = 5;
inline constexpr int RejectedByOption = 6;
inline constexpr int BuildFailed = 7;
}  // namespace ide_error

struct CommandError {
    int number = 0;
    std::string message;
};

std::variant<IdeCommand, CommandError> ParseIdeCommand(std::string_view text);

}  // namespace zelt::vxide
