#include "storage/io/block_cipher.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <atomic>
#include <cstring>

namespace zelt::storage::io {
namespace {

constexpr char kUnitMagic[4] = {'p', 'L', 'm', 'K'};
constexpr std::uint8_t kUnitVersion = 1;
constexpr std::uint8_t kPbkdf2Sha256 = 1;
// Header bytes that hold the header's tag: section 59's start and end; section 58's end.
constexpr std::size_t kHeaderTagAt[8] = {268, 269, 270, 271, 508, 509, 510, 511};
constexpr std::size_t kSection58End = 504;
constexpr std::size_t kHeaderSize = 512;

// Section 59 as enciphered files keep it: empty, at section 58's end.
void Normalize(std::uint8_t* header) {
    for (std::size_t i = 0; i < 8; ++i) header[kHeaderTagAt[i]] = header[kSection58End + i % 4];
}

std::atomic<std::uint32_t> g_iterations_for_new_files{BlockCipher::kIterations};

// Key bytes that are wiped however the scope is left.
template <std::size_t N>
struct Secret {
    std::array<unsigned char, N> bytes{};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

std::uint32_t GetU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

}  // namespace

struct BlockCipher::Contexts {
    EVP_CIPHER_CTX* enc = nullptr;
    EVP_CIPHER_CTX* dec = nullptr;
    ~Contexts() {
        EVP_CIPHER_CTX_free(enc);  // frees and wipes the expanded keys
        EVP_CIPHER_CTX_free(dec);
    }
};

std::optional<BlockCipher::KeyUnit> BlockCipher::NewKeyUnit() {
    KeyUnit unit;
    unit.iterations = g_iterations_for_new_files.load();
    if (RAND_bytes(unit.salt.data(), static_cast<int>(unit.salt.size())) != 1) return std::nullopt;
    return unit;
}

std::optional<BlockCipher::KeyUnit> BlockCipher::ParseKeyUnit(const std::uint8_t* raw) {
    if (std::memcmp(raw, kUnitMagic, 4) != 0 || raw[4] != kUnitVersion || raw[5] != kPbkdf2Sha256)
        return std::nullopt;
    KeyUnit unit;
    unit.iterations = GetU32(raw + 8);
    if (unit.iterations == 0 || unit.iterations > kMostIterations) return std::nullopt;
    std::memcpy(unit.salt.data(), raw + 12, unit.salt.size());
    return unit;
}

void BlockCipher::WriteKeyUnit(const KeyUnit& unit, std::uint8_t* raw) {
    std::memset(raw, 0, kKeyUnitSize);
    std::memcpy(raw, kUnitMagic, 4);
    raw[4] = kUnitVersion;
    raw[5] = kPbkdf2Sha256;
    for (int i = 0; i < 4; ++i) raw[8 + i] = static_cast<std::uint8_t>(unit.iterations >> (8 * i));
    std::memcpy(raw + 12, unit.salt.data(), unit.salt.size());
}

void BlockCipher::SetIterationsForNewFiles(std::uint32_t iterations) {
    g_iterations_for_new_files = iterations == 0 ? kIterations : iterations;
}

std::unique_ptr<BlockCipher> BlockCipher::Derive(std::string_view owner, const KeyUnit& unit) {
    // 64 bytes for the two XTS keys, 32 for the tags.
    Secret<96> key;
    if (PKCS5_PBKDF2_HMAC(owner.data(), static_cast<int>(owner.size()), unit.salt.data(),
                          static_cast<int>(unit.salt.size()), static_cast<int>(unit.iterations),
                          EVP_sha256(), static_cast<int>(key.bytes.size()),
                          key.bytes.data()) != 1) {
        return nullptr;
    }
    std::unique_ptr<BlockCipher> cipher(new BlockCipher());
    cipher->ctx_ = std::make_unique<Contexts>();
    cipher->ctx_->enc = EVP_CIPHER_CTX_new();
    cipher->ctx_->dec = EVP_CIPHER_CTX_new();
    if (cipher->ctx_->enc == nullptr || cipher->ctx_->dec == nullptr) return nullptr;
    if (EVP_EncryptInit_ex(cipher->ctx_->enc, EVP_aes_256_xts(), nullptr, key.bytes.data(),
                           nullptr) != 1 ||
        EVP_DecryptInit_ex(cipher->ctx_->dec, EVP_aes_256_xts(), nullptr, key.bytes.data(),
                           nullptr) != 1) {
        return nullptr;
    }
    std::memcpy(cipher->mac_key_.data(), key.bytes.data() + 64, cipher->mac_key_.size());
    return cipher;
}

BlockCipher::~BlockCipher() {
    OPENSSL_cleanse(mac_key_.data(), mac_key_.size());
}

bool BlockCipher::Run(bool encipher, std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    EVP_CIPHER_CTX* ctx = encipher ? ctx_->enc : ctx_->dec;
    for (std::size_t pos = 0; pos + 64 <= length; pos += 64) {
        std::array<unsigned char, 16> tweak{};
        std::uint64_t at = offset + pos;
        for (int i = 0; i < 8; ++i)
            tweak[static_cast<std::size_t>(i)] = static_cast<unsigned char>(at >> (8 * i));
        int out_len = 0;
        if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, tweak.data(), encipher ? 1 : 0) != 1)
            return false;
        if (EVP_CipherUpdate(ctx, data + pos, &out_len, data + pos, 64) != 1 || out_len != 64)
            return false;
    }
    return true;
}

bool BlockCipher::Encipher(std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    return Run(true, data, length, offset);
}

bool BlockCipher::Decipher(std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    return Run(false, data, length, offset);
}

std::array<std::uint8_t, 32> BlockCipher::Mac(const std::uint8_t* data, std::size_t length) const {
    std::array<std::uint8_t, 32> out{};
    unsigned int out_length = 0;
    HMAC(EVP_sha256(), mac_key_.data(), static_cast<int>(mac_key_.size()), data, length, out.data(),
         &out_length);
    return out;
}

namespace {
// The tagged length of a sealed page, or 0 when its length field cannot hold a tag.
std::size_t TaggedLength(std::string_view page) {
    if (page.size() < 6) return 0;
    const std::size_t stored = static_cast<std::uint8_t>(page[4]) |
                               static_cast<std::size_t>(static_cast<std::uint8_t>(page[5])) << 8;
    if (stored < 13 + BlockCipher::kPageTag || stored > page.size()) return 0;
    return stored - BlockCipher::kPageTag;
}
}  // namespace

void BlockCipher::SealPage(std::string& page) const {
    const std::size_t tagged = TaggedLength(page);
    if (tagged == 0) return;
    const auto mac = Mac(reinterpret_cast<const std::uint8_t*>(page.data()), tagged);
    std::memcpy(page.data() + tagged, mac.data(), kPageTag);
}

bool BlockCipher::PageSealed(std::string_view page) const {
    const std::size_t tagged = TaggedLength(page);
    if (tagged == 0) return false;
    const auto mac = Mac(reinterpret_cast<const std::uint8_t*>(page.data()), tagged);
    return CRYPTO_memcmp(page.data() + tagged, mac.data(), kPageTag) == 0;
}

void BlockCipher::SealHeader(std::uint8_t* header) const {
    Normalize(header);
    const auto mac = Mac(header, kHeaderSize);
    for (std::size_t i = 0; i < 8; ++i) header[kHeaderTagAt[i]] = mac[i];
}

bool BlockCipher::UnsealHeader(std::uint8_t* header) const {
    std::array<std::uint8_t, 8> tag{};
    for (std::size_t i = 0; i < 8; ++i) tag[i] = header[kHeaderTagAt[i]];
    Normalize(header);
    const auto mac = Mac(header, kHeaderSize);
    return CRYPTO_memcmp(tag.data(), mac.data(), tag.size()) == 0;
}

}  // namespace zelt::storage::io
