#include "tools/plm/field_values.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/file/collation.hpp"

namespace zelt::plm {

using storage::Bytes;
using storage::BytesView;
using storage::FieldDescriptor;

namespace {

template <typename T>
T Load(BytesView bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
    return value;
}
template <typename T>
void Store(char* at, T value) {
    std::memcpy(at, &value, sizeof(T));
}

int Nibble(BytesView bytes, std::size_t n) {
    const auto b = static_cast<std::uint8_t>(bytes[n / 2]);
    return n % 2 == 0 ? b >> 4 : b & 0x0F;
}

// A number as it was written (the document's text for one that is not an integer).
std::string NumberText(const Json& value, const std::string& pointer, const StoreOptions& options) {
    if (value.is_number_float() && options.numbers != nullptr)
        if (const auto found = options.numbers->find(pointer); found != options.numbers->end())
            return found->second;
    return value.dump();
}

std::string DigitsToText(const std::string& digits, std::uint8_t places, bool negative) {
    std::string whole = digits.substr(0, digits.size() - places);
    std::string fraction = digits.substr(digits.size() - places);
    const auto first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? "0" : whole.substr(first);
    std::string text = whole;
    if (places > 0) text += "." + fraction;
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    return (negative && !zero ? "-" : "") + text;
}

std::string DecimalText(const FieldDescriptor& f, BytesView raw, bool packed_sign_last) {
    std::string digits;
    const std::size_t nibbles = raw.size() * 2;
    bool negative = false;
    if (packed_sign_last) {
        for (std::size_t n = 0; n + 1 < nibbles; ++n)
            digits.push_back(static_cast<char>('0' + Nibble(raw, n) % 10));
        negative = Nibble(raw, nibbles - 1) == 0x0D;
    } else {
        negative = Nibble(raw, 0) != 0;
        for (std::size_t n = 1; n < nibbles; ++n)
            digits.push_back(static_cast<char>('0' + Nibble(raw, n) % 10));
    }
    if (digits.size() < f.places) digits.insert(0, f.places - digits.size(), '0');
    return DigitsToText(digits,
                        std::min<std::uint8_t>(f.places, static_cast<std::uint8_t>(digits.size())),
                        negative);
}

bool TextToDecimal(const FieldDescriptor& f, const std::string& text, char* at, std::size_t size,
                   bool packed_sign_last, bool truncate, std::string* error) {
    std::string s = text;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.erase(0, 1);
    }
    const auto dot = s.find('.');
    const std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string{} : s.substr(dot + 1);
    const std::string all = whole + fraction;
    if (all.empty() || all.find_first_not_of("0123456789") != std::string::npos) {
        *error = "not a decimal number for " + f.name + ": \"" + text + "\"";
        return false;
    }
    if (fraction.size() > f.places) {
        if (!truncate && fraction.find_first_not_of('0', f.places) != std::string::npos) {
            *error = "too many decimal places for " + f.name + ": " + text + " (it keeps " +
                     std::to_string(f.places) + "; --truncate cuts the rest)";
            return false;
        }
        fraction.resize(f.places);
    }
    fraction.append(f.places - fraction.size(), '0');
    std::string digits = whole + fraction;
    const std::size_t capacity = size * 2 - 1;
    const auto first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string{} : digits.substr(first);
    if (digits.size() > capacity) {
        *error = "value too large for " + f.name + ": " + text;
        return false;
    }
    if (digits.empty()) negative = false;  // one zero, without a sign
    digits.insert(0, capacity - digits.size(), '0');
    std::memset(at, 0, size);
    auto put = [&](std::size_t n, int v) {
        auto& b = at[n / 2];
        b = static_cast<char>(n % 2 == 0 ? ((static_cast<std::uint8_t>(b) & 0x0F) | (v << 4))
                                         : ((static_cast<std::uint8_t>(b) & 0xF0) | v));
    };
    if (packed_sign_last) {
        for (std::size_t n = 0; n < capacity; ++n) put(n, digits[n] - '0');
        put(capacity, negative ? 0x0D : 0x0C);
    } else {
        put(0, negative ? 0x0F : 0);
        for (std::size_t n = 0; n < capacity; ++n) put(n + 1, digits[n] - '0');
    }
    return true;
}

// An SREAL as the shortest text that reads back as the same float, so 0.1 stays 0.1.
Json FloatToJson(float value) {
    if (!std::isfinite(value)) return Json(static_cast<double>(value));
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Json(std::strtod(std::string(buffer, written.ptr).c_str(), nullptr));
}

Json ElementToJson(const FieldDescriptor& f, BytesView raw) {
    switch (f.type) {
        case 1:
            return Json(static_cast<std::uint8_t>(raw[0]));
        case 2:
            return Json(Load<std::int16_t>(raw));
        case 3:
            return Json(Load<std::uint16_t>(raw));
        case 4:
        case 5:
        case 6:
            return Json(Load<std::int32_t>(raw));
        case 7:
            return Json(Load<std::uint32_t>(raw));
        case 8:
            return FloatToJson(Load<float>(raw));
        case 9:
            return Json(Load<double>(raw));
        case 10:
            return Json(DecimalText(f, raw, false));
        case 11:
            return Json(DecimalText(f, raw, true));
        case 18: {
            const auto last = raw.find_last_not_of(' ');
            return Json(
                AnsiToUtf8(last == BytesView::npos ? BytesView{} : raw.substr(0, last + 1)));
        }
        case 19:
            return Json(AnsiToUtf8(raw.substr(0, raw.find('\0'))));
        case 20: {
            const std::size_t n =
                raw.empty()
                    ? 0
                    : std::min<std::size_t>(static_cast<std::uint8_t>(raw[0]), raw.size() - 1);
            return Json(AnsiToUtf8(raw.substr(1, n)));
        }
        default:
            return Json();
    }
}

// The integer in `v`, when it is one within [low, high].
bool IntegerIn(const Json& v, std::int64_t low, std::int64_t high, std::int64_t* out) {
    if (v.is_number_unsigned()) {
        const auto n = v.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(high)) return false;
        *out = static_cast<std::int64_t>(n);
    } else if (v.is_number_integer()) {
        *out = v.get<std::int64_t>();
    } else {
        const double d = v.get<double>();
        if (!(d >= static_cast<double>(low) && d <= static_cast<double>(high)) ||
            std::floor(d) != d)
            return false;
        *out = static_cast<std::int64_t>(d);
    }
    return *out >= low && *out <= high;
}

// Whether a number's text says zero (so that one read as 0 has not lost its value).
bool WrittenAsZero(const std::string& text) {
    const std::string mantissa = text.substr(0, text.find_first_of("eE"));
    return mantissa.find_first_of("123456789") == std::string::npos;
}

bool RealFromJson(const FieldDescriptor& f, const Json& v, const std::string& text, char* at,
                  std::string* error) {
    const double d = v.get<double>();
    // The largest magnitude that rounds to a finite float: FLT_MAX and half a step above it.
    const double float_limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    const bool fits = std::isfinite(d) && (f.type == 9 || std::fabs(d) < float_limit);
    const bool vanishes =
        f.type == 8 ? (d != 0 && static_cast<float>(d) == 0) : (d == 0 && !WrittenAsZero(text));
    if (!fits || vanishes) {
        *error = "value out of range for " + f.name + ": " + text;
        return false;
    }
    if (f.type == 8)
        Store(at, static_cast<float>(d));
    else
        Store(at, d);
    return true;
}

// The text of a text field's value in ANSI, checked against the field's room.
bool TextFromJson(const std::string& name, const Json& v, const std::string& pointer,
                  std::size_t room, bool blank_padded, const StoreOptions& options,
                  std::string* out, std::string* error) {
    std::string problem;
    const std::string utf8 = v.is_string() ? v.get<std::string>() : NumberText(v, pointer, options);
    auto text = Utf8ToAnsi(utf8, &problem);
    if (!text) {
        *error = name + ": " + problem;
        return false;
    }
    // Blanks past the end of a blank-padded value are its padding, not text.
    if (text->size() > room &&
        !(blank_padded && text->find_first_not_of(' ', room) == std::string::npos) &&
        !options.truncate) {
        *error = "text too long for " + name + ": " + std::to_string(text->size()) +
                 " characters, room for " + std::to_string(room) + " (--truncate cuts it)";
        return false;
    }
    if (text->size() > room) text->resize(room);
    *out = std::move(*text);
    return true;
}

bool ElementFromJson(const FieldDescriptor& f, const Json& v, const std::string& pointer, char* at,
                     std::size_t size, const StoreOptions& options, std::string* error) {
    const bool text_type =
        f.type == 18 || f.type == 19 || f.type == 20 || f.type == 10 || f.type == 11;
    if (text_type && !v.is_string() && !v.is_number()) {
        *error = "text expected for " + f.name;
        return false;
    }
    if (!text_type && !v.is_number()) {
        *error = "number expected for " + f.name;
        return false;
    }
    const std::string written = v.is_number() ? NumberText(v, pointer, options) : std::string{};
    std::int64_t n = 0;
    const auto integer = [&](std::int64_t low, std::int64_t high) {
        if (IntegerIn(v, low, high, &n)) return true;
        *error = "value out of range for " + f.name + ": " + written;
        return false;
    };
    switch (f.type) {
        case 1:
            if (!integer(0, 255)) return false;
            at[0] = static_cast<char>(n);
            return true;
        case 2:
            if (!integer(-32768, 32767)) return false;
            Store(at, static_cast<std::int16_t>(n));
            return true;
        case 3:
            if (!integer(0, 65535)) return false;
            Store(at, static_cast<std::uint16_t>(n));
            return true;
        case 4:
        case 5:
        case 6:
            if (!integer(-2147483648LL, 2147483647LL)) return false;
            Store(at, static_cast<std::int32_t>(n));
            return true;
        case 7:
            if (!integer(0, 4294967295LL)) return false;
            Store(at, static_cast<std::uint32_t>(n));
            return true;
        case 8:
        case 9:
            return RealFromJson(f, v, written, at, error);
        case 10:
        case 11:
            return TextToDecimal(f, v.is_string() ? v.get<std::string>() : written, at, size,
                                 f.type == 11, options.truncate, error);
        default:
            break;
    }
    const std::size_t room =
        f.type == 18 ? size : std::min<std::size_t>(size - 1, f.type == 20 ? 255 : size);
    std::string text;
    if (!TextFromJson(f.name, v, pointer, room, f.type == 18, options, &text, error)) return false;
    if (f.type == 18) {
        std::memset(at, ' ', size);
        std::memcpy(at, text.data(), text.size());
    } else if (f.type == 19) {
        std::memset(at, 0, size);
        std::memcpy(at, text.data(), text.size());
    } else {
        std::memset(at, 0, size);
        at[0] = static_cast<char>(text.size());
        std::memcpy(at + 1, text.data(), text.size());
    }
    return true;
}

// The next character of well-formed UTF-8 at `at`, moving past it; nothing when it is not.
std::optional<char32_t> NextCharacter(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    const int length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 0;
    if (length == 0 || at + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const std::uint8_t next = byte(at + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;  // overlong, surrogate
    at += static_cast<std::size_t>(length);
    return c;
}

}  // namespace

std::optional<std::string> Utf8ToAnsi(std::string_view text, std::string* error) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const auto character = NextCharacter(text, at);
        if (!character) {
            *error = "not UTF-8 at byte " + std::to_string(start + 1);
            return std::nullopt;
        }
        const auto ansi = runtime::UnicodeToAnsi(*character);
        if (!ansi) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(*character));
            *error = "\"" + std::string(text.substr(start, at - start)) + "\" (" + code +
                     ") is not in the ANSI character set";
            return std::nullopt;
        }
        out.push_back(static_cast<char>(*ansi));
    }
    return out;
}

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char byte : text) {
        const char32_t c = runtime::AnsiToUnicode(static_cast<std::uint8_t>(byte));
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

Json FieldToJson(const FieldDescriptor& f, BytesView record) {
    if (f.offset + f.size > record.size() || f.type == 22) return Json();
    const std::uint32_t elements = std::max<std::uint32_t>(1, f.elements);
    const std::uint32_t element_size = f.size / elements;
    if (elements == 1) return ElementToJson(f, record.substr(f.offset, f.size));
    Json array = Json::array();
    for (std::uint32_t e = 0; e < elements; ++e)
        array.push_back(ElementToJson(f, record.substr(f.offset + e * element_size, element_size)));
    return array;
}

bool JsonToField(const FieldDescriptor& f, const Json& value, const std::string& pointer,
                 Bytes& record, const StoreOptions& options, std::string* error) {
    if (f.type == 22) {
        *error = f.name + " is a group: give the values of its fields";
        return false;
    }
    if (f.offset + f.size > record.size()) return true;
    const std::uint32_t elements = std::max<std::uint32_t>(1, f.elements);
    const std::uint32_t element_size = f.size / elements;
    if (elements == 1)
        return ElementFromJson(f, value, pointer, record.data() + f.offset, f.size, options, error);
    if (!value.is_array() || value.size() > elements) {
        *error =
            "an array of at most " + std::to_string(elements) + " values expected for " + f.name;
        return false;
    }
    for (std::size_t e = 0; e < value.size(); ++e)
        if (!ElementFromJson(f, value[e], pointer + "/" + std::to_string(e),
                             record.data() + f.offset + e * element_size, element_size, options,
                             error))
            return false;
    return true;
}

bool JsonToMemo(const std::string& name, const Json& value, const std::string& pointer,
                std::size_t limit, bool blob, const StoreOptions& options, std::string* out,
                std::string* error) {
    if (!value.is_string() && !value.is_number()) {
        *error = "text expected for " + name;
        return false;
    }
    if (!TextFromJson(name, value, pointer, limit, !blob, options, out, error)) return false;
    if (!blob) out->resize(limit, ' ');
    return true;
}

}  // namespace zelt::plm
