// The 512-byte file header: journal bounds, magic, identifier counter, change counter,
// root address and the section table of the page size classes.
//
// Page addresses count 256-byte units from offset 512. Section k (1..59) holds only pages
// of k units, between its start (inclusive) and end (exclusive) address.
#pragma once

#include <array>
#include <cstdint>

namespace zelt::storage {

inline constexpr int kHeaderSize = 512;
inline constexpr int kUnit = 256;
inline constexpr int kMaxClass = 59;
inline constexpr int kMaxPageBytes = kMaxClass * kUnit;  // 15104

// Byte offset of the page at address `a`.
inline std::int64_t AddressToOffset(std::int32_t a) {
    return std::int64_t{a} * kUnit + kHeaderSize;
}
// `x` raised to the next multiple of 256.
inline std::uint32_t RoundUnit(std::uint32_t x) {
    return (x + kUnit - 1) / kUnit * kUnit;
}

class FileHeader {
  public:
    // A new file's header: all zero but the block length and the magic.
    static FileHeader Fresh();
    static FileHeader FromBytes(const std::uint8_t* bytes);

    bool MagicOk() const;
    std::uint32_t committed_end() const { return U32(6); }
    std::uint32_t journal_end() const { return U32(10); }
    std::uint32_t change_counter() const { return U32(24); }
    std::int32_t root() const { return static_cast<std::int32_t>(U32(28)); }
    std::int32_t start(int k) const { return static_cast<std::int32_t>(U32(32 + 4 * k)); }
    std::int32_t end(int k) const { return static_cast<std::int32_t>(U32(272 + 4 * k)); }

    void set_committed_end(std::uint32_t v) { SetU32(6, v); }
    void set_journal_end(std::uint32_t v) { SetU32(10, v); }
    void set_change_counter(std::uint32_t v) { SetU32(24, v); }
    void set_root(std::int32_t v) { SetU32(28, static_cast<std::uint32_t>(v)); }
    void set_start(int k, std::int32_t v) { SetU32(32 + 4 * k, static_cast<std::uint32_t>(v)); }
    void set_end(int k, std::int32_t v) { SetU32(272 + 4 * k, static_cast<std::uint32_t>(v)); }

    // Whether the section table can describe a file at all: sections in ascending order,
    // each a whole number of its pages, every address within 32-bit file offsets.
    bool SectionsSane() const;

    // Pages held by section k.
    std::int32_t pages(int k) const { return (end(k) - start(k)) / k; }
    // Size class of address `a`, or 0 when no section holds it.
    int ClassOf(std::int32_t a) const;
    // Byte offset just behind the highest non-empty section.
    std::uint32_t ComputedEnd() const;

    // The big-endian identifier counter at offset 20.
    std::array<std::uint8_t, 4> identifier() const { return {b_[20], b_[21], b_[22], b_[23]}; }
    void set_identifier(const std::array<std::uint8_t, 4>& v) {
        for (int i = 0; i < 4; ++i)
            b_[static_cast<std::size_t>(20 + i)] = v[static_cast<std::size_t>(i)];
    }

    const std::uint8_t* data() const { return b_.data(); }
    std::uint8_t* data() { return b_.data(); }
    bool operator==(const FileHeader&) const = default;

  private:
    // Little-endian fields; inline, since section lookups read dozens of them at a time.
    std::uint32_t U32(int at) const {
        const auto i = static_cast<std::size_t>(at);
        return std::uint32_t{b_[i]} | std::uint32_t{b_[i + 1]} << 8 |
               std::uint32_t{b_[i + 2]} << 16 | std::uint32_t{b_[i + 3]} << 24;
    }
    void SetU32(int at, std::uint32_t v) {
        const auto i = static_cast<std::size_t>(at);
        b_[i] = static_cast<std::uint8_t>(v);
        b_[i + 1] = static_cast<std::uint8_t>(v >> 8);
        b_[i + 2] = static_cast<std::uint8_t>(v >> 16);
        b_[i + 3] = static_cast<std::uint8_t>(v >> 24);
    }
    std::array<std::uint8_t, kHeaderSize> b_{};
};

}  // namespace zelt::storage
