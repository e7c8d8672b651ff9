// TwoFish: the 128-bit block cipher with 128-, 192- or 256-bit keys, used
// only to read old stored data.
#pragma once

#include <cstdint>

namespace tarvex {

class TwoFish {
public:
    // False unless the key is 16, 24 or 32 bytes.
    bool setKey(const uint8_t* key, uint32_t n);
    void encryptBlock(const uint8_t in[16], uint8_t out[16]) const;
    void decryptBlock(const uint8_t in[16], uint8_t out[16]) const;
    // CBC over whole 16-byte blocks; a tail shorter than a block is copied.
    void decryptCbc(const uint8_t iv[16], const uint8_t* in, uint32_t n, uint8_t* out) const;

private:
    uint32_t g(uint32_t x) const {
        return sbox_[0][x & 255] ^ sbox_[1][(x >> 8) & 255] ^ sbox_[2][(x >> 16) & 255] ^ sbox_[3][x >> 24];
    }

    uint32_t k_[40] = {};
    // The key-dependent S-boxes, each already multiplied by its MDS column.
    uint32_t sbox_[4][256] = {};
};

}  // namespace tarvex
