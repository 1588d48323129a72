#include "storage/pagefile/file_header.hpp"

#include <cstring>

namespace zelt::storage {
namespace {
constexpr std::uint8_t kMagic[4] = {0x70, 0x4C, 0x6D, 0x52};
}

FileHeader FileHeader::Fresh() {
    FileHeader h;
    h.b_[4] = 0x00;
    h.b_[5] = 0x02;
    std::memcpy(h.b_.data() + 14, kMagic, 4);
    return h;
}

FileHeader FileHeader::FromBytes(const std::uint8_t* bytes) {
    FileHeader h;
    std::memcpy(h.b_.data(), bytes, kHeaderSize);
    return h;
}

bool FileHeader::MagicOk() const {
    return std::memcmp(b_.data() + 14, kMagic, 4) == 0;
}

bool FileHeader::SectionsSane() const {
    constexpr std::int32_t kHighest = (0x7FFFFFFF - kHeaderSize) / kUnit;
    if (end(0) < 0 || end(0) > kHighest) return false;
    for (int k = 1; k <= kMaxClass; ++k) {
        if (start(k) < end(k - 1) || end(k) < start(k) || end(k) > kHighest) return false;
        if ((end(k) - start(k)) % k != 0) return false;
    }
    return true;
}

int FileHeader::ClassOf(std::int32_t a) const {
    for (int k = 1; k <= kMaxClass; ++k) {
        if (start(k) <= a && a < end(k)) return k;
        // Sections ascend (a header read from disk is refused otherwise): once one starts
        // above `a`, none further on holds it.
        if (start(k) > a) break;
    }
    return 0;
}

std::uint32_t FileHeader::ComputedEnd() const {
    for (int k = kMaxClass; k >= 1; --k) {
        if (end(k) != start(k)) return static_cast<std::uint32_t>(end(k)) * kUnit + kHeaderSize;
    }
    return static_cast<std::uint32_t>(end(0)) * kUnit + kHeaderSize;
}

}  // namespace zelt::storage
