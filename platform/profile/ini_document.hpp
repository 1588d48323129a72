// The text of one INI file, kept line by line so that a change touches only its own line.
//
// Sections are "[name]" lines, entries "key=value" lines; lines starting with ";" or "#"
// are comments. Names are compared ignoring letter case with surrounding blanks removed,
// and the first section or key of a name is the one that counts. Lines that fit no form
// (and anything before the first section) are kept as they are and never interpreted, so
// a damaged file is read as well as possible and written back without loss. A UTF-8 byte
// order mark at the start is read past and written back; every line keeps its own ending
// (LF or CRLF), and a new line takes the ending most lines of the file have (LF on a tie).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::platform {

class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text);

    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::vector<std::string> Keys(std::string_view section) const;
    // Replaces the first entry of the key, or adds it at the end of the first section of
    // that name, or adds the section at the end of the text.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes the first entry of the key; true when there was one.
    bool Remove(std::string_view section, std::string_view key);

    std::string Text() const;

  private:
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    struct Line {
        std::string raw;  // without its line end
        std::string eol;  // "\n", "\r\n", or empty for a last line without one
    };
    // A new line at `at` with the common ending.
    void Insert(std::size_t at, std::string raw);
    // Index of the first line of the section's header, or nothing.
    std::optional<std::size_t> FindSection(std::string_view section) const;
    // Index of the line that holds the key's first entry in the section starting at `head`.
    std::optional<std::size_t> FindKey(std::size_t head, std::string_view key) const;
    std::size_t SectionEnd(std::size_t head) const;

    std::vector<Line> lines_;
    std::string eol_ = "\n";  // the ending most lines have
    bool byte_order_mark_ = false;
};

// Whether an entry of this name would read back as itself: not empty, no "=" or line end,
// and not starting with "[" (a section header) or ";" or "#" (a comment), blanks aside.
bool IsWritableKey(std::string_view key);

// Trims blanks (spaces, tabs, carriage returns) from both ends.
std::string_view TrimBlanks(std::string_view text);
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace zelt::platform
