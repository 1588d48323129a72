// Copies of a few bytes without a call into the C library.
//
// The bytes a page holds mostly move in short pieces (literals of a coded page, the
// prefix an item shares with the one before it, a key entry's few bytes), where the call
// and the library's setup cost more than the bytes. Up to 64 bytes they go as overlapping
// moves of 8 or 16 bytes; longer ones through memcpy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelt::storage {

// `to` has room for `n` bytes; `from` holds `n`, and the two do not overlap.
inline void CopySmall(char* to, const char* from, std::size_t n) {
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
        return;
    }
    if (n < 16) {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
        return;
    }
    if (n > 64) {
        std::memcpy(to, from, n);
        return;
    }
    char block[16];
    for (std::size_t done = 0; done + 16 < n; done += 16) {
        std::memcpy(block, from + done, 16);
        std::memcpy(to + done, block, 16);
    }
    std::memcpy(block, from + n - 16, 16);
    std::memcpy(to + n - 16, block, 16);
}

}  // namespace zelt::storage
