#include "platform/profile/ini_document.hpp"

#include <cctype>

namespace zelt::platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// The section name of a header line, or nothing when the line is no header.
std::optional<std::string_view> HeaderName(std::string_view raw) {
    std::string_view line = TrimBlanks(raw);
    if (line.empty() || line.front() != '[') return std::nullopt;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

bool IsComment(std::string_view raw) {
    std::string_view line = TrimBlanks(raw);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Key and raw value of an entry line, or nothing.
std::optional<std::pair<std::string_view, std::string_view>> Entry(std::string_view raw) {
    if (IsComment(raw) || HeaderName(raw)) return std::nullopt;
    std::size_t eq = raw.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view key = TrimBlanks(raw.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return std::pair{key, raw.substr(eq + 1)};
}

std::string Unquote(std::string_view value) {
    value = TrimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

IniDocument::IniDocument(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) {
        byte_order_mark_ = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    std::size_t crlf = 0;
    std::size_t lf = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::string_view raw =
            text.substr(start, (nl == std::string_view::npos ? text.size() : nl) - start);
        std::string eol;
        if (nl != std::string_view::npos) {
            eol = "\n";
            if (raw.ends_with('\r')) {
                raw.remove_suffix(1);
                eol = "\r\n";
            }
            ++(eol.size() == 2 ? crlf : lf);
        }
        lines_.push_back({std::string(raw), std::move(eol)});
        start = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    if (crlf > lf) eol_ = "\r\n";
}

void IniDocument::Insert(std::size_t at, std::string raw) {
    // A last line without an ending gets one before anything follows it.
    if (at == lines_.size() && !lines_.empty() && lines_.back().eol.empty())
        lines_.back().eol = eol_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(raw), eol_});
}

std::optional<std::size_t> IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = HeaderName(lines_[i].raw);
        if (name && SameNameIgnoringCase(*name, section)) return i;
    }
    return std::nullopt;
}

std::size_t IniDocument::SectionEnd(std::size_t head) const {
    std::size_t i = head + 1;
    while (i < lines_.size() && !HeaderName(lines_[i].raw)) ++i;
    return i;
}

std::optional<std::size_t> IniDocument::FindKey(std::size_t head, std::string_view key) const {
    std::size_t end = SectionEnd(head);
    for (std::size_t i = head + 1; i < end; ++i) {
        auto entry = Entry(lines_[i].raw);
        if (entry && SameNameIgnoringCase(entry->first, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
    auto head = FindSection(section);
    if (!head) return std::nullopt;
    auto at = FindKey(*head, key);
    if (!at) return std::nullopt;
    return Unquote(Entry(lines_[*at].raw)->second);
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    auto head = FindSection(section);
    if (!head) return keys;
    std::size_t end = SectionEnd(*head);
    for (std::size_t i = *head + 1; i < end; ++i) {
        auto entry = Entry(lines_[i].raw);
        if (!entry) continue;
        bool seen = false;
        for (const auto& k : keys) seen = seen || SameNameIgnoringCase(k, entry->first);
        if (!seen) keys.emplace_back(entry->first);
    }
    return keys;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(TrimBlanks(key)) + "=" + std::string(value);
    auto head = FindSection(section);
    if (!head) {
        if (!lines_.empty() && !TrimBlanks(lines_.back().raw).empty()) Insert(lines_.size(), "");
        Insert(lines_.size(), "[" + std::string(TrimBlanks(section)) + "]");
        Insert(lines_.size(), std::move(line));
        return;
    }
    if (auto at = FindKey(*head, key)) {
        lines_[*at].raw = std::move(line);
        return;
    }
    // After the section's last non-blank line, so that a blank line before the next
    // section stays where it is.
    std::size_t insert = SectionEnd(*head);
    while (insert > *head + 1 && TrimBlanks(lines_[insert - 1].raw).empty()) --insert;
    Insert(insert, std::move(line));
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
    auto head = FindSection(section);
    if (!head) return false;
    auto at = FindKey(*head, key);
    if (!at) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
    return true;
}

std::string IniDocument::Text() const {
    std::string text(byte_order_mark_ ? kByteOrderMark : std::string_view{});
    for (const Line& line : lines_) {
        text += line.raw;
        text += line.eol;
    }
    return text;
}

bool IsWritableKey(std::string_view key) {
    key = TrimBlanks(key);
    return !key.empty() && key.find_first_of("=\r\n") == std::string_view::npos &&
           key.front() != '[' && key.front() != ';' && key.front() != '#';
}

}  // namespace zelt::platform
