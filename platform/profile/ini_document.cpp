#include "platform/profile/ini_document.hpp"

#include <cctype>

namespace zelt::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

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
    if (text.find("\r\n") != std::string_view::npos) eol_ = "\r\n";
    final_eol_ = text.empty() || text.back() == '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view raw = text.substr(start, nl - start);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        lines_.push_back({std::string(raw)});
        start = nl + 1;
    }
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
        if (!lines_.empty() && !TrimBlanks(lines_.back().raw).empty()) lines_.push_back({""});
        lines_.push_back({"[" + std::string(TrimBlanks(section)) + "]"});
        lines_.push_back({std::move(line)});
        final_eol_ = true;
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
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), Line{std::move(line)});
    if (insert == lines_.size() - 1) final_eol_ = true;
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
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].raw;
        if (i + 1 < lines_.size() || final_eol_) text += eol_;
    }
    return text;
}

}  // namespace zelt::platform
