// copyShort: the copy of a short piece (a name, a tag, a small value) by at
// most two fixed-size moves the compiler inlines, instead of a library call
// per piece. Pieces over 32 bytes go to memcpy.
#pragma once

#include <cstddef>
#include <cstring>

namespace tarvex {

// Copies n bytes from p to d; returns d + n. The ranges must not overlap.
inline char* copyShort(char* d, const char* p, size_t n) {
    if (n > 32) {
        std::memcpy(d, p, n);
    } else if (n >= 16) {
        std::memcpy(d, p, 16);
        std::memcpy(d + n - 16, p + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(d, p, 8);
        std::memcpy(d + n - 8, p + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(d, p, 4);
        std::memcpy(d + n - 4, p + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i) d[i] = p[i];
    }
    return d + n;
}

}  // namespace tarvex
