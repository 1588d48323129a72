#include "storage/tables/record_codec.hpp"

#include <algorithm>

#include "runtime/file/collation.hpp"
#include "storage/tables/item_keys.hpp"

namespace zelt::storage {
namespace {

enum class Direction { ToOem, ToAnsi };

void Convert(char* bytes, std::size_t n, Direction direction) {
    if (direction == Direction::ToOem)
        runtime::AnsiToOemInPlace(bytes, n);
    else
        runtime::OemToAnsiInPlace(bytes, n);
}

void ConvertTextFields(const TableDefinition& definition, Bytes& record, Direction direction) {
    for (const auto& f : definition.fields) {
        if (f.overlay || f.offset >= record.size()) continue;
        const std::size_t size = std::min<std::size_t>(f.size, record.size() - f.offset);
        char* at = record.data() + f.offset;
        switch (f.type) {
            case 18:
                Convert(at, size, direction);
                break;  // STRING: all of it
            case 19: {  // CSTRING: up to its zero
                const std::size_t n = static_cast<std::size_t>(std::find(at, at + size, '\0') - at);
                Convert(at, n, direction);
                break;
            }
            case 20: {  // PSTRING: the counted bytes after the length byte
                if (size == 0) break;
                const std::size_t n =
                    std::min<std::size_t>(static_cast<std::uint8_t>(at[0]), size - 1);
                Convert(at + 1, n, direction);
                break;
            }
            default:
                break;
        }
    }
}

}  // namespace

Bytes RecordForStore(const TableDefinition& definition, bool oem, BytesView record) {
    Bytes stored(record);
    if (oem) ConvertTextFields(definition, stored, Direction::ToOem);
    return stored;
}

void RecordFromStore(const TableDefinition& definition, bool oem, Bytes& record) {
    if (oem) ConvertTextFields(definition, record, Direction::ToAnsi);
}

std::vector<Bytes> MemoChunks(const MemoDescriptor& memo, bool oem, BytesView contents) {
    Bytes bytes;
    if (memo.Blob()) {
        bytes = Bytes(contents);
    } else {
        const auto last = contents.find_last_not_of(' ');
        bytes = last == BytesView::npos ? Bytes{} : Bytes(contents.substr(0, last + 1));
        if (bytes.size() > memo.size) bytes.resize(memo.size);
    }
    std::vector<Bytes> chunks;
    if (bytes.empty()) return chunks;
    if (oem && !memo.Binary()) runtime::AnsiToOemInPlace(bytes.data(), bytes.size());
    std::size_t at = 0;
    if (memo.Blob()) {
        Bytes first;
        AppendU32LittleEndian(first, static_cast<std::uint32_t>(bytes.size()));
        const std::size_t n = std::min(kMemoChunk, bytes.size());
        first.append(bytes, 0, n);
        chunks.push_back(std::move(first));
        at = n;
    }
    for (; at < bytes.size(); at += kMemoChunk) chunks.push_back(bytes.substr(at, kMemoChunk));
    return chunks;
}

bool MemoFromChunks(const MemoDescriptor& memo, bool oem, const std::vector<Bytes>& chunks,
                    Bytes& contents) {
    Bytes bytes;
    bool sound = true;
    if (memo.Blob()) {
        if (!chunks.empty()) {
            if (chunks.front().size() < 4) return false;
            const std::uint32_t length = ReadU32LittleEndian(chunks.front(), 0);
            bytes.append(chunks.front(), 4);
            for (std::size_t i = 1; i < chunks.size(); ++i) bytes.append(chunks[i]);
            sound = bytes.size() == length;
            bytes.resize(std::min<std::size_t>(bytes.size(), length));
        }
    } else {
        for (const auto& chunk : chunks) bytes.append(chunk);
        if (bytes.size() > memo.size) {
            sound = false;
            bytes.resize(memo.size);
        }
    }
    if (oem && !memo.Binary()) runtime::OemToAnsiInPlace(bytes.data(), bytes.size());
    if (!memo.Blob()) bytes.resize(memo.size, ' ');
    contents = std::move(bytes);
    return sound;
}

Bytes EmptyMemo(const MemoDescriptor& memo) {
    return memo.Blob() ? Bytes{} : Bytes(memo.size, ' ');
}

}  // namespace zelt::storage
