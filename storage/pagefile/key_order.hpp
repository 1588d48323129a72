// Byte-wise key order, inline.
//
// Items sort by their key bytes taken as unsigned values, shorter first on a tie: the order
// of std::string_view's comparison. Keys are short (a record key is nine bytes), and a walk
// or an insert compares several per step, so these compare eight bytes at a time in place
// instead of calling the C library for each.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zelt::storage {

// How many of the first `limit` bytes of `a` and `b` are equal.
inline std::size_t CommonPrefixLength(const char* a, const char* b, std::size_t limit) {
    std::size_t n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n + 8 <= limit; n += 8) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// <0, 0 or >0 as `a` sorts before, with or after `b`. (Not built on CommonPrefixLength: a
// byte swap settles the order of the first differing word at once, which a walk notices.)
inline int CompareKeys(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= common; i += 8) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
        }
    }
    for (; i < common; ++i) {
        const auto x = static_cast<std::uint8_t>(a[i]);
        const auto y = static_cast<std::uint8_t>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline bool KeyLess(std::string_view a, std::string_view b) {
    return CompareKeys(a, b) < 0;
}

inline bool KeyEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareKeys(a, b) == 0;
}

}  // namespace zelt::storage
