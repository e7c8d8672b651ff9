// The parser's scans for a text's end and a closing tag's end, sixteen bytes
// at a time where the CPU allows.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TARVEX_PARSE_SSE2 1
#endif

namespace tarvex {

#ifdef TARVEX_PARSE_SSE2
// Index of the lowest set bit of a nonzero mask.
inline unsigned lowestBit(unsigned mask) {
#if defined(__GNUC__) || defined(__clang__)
    return static_cast<unsigned>(__builtin_ctz(mask));
#else
    unsigned k = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++k;
    }
    return k;
#endif
}
#endif

// The first `stop` byte in [p, end), or end; `amp` gets the first '&'
// before it (null when there is none), so text without one skips decoding
// and text with one is decoded from there. Sixteen bytes at a time where
// possible.
inline const char* scanUntil(const char* p, const char* end, char stop, const char*& amp) {
    amp = nullptr;
#ifdef TARVEX_PARSE_SSE2
    const __m128i s = _mm_set1_epi8(stop);
    const __m128i a = _mm_set1_epi8('&');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, s)));
        unsigned amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, a)));
        if (stops) {
            // The '&'s before the lowest stop bit.
            amps &= (stops & (0u - stops)) - 1;
            if (amps && !amp) amp = p + lowestBit(amps);
            return p + lowestBit(stops);
        }
        if (amps && !amp) amp = p + lowestBit(amps);
        p += 16;
    }
#endif
    for (; p < end && *p != stop; ++p) {
        if (*p == '&' && !amp) amp = p;
    }
    return p;
}

// The first '>' or '<' in [p, end), or end: the end of a closing tag.
inline const char* scanTagEnd(const char* p, const char* end) {
#ifdef TARVEX_PARSE_SSE2
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i lt = _mm_set1_epi8('<');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, lt))));
        if (hits) return p + lowestBit(hits);
        p += 16;
    }
#endif
    while (p < end && *p != '>' && *p != '<') ++p;
    return p;
}

}  // namespace tarvex
