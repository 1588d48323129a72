#include "storage/tables/key_codec.hpp"

#include <algorithm>

namespace zelt::storage {
namespace {

void Invert(Bytes& bytes) {
    for (char& c : bytes) c = static_cast<char>(255 - static_cast<std::uint8_t>(c));
}

// The bytes of `field` in `record`, cut short where the record ends.
BytesView FieldBytes(const FieldDescriptor& field, BytesView record) {
    if (field.offset >= record.size()) return {};
    return record.substr(field.offset,
                         std::min<std::size_t>(field.size, record.size() - field.offset));
}

}  // namespace

void EncodeComponentInto(const FieldDescriptor& field, bool descending, bool nocase,
                         const KeyCollation& collation, BytesView record, Bytes& out) {
    BytesView raw = FieldBytes(field, record);
    out.clear();
    bool invert = descending;
    bool text = false;
    switch (field.type) {
        case 18:  // STRING
        case 22:  // GROUP
            out.assign(raw);
            text = true;
            break;
        case 19: {  // CSTRING
            const auto zero = raw.find('\0');
            out.assign(raw.substr(0, zero));
            text = true;
            break;
        }
        case 20: {  // PSTRING
            if (!raw.empty()) {
                const std::size_t n =
                    std::min<std::size_t>(static_cast<std::uint8_t>(raw[0]), raw.size() - 1);
                out.assign(raw.substr(1, n));
            }
            text = true;
            break;
        }
        case 3:  // USHORT
        case 7:  // ULONG
        case 4:  // DATE
        case 5:  // TIME
            out.assign(raw.rbegin(), raw.rend());
            break;
        case 2:  // SHORT
        case 6:  // LONG
            out.assign(raw.rbegin(), raw.rend());
            if (!out.empty()) out[0] = static_cast<char>(out[0] ^ 0x80);
            break;
        case 8:  // SREAL
        case 9:  // REAL
            out.assign(raw.rbegin(), raw.rend());
            if (!out.empty()) {
                if ((static_cast<std::uint8_t>(out[0]) & 0x80) == 0)
                    out[0] = static_cast<char>(out[0] | 0x80);
                else
                    invert = !invert;  // negative: the whole component is inverted
            }
            break;
        case 10:  // DECIMAL
            out.assign(raw);
            if (!out.empty()) {
                if ((static_cast<std::uint8_t>(out[0]) & 0xF0) != 0) {
                    out[0] = static_cast<char>(out[0] & 0x0F);
                    invert = !invert;
                }
                out[0] = static_cast<char>(out[0] ^ 0x80);
            }
            break;
        default:
            out.assign(raw);
            break;
    }
    out.resize(field.size, '\0');
    if (text) runtime::WeighText(collation.tables, collation.oem, nocase, out);
    if (invert) Invert(out);
}

Bytes EncodeKeyPrefix(const TableDefinition& definition, std::size_t key, const TableId& id,
                      const KeyCollation& collation, BytesView record) {
    Bytes out;
    EncodeKeyPrefixInto(definition, key, id, collation, record, out);
    return out;
}

void EncodeKeyPrefixInto(const TableDefinition& definition, std::size_t key, const TableId& id,
                         const KeyCollation& collation, BytesView record, Bytes& out) {
    const auto& k = definition.keys[key];
    out.assign(TablePrefix(id));
    out.push_back(static_cast<char>(key));
    // Each component is encoded in a buffer kept for the next: keys are encoded for every
    // record written.
    thread_local Bytes component;
    for (const auto& c : k.components) {
        EncodeComponentInto(definition.fields[c.field], c.descending, k.NoCase(), collation, record,
                            component);
        out += component;
    }
}

bool KeyFieldsSame(const TableDefinition& definition, std::size_t key, BytesView a, BytesView b) {
    for (const auto& c : definition.keys[key].components) {
        const auto& f = definition.fields[c.field];
        if (FieldBytes(f, a) != FieldBytes(f, b)) return false;
    }
    return true;
}

bool KeyIsEmpty(const TableDefinition& definition, std::size_t key, BytesView record) {
    for (const auto& c : definition.keys[key].components) {
        const auto& f = definition.fields[c.field];
        if (f.offset >= record.size()) continue;
        const BytesView raw = FieldBytes(f, record);
        bool empty = true;
        switch (f.type) {
            case 18:
            case 22:
                empty = raw.find_first_not_of(' ') == BytesView::npos;
                break;
            case 19:
            case 20:
                empty = raw.empty() || raw[0] == '\0';
                break;
            default:
                empty = raw.find_first_not_of('\0') == BytesView::npos;
                break;
        }
        if (!empty) return false;
    }
    return true;
}

std::optional<KeyEntry> BuildKeyEntry(const TableDefinition& definition, std::size_t key,
                                      const TableId& id, const KeyCollation& collation,
                                      BytesView record, std::uint32_t number) {
    KeyEntry entry;
    if (!BuildKeyEntryInto(definition, key, id, collation, record, number, entry))
        return std::nullopt;
    return entry;
}

bool BuildKeyEntryInto(const TableDefinition& definition, std::size_t key, const TableId& id,
                       const KeyCollation& collation, BytesView record, std::uint32_t number,
                       KeyEntry& entry) {
    const auto& k = definition.keys[key];
    if (k.Opt() && KeyIsEmpty(definition, key, record)) return false;
    EncodeKeyPrefixInto(definition, key, id, collation, record, entry.key);
    entry.data.clear();
    if (k.Dup())
        AppendU32BigEndian(entry.key, number);
    else
        AppendU32BigEndian(entry.data, number);
    return true;
}

std::uint32_t EntryRecordNumber(const KeyDescriptor& key, BytesView entry_key,
                                BytesView entry_data) {
    return key.Dup() ? RecordNumberOfItem(entry_key) : RecordNumberOfItem(entry_data);
}

}  // namespace zelt::storage
