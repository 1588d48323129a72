// Encipherment and authentication of a file that has an owner string.
//
// Every 64-byte block of an enciphered file is enciphered with AES-256-XTS, the block's file
// offset serving as the tweak, so equal blocks at different places differ on disk and a
// block can be read or written on its own. Each page carries a 16-byte tag and the header an
// 8-byte tag (HMAC-SHA-256); index pages hold their children's tags and the header the
// root's, so a changed, moved, mixed or old page, a changed header and a wrong owner string
// are refused instead of read. The keys come from the owner string and the
// file's own random salt through PBKDF2-HMAC-SHA-256; salt and iteration count live in the
// file's key unit, the plain 256 bytes at offset 512. docs/storage-cipher.md describes the
// layout and what it protects.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::storage::io {

class BlockCipher {
  public:
    static constexpr std::uint64_t kKeyUnitOffset = 512;
    static constexpr std::size_t kKeyUnitSize = 256;
    static constexpr std::uint32_t kIterations = 600000;
    // The count is read from the file before anything in it can be checked, so a patched
    // unit could keep an open busy for minutes: a unit that asks for more is refused.
    static constexpr std::uint32_t kMostIterations = 4'000'000;
    static constexpr std::size_t kPageTag = 16;
    // An index page keeps the first bytes of each child's tag, the header those of the
    // root's (in its spare fields at offsets 18 and 32), so an old page put back is refused.
    static constexpr std::size_t kChildTag = 4;
    static constexpr std::size_t kRootTagAt[6] = {18, 19, 32, 33, 34, 35};
    static constexpr int kLargestClass = 58;

    // The key unit: salt and iteration count of the key derivation, in the clear.
    struct KeyUnit {
        std::array<std::uint8_t, 16> salt{};
        std::uint32_t iterations = kIterations;
    };
    // A fresh unit with a random salt (null when no random bytes could be had).
    static std::optional<KeyUnit> NewKeyUnit();
    // Parses a stored unit; null when the bytes are no key unit.
    static std::optional<KeyUnit> ParseKeyUnit(const std::uint8_t* raw);
    static void WriteKeyUnit(const KeyUnit& unit, std::uint8_t* raw);
    // The iteration count new files get. Tests lower it so that opens stay quick; the count
    // a file was made with is read from its key unit.
    static void SetIterationsForNewFiles(std::uint32_t iterations);

    // Derives the keys from `owner` and `unit`; null when the cipher library refuses.
    static std::unique_ptr<BlockCipher> Derive(std::string_view owner, const KeyUnit& unit);
    ~BlockCipher();
    BlockCipher(const BlockCipher&) = delete;
    BlockCipher& operator=(const BlockCipher&) = delete;

    // Both work in place on `length` bytes (a multiple of 64) that lie at file `offset`.
    bool Encipher(std::uint8_t* data, std::size_t length, std::uint64_t offset);
    bool Decipher(std::uint8_t* data, std::size_t length, std::uint64_t offset);

    // Page tags: the last 16 bytes within a page's stored length (the length field counts
    // them) tag everything before them, the home offset and the length field included.
    void SealPage(std::string& page) const;
    bool PageSealed(std::string_view page) const;
    // Header tags: eight bytes in the places of section 59's start and end (offsets 268 and
    // 508), which enciphered files never use; read back, both hold section 58's end again.
    // UnsealHeader restores them and says whether the tag held.
    void SealHeader(std::uint8_t* header) const;
    bool UnsealHeader(std::uint8_t* header) const;

  private:
    BlockCipher() = default;
    bool Run(bool encipher, std::uint8_t* data, std::size_t length, std::uint64_t offset);
    std::array<std::uint8_t, 32> Mac(const std::uint8_t* data, std::size_t length) const;
    struct Contexts;
    std::unique_ptr<Contexts> ctx_;
    std::array<std::uint8_t, 32> mac_key_{};
};

}  // namespace zelt::storage::io
