// findByte: the first c in [p, end). Most searches the parser makes end
// within a few dozen bytes (a short text, a tag's attributes): those are
// looked at here, sixteen bytes at a time where the CPU allows, and only a
// longer search pays for the library call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVEX_FIND_SSE2 1
#endif

namespace tarvex {

inline const char* findByte(const char* p, const char* end, char c) {
    const char* nearEnd = end - p > 64 ? p + 64 : end;
#ifdef TARVEX_FIND_SSE2
    const __m128i wanted = _mm_set1_epi8(c);
    while (nearEnd - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted)));
        if (mask) {
#if defined(__GNUC__) || defined(__clang__)
            return p + __builtin_ctz(mask);
#else
            unsigned k = 0;
            while (!(mask & (1u << k))) ++k;
            return p + k;
#endif
        }
        p += 16;
    }
#endif
    for (; p < nearEnd; ++p) {
        if (*p == c) return p;
    }
    if (p == end) return nullptr;
    return static_cast<const char*>(std::memchr(p, static_cast<unsigned char>(c), static_cast<size_t>(end - p)));
}

}  // namespace tarvex
