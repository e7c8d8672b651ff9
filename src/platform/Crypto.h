// Cryptographic primitives taken from the system: the MD5 digest and AES in
// CBC mode over whole blocks. Linux uses OpenSSL's libcrypto, Windows CNG.
#pragma once

#include <cstdint>

namespace tarvex {
namespace platform {

// MD5 of n bytes into digest. False when the system service fails.
bool md5(const void* data, uint32_t n, uint8_t digest[16]);

// AES in CBC mode, no padding, with a 16-, 24- or 32-byte key. The chaining
// value carries over from one update to the next, so a long input can be
// passed in pieces.
class AesCbc {
public:
    AesCbc() = default;
    ~AesCbc();
    AesCbc(const AesCbc&) = delete;
    AesCbc& operator=(const AesCbc&) = delete;

    // False for another key size or when the system refuses.
    bool init(bool encrypt, const uint8_t* key, uint32_t keyBytes, const uint8_t iv[16]);
    // n must be a multiple of 16; `in` and `out` may be the same block.
    bool update(const uint8_t* in, uint32_t n, uint8_t* out);

private:
    struct State;
    State* state_ = nullptr;
};

}  // namespace platform
}  // namespace tarvex
