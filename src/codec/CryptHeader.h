// CryptHeader: the legacy encrypted format that decryption still reads.
//
// A 24-byte header, then the ciphertext:
//   0  "ostrand"     8  algorithm: 1 AES, 2 Blowfish, 3 Twofish
//   12 plaintext length (little-endian)   16 key length in bits
// The other header bytes are ignored. Nothing in the header is trusted: a
// short header, a payload that is not whole blocks or a plaintext length
// beyond the payload is refused, never read past.
#pragma once

#include <cstdint>

namespace tarvex {

class LogBase;

class CryptHeader {
public:
    static constexpr uint32_t kSize = 24;
    static constexpr uint8_t kAes = 1;
    static constexpr uint8_t kBlowFish = 2;
    static constexpr uint8_t kTwoFish = 3;

    // True when the bytes begin with the 7-byte mark.
    static bool isLegacy(const uint8_t* data, uint32_t n);
    // Reads the header. False, with a log line, when it cannot be trusted.
    bool parse(const uint8_t* data, uint32_t n, LogBase& log);
    // Decrypts the payload of data (parsed first) in place with the key
    // material; the plaintext then starts at data + kSize, *length bytes.
    bool decrypt(uint8_t* data, uint32_t n, const uint8_t* keyMaterial, uint32_t* length, LogBase& log);

    uint8_t algorithm() const { return algorithm_; }
    uint32_t plainLength() const { return plainLength_; }
    uint32_t keyBits() const { return keyBits_; }

    // The fixed IV of legacy Twofish data. Only the first block depends on
    // it; every later block decrypts whatever it is.
    static const uint8_t kTwoFishIv[16];

private:
    uint8_t algorithm_ = 0;
    uint32_t plainLength_ = 0;
    uint32_t keyBits_ = 0;
};

}  // namespace tarvex
