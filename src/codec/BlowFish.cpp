#include "codec/BlowFish.h"

#include <cstring>

namespace tarvex {
namespace {

uint32_t loadBe(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void storeBe(uint32_t v, uint8_t* p) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

}  // namespace

void BlowFish::encryptWords(uint32_t& l, uint32_t& r) const {
    for (int i = 0; i < 16; i += 2) {
        l ^= p_[i];
        r ^= f(l);
        r ^= p_[i + 1];
        l ^= f(r);
    }
    l ^= p_[16];
    r ^= p_[17];
    const uint32_t t = l;
    l = r;
    r = t;
}

void BlowFish::decryptWords(uint32_t& l, uint32_t& r) const {
    for (int i = 17; i > 1; i -= 2) {
        l ^= p_[i];
        r ^= f(l);
        r ^= p_[i - 1];
        l ^= f(r);
    }
    l ^= p_[1];
    r ^= p_[0];
    const uint32_t t = l;
    l = r;
    r = t;
}

bool BlowFish::setKey(const uint8_t* key, uint32_t n) {
    if (!key || n < 4 || n > 56) return false;
    std::memcpy(s_, kInitialS, sizeof s_);
    // The key, repeated as often as needed, is folded into the P-array.
    uint32_t at = 0;
    for (int i = 0; i < 18; ++i) {
        uint32_t word = 0;
        for (int k = 0; k < 4; ++k) {
            word = (word << 8) | key[at];
            at = (at + 1) % n;
        }
        p_[i] = kInitialP[i] ^ word;
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encryptWords(l, r);
        p_[i] = l;
        p_[i + 1] = r;
    }
    for (int box = 0; box < 4; ++box) {
        for (int i = 0; i < 256; i += 2) {
            encryptWords(l, r);
            s_[box][i] = l;
            s_[box][i + 1] = r;
        }
    }
    return true;
}

void BlowFish::encryptBlock(const uint8_t in[8], uint8_t out[8]) const {
    uint32_t l = loadBe(in), r = loadBe(in + 4);
    encryptWords(l, r);
    storeBe(l, out);
    storeBe(r, out + 4);
}

void BlowFish::decryptBlock(const uint8_t in[8], uint8_t out[8]) const {
    uint32_t l = loadBe(in), r = loadBe(in + 4);
    decryptWords(l, r);
    storeBe(l, out);
    storeBe(r, out + 4);
}

void BlowFish::decryptEcb(const uint8_t* in, uint32_t n, uint8_t* out) const {
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) decryptBlock(in + i, out + i);
    if (i < n && in != out) std::memmove(out + i, in + i, n - i);
}

}  // namespace tarvex
