// Reads one UTF-8 sequence.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

// Reads one UTF-8 sequence at p (n bytes left, p[0] >= 0x80). Returns its
// length and code point, or 0 when the bytes are not a valid sequence.
inline size_t readUtf8(const char* p, size_t n, uint32_t* cp) {
    uint8_t b0 = static_cast<uint8_t>(p[0]);
    size_t len;
    uint32_t v;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        v = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        v = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        v = b0 & 0x07;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        uint8_t b = static_cast<uint8_t>(p[i]);
        if ((b & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b & 0x3F);
    }
    if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF))) return 0;
    *cp = v;
    return len;
}

}  // namespace tarvex
