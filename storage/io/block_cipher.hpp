// Encipherment of a file's 64-byte blocks.
//
// Every 64-byte block of an enciphered file is enciphered with AES-256-XTS, the block's file
// offset serving as the tweak, so equal blocks at different places differ on disk and a
// block can be read or written on its own. The 512-bit XTS key is derived from the owner
// string with PBKDF2-HMAC-SHA256 (see docs/storage-cipher.md for the parameters).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace zelt::storage::io {

class BlockCipher {
  public:
    // Derives the key from `owner`; null when the cipher library refuses to set up.
    static std::unique_ptr<BlockCipher> FromOwner(std::string_view owner);
    ~BlockCipher();
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;

    // Both work in place on `length` bytes (a multiple of 64) that lie at file `offset`.
    bool Encipher(std::uint8_t* data, std::size_t length, std::uint64_t offset);
    bool Decipher(std::uint8_t* data, std::size_t length, std::uint64_t offset);

    static constexpr int kIterations = 20000;
    static constexpr std::string_view kSalt = "ZELT item file owner key v1";

  private:
    BlockCipher() = default;
    bool Run(bool encipher, std::uint8_t* data, std::size_t length, std::uint64_t offset);
    struct Contexts;
    std::unique_ptr<Contexts> ctx_;
};

}  // namespace zelt::storage::io
