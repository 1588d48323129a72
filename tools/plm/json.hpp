// A small JSON value with a parser and a writer, enough for table schemas and records.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::plm {

class Json {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Json() = default;
    static Json Boolean(bool b);
    static Json Number(double n, std::string text = {});
    static Json Text(std::string s);
    static Json Array();
    static Json Object();

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsObject() const { return kind_ == Kind::Object; }
    bool AsBool() const { return bool_; }
    double AsNumber() const { return number_; }
    // The number as written (keeps integers and decimals exact).
    const std::string& NumberText() const { return text_; }
    const std::string& AsString() const { return text_; }
    const std::vector<Json>& Items() const { return items_; }
    const std::vector<std::pair<std::string, Json>>& Members() const { return members_; }
    const Json* Find(std::string_view key) const;

    void Push(Json value) { items_.push_back(std::move(value)); }
    void Set(std::string key, Json value) { members_.emplace_back(std::move(key), std::move(value)); }

    std::string Write() const;
    // Parses one JSON text; on failure returns nothing and describes the fault in `error`.
    static std::optional<Json> Parse(std::string_view text, std::string* error);

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string text_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// A JSON string literal for `text` (bytes 0x80 and above are taken as Latin-1).
std::string JsonQuote(std::string_view text);

}  // namespace zelt::plm
