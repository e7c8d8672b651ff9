// ClsAesInterop: password encryption of node content.
//
// The key material of a password P is MD5(P) followed by MD5 of the base64
// of P (32 bytes); an empty password leaves the key at 16 zero bytes. Data
// is written as AES-128 in CBC mode with an all-zero IV, padded with p bytes
// of value p (1 to 16), with no header, salt or authentication: a stored
// format that files and peers rely on. Decryption also reads the legacy
// format (see CryptHeader).
#pragma once

#include <cstdint>

namespace tarvex {

class ContentCoding;
class LogBase;
class OutputDataBuffer;
class StringBuffer;

class ClsAesInterop {
public:
    static constexpr uint32_t kKeyMaterial = 32;

    ClsAesInterop();
    // Sets the password bytes and derives the key material. False when the
    // digest service fails.
    bool setPassword(const uint8_t* password, uint32_t n);
    // Key material, zero-filled beyond what the password gave (56 bytes).
    const uint8_t* keyMaterial() const { return key_; }

    // Appends the ciphertext of the bytes (always a non-empty multiple of 16).
    bool encryptBytes(const uint8_t* data, uint32_t n, OutputDataBuffer& out) const;
    // The same, written straight into `out` (emptied first) as line-broken
    // base64: the ciphertext is never held whole.
    bool encryptToBase64Lines(const uint8_t* data, uint32_t n, const ContentCoding& coding,
                              StringBuffer& out) const;
    // Decrypts in place: the legacy format when the bytes begin with its
    // mark, else the current one, whose padding is checked and removed.
    // False, with a log line, for a wrong password (the padding check misses
    // about one in 256), a length that is not whole blocks, or a malformed
    // legacy header. On success *length is the plaintext length.
    bool decryptBytes(uint8_t* data, uint32_t n, uint32_t* length, LogBase& log) const;

private:
    // Zero-filled up to the longest legacy key (448 bits).
    uint8_t key_[56];
};

}  // namespace tarvex
