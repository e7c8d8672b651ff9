// UTF-8 sequences: the one reader and the one writer the library uses, for
// the converter and for anything else that walks UTF-8 text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

// Reads the sequence at p (n >= 1 bytes available). Returns its length (1 to
// 4) and sets *cp, or returns 0 when the bytes are not a well-formed sequence:
// a stray continuation or invalid lead byte, a truncated or broken sequence,
// an overlong form, or a value beyond U+10FFFF. Surrogates (ED A0..ED BF) read
// like any other three-byte form; callers that must refuse them check *cp.
inline size_t readUtf8(const uint8_t* p, size_t n, uint32_t* cp) {
    const uint32_t b = p[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        if (n >= 2 && (p[1] & 0xC0) == 0x80) {
            *cp = ((b & 0x1F) << 6) | (p[1] & 0x3F);
            return 2;
        }
    } else if (b >= 0xE0 && b <= 0xEF) {
        if (n >= 3) {
            const uint32_t b1 = p[1], b2 = p[2];
            if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b != 0xE0 || b1 >= 0xA0)) {
                *cp = ((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
                return 3;
            }
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        if (n >= 4) {
            const uint32_t b1 = p[1], b2 = p[2], b3 = p[3];
            if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b3 & 0xC0) == 0x80 && (b != 0xF0 || b1 >= 0x90) &&
                (b != 0xF4 || b1 <= 0x8F)) {
                *cp = ((b & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
                return 4;
            }
        }
    }
    return 0;
}

inline size_t readUtf8(const char* p, size_t n, uint32_t* cp) {
    return readUtf8(reinterpret_cast<const uint8_t*>(p), n, cp);
}

// Writes the UTF-8 form of cp (up to 4 bytes; lone surrogates included) and
// returns the end.
inline uint8_t* writeUtf8(uint8_t* d, uint32_t cp) {
    if (cp < 0x80) {
        *d++ = uint8_t(cp);
    } else if (cp < 0x800) {
        *d++ = uint8_t(0xC0 | (cp >> 6));
        *d++ = uint8_t(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *d++ = uint8_t(0xE0 | (cp >> 12));
        *d++ = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        *d++ = uint8_t(0x80 | (cp & 0x3F));
    } else {
        *d++ = uint8_t(0xF0 | (cp >> 18));
        *d++ = uint8_t(0x80 | ((cp >> 12) & 0x3F));
        *d++ = uint8_t(0x80 | ((cp >> 6) & 0x3F));
        *d++ = uint8_t(0x80 | (cp & 0x3F));
    }
    return d;
}

}  // namespace tarvex
