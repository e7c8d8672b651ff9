// BlowFish: the 64-bit block cipher with keys of 32 to 448 bits, used only to
// read old stored data. Blocks are two big-endian 32-bit halves.
#pragma once

#include <cstdint>

namespace tarvex {

class BlowFish {
public:
    // False for a key shorter than 4 or longer than 56 bytes.
    bool setKey(const uint8_t* key, uint32_t n);
    void encryptBlock(const uint8_t in[8], uint8_t out[8]) const;
    void decryptBlock(const uint8_t in[8], uint8_t out[8]) const;
    // ECB over whole 8-byte blocks; a tail shorter than a block is copied.
    void decryptEcb(const uint8_t* in, uint32_t n, uint8_t* out) const;

    static const uint32_t kInitialP[18];
    static const uint32_t kInitialS[4][256];

private:
    uint32_t f(uint32_t x) const {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 255]) ^ s_[2][(x >> 8) & 255]) + s_[3][x & 255];
    }
    void encryptWords(uint32_t& l, uint32_t& r) const;
    void decryptWords(uint32_t& l, uint32_t& r) const;

    uint32_t p_[18] = {};
    uint32_t s_[4][256] = {};
};

}  // namespace tarvex
