// Sealed pages of an enciphered file: each page ends with its children's tags (index
// pages) and its own tag, and the root's tag sits in the header, so that a page read is
// checked against what its parent expects and a commit seals the pages from the leaves up.
#include "storage/tree/tree_file.hpp"

#include <cstring>

#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"

namespace zelt::storage {

namespace {
std::uint32_t GetU16At(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8;
}
std::uint32_t GetU32At(const std::string& bytes, std::size_t at) {
    return GetU16At(bytes, at) | GetU16At(bytes, at + 2) << 16;
}
void PutU16At(std::string& bytes, std::size_t at, std::uint32_t v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
// Bytes a sealed page keeps behind its body: its children's tags and its own tag.
std::size_t TrailerLength(std::uint8_t level, std::size_t items) {
    return io::BlockCipher::kPageTag + (level > 0 ? io::BlockCipher::kChildTag * items : 0);
}
}  // namespace

void TreeFile::Unseal(std::int32_t address, std::uint64_t offset, std::string& bytes) {
    // The tag must hold for this page at this home, and be the one its parent expects.
    if (GetU32At(bytes, 0) != offset || !handle_->cipher()->PageSealed(bytes))
        RaiseFault(fault::PageTag);
    const std::size_t stored = GetU16At(bytes, 4);
    const char* tag = bytes.data() + stored - io::BlockCipher::kPageTag;
    if (address == header_.root()) {
        for (std::size_t i = 0; i < 6; ++i) {
            if (tag[i] != static_cast<char>(header_.data()[io::BlockCipher::kRootTagAt[i]]))
                RaiseFault(fault::PageTag);
        }
    } else {
        auto it = child_tags_.find(address);
        if (it == child_tags_.end() || std::memcmp(it->second.data(), tag, it->second.size()) != 0)
            RaiseFault(fault::PageTag);
    }
    const auto level = static_cast<std::uint8_t>(bytes[12]);
    const std::size_t items = GetU16At(bytes, 10);
    const std::size_t trailer = TrailerLength(level, items);
    if (stored < 13 + trailer || (level > 0 && 13 + 4 * items > stored - trailer))
        RaiseFault(fault::PageTag);
    const std::size_t length = stored - trailer;
    for (std::size_t i = 0; level > 0 && i < items; ++i) {
        Tag& expected = child_tags_[static_cast<std::int32_t>(GetU32At(bytes, 13 + 4 * i))];
        std::memcpy(expected.data(), bytes.data() + length + i * expected.size(), expected.size());
    }
    PutU16At(bytes, 4, static_cast<std::uint32_t>(length));
    bytes.resize(RoundUnit(static_cast<std::uint32_t>(length)));
}

void TreeFile::DirtyParents() {
    Node* root = Root();
    std::vector<Node*> work = cache_.DirtyNodes();
    for (std::size_t i = 0; i < work.size(); ++i) {
        Node* node = work[i];
        if (node == root || node->page.items.empty()) continue;
        Node* parent = DescendToLevel(node->page.items.front().key(), node->page.level + 1);
        if (parent->dirty) continue;
        Dirty(parent);
        work.push_back(parent);
    }
}

void TreeFile::Seal(const Node& node, std::string& bytes) {
    const std::size_t stored = GetU16At(bytes, 4);
    const std::size_t trailer = TrailerLength(node.page.level, node.page.items.size());
    std::size_t at = stored - trailer;
    for (std::size_t i = 0; node.page.level > 0 && i < node.page.children.size();
         ++i, at += io::BlockCipher::kChildTag) {
        auto it = child_tags_.find(node.page.children[i]);
        if (it == child_tags_.end()) RaiseFault(fault::ItemTreeLinks);
        std::memcpy(bytes.data() + at, it->second.data(), it->second.size());
    }
    handle_->cipher()->SealPage(bytes);
    const char* tag = bytes.data() + stored - io::BlockCipher::kPageTag;
    std::memcpy(child_tags_[node.address].data(), tag, io::BlockCipher::kChildTag);
    if (node.address == header_.root()) {
        for (std::size_t i = 0; i < 6; ++i)
            header_.data()[io::BlockCipher::kRootTagAt[i]] = static_cast<std::uint8_t>(tag[i]);
    }
}

std::string TreeFile::PageBytes(const PageContent& page) const {
    if (!handle_->enciphered()) return EncodePageImage(page);
    std::string bytes = EncodePageImage(page, TrailerLength(page.level, page.items.size()) + kUnit);
    const std::size_t length = GetU16At(bytes, 4) + TrailerLength(page.level, page.items.size());
    if (length > static_cast<std::size_t>(io::BlockCipher::kLargestClass) * kUnit)
        RaiseFault(fault::PageTooLong);
    bytes.resize(RoundUnit(static_cast<std::uint32_t>(length)), static_cast<char>(kPageFill));
    bytes[4] = static_cast<char>(length & 0xFF);
    bytes[5] = static_cast<char>(length >> 8);
    return bytes;
}

}  // namespace zelt::storage
