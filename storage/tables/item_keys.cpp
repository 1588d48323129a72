#include "storage/tables/item_keys.hpp"

#include "storage/pagefile/key_order.hpp"

namespace zelt::storage {

void AppendU32BigEndian(Bytes& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}
std::uint32_t ReadU32BigEndian(BytesView bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(at + i < bytes.size() ? bytes[at + i] : 0);
    return value;
}
void AppendU32LittleEndian(Bytes& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.append(bytes, 4);
}
std::uint32_t ReadU32LittleEndian(BytesView bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | static_cast<std::uint8_t>(at + i < bytes.size() ? bytes[at + i] : 0);
    return value;
}
std::uint32_t TableIdValue(const TableId& id) {
    return (std::uint32_t{id[0]} << 24) | (std::uint32_t{id[1]} << 16) |
           (std::uint32_t{id[2]} << 8) | id[3];
}
TableId TableIdFromValue(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes TablePrefix(const TableId& id) {
    return Bytes(reinterpret_cast<const char*>(id.data()), id.size());
}
Bytes TypePrefix(const TableId& id, std::uint8_t type) {
    Bytes key = TablePrefix(id);
    key.push_back(static_cast<char>(type));
    return key;
}
Bytes DirectoryItemKey(std::string_view table_name) {
    Bytes key(1, static_cast<char>(item_type::Directory));
    key.append(table_name);
    return key;
}
Bytes RecordItemKey(const TableId& id, std::uint32_t record) {
    // Built in place: a walk makes one for every record it reads.
    const char key[9] = {static_cast<char>(id[0]),
                         static_cast<char>(id[1]),
                         static_cast<char>(id[2]),
                         static_cast<char>(id[3]),
                         static_cast<char>(item_type::Record),
                         static_cast<char>(record >> 24),
                         static_cast<char>(record >> 16),
                         static_cast<char>(record >> 8),
                         static_cast<char>(record)};
    return Bytes(key, sizeof key);
}
Bytes CounterItemKey(const TableId& id, std::uint8_t index) {
    Bytes key = TypePrefix(id, item_type::Counter);
    key.push_back(static_cast<char>(index));
    return key;
}
Bytes DefinitionChunkKey(const TableId& id, std::uint16_t chunk) {
    Bytes key = TypePrefix(id, item_type::Definition);
    key.push_back(static_cast<char>(chunk & 0xFF));
    key.push_back(static_cast<char>(chunk >> 8));
    return key;
}
Bytes CollationItemKey(const TableId& id) {
    Bytes key = TypePrefix(id, item_type::Collation);
    key.push_back(1);
    return key;
}
Bytes MemoPrefix(const TableId& id, std::uint32_t record) {
    Bytes key = TypePrefix(id, item_type::Memo);
    AppendU32BigEndian(key, record);
    return key;
}
Bytes MemoChunkKey(const TableId& id, std::uint32_t record, std::uint8_t memo,
                   std::uint16_t chunk) {
    Bytes key = MemoPrefix(id, record);
    key.push_back(static_cast<char>(memo));
    key.push_back(static_cast<char>(chunk >> 8));
    key.push_back(static_cast<char>(chunk & 0xFF));
    return key;
}

std::uint32_t RecordNumberOfItem(BytesView key) {
    return key.size() < 4 ? 0 : ReadU32BigEndian(key, key.size() - 4);
}
}  // namespace zelt::storage
