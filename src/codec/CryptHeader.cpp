#include "codec/CryptHeader.h"

#include <cstring>

#include "base/LogBase.h"
#include "codec/BlowFish.h"
#include "codec/TwoFish.h"
#include "platform/Crypto.h"

namespace tarvex {
namespace {

const char kMark[7] = {'o', 's', 't', 'r', 'a', 'n', 'd'};

uint32_t loadLe(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// 128, 192 or 256 bits from the header's key length.
uint32_t aesKeyBytes(uint32_t bits) { return bits < 129 ? 16 : bits < 193 ? 24 : 32; }

}  // namespace

const uint8_t CryptHeader::kTwoFishIv[16] = {};

bool CryptHeader::isLegacy(const uint8_t* data, uint32_t n) {
    return data && n >= sizeof kMark && std::memcmp(data, kMark, sizeof kMark) == 0;
}

bool CryptHeader::parse(const uint8_t* data, uint32_t n, LogBase& log) {
    if (!isLegacy(data, n) || n < kSize) {
        log.LogError("Encrypted data header is too short");
        return false;
    }
    algorithm_ = data[8];
    plainLength_ = loadLe(data + 12);
    keyBits_ = loadLe(data + 16);
    if (algorithm_ != kAes && algorithm_ != kBlowFish && algorithm_ != kTwoFish) {
        log.LogError("Unknown encryption algorithm");
        log.LogDataLong("algorithm", algorithm_);
        return false;
    }
    const uint32_t payload = n - kSize;
    const uint32_t block = algorithm_ == kBlowFish ? 8 : 16;
    if (payload % block != 0) {
        log.LogError("Encrypted data is not a whole number of blocks");
        return false;
    }
    if (plainLength_ > payload) {
        log.LogError("Encrypted data header claims more bytes than it holds");
        log.LogDataLong("claimed", static_cast<int32_t>(plainLength_ > 0x7FFFFFFFu ? 0x7FFFFFFFu : plainLength_));
        return false;
    }
    return true;
}

bool CryptHeader::decrypt(uint8_t* data, uint32_t n, const uint8_t* keyMaterial, uint32_t* length, LogBase& log) {
    *length = 0;
    if (!parse(data, n, log)) return false;
    uint8_t* payload = data + kSize;
    const uint32_t size = n - kSize;
    static const uint8_t kZeroIv[16] = {};
    bool good = false;
    if (algorithm_ == kAes) {
        platform::AesCbc aes;
        good = aes.init(false, keyMaterial, aesKeyBytes(keyBits_), kZeroIv) && aes.update(payload, size, payload);
    } else if (algorithm_ == kBlowFish) {
        uint32_t bits = keyBits_ < 448 ? keyBits_ : 448;
        bits -= bits % 8;
        if (bits < 40) bits = 40;
        BlowFish cipher;
        good = cipher.setKey(keyMaterial, bits / 8);
        if (good) cipher.decryptEcb(payload, size, payload);
    } else {
        TwoFish cipher;
        good = cipher.setKey(keyMaterial, aesKeyBytes(keyBits_));
        if (good) cipher.decryptCbc(kTwoFishIv, payload, size, payload);
    }
    if (!good) {
        log.LogError("Failed to decrypt data");
        return false;
    }
    // No padding is removed: the header's length cuts the plaintext.
    *length = plainLength_;
    return true;
}

}  // namespace tarvex
