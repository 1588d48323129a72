#include "tools/vxide/ide_command.hpp"

#include <optional>
#include <vector>

namespace zelt::vxide {

namespace {

struct Argument {
    std::string text;
    bool quoted = false;
};

CommandError Malformed(std::string why) {
    return {ide_error::MalformedCommand, "Malformed command: " + why};
}

bool IsNumber(const Argument& a) {
    if (a.quoted || a.text.empty()) return false;
    for (char c : a.text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Checks the arguments against a pattern: 'q' a quoted name, 'b' a bare name, 'n' a number,
// 'R' the word Replace.
bool Matches(const std::vector<Argument>& args, std::string_view pattern) {
    if (args.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Argument& a = args[i];
        switch (pattern[i]) {
            case 'q':
                if (!a.quoted || a.text.empty()) return false;
                break;
            case 'b':
                if (a.quoted || a.text.empty()) return false;
                break;
            case 'n':
                if (!IsNumber(a)) return false;
                break;
            case 'R':
                if (a.quoted || a.text != "Replace") return false;
                break;
            default:
                return false;
        }
    }
    return true;
}

// An import names its destination without quotes, so a comma in it splits it into more
// arguments than the import takes. Says so when the arguments read that way: the quoted
// source first and the import's last arguments last.
std::optional<CommandError> CommaInDestination(const std::vector<Argument>& args,
                                               std::string_view pattern) {
    if (args.size() <= pattern.size() || args.empty() || !args[0].quoted) return std::nullopt;
    const std::size_t extra = args.size() - pattern.size();
    const std::vector<Argument> tail(args.end() - static_cast<std::ptrdiff_t>(pattern.size() - 2),
                                     args.end());
    if (!Matches(tail, pattern.substr(2))) return std::nullopt;
    std::string destination;
    for (std::size_t i = 1; i <= extra + 1; ++i) {
        if (args[i].quoted) return std::nullopt;
        destination += (i > 1 ? "," : "") + args[i].text;
    }
    return Malformed("the destination " + destination +
                     " contains a comma, which an unquoted destination cannot hold");
}

}  // namespace

std::variant<IdeCommand, CommandError> ParseIdeCommand(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    if (end == std::string_view::npos) return Malformed("the command is empty");
    text = text.substr(0, end + 1);
    if (text.front() != '[' || text.back() != ']')
        return Malformed("a command is one call in square brackets");
    text = text.substr(1, text.size() - 2);

    const auto open = text.find('(');
    if (open == std::string_view::npos || text.back() != ')')
        return Malformed("the call has no (arguments)");
    const std::string name(text.substr(0, open));
    std::string_view rest = text.substr(open + 1, text.size() - open - 2);

    std::vector<Argument> args;
    for (std::size_t i = 0; !rest.empty();) {
        Argument a;
        if (i < rest.size() && rest[i] == '"') {
            const auto close = rest.find('"', i + 1);
            if (close == std::string_view::npos) return Malformed("a quote is not closed");
            a.text = std::string(rest.substr(i + 1, close - i - 1));
            a.quoted = true;
            i = close + 1;
        } else {
            const auto comma = rest.find(',', i);
            const auto stop = comma == std::string_view::npos ? rest.size() : comma;
            a.text = std::string(rest.substr(i, stop - i));
            if (a.text.find('"') != std::string::npos)
                return Malformed("a quote inside an argument");
            i = stop;
        }
        args.push_back(std::move(a));
        if (i == rest.size()) break;
        if (rest[i] != ',') return Malformed("text follows a quoted argument");
        ++i;  // past the comma: the next argument follows, even an empty one
    }

    IdeCommand command;
    if (name == "ImportDCT") {
        if (auto comma = CommaInDestination(args, "qbn")) return *comma;
        if (!Matches(args, "qbn"))
            return Malformed("ImportDCT takes (\"source.TXD\",destination.DCT,0)");
        command.kind = CommandKind::ImportDictionary;
    } else if (name == "ImportApp") {
        if (auto comma = CommaInDestination(args, "qbnR")) return *comma;
        if (!Matches(args, "qbnR"))
            return Malformed("ImportApp takes (\"source.TXA\",destination.APP,0,Replace)");
        command.kind = CommandKind::ImportApplication;
    } else if (name == "ExecuteProject") {
        if (!Matches(args, "q")) return Malformed("ExecuteProject takes (\"application.APP\")");
        command.kind = CommandKind::Make;
    } else if (name == "ExportApp") {
        if (!Matches(args, "qqn"))
            return Malformed("ExportApp takes (\"source.App\",\"destination.TXA\",0)");
        command.kind = CommandKind::ExportApplication;
    } else if (name == "ExportDCT") {
        if (!Matches(args, "qqn"))
            return Malformed("ExportDCT takes (\"source.DCT\",\"destination.TXD\",0)");
        command.kind = CommandKind::ExportDictionary;
    } else {
        return CommandError{ide_error::UnknownCommand, "Unknown command: " + name};
    }
    command.source = args[0].text;
    if (args.size() > 1 && command.kind != CommandKind::Make) command.destination = args[1].text;
    return command;
}

}  // namespace zelt::vxide
