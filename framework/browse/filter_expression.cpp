#include "framework/browse/filter_expression.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <vector>

#include "runtime/window/binding.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

struct FilterExpression::Node {
    enum Kind { And, Or, Not, Compare } kind = Compare;
    std::shared_ptr<const Node> left, right;
    std::string op;       // "=", "<>", "<", ">", "<=" or ">="
    bool negate = false;  // the operator carried "~"
    // An operand: a field, a constant, or a function of operands.
    using Operand = std::function<FilterValue()>;
    Operand a, b;
};

namespace {

using Node = FilterExpression::Node;

std::string Clip(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string NumberText(double n) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Text(const FilterValue& v) {
    return v.text ? v.s : NumberText(v.n);
}
long long Whole(const FilterValue& v) {
    return v.text ? runtime::ParseBoundNumber(v.s) : static_cast<long long>(v.n);
}

// The characters of `s` from `start` (from 1), at most `length` of them.
std::string Sub(const std::string& s, long long start, long long length) {
    if (start < 1 || length <= 0 || start > static_cast<long long>(s.size())) return {};
    return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

// Where `sub` occurs in `s` looking at every step-th position from `start` (from 1), as a
// count of steps from 1; 0 when it does not occur.
long long InString(const std::string& sub, const std::string& s, long long step, long long start) {
    if (step < 1) step = 1;
    if (start < 1) start = 1;
    for (long long at = start - 1;
         at + static_cast<long long>(sub.size()) <= static_cast<long long>(s.size()); at += step)
        if (s.compare(static_cast<std::size_t>(at), sub.size(), sub) == 0) return at / step + 1;
    return 0;
}

bool Compare(const FilterValue& x, const FilterValue& y, const std::string& op) {
    int order;
    if (x.text || y.text) {
        const std::string l = Clip(x.text ? x.s : NumberText(x.n));
        const std::string r = Clip(y.text ? y.s : NumberText(y.n));
        order = l < r ? -1 : (l > r ? 1 : 0);
    } else {
        order = x.n < y.n ? -1 : (x.n > y.n ? 1 : 0);
    }
    if (op == "=") return order == 0;
    if (op == "<>") return order != 0;
    if (op == "<") return order < 0;
    if (op == ">") return order > 0;
    if (op == "<=") return order <= 0;
    return order >= 0;
}

bool Eval(const Node& n) {
    switch (n.kind) {
        case Node::And:
            return Eval(*n.left) && Eval(*n.right);
        case Node::Or:
            return Eval(*n.left) || Eval(*n.right);
        case Node::Not:
            return !Eval(*n.left);
        case Node::Compare:
            return Compare(n.a(), n.b(), n.op) != n.negate;
    }
    return false;
}

class Parser {
  public:
    Parser(std::string_view text, const FilterExpression::Resolver& resolve)
        : text_(text), resolve_(resolve) {}

    std::shared_ptr<const Node> Parse() {
        auto node = ParseOr();
        SkipBlanks();
        if (node && pos_ != text_.size()) Fail("unexpected text at " + std::to_string(pos_ + 1));
        return error_.empty() ? node : nullptr;
    }
    const std::string& Error() const { return error_; }

  private:
    bool Fail(std::string what) {
        if (error_.empty()) error_ = std::move(what);
        return false;
    }
    void SkipBlanks() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    // A keyword (case ignored) followed by something that cannot continue a word.
    bool Keyword(std::string_view word) {
        SkipBlanks();
        if (text_.size() - pos_ < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text_[pos_ + i])) != word[i]) return false;
        const std::size_t after = pos_ + word.size();
        if (after < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[after])) ||
                                     text_[after] == ':' || text_[after] == '_'))
            return false;
        pos_ = after;
        return true;
    }
    bool Take(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::shared_ptr<const Node> Join(Node::Kind kind, std::shared_ptr<const Node> l,
                                     std::shared_ptr<const Node> r) {
        if (!l || !r) return nullptr;
        auto n = std::make_shared<Node>();
        n->kind = kind;
        n->left = std::move(l);
        n->right = std::move(r);
        return n;
    }
    std::shared_ptr<const Node> ParseOr() {
        auto node = ParseAnd();
        while (node && Keyword("OR")) node = Join(Node::Or, node, ParseAnd());
        return node;
    }
    std::shared_ptr<const Node> ParseAnd() {
        auto node = ParseNot();
        while (node && Keyword("AND")) node = Join(Node::And, node, ParseNot());
        return node;
    }
    std::shared_ptr<const Node> ParseNot() {
        if (Keyword("NOT")) {
            auto inner = ParseNot();
            if (!inner) return nullptr;
            auto n = std::make_shared<Node>();
            n->kind = Node::Not;
            n->left = std::move(inner);
            return n;
        }
        SkipBlanks();
        if (Take('(')) {
            auto inner = ParseOr();
            if (!Take(')')) {
                Fail("missing )");
                return nullptr;
            }
            return inner;
        }
        return ParseComparison();
    }
    std::shared_ptr<const Node> ParseComparison() {
        auto n = std::make_shared<Node>();
        if (!ParseOperand(n->a)) return nullptr;
        SkipBlanks();
        // An operator is a run of "<", ">", "=" and "~"; a "~" negates the comparison.
        std::string raw;
        while (pos_ < text_.size() &&
               std::string_view("<>=~").find(text_[pos_]) != std::string_view::npos)
            raw.push_back(text_[pos_++]);
        n->negate = raw.find('~') != std::string::npos;
        std::erase(raw, '~');
        static const std::pair<const char*, const char*> ops[] = {
            {"=", "="},   {"<>", "<>"}, {"><", "<>"}, {"<", "<"},  {">", ">"},
            {"<=", "<="}, {"=<", "<="}, {">=", ">="}, {"=>", ">="}};
        for (const auto& [written, op] : ops)
            if (raw == written) n->op = op;
        if (raw.empty() && n->negate) n->op = "=";
        if (n->op.empty()) {
            Fail("a comparison is missing at " + std::to_string(pos_ + 1));
            return nullptr;
        }
        if (!ParseOperand(n->b)) return nullptr;
        return n;
    }
    // Arguments of a function: "(" operand {"," operand} ")".
    bool ParseArguments(std::string_view function, std::vector<Node::Operand>& args,
                        std::size_t count) {
        if (!Take('(')) return Fail(std::string(function) + " needs its arguments in parentheses");
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0 && !Take(','))
                return Fail(std::string(function) + " needs " + std::to_string(count) +
                            " arguments");
            Node::Operand operand;
            if (!ParseOperand(operand)) return false;
            args.push_back(std::move(operand));
        }
        if (!Take(')')) return Fail("missing ) after the arguments of " + std::string(function));
        return true;
    }
    // FORMAT's picture: "@" and the characters up to the closing parenthesis.
    bool ParsePicture(std::string& picture) {
        SkipBlanks();
        if (pos_ >= text_.size() || text_[pos_] != '@')
            return Fail("FORMAT needs a picture such as @D6");
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ')' &&
               !std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        picture = std::string(text_.substr(start, pos_ - start));
        return true;
    }
    bool ParseFunction(Node::Operand& operand) {
        std::vector<Node::Operand> args;
        if (Keyword("UPPER")) {
            if (!ParseArguments("UPPER", args, 1)) return false;
            operand = [x = std::move(args[0])] {
                FilterValue v = x();
                if (v.text) v.s = Upper(std::move(v.s));
                return v;
            };
            return true;
        }
        if (Keyword("SUB")) {
            if (!ParseArguments("SUB", args, 3)) return false;
            operand = [s = args[0], start = args[1], length = args[2]] {
                return FilterValue{true, Sub(Text(s()), Whole(start()), Whole(length())), 0};
            };
            return true;
        }
        if (Keyword("INSTRING")) {
            if (!ParseArguments("INSTRING", args, 4)) return false;
            operand = [sub = args[0], s = args[1], step = args[2], start = args[3]] {
                return FilterValue{false,
                                   {},
                                   static_cast<double>(InString(Text(sub()), Text(s()),
                                                                Whole(step()), Whole(start())))};
            };
            return true;
        }
        if (Keyword("FORMAT")) {
            Node::Operand value;
            std::string picture;
            if (!Take('(') || !ParseOperand(value) || !Take(',') || !ParsePicture(picture) ||
                !Take(')'))
                return Fail("FORMAT needs a value and a picture in parentheses");
            operand = [value = std::move(value), picture = std::move(picture)] {
                const FilterValue v = value();
                return FilterValue{
                    true, runtime::FormatByPicture(v.text ? v.s : NumberText(v.n), picture), 0};
            };
            return true;
        }
        return false;
    }
    bool ParseOperand(Node::Operand& operand) {
        SkipBlanks();
        if (ParseFunction(operand)) return true;
        if (!error_.empty()) return false;
        if (pos_ >= text_.size()) {
            Fail("an operand is missing at the end");
            return false;
        }
        const char c = text_[pos_];
        if (c == '\'') {
            std::string s;
            ++pos_;
            for (;;) {
                if (pos_ >= text_.size()) {
                    Fail("a text is not closed");
                    return false;
                }
                if (text_[pos_] == '\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                        s.push_back('\'');
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                s.push_back(text_[pos_++]);
            }
            operand = [v = FilterValue{true, std::move(s), 0}] { return v; };
            return true;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
            const std::size_t start = pos_;
            ++pos_;
            while (pos_ < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
                ++pos_;
            const std::string number(text_.substr(start, pos_ - start));
            char* end = nullptr;
            const double v = std::strtod(number.c_str(), &end);
            if (end != number.c_str() + number.size()) {
                Fail("a number is not readable: " + number);
                return false;
            }
            operand = [v] { return FilterValue{false, {}, v}; };
            return true;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const std::size_t start = pos_;
            while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                           text_[pos_] == ':' || text_[pos_] == '_'))
                ++pos_;
            const std::string_view label = text_.substr(start, pos_ - start);
            auto reader = resolve_ ? resolve_(label) : std::nullopt;
            if (!reader) {
                Fail("unknown field " + std::string(label));
                return false;
            }
            operand = std::move(*reader);
            return true;
        }
        Fail("unexpected character at " + std::to_string(pos_ + 1));
        return false;
    }

    std::string_view text_;
    const FilterExpression::Resolver& resolve_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

std::optional<FilterExpression> FilterExpression::Parse(std::string_view text,
                                                        const Resolver& resolve,
                                                        std::string* error) {
    FilterExpression expression;
    bool blank = true;
    for (char c : text) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (blank) return expression;
    Parser parser(text, resolve);
    expression.root_ = parser.Parse();
    if (!expression.root_) {
        if (error) *error = parser.Error();
        return std::nullopt;
    }
    return expression;
}

bool FilterExpression::Evaluate() const {
    return !root_ || Eval(*root_);
}

}  // namespace zelt::framework
