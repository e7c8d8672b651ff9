#include "codec/TwoFish.h"

#include <cstring>

namespace tarvex {
namespace {

// The fixed permutations q0 and q1, built from their 4-bit tables.
struct QTables {
    uint8_t q[2][256];
    constexpr QTables() : q() {
        constexpr uint8_t t[2][4][16] = {
            {{8, 1, 7, 13, 6, 15, 3, 2, 0, 11, 5, 9, 14, 12, 10, 4},
             {14, 12, 11, 8, 1, 2, 3, 5, 15, 4, 10, 6, 7, 0, 9, 13},
             {11, 10, 5, 14, 6, 13, 9, 0, 12, 8, 15, 3, 2, 4, 7, 1},
             {13, 7, 15, 4, 1, 2, 6, 14, 9, 11, 3, 0, 8, 5, 12, 10}},
            {{2, 8, 11, 13, 15, 7, 6, 14, 3, 1, 9, 4, 0, 10, 12, 5},
             {1, 14, 2, 11, 4, 12, 3, 7, 6, 13, 10, 5, 15, 9, 0, 8},
             {4, 12, 7, 5, 1, 6, 9, 10, 0, 14, 13, 8, 2, 11, 3, 15},
             {11, 9, 5, 1, 12, 3, 13, 14, 6, 4, 7, 15, 2, 0, 8, 10}}};
        for (int which = 0; which < 2; ++which) {
            for (int x = 0; x < 256; ++x) {
                int a = x >> 4, b = x & 15;
                int a1 = a ^ b, b1 = (a ^ (((b >> 1) | (b << 3)) & 15) ^ (8 * a)) & 15;
                int a2 = t[which][0][a1], b2 = t[which][1][b1];
                int a3 = a2 ^ b2, b3 = (a2 ^ (((b2 >> 1) | (b2 << 3)) & 15) ^ (8 * a2)) & 15;
                q[which][x] = static_cast<uint8_t>(t[which][3][b3] * 16 + t[which][2][a3]);
            }
        }
    }
};
constexpr QTables kQ;

// Which permutation each key word's stage uses, per byte position: the
// stages for the fourth and third key words, then the three common ones.
constexpr int kStages[4][5] = {{1, 1, 0, 0, 1}, {0, 1, 1, 0, 0}, {0, 0, 0, 1, 1}, {1, 0, 1, 1, 0}};

constexpr uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
constexpr uint8_t kRs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                               {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                               {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                               {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

uint8_t gfMul(uint8_t a, uint8_t b, uint32_t poly) {
    uint32_t x = a, r = 0;
    for (; b; b >>= 1) {
        if (b & 1) r ^= x;
        x <<= 1;
        if (x & 0x100) x ^= poly;
    }
    return static_cast<uint8_t>(r);
}

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline uint8_t byteOf(uint32_t w, int i) { return static_cast<uint8_t>(w >> (8 * i)); }

uint32_t loadLe(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void storeLe(uint32_t v, uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The permutation chain of byte position j under the key words l[0..k).
uint8_t chain(int j, uint8_t y, const uint32_t* l, int k) {
    if (k == 4) y = kQ.q[kStages[j][0]][y] ^ byteOf(l[3], j);
    if (k >= 3) y = kQ.q[kStages[j][1]][y] ^ byteOf(l[2], j);
    y = kQ.q[kStages[j][2]][y] ^ byteOf(l[1], j);
    y = kQ.q[kStages[j][3]][y] ^ byteOf(l[0], j);
    return kQ.q[kStages[j][4]][y];
}

// Column j of the MDS matrix times y.
uint32_t mdsColumn(int j, uint8_t y) {
    uint32_t z = 0;
    for (int i = 0; i < 4; ++i) z |= uint32_t(gfMul(kMds[i][j], y, 0x169)) << (8 * i);
    return z;
}

uint32_t h(uint32_t x, const uint32_t* l, int k) {
    uint32_t z = 0;
    for (int j = 0; j < 4; ++j) z ^= mdsColumn(j, chain(j, byteOf(x, j), l, k));
    return z;
}

}  // namespace

bool TwoFish::setKey(const uint8_t* key, uint32_t n) {
    if (!key || (n != 16 && n != 24 && n != 32)) return false;
    const int k = static_cast<int>(n / 8);
    uint32_t even[4] = {}, odd[4] = {}, s[4] = {};
    for (int i = 0; i < k; ++i) {
        even[i] = loadLe(key + 8 * i);
        odd[i] = loadLe(key + 8 * i + 4);
        // The S-box key words come from the RS code of each 8 key bytes, and
        // are used in reverse order.
        uint32_t word = 0;
        for (int row = 0; row < 4; ++row) {
            uint8_t v = 0;
            for (int c = 0; c < 8; ++c) v ^= gfMul(kRs[row][c], key[8 * i + c], 0x14D);
            word |= uint32_t(v) << (8 * row);
        }
        s[k - 1 - i] = word;
    }
    const uint32_t rho = 0x01010101u;
    for (uint32_t i = 0; i < 20; ++i) {
        const uint32_t a = h(2 * i * rho, even, k);
        const uint32_t b = rol(h((2 * i + 1) * rho, odd, k), 8);
        k_[2 * i] = a + b;
        k_[2 * i + 1] = rol(a + 2 * b, 9);
    }
    for (int j = 0; j < 4; ++j)
        for (int x = 0; x < 256; ++x) sbox_[j][x] = mdsColumn(j, chain(j, static_cast<uint8_t>(x), s, k));
    return true;
}

void TwoFish::encryptBlock(const uint8_t in[16], uint8_t out[16]) const {
    uint32_t x0 = loadLe(in) ^ k_[0], x1 = loadLe(in + 4) ^ k_[1];
    uint32_t x2 = loadLe(in + 8) ^ k_[2], x3 = loadLe(in + 12) ^ k_[3];
    for (int r = 0; r < 8; ++r) {
        uint32_t t0 = g(x0), t1 = g(rol(x1, 8));
        x2 = ror(x2 ^ (t0 + t1 + k_[8 + 4 * r]), 1);
        x3 = rol(x3, 1) ^ (t0 + 2 * t1 + k_[9 + 4 * r]);
        t0 = g(x2);
        t1 = g(rol(x3, 8));
        x0 = ror(x0 ^ (t0 + t1 + k_[10 + 4 * r]), 1);
        x1 = rol(x1, 1) ^ (t0 + 2 * t1 + k_[11 + 4 * r]);
    }
    storeLe(x2 ^ k_[4], out);
    storeLe(x3 ^ k_[5], out + 4);
    storeLe(x0 ^ k_[6], out + 8);
    storeLe(x1 ^ k_[7], out + 12);
}

void TwoFish::decryptBlock(const uint8_t in[16], uint8_t out[16]) const {
    uint32_t x2 = loadLe(in) ^ k_[4], x3 = loadLe(in + 4) ^ k_[5];
    uint32_t x0 = loadLe(in + 8) ^ k_[6], x1 = loadLe(in + 12) ^ k_[7];
    for (int r = 7; r >= 0; --r) {
        uint32_t t0 = g(x2), t1 = g(rol(x3, 8));
        x1 = ror(x1 ^ (t0 + 2 * t1 + k_[11 + 4 * r]), 1);
        x0 = rol(x0, 1) ^ (t0 + t1 + k_[10 + 4 * r]);
        t0 = g(x0);
        t1 = g(rol(x1, 8));
        x3 = ror(x3 ^ (t0 + 2 * t1 + k_[9 + 4 * r]), 1);
        x2 = rol(x2, 1) ^ (t0 + t1 + k_[8 + 4 * r]);
    }
    storeLe(x0 ^ k_[0], out);
    storeLe(x1 ^ k_[1], out + 4);
    storeLe(x2 ^ k_[2], out + 8);
    storeLe(x3 ^ k_[3], out + 12);
}

void TwoFish::decryptCbc(const uint8_t iv[16], const uint8_t* in, uint32_t n, uint8_t* out) const {
    uint8_t chainBlock[16], next[16], plain[16];
    std::memcpy(chainBlock, iv, 16);
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        std::memcpy(next, in + i, 16);  // in and out may be the same block
        decryptBlock(next, plain);
        for (int b = 0; b < 16; ++b) out[i + b] = plain[b] ^ chainBlock[b];
        std::memcpy(chainBlock, next, 16);
    }
    if (i < n && in != out) std::memmove(out + i, in + i, n - i);
}

}  // namespace tarvex
