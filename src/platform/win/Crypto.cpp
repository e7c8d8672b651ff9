// MD5 and AES-CBC from CNG (bcrypt). The algorithm providers are opened once
// per process and kept until it ends; keys are made per use.
#include "platform/Crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

namespace tarvex {
namespace platform {
namespace {

bool ok(NTSTATUS status) { return status >= 0; }

BCRYPT_ALG_HANDLE openAes() {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (!ok(BCryptOpenAlgorithmProvider(&alg, BCRYPT_AES_ALGORITHM, nullptr, 0))) return nullptr;
    const wchar_t* mode = BCRYPT_CHAIN_MODE_CBC;
    if (!ok(BCryptSetProperty(alg, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                              static_cast<ULONG>((wcslen(mode) + 1) * sizeof(wchar_t)), 0))) {
        BCryptCloseAlgorithmProvider(alg, 0);
        return nullptr;
    }
    return alg;
}

BCRYPT_ALG_HANDLE aesProvider() {
    static const BCRYPT_ALG_HANDLE alg = openAes();
    return alg;
}

BCRYPT_ALG_HANDLE md5Provider() {
    static const BCRYPT_ALG_HANDLE alg = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        return ok(BCryptOpenAlgorithmProvider(&h, BCRYPT_MD5_ALGORITHM, nullptr, 0)) ? h : nullptr;
    }();
    return alg;
}

ULONG objectLength(BCRYPT_ALG_HANDLE alg) {
    DWORD length = 0;
    ULONG got = 0;
    if (!ok(BCryptGetProperty(alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0)))
        return 0;
    return length;
}

}  // namespace

bool md5(const void* data, uint32_t n, uint8_t digest[16]) {
    BCRYPT_ALG_HANDLE alg = md5Provider();
    if (!alg) return false;
    std::vector<UCHAR> object(objectLength(alg) + 1);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!ok(BCryptCreateHash(alg, &hash, object.data(), static_cast<ULONG>(object.size()), nullptr, 0, 0)))
        return false;
    bool good = true;
    if (n > 0) good = ok(BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), n, 0));
    good = good && ok(BCryptFinishHash(hash, digest, 16, 0));
    BCryptDestroyHash(hash);
    return good;
}

struct AesCbc::State {
    BCRYPT_KEY_HANDLE key = nullptr;
    std::vector<UCHAR> keyObject;
    UCHAR iv[16] = {};
    bool encrypt = true;

    void dropKey() {
        if (key) BCryptDestroyKey(key);
        key = nullptr;
    }
};

AesCbc::~AesCbc() {
    if (state_) {
        state_->dropKey();
        delete state_;
    }
}

bool AesCbc::init(bool encrypt, const uint8_t* key, uint32_t keyBytes, const uint8_t iv[16]) {
    BCRYPT_ALG_HANDLE alg = aesProvider();
    if (!alg || !key || !iv || (keyBytes != 16 && keyBytes != 24 && keyBytes != 32)) return false;
    if (!state_) state_ = new State;
    state_->dropKey();
    state_->keyObject.assign(objectLength(alg) + 1, 0);
    if (!ok(BCryptGenerateSymmetricKey(alg, &state_->key, state_->keyObject.data(),
                                       static_cast<ULONG>(state_->keyObject.size()),
                                       const_cast<PUCHAR>(key), keyBytes, 0))) {
        state_->key = nullptr;
        return false;
    }
    std::memcpy(state_->iv, iv, 16);
    state_->encrypt = encrypt;
    return true;
}

bool AesCbc::update(const uint8_t* in, uint32_t n, uint8_t* out) {
    if (!state_ || !state_->key || n % 16 != 0) return false;
    if (n == 0) return true;
    // CNG leaves the last ciphertext block in the IV buffer, which chains the
    // next call. Without padding, input and output may share a block.
    ULONG done = 0;
    NTSTATUS status = state_->encrypt
        ? BCryptEncrypt(state_->key, const_cast<PUCHAR>(in), n, nullptr, state_->iv, 16, out, n, &done, 0)
        : BCryptDecrypt(state_->key, const_cast<PUCHAR>(in), n, nullptr, state_->iv, 16, out, n, &done, 0);
    return ok(status) && done == n;
}

}  // namespace platform
}  // namespace tarvex
