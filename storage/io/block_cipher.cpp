#include "storage/io/block_cipher.hpp"

#include <openssl/evp.h>

#include <array>

namespace zelt::storage::io {

struct BlockCipher::Contexts {
    EVP_CIPHER_CTX* enc = nullptr;
    EVP_CIPHER_CTX* dec = nullptr;
    ~Contexts() {
        EVP_CIPHER_CTX_free(enc);
        EVP_CIPHER_CTX_free(dec);
    }
};

std::unique_ptr<BlockCipher> BlockCipher::FromOwner(std::string_view owner) {
    std::array<unsigned char, 64> key{};
    if (PKCS5_PBKDF2_HMAC(owner.data(), static_cast<int>(owner.size()),
                          reinterpret_cast<const unsigned char*>(kSalt.data()),
                          static_cast<int>(kSalt.size()), kIterations, EVP_sha256(),
                          static_cast<int>(key.size()), key.data()) != 1) {
        return nullptr;
    }
    std::unique_ptr<BlockCipher> cipher(new BlockCipher());
    cipher->ctx_ = std::make_unique<Contexts>();
    cipher->ctx_->enc = EVP_CIPHER_CTX_new();
    cipher->ctx_->dec = EVP_CIPHER_CTX_new();
    if (cipher->ctx_->enc == nullptr || cipher->ctx_->dec == nullptr) return nullptr;
    if (EVP_EncryptInit_ex(cipher->ctx_->enc, EVP_aes_256_xts(), nullptr, key.data(), nullptr) != 1 ||
        EVP_DecryptInit_ex(cipher->ctx_->dec, EVP_aes_256_xts(), nullptr, key.data(), nullptr) != 1) {
        return nullptr;
    }
    key.fill(0);
    return cipher;
}

BlockCipher::~BlockCipher() = default;

bool BlockCipher::Run(bool encipher, std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    EVP_CIPHER_CTX* ctx = encipher ? ctx_->enc : ctx_->dec;
    for (std::size_t pos = 0; pos + 64 <= length; pos += 64) {
        std::array<unsigned char, 16> tweak{};
        std::uint64_t at = offset + pos;
        for (int i = 0; i < 8; ++i) tweak[static_cast<std::size_t>(i)] = static_cast<unsigned char>(at >> (8 * i));
        int out_len = 0;
        if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, tweak.data(), encipher ? 1 : 0) != 1) return false;
        if (EVP_CipherUpdate(ctx, data + pos, &out_len, data + pos, 64) != 1 || out_len != 64) return false;
    }
    return true;
}

bool BlockCipher::Encipher(std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    return Run(true, data, length, offset);
}

bool BlockCipher::Decipher(std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    return Run(false, data, length, offset);
}

}  // namespace zelt::storage::io
