#include "tools/plm/json.hpp"

#include <algorithm>
#include <vector>

namespace zelt::plm {

namespace {

// Builds the document from the parser's events, noting where each number lies.
class Builder : public nlohmann::json_sax<Json> {
  public:
    Builder(std::string_view text, NumberTexts* numbers) : text_(text), numbers_(numbers) {}

    Json document;
    JsonError error;

    bool null() override { return Put(nullptr); }
    bool boolean(bool value) override { return Put(value); }
    bool number_integer(number_integer_t value) override { return Put(value); }
    bool number_unsigned(number_unsigned_t value) override { return Put(value); }
    bool number_float(number_float_t value, const string_t& text) override {
        if (numbers_ != nullptr) (*numbers_)[Here().to_string()] = text;
        return Put(value);
    }
    bool string(string_t& value) override { return Put(std::move(value)); }
    bool binary(binary_t& /*value*/) override { return false; }  // JSON text has none
    bool start_object(std::size_t /*elements*/) override { return Open(Json::object()); }
    bool key(string_t& name) override {
        if (open_.back()->contains(name)) {
            error.reason = "member \"" + name + "\" given twice";
            return false;
        }
        key_ = std::move(name);
        return true;
    }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t /*elements*/) override { return Open(Json::array()); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t position, const std::string& last_token,
                     const nlohmann::detail::exception& fault) override {
        // position counts the bytes read, the faulty one included.
        const std::size_t at = std::min(position, text_.size());
        const std::string_view before = text_.substr(0, at > 0 ? at - 1 : 0);
        error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
        const auto line_start = before.rfind('\n');
        error.column =
            before.size() - (line_start == std::string_view::npos ? 0 : line_start + 1) + 1;
        error.reason = Reason(fault.what());
        // A number beyond a double's range is refused as the fields refuse theirs.
        if (fault.id == 406)
            error.reason =
                "value out of range for " +
                (!open_.empty() && open_.back()->is_object() ? key_ : Here().to_string()) + ": " +
                last_token;
        return false;
    }

  private:
    // The parser's words without its prefix and without the bytes it last read (which may be
    // anything, even what is not text).
    static std::string Reason(std::string what) {
        if (const auto colon = what.find(": ");
            what.starts_with("[json.exception") && colon != std::string::npos)
            what.erase(0, colon + 2);
        if (const auto read = what.find("; last read: "); read != std::string::npos) {
            const auto expected = what.find("; expected ", read);
            what.erase(read, expected == std::string::npos ? std::string::npos : expected - read);
        }
        return what;
    }

    // Where the next value goes.
    Json::json_pointer Here() const {
        if (open_.empty()) return path_;
        return open_.back()->is_array() ? path_ / open_.back()->size() : path_ / key_;
    }

    bool Put(Json value) {
        Place(std::move(value));
        return true;
    }
    Json* Place(Json value) {
        if (open_.empty()) {
            document = std::move(value);
            return &document;
        }
        Json& container = *open_.back();
        if (container.is_array()) {
            container.push_back(std::move(value));
            return &container.back();
        }
        Json& member = container[key_];
        member = std::move(value);
        return &member;
    }
    bool Open(Json container) {
        const Json::json_pointer here = Here();
        open_.push_back(Place(std::move(container)));
        path_ = here;
        return true;
    }
    bool Close() {
        open_.pop_back();
        if (!open_.empty()) path_ = path_.parent_pointer();
        return true;
    }

    std::string_view text_;
    NumberTexts* numbers_;
    std::vector<Json*> open_;  // the containers being filled, outermost first
    Json::json_pointer path_;  // of the innermost one
    std::string key_;
};

}  // namespace

std::string JsonError::Describe(std::size_t first_line) const {
    if (line == 0) return reason;
    return "line " + std::to_string(line + first_line - 1) + ", column " + std::to_string(column) +
           ": " + reason;
}

std::optional<Json> ParseJson(std::string_view text, JsonError* error, NumberTexts* numbers) {
    Builder builder(text, numbers);
    if (!Json::sax_parse(text, &builder)) {
        if (error != nullptr) *error = builder.error;
        return std::nullopt;
    }
    return std::move(builder.document);
}

std::string WriteJson(const Json& value) {
    if (value.is_array()) {
        std::string out = "[";
        for (const auto& item : value) {
            if (out.size() > 1) out += ", ";
            out += WriteJson(item);
        }
        return out + "]";
    }
    if (value.is_object()) {
        std::string out = "{";
        for (const auto& [name, member] : value.items()) {
            if (out.size() > 1) out += ", ";
            out += WriteJson(Json(name)) + ": " + WriteJson(member);
        }
        return out + "}";
    }
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace zelt::plm
