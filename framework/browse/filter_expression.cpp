#include "framework/browse/filter_expression.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <vector>

namespace zelt::framework {

struct FilterExpression::Node {
    enum Kind { And, Or, Not, Compare } kind = Compare;
    std::shared_ptr<const Node> left, right;
    std::string op;
    struct Operand {
        std::function<FilterValue()> read;  // a field
        FilterValue constant;
        bool upper = false;
        FilterValue Value() const {
            FilterValue v = read ? read() : constant;
            if (upper && v.text)
                for (char& c : v.s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return v;
        }
    };
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
    case Node::And: return Eval(*n.left) && Eval(*n.right);
    case Node::Or: return Eval(*n.left) || Eval(*n.right);
    case Node::Not: return !Eval(*n.left);
    case Node::Compare: return Compare(n.a.Value(), n.b.Value(), n.op);
    }
    return false;
}

class Parser {
public:
    Parser(std::string_view text, const FilterExpression::Resolver& resolve) : text_(text), resolve_(resolve) {}

    std::shared_ptr<const Node> Parse() {
        auto node = ParseOr();
        SkipBlanks();
        if (node && pos_ != text_.size()) Fail("unexpected text at " + std::to_string(pos_ + 1));
        return error_.empty() ? node : nullptr;
    }
    const std::string& Error() const { return error_; }

private:
    void Fail(std::string what) {
        if (error_.empty()) error_ = std::move(what);
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
    std::shared_ptr<const Node> Join(Node::Kind kind, std::shared_ptr<const Node> l, std::shared_ptr<const Node> r) {
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
        static const char* const ops[] = {"<>", "<=", ">=", "=", "<", ">"};
        for (const char* op : ops) {
            if (text_.substr(pos_, std::string_view(op).size()) == op) {
                n->op = op;
                pos_ += n->op.size();
                break;
            }
        }
        if (n->op.empty()) {
            Fail("a comparison is missing at " + std::to_string(pos_ + 1));
            return nullptr;
        }
        if (!ParseOperand(n->b)) return nullptr;
        return n;
    }
    bool ParseOperand(Node::Operand& operand) {
        SkipBlanks();
        if (Keyword("UPPER")) {
            if (!Take('(') || !ParseOperand(operand) || !Take(')')) {
                Fail("UPPER needs one operand in parentheses");
                return false;
            }
            operand.upper = true;
            return true;
        }
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
            operand.constant = FilterValue{true, std::move(s), 0};
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
            if (end == number.c_str()) {
                Fail("a number is not readable: " + number);
                return false;
            }
            operand.constant = FilterValue{false, {}, v};
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
            operand.read = std::move(*reader);
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

std::optional<FilterExpression> FilterExpression::Parse(std::string_view text, const Resolver& resolve,
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

bool FilterExpression::Evaluate() const { return !root_ || Eval(*root_); }

}  // namespace zelt::framework
