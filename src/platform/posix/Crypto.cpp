// MD5 and AES-CBC from OpenSSL's libcrypto. The algorithms are fetched from
// the default provider once per process; a fetch per call would look them up
// in the provider store every time.
#include "platform/Crypto.h"

#include <openssl/evp.h>

namespace tarvex {
namespace platform {
namespace {

const EVP_CIPHER* aesCipher(uint32_t keyBytes) {
    static EVP_CIPHER* const aes128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
    if (keyBytes == 16) return aes128;
    // The longer keys serve only old stored data: fetched when first needed.
    if (keyBytes == 24) {
        static EVP_CIPHER* const aes192 = EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr);
        return aes192;
    }
    if (keyBytes == 32) {
        static EVP_CIPHER* const aes256 = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
        return aes256;
    }
    return nullptr;
}

const EVP_MD* md5Digest() {
    static EVP_MD* const md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md;
}

}  // namespace

bool md5(const void* data, uint32_t n, uint8_t digest[16]) {
    const EVP_MD* md = md5Digest();
    unsigned int length = 0;
    static const uint8_t kNothing = 0;
    if (!data) data = &kNothing;
    return md && EVP_Digest(data, n, digest, &length, md, nullptr) == 1 && length == 16;
}

struct AesCbc::State {
    EVP_CIPHER_CTX* ctx = nullptr;
};

AesCbc::~AesCbc() {
    if (state_) {
        EVP_CIPHER_CTX_free(state_->ctx);
        delete state_;
    }
}

bool AesCbc::init(bool encrypt, const uint8_t* key, uint32_t keyBytes, const uint8_t iv[16]) {
    const EVP_CIPHER* cipher = aesCipher(keyBytes);
    if (!cipher || !key || !iv) return false;
    if (!state_) {
        state_ = new State;
        state_->ctx = EVP_CIPHER_CTX_new();
    }
    if (!state_->ctx) return false;
    if (EVP_CipherInit_ex2(state_->ctx, cipher, key, iv, encrypt ? 1 : 0, nullptr) != 1) return false;
    return EVP_CIPHER_CTX_set_padding(state_->ctx, 0) == 1;
}

bool AesCbc::update(const uint8_t* in, uint32_t n, uint8_t* out) {
    if (!state_ || !state_->ctx || n % 16 != 0) return false;
    // EVP lengths are int: large inputs go through in pieces.
    const uint32_t kPiece = 1u << 30;
    while (n > 0) {
        const uint32_t piece = n < kPiece ? n : kPiece;
        int written = 0;
        if (EVP_CipherUpdate(state_->ctx, out, &written, in, static_cast<int>(piece)) != 1 ||
            written != static_cast<int>(piece))
            return false;
        in += piece;
        out += piece;
        n -= piece;
    }
    return true;
}

}  // namespace platform
}  // namespace tarvex
