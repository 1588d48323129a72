#include "framework/browse/table_view.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/browse/record_filter_compiler.hpp"
#include "framework/field_access.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"

namespace zelt::framework {

namespace {

namespace err = runtime::err;
using runtime::FieldType;

std::string Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

FilterValue ReadFieldValue(runtime::Table& table, int field) {
    const auto& fields = table.Declaration().Fields();
    if (field < 0 || field >= static_cast<int>(fields.size())) return {};
    const auto& d = fields[static_cast<std::size_t>(field)];
    const std::span<char> bytes = FieldBytes(table, field);
    switch (d.type) {
        case FieldType::String: {
            std::string s(bytes.data(), bytes.size());
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return {true, std::move(s), 0};
        }
        case FieldType::CString:
            return {true, std::string(bytes.data(), strnlen(bytes.data(), bytes.size())), 0};
        case FieldType::PString: {
            if (bytes.empty()) return {true, {}, 0};
            const std::size_t n =
                std::min<std::size_t>(static_cast<unsigned char>(bytes[0]), bytes.size() - 1);
            return {true, std::string(bytes.data() + 1, n), 0};
        }
        case FieldType::SReal: {
            float f = 0;
            if (bytes.size() >= sizeof f) std::memcpy(&f, bytes.data(), sizeof f);
            return {false, {}, f};
        }
        case FieldType::Real: {
            double v = 0;
            if (bytes.size() >= sizeof v) std::memcpy(&v, bytes.data(), sizeof v);
            return {false, {}, v};
        }
        default:
            if (auto n = FieldNumber(table, field)) return {false, {}, static_cast<double>(*n)};
            return {true, std::string(bytes.data(), bytes.size()), 0};
    }
}

namespace {

bool IsTextField(FieldType type) {
    return type == FieldType::String || type == FieldType::CString || type == FieldType::PString;
}

// Stores text (already in the table's character set) into a text field, cut to its width.
void StoreText(std::span<char> bytes, FieldType type, std::string_view text) {
    if (type == FieldType::String) {
        std::memset(bytes.data(), ' ', bytes.size());
        std::copy_n(text.data(), std::min(text.size(), bytes.size()),
                    bytes.data());  // an empty text may have no data
    } else if (type == FieldType::CString) {
        std::memset(bytes.data(), 0, bytes.size());
        if (!bytes.empty())
            std::copy_n(text.data(), std::min(text.size(), bytes.size() - 1), bytes.data());
    } else {
        std::memset(bytes.data(), 0, bytes.size());
        if (!bytes.empty()) {
            const std::size_t n = std::min({text.size(), bytes.size() - 1, std::size_t{255}});
            bytes[0] = static_cast<char>(n);
            std::copy_n(text.data(), n, bytes.data() + 1);
        }
    }
}

}  // namespace

runtime::Binding FieldBinding(runtime::Table& table, int field) {
    // A control shows UTF-8; a text field holds Windows-1252 (stored_text.hpp). Text that
    // the field cannot hold is refused by the check and never written.
    const auto& declared = table.Declaration().Fields().at(static_cast<std::size_t>(field));
    const bool text_field = IsTextField(declared.type);
    runtime::Binding binding(
        [&table, field] {
            const FilterValue v = ReadFieldValue(table, field);
            if (v.text) return runtime::StoredToUtf8(v.s);
            const auto n = FieldNumber(table, field);
            return n ? std::to_string(*n) : std::to_string(v.n);
        },
        [&table, field](std::string_view text) {
            const auto& d = table.Declaration().Fields().at(static_cast<std::size_t>(field));
            if (IsTextField(d.type)) {
                if (const std::optional<std::string> stored = runtime::Utf8ToStored(text))
                    StoreText(FieldBytes(table, field), d.type, *stored);
            } else {
                SetFieldNumber(table, field, runtime::ParseBoundNumber(text));
            }
        });
    if (!text_field) return binding;
    return std::move(binding).Checked(
        [](std::string_view text) { return runtime::StoredTextRefusal(text); });
}

std::string TableView::Name() const {
    return table_.FileName();
}

runtime::ErrorCode TableView::Open() {
    if (opened_) return err::FileAlreadyOpen;
    opened_ = true;
    return err::NoError;
}

runtime::ErrorCode TableView::SetOrder(std::string_view order) {
    const auto& declaration = table_.Declaration();
    const std::string text = Trim(order);
    if (text.empty()) {
        key_ = -1;
        return err::NoError;
    }
    if (const int by_label = declaration.KeyNumber(text); by_label >= 0) {
        key_ = by_label;
        return err::NoError;
    }
    // The components, each "+label" or "-label".
    std::vector<runtime::KeyComponent> wanted;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string part = Trim(std::string_view(text).substr(start, comma - start));
        bool descending = false;
        if (!part.empty() && (part[0] == '+' || part[0] == '-')) {
            descending = part[0] == '-';
            part = Trim(std::string_view(part).substr(1));
        }
        const int field = declaration.FieldNumber(part);
        if (field < 0) return err::InvalidExpression;
        wanted.push_back({field, descending});
        start = comma + 1;
    }
    const auto& keys = declaration.Keys();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const auto& components = keys[k].components;
        if (components.size() < wanted.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < wanted.size() && match; ++i)
            match = components[i].field == wanted[i].field &&
                    components[i].descending == wanted[i].descending;
        if (match) {
            key_ = static_cast<int>(k);
            return err::NoError;
        }
    }
    return err::InvalidExpression;
}

runtime::ErrorCode TableView::SetFilter(std::string_view filter) {
    filter_error_.clear();
    auto parsed = FilterExpression::Parse(filter, TableFieldResolver(table_), &filter_error_);
    if (!parsed) return err::InvalidExpression;
    filter_ = std::move(*parsed);
    return err::NoError;
}

runtime::ErrorCode TableView::SetStart() {
    position_.clear();
    return key_ >= 0 ? table_.SetKey(key_) : table_.SetFile();
}

runtime::ErrorCode TableView::SetAtBuffer() {
    position_.clear();
    return key_ >= 0 ? table_.SetKeyKey(key_) : table_.SetFile();
}

runtime::ErrorCode TableView::ResetTo(std::string_view position) {
    // A driver that returns to a position by itself does so without reading the record;
    // otherwise the record is read and the sequence starts at its key values.
    position_.clear();
    runtime::ErrorCode code = key_ >= 0 ? table_.ResetKey(key_, position) : table_.Reset(position);
    if (code != err::UnsupportedFunction) return code;
    code = key_ >= 0 ? table_.RegetKey(key_, position) : table_.Reget(position);
    if (code != err::NoError) return code;
    return key_ >= 0 ? table_.SetKeyKey(key_) : err::NoError;  // file order reads on from there
}

runtime::ErrorCode TableView::Reget(std::string_view position) {
    return key_ >= 0 ? table_.RegetKey(key_, position) : table_.Reget(position);
}

runtime::ErrorCode TableView::Read(bool next) {
    for (;;) {
        const runtime::ErrorCode code = next ? table_.Next() : table_.Previous();
        if (code != err::NoError) return code;
        if (!filter_.Evaluate()) continue;
        position_ = key_ >= 0 ? table_.PositionKey(key_) : table_.Position();
        return err::NoError;
    }
}

}  // namespace zelt::framework
