#include "platform/spawn/command_line.hpp"

namespace zelt::platform {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
}  // namespace

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line,
                                                         std::string* error) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    std::size_t i = 0;
    auto fail = [&](const char* why) -> std::optional<std::vector<std::string>> {
        if (error) *error = why;
        return std::nullopt;
    };
    while (i < line.size()) {
        const char c = line[i];
        if (IsBlank(c)) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            ++i;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            const auto close = line.find('\'', i + 1);
            if (close == std::string_view::npos) return fail("a single quote is not closed");
            word.append(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '"') {
            ++i;
            for (;;) {
                if (i >= line.size()) return fail("a double quote is not closed");
                const char d = line[i];
                if (d == '"') {
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$' ||
                     line[i + 1] == '`')) {
                    word.push_back(line[i + 1]);
                    i += 2;
                } else {
                    word.push_back(d);
                    ++i;
                }
            }
        } else if (c == '\\') {
            if (i + 1 >= line.size()) return fail("the command line ends with a lone backslash");
            word.push_back(line[i + 1]);
            i += 2;
        } else {
            word.push_back(c);
            ++i;
        }
    }
    if (in_word) words.push_back(std::move(word));
    if (error) error->clear();
    return words;
}

std::string ShellSyntaxNote(std::string_view line) {
    auto note = [](std::string_view what) {
        return "the command line is not run by a shell, so \"" + std::string(what) +
               "\" has no meaning in it";
    };
    static constexpr std::string_view kOperators[] = {"&&", "||", "$(", "|", ";",
                                                      "&",  "<",  ">",  "`"};
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == '\\' && quote == '"')
                ++i;
            else if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '\\') {
            ++i;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else {
            for (std::string_view op : kOperators) {
                if (line.substr(i).starts_with(op)) return note(op);
            }
        }
    }
    return {};
}

}  // namespace zelt::platform
