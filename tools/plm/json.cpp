#include "tools/plm/json.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zelt::plm {

Json Json::Boolean(bool b) {
    Json j;
    j.kind_ = Kind::Bool;
    j.bool_ = b;
    return j;
}
Json Json::Number(double n, std::string text) {
    Json j;
    j.kind_ = Kind::Number;
    j.number_ = n;
    if (text.empty()) {
        char buffer[64];
        if (std::floor(n) == n && std::fabs(n) < 1e15)
            std::snprintf(buffer, sizeof buffer, "%.0f", n);
        else
            std::snprintf(buffer, sizeof buffer, "%.17g", n);
        text = buffer;
    }
    j.text_ = std::move(text);
    return j;
}
Json Json::Text(std::string s) {
    Json j;
    j.kind_ = Kind::String;
    j.text_ = std::move(s);
    return j;
}
Json Json::Array() {
    Json j;
    j.kind_ = Kind::Array;
    return j;
}
Json Json::Object() {
    Json j;
    j.kind_ = Kind::Object;
    return j;
}

const Json* Json::Find(std::string_view key) const {
    for (const auto& [k, v] : members_)
        if (k == key) return &v;
    return nullptr;
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
                out += buffer;
            } else if (b >= 0x80) {  // Latin-1 to UTF-8
                out.push_back(static_cast<char>(0xC0 | (b >> 6)));
                out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
            } else {
                out.push_back(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string Json::Write() const {
    switch (kind_) {
    case Kind::Null: return "null";
    case Kind::Bool: return bool_ ? "true" : "false";
    case Kind::Number: return text_;
    case Kind::String: return JsonQuote(text_);
    case Kind::Array: {
        std::string out = "[";
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (i > 0) out += ", ";
            out += items_[i].Write();
        }
        return out + "]";
    }
    case Kind::Object: {
        std::string out = "{";
        for (std::size_t i = 0; i < members_.size(); ++i) {
            if (i > 0) out += ", ";
            out += JsonQuote(members_[i].first) + ": " + members_[i].second.Write();
        }
        return out + "}";
    }
    }
    return "null";
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Json> Document(std::string* error) {
        auto value = Value();
        Skip();
        if (value && at_ != text_.size()) Fail("unexpected text after the value");
        if (!error_.empty()) {
            if (error != nullptr) *error = error_ + " at offset " + std::to_string(at_);
            return std::nullopt;
        }
        return value;
    }

private:
    void Fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
    }
    void Skip() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    std::optional<Json> Value() {
        if (++depth_ > 64) {
            Fail("nesting too deep");
            return std::nullopt;
        }
        Skip();
        std::optional<Json> result;
        if (at_ >= text_.size()) {
            Fail("value expected");
        } else if (text_[at_] == '{') {
            result = ObjectValue();
        } else if (text_[at_] == '[') {
            result = ArrayValue();
        } else if (text_[at_] == '"') {
            std::string s;
            if (StringValue(s)) result = Json::Text(std::move(s));
        } else if (Literal("true")) {
            result = Json::Boolean(true);
        } else if (Literal("false")) {
            result = Json::Boolean(false);
        } else if (Literal("null")) {
            result = Json();
        } else {
            result = NumberValue();
        }
        --depth_;
        return error_.empty() ? result : std::nullopt;
    }

    std::optional<Json> NumberValue() {
        const std::size_t start = at_;
        if (at_ < text_.size() && (text_[at_] == '-' || text_[at_] == '+')) ++at_;
        while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) ||
                                      text_[at_] == '.' || text_[at_] == 'e' ||
                                      text_[at_] == 'E' || text_[at_] == '-' || text_[at_] == '+'))
            ++at_;
        const std::string number(text_.substr(start, at_ - start));
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size()) {
            Fail("invalid value");
            return std::nullopt;
        }
        return Json::Number(value, number);
    }

    bool StringValue(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) break;
            c = text_[at_++];
            switch (c) {
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'u': {
                if (at_ + 4 > text_.size()) {
                    Fail("bad escape");
                    return false;
                }
                const unsigned code = static_cast<unsigned>(
                    std::strtoul(std::string(text_.substr(at_, 4)).c_str(), nullptr, 16));
                at_ += 4;
                if (code < 0x80) {
                    out.push_back(static_cast<char>(code));
                } else if (code < 0x800) {
                    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else {
                    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
                    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                }
                break;
            }
            default: out.push_back(c); break;
            }
        }
        if (at_ >= text_.size()) {
            Fail("unterminated string");
            return false;
        }
        ++at_;
        return true;
    }

    std::optional<Json> ArrayValue() {
        ++at_;
        Json array = Json::Array();
        Skip();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return array;
        }
        for (;;) {
            auto item = Value();
            if (!item) return std::nullopt;
            array.Push(std::move(*item));
            Skip();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return array;
            }
            Fail("',' or ']' expected");
            return std::nullopt;
        }
    }

    std::optional<Json> ObjectValue() {
        ++at_;
        Json object = Json::Object();
        Skip();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return object;
        }
        for (;;) {
            Skip();
            std::string key;
            if (at_ >= text_.size() || text_[at_] != '"' || !StringValue(key)) {
                Fail("member name expected");
                return std::nullopt;
            }
            Skip();
            if (at_ >= text_.size() || text_[at_] != ':') {
                Fail("':' expected");
                return std::nullopt;
            }
            ++at_;
            auto value = Value();
            if (!value) return std::nullopt;
            object.Set(std::move(key), std::move(*value));
            Skip();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return object;
            }
            Fail("',' or '}' expected");
            return std::nullopt;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int depth_ = 0;
    std::string error_;
};

}  // namespace

std::optional<Json> Json::Parse(std::string_view text, std::string* error) {
    return Parser(text).Document(error);
}

}  // namespace zelt::plm
