#include "search/WildcardMatch.h"

#include <cstdint>
#include <cstring>

#include "base/Memory.h"
#include "platform/ByteSearch.h"

namespace tarvex {

namespace {

inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

bool bytesEqual(const char* a, const char* b, size_t n, bool caseSensitive) {
    if (caseSensitive) return n == 0 || std::memcmp(a, b, n) == 0;
    for (size_t i = 0; i < n; ++i) {
        if (foldAscii(static_cast<unsigned char>(a[i])) != foldAscii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

constexpr size_t kNotFound = static_cast<size_t>(-1);

// Segments up to this length are found by the simple scan; its cost per text
// position is bounded by the segment length.
constexpr size_t kShortSegment = 32;

inline unsigned char foldIf(char c, bool caseSensitive) {
    const unsigned char b = static_cast<unsigned char>(c);
    return caseSensitive ? b : foldAscii(b);
}

// Leftmost position of seg in text by Knuth-Morris-Pratt, linear in
// textLen + segLen whatever the bytes are, into *at (kNotFound when absent).
// False when the border table cannot be allocated.
bool findSegmentLinear(const char* text, size_t textLen, const char* seg, size_t segLen,
                       bool caseSensitive, size_t* at) {
    if (segLen > 0xFFFFFFFFu) return false;
    uint32_t* border = static_cast<uint32_t*>(memAlloc(segLen * sizeof(uint32_t)));
    if (!border) return false;
    border[0] = 0;
    uint32_t k = 0;
    for (size_t i = 1; i < segLen; ++i) {
        const unsigned char c = foldIf(seg[i], caseSensitive);
        while (k > 0 && foldIf(seg[k], caseSensitive) != c) k = border[k - 1];
        if (foldIf(seg[k], caseSensitive) == c) ++k;
        border[i] = k;
    }
    *at = kNotFound;
    k = 0;
    for (size_t i = 0; i < textLen; ++i) {
        const unsigned char c = foldIf(text[i], caseSensitive);
        while (k > 0 && foldIf(seg[k], caseSensitive) != c) k = border[k - 1];
        if (foldIf(seg[k], caseSensitive) == c) ++k;
        if (k == segLen) {
            *at = i + 1 - segLen;
            break;
        }
    }
    memFree(border);
    return true;
}

// Leftmost position of seg (segLen >= 1) in text, or kNotFound.
size_t findSegment(const char* text, size_t textLen, const char* seg, size_t segLen,
                   bool caseSensitive) {
    if (segLen > textLen) return kNotFound;
    const bool scanIsLinear = caseSensitive && platform::findBytesIsLinear();
    if (!scanIsLinear && segLen > kShortSegment) {
        size_t at = kNotFound;
        if (findSegmentLinear(text, textLen, seg, segLen, caseSensitive, &at)) return at;
    }
    if (caseSensitive) {
        const char* hit = platform::findBytes(text, textLen, seg, segLen);
        return hit ? static_cast<size_t>(hit - text) : kNotFound;
    }
    const unsigned char first = foldAscii(static_cast<unsigned char>(seg[0]));
    const bool firstIsLetter = first >= 'a' && first <= 'z';
    const size_t lastStart = textLen - segLen;
    size_t i = 0;
    while (i <= lastStart) {
        if (!firstIsLetter) {
            // Not a letter: the first byte has only one form, so memchr finds it.
            const void* q = std::memchr(text + i, first, lastStart - i + 1);
            if (!q) return kNotFound;
            i = static_cast<size_t>(static_cast<const char*>(q) - text);
        } else if (foldAscii(static_cast<unsigned char>(text[i])) != first) {
            ++i;
            continue;
        }
        if (bytesEqual(text + i + 1, seg + 1, segLen - 1, false)) return i;
        ++i;
    }
    return kNotFound;
}

}  // namespace

bool WildcardMatchN(const char* text, size_t textLen, const char* pattern, bool caseSensitive) {
    if (!text || !pattern) return false;

    if (textLen == 0) {
        for (const char* p = pattern; *p; ++p) {
            if (*p != '*') return false;
        }
        return true;   // empty pattern or only stars
    }
    const size_t patLen = std::strlen(pattern);
    if (patLen == 0) return false;

    const char* star = static_cast<const char*>(std::memchr(pattern, '*', patLen));
    if (!star) return patLen == textLen && bytesEqual(text, pattern, patLen, caseSensitive);

    // The part before the first star must open the text.
    const size_t headLen = static_cast<size_t>(star - pattern);
    if (headLen > textLen || !bytesEqual(text, pattern, headLen, caseSensitive)) return false;
    const char* rest = text + headLen;
    size_t restLen = textLen - headLen;

    const char* p = star;
    const char* patEnd = pattern + patLen;
    for (;;) {
        while (p < patEnd && *p == '*') ++p;
        if (p == patEnd) return true;   // trailing star takes the rest
        const char* next = static_cast<const char*>(std::memchr(p, '*', static_cast<size_t>(patEnd - p)));
        if (!next) {
            // Last segment: anchored at the end of the text.
            const size_t segLen = static_cast<size_t>(patEnd - p);
            if (segLen > restLen) return false;
            return bytesEqual(rest + (restLen - segLen), p, segLen, caseSensitive);
        }
        const size_t segLen = static_cast<size_t>(next - p);
        if (restLen < segLen) return false;
        const size_t at = findSegment(rest, restLen, p, segLen, caseSensitive);
        if (at == kNotFound) return false;
        rest += at + segLen;
        restLen -= at + segLen;
        p = next;
    }
}

bool WildcardMatch(const char* text, const char* pattern, bool caseSensitive) {
    if (!text || !pattern) return false;
    return WildcardMatchN(text, std::strlen(text), pattern, caseSensitive);
}

}  // namespace tarvex
