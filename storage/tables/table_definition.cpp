#include "storage/tables/table_definition.hpp"

#include <algorithm>

#include "runtime/file/field_type.hpp"
#include "storage/tables/item_keys.hpp"

namespace zelt::storage {

using runtime::ErrorCode;
using runtime::FieldType;
namespace err = runtime::err;

bool FieldDescriptor::operator==(const FieldDescriptor& o) const {
    return type == o.type && offset == o.offset && name == o.name && elements == o.elements &&
           size == o.size && overlay == o.overlay && number == o.number && places == o.places &&
           element_size == o.element_size && element_length == o.element_length &&
           picture == o.picture;
}

std::uint32_t TableDefinition::KeyComponentsSize(std::size_t k) const {
    std::uint32_t total = 0;
    for (const auto& c : keys[k].components)
        if (c.field < fields.size()) total += fields[c.field].size;
    return total;
}

int TableDefinition::FieldNumber(std::string_view stored_name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == stored_name) return static_cast<int>(i);
    return -1;
}

int TableDefinition::KeyNumber(std::string_view label) const {
    const std::string wanted = runtime::UpperLabel(label);
    for (std::size_t i = 0; i < keys.size(); ++i)
        if ((keys[i].label && runtime::UpperLabel(*keys[i].label) == wanted) ||
            (keys[i].external_name && runtime::UpperLabel(*keys[i].external_name) == wanted))
            return static_cast<int>(i);
    return -1;
}

namespace {

bool StorableRecordType(std::uint8_t type) {
    return (type >= 1 && type <= 10) || type == 18 || type == 19 || type == 20 || type == 22;
}

std::optional<std::string> Present(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

}  // namespace

ErrorCode DefinitionFromDeclaration(const runtime::TableDeclaration& declaration,
                                    TableDefinition& out) {
    out = TableDefinition{};
    out.record_length = declaration.RecordLength();
    const auto& fields = declaration.Fields();
    // A record item (9 key bytes and the record) must fit an item of the file.
    if (declaration.Keys().size() > kMaxKeys || declaration.Memos().size() > kMaxMemos ||
        out.record_length + 9 >= 15094)
        return err::InvalidRecordDeclaration;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& f = fields[i];
        FieldDescriptor d;
        d.type = static_cast<std::uint8_t>(f.type);
        d.offset = f.offset;
        d.name = f.StoredName();
        d.elements = f.ElementCount();
        d.size = f.size;
        d.overlay = f.overlays >= 0;
        d.overlays = f.overlays;
        d.number = static_cast<std::uint16_t>(i);
        if (f.type == FieldType::Decimal || f.type == FieldType::PDecimal) {
            d.places = f.places;
            d.element_size = static_cast<std::uint8_t>(f.ElementSize());
        } else if (runtime::IsTextType(f.type)) {
            d.element_length = static_cast<std::uint16_t>(f.ElementSize());
            d.picture = f.picture;
        }
        if (std::uint64_t{f.offset} + f.size > out.record_length)
            return err::InvalidFieldTypeDescriptor;
        if (d.overlay) {
            const auto& covered = fields[static_cast<std::size_t>(f.overlays)];
            if (f.offset < covered.offset || f.offset + f.size > covered.offset + covered.size)
                return err::InvalidFieldTypeDescriptor;
        } else if (!StorableRecordType(d.type)) {
            return err::UnsupportedDataType;
        }
        out.fields.push_back(std::move(d));
    }
    for (const auto& m : declaration.Memos()) {
        if (!m.blob && m.size > kMaxMemoSize) return err::InvalidRecordDeclaration;
        MemoDescriptor d;
        d.external_name = Present(m.external_name);
        d.label = m.stored_label.empty() ? runtime::UpperLabel(m.label) : m.stored_label;
        d.size = m.size;
        d.attributes = static_cast<std::uint16_t>((m.binary ? memo_attr::Binary : 0) |
                                                  (m.blob ? memo_attr::Blob : 0));
        if (m.blob) out.version = 2;
        out.memos.push_back(std::move(d));
    }
    for (const auto& k : declaration.Keys()) {
        KeyDescriptor d;
        d.external_name = Present(k.external_name);
        d.label = k.StoredLabel();
        d.attributes = k.attributes;
        for (const auto& c : k.components) {
            if (c.field < 0 || static_cast<std::size_t>(c.field) >= fields.size())
                return err::InvalidFieldTypeDescriptor;
            if (fields[static_cast<std::size_t>(c.field)].ElementCount() > 1)
                return err::InvalidFieldTypeDescriptor;
            d.components.push_back({static_cast<std::uint16_t>(c.field), c.descending});
        }
        out.keys.push_back(std::move(d));
    }
    return err::NoError;
}

// The stream ---------------------------------------------------------------------------

namespace {

class StreamWriter {
  public:
    void U8(std::uint32_t v) { out_.push_back(static_cast<char>(v & 0xFF)); }
    void U16(std::uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void Text(const std::optional<std::string>& text) {
        if (!text) {
            U8(0);
            U8(1);
        } else if (text->empty()) {
            U8(0);
            U8(0);
        } else {
            out_.append(*text);
            U8(0);
        }
    }
    Bytes Take() { return std::move(out_); }

  private:
    Bytes out_;
};

// Reads past the end as zero bytes, as missing chunks read; `overrun` tells when that
// went further than a few stray bytes.
class StreamReader {
  public:
    explicit StreamReader(BytesView in) : in_(in) {}
    std::uint8_t U8() {
        if (at_ >= in_.size()) {
            ++at_;
            return 0;
        }
        return static_cast<std::uint8_t>(in_[at_++]);
    }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | (U8() << 8));
    }
    std::optional<std::string> Text() {
        std::string text;
        while (at_ < in_.size() && in_[at_] != '\0') text.push_back(in_[at_++]);
        ++at_;  // the terminator
        if (!text.empty()) return text;
        if (U8() == 1) return std::nullopt;
        return std::string{};
    }
    bool Overrun() const { return at_ > in_.size() + kDefinitionChunk; }

  private:
    BytesView in_;
    std::size_t at_ = 0;
};

bool IsDecimalType(std::uint8_t t) {
    return t == 10 || t == 11;
}
bool IsTextCode(std::uint8_t t) {
    return t == 18 || t == 19 || t == 20;
}

// Whether a field read back from a stream is one a declaration could have made: a type the
// runtime knows (kept in the record unless it overlays), its number in sequence, at least
// one element, a size that the type and the elements give, and a place inside the record.
bool FieldSound(const FieldDescriptor& f, std::size_t index, std::uint32_t record_length) {
    if (!runtime::IsKnownFieldType(f.type) || f.number != index || f.elements == 0) return false;
    if (!f.overlay && !StorableRecordType(f.type)) return false;
    if (std::uint64_t{f.offset} + f.size > record_length) return false;
    const auto type = static_cast<FieldType>(f.type);
    if (const std::uint32_t fixed = runtime::FixedElementSize(type); fixed != 0)
        return std::uint64_t{fixed} * f.elements == f.size;
    if (IsDecimalType(f.type))
        return f.element_size >= 1 && f.element_size <= 16 &&
               std::uint64_t{f.element_size} * f.elements == f.size;
    if (IsTextCode(f.type))
        return f.element_length >= 1 && std::uint64_t{f.element_length} * f.elements == f.size;
    return true;  // groups and overlays of other types: their size is what they cover
}

}  // namespace

Bytes WriteDefinitionStream(const TableDefinition& d) {
    StreamWriter w;
    w.U16(d.version);
    w.U16(d.record_length);
    w.U16(static_cast<std::uint32_t>(d.fields.size()));
    w.U16(static_cast<std::uint32_t>(d.memos.size()));
    w.U16(static_cast<std::uint32_t>(d.keys.size()));
    for (const auto& f : d.fields) {
        w.U8(f.type);
        w.U16(f.offset);
        w.Text(f.name);
        w.U16(f.elements);
        w.U16(f.size);
        w.U16(f.overlay ? 1 : 0);
        w.U16(f.number);
        if (IsDecimalType(f.type)) {
            w.U8(f.places);
            w.U8(f.element_size);
        } else if (IsTextCode(f.type)) {
            w.U16(f.element_length);
            w.Text(f.picture);
        }
    }
    for (const auto& m : d.memos) {
        w.Text(m.external_name);
        w.Text(m.label);
        w.U16(m.size);
        w.U16(m.attributes);
    }
    for (const auto& k : d.keys) {
        w.Text(k.external_name);
        w.Text(k.label);
        w.U8(k.attributes);
        w.U16(static_cast<std::uint32_t>(k.components.size()));
        for (const auto& c : k.components) {
            w.U16(c.field);
            w.U16(c.descending ? 1 : 0);
        }
    }
    return w.Take();
}

bool ReadDefinitionStream(BytesView stream, TableDefinition& out) {
    StreamReader r(stream);
    TableDefinition d;
    d.version = r.U16();
    d.record_length = r.U16();
    const std::uint16_t field_count = r.U16();
    const std::uint16_t memo_count = r.U16();
    const std::uint16_t key_count = r.U16();
    if (d.version < 1 || d.version > 2 || key_count > kMaxKeys || memo_count > kMaxMemos ||
        d.record_length + 9 >= 15094)
        return false;
    for (std::uint16_t i = 0; i < field_count && !r.Overrun(); ++i) {
        FieldDescriptor f;
        f.type = r.U8();
        f.offset = r.U16();
        f.name = r.Text().value_or(std::string{});
        f.elements = r.U16();
        f.size = r.U16();
        f.overlay = r.U16() != 0;
        f.number = r.U16();
        if (IsDecimalType(f.type)) {
            f.places = r.U8();
            f.element_size = r.U8();
        } else if (IsTextCode(f.type)) {
            f.element_length = r.U16();
            f.picture = r.Text();
        }
        if (!FieldSound(f, i, d.record_length)) return false;
        d.fields.push_back(std::move(f));
    }
    for (std::uint16_t i = 0; i < memo_count && !r.Overrun(); ++i) {
        MemoDescriptor m;
        m.external_name = r.Text();
        m.label = r.Text();
        m.size = r.U16();
        m.attributes = r.U16();
        if (!m.Blob() && m.size > kMaxMemoSize) return false;
        d.memos.push_back(std::move(m));
    }
    for (std::uint16_t i = 0; i < key_count && !r.Overrun(); ++i) {
        KeyDescriptor k;
        k.external_name = r.Text();
        k.label = r.Text();
        k.attributes = r.U8();
        const std::uint16_t components = r.U16();
        for (std::uint16_t c = 0; c < components && !r.Overrun(); ++c) {
            KeyComponentDescriptor component;
            component.field = r.U16();
            component.descending = r.U16() != 0;
            if (component.field >= d.fields.size() || d.fields[component.field].elements != 1)
                return false;
            k.components.push_back(component);
        }
        d.keys.push_back(std::move(k));
    }
    if (r.Overrun()) return false;
    // Overlays: point each overlay at the field that covers it.
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        auto& f = d.fields[i];
        if (!f.overlay) continue;
        for (std::size_t j = 0; j < i; ++j) {
            const auto& g = d.fields[j];
            if (!g.overlay && f.offset >= g.offset && f.offset + f.size <= g.offset + g.size)
                f.overlays = static_cast<int>(j);
        }
    }
    out = std::move(d);
    return true;
}

std::string DefinitionInconsistency(const TableDefinition& d) {
    namespace key_attr = runtime::key_attr;
    constexpr std::uint8_t kDefined = key_attr::Dup | key_attr::Opt | key_attr::NoCase |
                                      key_attr::Reserved | key_attr::Primary | key_attr::Index |
                                      key_attr::Dynamic;
    for (std::size_t k = 0; k < d.keys.size(); ++k) {
        const KeyDescriptor& key = d.keys[k];
        const std::string name =
            "key " + key.label.value_or(key.external_name.value_or("number " + std::to_string(k)));
        if ((key.attributes & ~kDefined) != 0) return name + ": attribute byte has undefined bits";
        if ((key.attributes & key_attr::Primary) != 0 &&
            (key.attributes & (key_attr::Dup | key_attr::Index | key_attr::Dynamic)) != 0)
            return name + ": attribute byte makes a primary key a DUP key or an index";
    }
    const auto name_of = [&](std::size_t i) {
        return "field " +
               (d.fields[i].name.empty() ? "number " + std::to_string(i) : d.fields[i].name);
    };
    const auto inside = [](const FieldDescriptor& inner, const FieldDescriptor& outer) {
        return inner.offset >= outer.offset &&
               inner.offset + inner.size <= outer.offset + outer.size;
    };
    constexpr std::uint8_t kGroup = 22;
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        const FieldDescriptor& f = d.fields[i];
        if (f.overlay) {
            if (f.overlays < 0) return name_of(i) + ": overlay flag, but it overlays no field";
            continue;
        }
        for (std::size_t j = 0; j < i; ++j) {
            const FieldDescriptor& g = d.fields[j];
            if (g.overlay || f.size == 0 || g.size == 0) continue;
            const bool apart = f.offset >= g.offset + g.size || g.offset >= f.offset + f.size;
            if (apart || (g.type == kGroup && inside(f, g))) continue;
            return name_of(i) + ": lies over " + name_of(j) + " without the overlay flag";
        }
    }
    return {};
}

bool VerifyDefinitionStream(BytesView stream, const TableDefinition& declared) {
    TableDefinition stored;
    if (!ReadDefinitionStream(stream, stored)) return false;
    if (stored.version != declared.version || stored.record_length != declared.record_length ||
        stored.fields.size() != declared.fields.size() ||
        stored.memos.size() != declared.memos.size() || stored.keys.size() != declared.keys.size())
        return false;
    for (std::size_t i = 0; i < stored.fields.size(); ++i)
        if (!(stored.fields[i] == declared.fields[i])) return false;
    for (std::size_t i = 0; i < stored.memos.size(); ++i) {
        const auto& a = stored.memos[i];
        const auto& b = declared.memos[i];
        if (a.external_name != b.external_name || a.label != b.label || a.size != b.size)
            return false;
    }
    for (std::size_t i = 0; i < stored.keys.size(); ++i) {
        const auto& a = stored.keys[i];
        const auto& b = declared.keys[i];
        if (a.external_name != b.external_name || a.label != b.label ||
            (a.attributes & ~runtime::key_attr::Primary) !=
                (b.attributes & ~runtime::key_attr::Primary) ||
            a.components.size() != b.components.size())
            return false;
        for (std::size_t c = 0; c < a.components.size(); ++c)
            if (a.components[c].field != b.components[c].field ||
                a.components[c].descending != b.components[c].descending)
                return false;
    }
    return true;
}

std::vector<Bytes> DefinitionChunks(BytesView stream) {
    std::vector<Bytes> chunks;
    for (std::size_t at = 0; at < stream.size(); at += kDefinitionChunk)
        chunks.emplace_back(stream.substr(at, kDefinitionChunk));
    if (chunks.empty()) chunks.emplace_back();
    return chunks;
}

}  // namespace zelt::storage
