#include "tools/plm/field_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

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
        for (std::size_t n = 0; n + 1 < nibbles; ++n) digits.push_back(static_cast<char>('0' + Nibble(raw, n) % 10));
        negative = Nibble(raw, nibbles - 1) == 0x0D;
    } else {
        negative = Nibble(raw, 0) != 0;
        for (std::size_t n = 1; n < nibbles; ++n) digits.push_back(static_cast<char>('0' + Nibble(raw, n) % 10));
    }
    if (digits.size() < f.places) digits.insert(0, f.places - digits.size(), '0');
    return DigitsToText(digits, std::min<std::uint8_t>(f.places, static_cast<std::uint8_t>(digits.size())), negative);
}

bool TextToDecimal(const FieldDescriptor& f, const std::string& text, char* at, std::size_t size,
                   bool packed_sign_last, std::string* error) {
    std::string s = text;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.erase(0, 1);
    }
    const auto dot = s.find('.');
    std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string{} : s.substr(dot + 1);
    for (char c : whole + fraction)
        if (c < '0' || c > '9') {
            *error = "not a decimal number: " + text;
            return false;
        }
    if (fraction.size() > f.places) fraction.resize(f.places);
    fraction.append(f.places - fraction.size(), '0');
    std::string digits = whole + fraction;
    const std::size_t capacity = size * 2 - 1;
    const auto first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string{} : digits.substr(first);
    if (digits.size() > capacity) {
        *error = "value too large for the field: " + text;
        return false;
    }
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

Json ElementToJson(const FieldDescriptor& f, BytesView raw) {
    switch (f.type) {
    case 1: return Json::Number(static_cast<std::uint8_t>(raw[0]));
    case 2: return Json::Number(Load<std::int16_t>(raw));
    case 3: return Json::Number(Load<std::uint16_t>(raw));
    case 4:
    case 5:
    case 6: return Json::Number(Load<std::int32_t>(raw));
    case 7: return Json::Number(Load<std::uint32_t>(raw));
    case 8: return Json::Number(Load<float>(raw));
    case 9: return Json::Number(Load<double>(raw));
    case 10: return Json::Text(DecimalText(f, raw, false));
    case 11: return Json::Text(DecimalText(f, raw, true));
    case 18: {
        const auto last = raw.find_last_not_of(' ');
        return Json::Text(std::string(last == BytesView::npos ? BytesView{} : raw.substr(0, last + 1)));
    }
    case 19: return Json::Text(std::string(raw.substr(0, raw.find('\0'))));
    case 20: {
        const std::size_t n = raw.empty() ? 0 : std::min<std::size_t>(static_cast<std::uint8_t>(raw[0]), raw.size() - 1);
        return Json::Text(std::string(raw.substr(1, n)));
    }
    default: return Json();
    }
}

bool ElementFromJson(const FieldDescriptor& f, const Json& v, char* at, std::size_t size,
                     std::string* error) {
    const bool text_type = f.type == 18 || f.type == 19 || f.type == 20 || f.type == 10 || f.type == 11;
    if (text_type && !v.IsString() && !v.IsNumber()) {
        *error = "text expected for " + f.name;
        return false;
    }
    if (!text_type && !v.IsNumber()) {
        *error = "number expected for " + f.name;
        return false;
    }
    const double n = v.IsNumber() ? v.AsNumber() : 0;
    const auto check = [&](double low, double high) {
        if (n < low || n > high || std::floor(n) != n) {
            *error = "value out of range for " + f.name + ": " + v.NumberText();
            return false;
        }
        return true;
    };
    switch (f.type) {
    case 1: if (!check(0, 255)) return false; at[0] = static_cast<char>(static_cast<int>(n)); return true;
    case 2: if (!check(-32768, 32767)) return false; Store(at, static_cast<std::int16_t>(n)); return true;
    case 3: if (!check(0, 65535)) return false; Store(at, static_cast<std::uint16_t>(n)); return true;
    case 4:
    case 5:
    case 6: if (!check(-2147483648.0, 2147483647.0)) return false; Store(at, static_cast<std::int32_t>(n)); return true;
    case 7: if (!check(0, 4294967295.0)) return false; Store(at, static_cast<std::uint32_t>(n)); return true;
    case 8: Store(at, static_cast<float>(n)); return true;
    case 9: Store(at, n); return true;
    case 10:
    case 11:
        return TextToDecimal(f, v.IsString() ? v.AsString() : v.NumberText(), at, size, f.type == 11, error);
    default: break;
    }
    const std::string text = Utf8ToAnsi(v.IsString() ? v.AsString() : v.NumberText());
    if (f.type == 18) {
        std::memset(at, ' ', size);
        std::memcpy(at, text.data(), std::min(text.size(), size));
    } else if (f.type == 19) {
        std::memset(at, 0, size);
        std::memcpy(at, text.data(), std::min(text.size(), size - 1));
    } else {
        std::memset(at, 0, size);
        const std::size_t len = std::min({text.size(), size - 1, std::size_t{255}});
        at[0] = static_cast<char>(len);
        std::memcpy(at + 1, text.data(), len);
    }
    return true;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const unsigned code = ((b & 0x1Fu) << 6) | (static_cast<std::uint8_t>(text[i + 1]) & 0x3Fu);
            out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
            ++i;
        } else {
            // Longer sequences have no single-byte form.
            while (i + 1 < text.size() && (static_cast<std::uint8_t>(text[i + 1]) & 0xC0) == 0x80) ++i;
            out.push_back('?');
        }
    }
    return out;
}

Json FieldToJson(const FieldDescriptor& f, BytesView record) {
    if (f.offset + f.size > record.size() || f.type == 22) return Json();
    const std::uint32_t elements = std::max<std::uint32_t>(1, f.elements);
    const std::uint32_t element_size = f.size / elements;
    if (elements == 1) return ElementToJson(f, record.substr(f.offset, f.size));
    Json array = Json::Array();
    for (std::uint32_t e = 0; e < elements; ++e)
        array.Push(ElementToJson(f, record.substr(f.offset + e * element_size, element_size)));
    return array;
}

bool JsonToField(const FieldDescriptor& f, const Json& value, Bytes& record, std::string* error) {
    if (f.offset + f.size > record.size() || f.type == 22) return true;
    const std::uint32_t elements = std::max<std::uint32_t>(1, f.elements);
    const std::uint32_t element_size = f.size / elements;
    if (elements == 1)
        return ElementFromJson(f, value, record.data() + f.offset, f.size, error);
    if (!value.IsArray() || value.Items().size() > elements) {
        *error = "an array of at most " + std::to_string(elements) + " values expected for " + f.name;
        return false;
    }
    for (std::size_t e = 0; e < value.Items().size(); ++e)
        if (!ElementFromJson(f, value.Items()[e], record.data() + f.offset + e * element_size,
                             element_size, error))
            return false;
    return true;
}

}  // namespace zelt::plm
