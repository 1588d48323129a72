#include "framework/query/query_builder.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "framework/error_ids.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/pictures.hpp"

namespace zelt::framework {

namespace {

constexpr std::string_view kOperatorChars = "=<>~";
constexpr std::size_t kDescribeLimit = 60;

std::string Cut(std::string_view text, std::size_t width) {
    return std::string(text.substr(0, width));
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool SameLabel(std::string_view a, std::string_view b) {
    return a.size() == b.size() && Upper(std::string(a)) == Upper(std::string(b));
}

// A plain decimal number, as the expression reads it unquoted.
bool IsPlainNumber(std::string_view s) {
    if (s.empty()) return false;
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

// Saved queries: (column, operator word, typed text) triples joined by "|", with "\" and
// "|" inside a part written "\\" and "\|".
std::string Escape(std::string_view part) {
    std::string out;
    for (char c : part) {
        if (c == '\\' || c == '|') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::vector<std::string> SplitSaved(std::string_view saved) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] == '\\' && i + 1 < saved.size()) {
            parts.back().push_back(saved[++i]);
        } else if (saved[i] == '|') {
            parts.emplace_back();
        } else {
            parts.back().push_back(saved[i]);
        }
    }
    return parts;
}

}  // namespace

const std::vector<std::string>& QueryOperatorWords() {
    static const std::vector<std::string> words = {
        "", "=", "NOT =", "<", "<=", ">", ">=", "Begins", "Contains"};
    return words;
}

bool IsStringPicture(std::string_view picture) {
    if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
    return !picture.empty() && (picture.front() == 'S' || picture.front() == 's');
}

std::string NormaliseOperator(std::string_view raw) {
    std::string op;
    for (char c : raw)
        if ((c == '<' || c == '>' || c == '~') && op.find(c) == std::string::npos) op.push_back(c);
    const bool both = op.find('<') != std::string::npos && op.find('>') != std::string::npos;
    if (raw.find('=') != std::string_view::npos && !both) op.push_back('=');
    return op;
}

std::string QuoteText(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
    }
    return quoted + "'";
}

TypedValue SplitTypedValue(std::string_view typed, std::string_view word) {
    TypedValue t;
    std::string_view rest = Trim(typed);
    while (!rest.empty() && kOperatorChars.find(rest.front()) != std::string_view::npos) {
        t.op.push_back(rest.front());
        rest.remove_prefix(1);
    }
    std::string value(Trim(rest));
    if (word == "Contains") {
        value = "*" + value;
    } else if (word == "Begins") {
        value += "*";
    } else if (word == "NOT =") {
        t.op += "<>";
    } else {
        t.op += std::string(word);
    }
    auto take_case = [&] {
        if (!value.empty() && value.front() == '^') {
            t.no_case = true;
            value.erase(0, 1);
        }
    };
    take_case();
    if (!value.empty() && value.front() == '*') {
        t.contains = true;
        value.erase(0, 1);
        if (!value.empty() && value.back() == '*') value.pop_back();
    } else if (!value.empty() && value.back() == '*') {
        t.begins = true;
        value.pop_back();
    }
    take_case();
    if (!t.contains && !t.begins && t.op.empty()) {
        if (const std::size_t dots = value.find(".."); dots != std::string::npos) {
            t.low = std::string(Trim(std::string_view(value).substr(0, dots)));
            t.high = std::string(Trim(std::string_view(value).substr(dots + 2)));
            t.range = !t.low.empty() || !t.high.empty();
        }
    }
    t.value = std::move(value);
    return t;
}

QueryField& QueryBuilder::AddItem(std::string_view name, std::string_view title,
                                  std::string_view picture, bool text,
                                  std::uint8_t force_edit_picture) {
    QueryField f;
    f.Name = Cut(name, kQueryNameWidth);
    f.Title = Cut(title, kQueryTitleWidth);
    f.Picture = Cut(picture, kQueryPictureWidth);
    f.ForceEditPicture = force_edit_picture;
    f.Text = text || IsStringPicture(f.Picture);
    fields_.push_back(std::move(f));
    return fields_.back();
}

QueryField* QueryBuilder::Find(std::string_view name) {
    for (QueryField& f : fields_)
        if (SameLabel(f.Name, Trim(name))) return &f;
    return nullptr;
}

bool QueryBuilder::SetQuery(std::string_view name, std::string_view typed, std::string_view word) {
    QueryField* f = Find(name);
    if (!f) return false;
    f->QueryString = Cut(typed, kQueryStringWidth);
    f->Operator = Cut(word, kQueryOperatorWidth);
    return true;
}

void QueryBuilder::ClearQuery() {
    for (QueryField& f : fields_) {
        f.QueryString.clear();
        f.Operator.clear();
        f.Low.clear();
        f.Middle.clear();
        f.High.clear();
    }
}

bool QueryBuilder::Empty() const {
    return std::all_of(fields_.begin(), fields_.end(),
                       [](const QueryField& f) { return Trim(f.QueryString).empty(); });
}

std::string QueryBuilder::Term(QueryField& field) const {
    std::string problem;
    std::string term = BuildTerm(field, &problem);
    return problem.empty() ? term : std::string(kRefusedTerm);
}

std::string QueryBuilder::BuildTerm(QueryField& field, std::string* problem) const {
    if (Trim(field.QueryString).empty()) return {};
    // Typed as UTF-8, compared with stored text.
    TypedValue t = SplitTypedValue(runtime::Utf8ToStoredMarked(field.QueryString), field.Operator);
    field.Low = t.low;
    field.High = t.high;
    field.Middle = t.range ? std::string() : t.value;
    const std::string title = field.Title.empty() ? field.Name : field.Title;
    std::string op = NormaliseOperator(t.op);
    if (op.empty()) op = "=";
    // "<>" and a "~" negate: a negated wildcard leaves out what the wildcard finds.
    const bool negated = op == "<>" || op.find('~') != std::string::npos;

    std::string column = field.Name;
    const std::string picture =
        field.Picture.empty() || field.Picture.front() == '@' ? field.Picture : "@" + field.Picture;
    // Dates and times are ordered by their day number or clock value, not by their text
    // ("15/06/1999" is no later than "01/01/26").
    const auto date_time = runtime::ParseDateTimePicture(picture);
    const bool ordering =
        t.range || ((op.find('<') == std::string::npos) != (op.find('>') == std::string::npos));
    if (date_time && ordering && !t.contains && !t.begins) {
        const auto stored = [&](const std::string& text) -> std::optional<std::string> {
            const std::optional<std::int32_t> value =
                date_time->kind == runtime::DateTimePicture::Kind::Date
                    ? runtime::ParseDate(text, date_time->number)
                    : runtime::ParseTime(text, date_time->number);
            if (!value) {
                *problem =
                    title + ": \"" + text + "\" is not a " +
                    (date_time->kind == runtime::DateTimePicture::Kind::Date ? "date" : "time") +
                    " as " + picture + " writes one";
                return std::nullopt;
            }
            return std::to_string(*value);
        };
        if (t.range) {
            std::string term = "(";
            if (!t.low.empty()) {
                const auto low = stored(t.low);
                if (!low) return {};
                term += column + " >= " + *low;
            }
            if (!t.low.empty() && !t.high.empty()) term += " AND ";
            if (!t.high.empty()) {
                const auto high = stored(t.high);
                if (!high) return {};
                term += column + " <= " + *high;
            }
            return term + ")";
        }
        const auto value = stored(t.value);
        if (!value) return {};
        return "(" + column + " " + op + " " + *value + ")";
    }

    const bool display = !t.contains && !t.begins && !picture.empty() && !IsStringPicture(picture);
    if (display) column = "FORMAT(" + column + "," + picture + ")";
    if (t.no_case || display) {
        t.value = Upper(t.value);
        t.low = Upper(t.low);
        t.high = Upper(t.high);
        if (column.find("UPPER(") == std::string::npos) column = "UPPER(" + column + ")";
    }
    if (t.contains) {
        return "INSTRING(" + QuoteText(t.value) + "," + column + ",1,1) " + (negated ? "=" : "<>") +
               " 0";
    }
    if (t.begins) {
        return "SUB(" + column + ",1," + std::to_string(t.value.size()) + ") " +
               (negated ? "<>" : "=") + " " + QuoteText(t.value);
    }
    // A display form is a text; a number column takes only a plain number.
    const bool text = field.Text || display;
    auto constant = [&](const std::string& v) -> std::optional<std::string> {
        if (text) return QuoteText(v);
        if (IsPlainNumber(v)) return v;
        *problem = title + ": \"" + v + "\" is not a number";
        return std::nullopt;
    };
    if (t.range) {
        std::string term = "(";
        if (!t.low.empty()) {
            const auto low = constant(t.low);
            if (!low) return {};
            term += column + " >= " + *low;
        }
        if (!t.low.empty() && !t.high.empty()) term += " AND ";
        if (!t.high.empty()) {
            const auto high = constant(t.high);
            if (!high) return {};
            term += column + " <= " + *high;
        }
        return term + ")";
    }
    const auto value = constant(t.value);
    if (!value) return {};
    return "(" + column + " " + op + " " + *value + ")";
}

std::string QueryBuilder::Problem() {
    for (QueryField& f : fields_) {
        std::string problem;
        BuildTerm(f, &problem);
        if (!problem.empty()) return problem;
    }
    return {};
}

std::string QueryBuilder::GetFilter() {
    std::string filter;
    for (QueryField& f : fields_) {
        const std::string term = Term(f);
        if (term.empty()) continue;
        if (!filter.empty()) filter += " AND ";
        filter += term;
    }
    return filter;
}

std::string QueryBuilder::SaveText() const {
    std::string saved;
    for (const QueryField& f : fields_) {
        if (Trim(f.QueryString).empty()) continue;
        if (!saved.empty()) saved += "|";
        saved += Escape(f.Name) + "|" + Escape(f.Operator) + "|" + Escape(Trim(f.QueryString));
    }
    return saved;
}

Level QueryBuilder::Restore(std::string_view saved) {
    ClearQuery();
    Level level = LevelOk;
    const std::vector<std::string> parts = SplitSaved(saved);
    for (std::size_t i = 0; i + 2 < parts.size(); i += 3) {
        if (SetQuery(parts[i], parts[i + 2], parts[i + 1])) continue;
        if (!errors_) continue;
        errors_->SetField(parts[i]);
        level = errors_->Raise(msg::UnsupportedQbeColumn);
    }
    return level;
}

std::string QueryBuilder::Describe(std::string_view saved) {
    const std::vector<std::string> parts = SplitSaved(saved);
    std::string text;
    for (std::size_t i = 0; i + 2 < parts.size(); i += 3) {
        std::string name = parts[i];
        if (const std::size_t colon = name.find(':'); colon != std::string::npos)
            name.erase(0, colon + 1);
        if (!text.empty()) text += " / ";
        text += name + ":";
        if (!parts[i + 1].empty()) text += " " + parts[i + 1];
        text += " " + parts[i + 2];
    }
    if (text.size() > kDescribeLimit) text = text.substr(0, kDescribeLimit - 3) + "...";
    // A menu entry cannot hold the menu's own separators, and "&" marks an accelerator.
    std::string entry;
    for (char c : text) {
        if (c == '|') c = '/';
        if (c == '&') entry.push_back('&');
        entry.push_back(c);
    }
    return entry;
}

}  // namespace zelt::framework
