// The Unicode forms: UTF-8 to and from UTF-16LE, UTF-32 through UTF-8, and
// the byte swap between the two UTF-16 orders.
#include "charset/ConvertCommon.h"

#include "charset/Utf8.h"

namespace tarvex {
namespace conv {

size_t decodeUtf8(const Settings& st, const uint8_t* s, size_t n, size_t i, size_t limit, Out& o, bool& ok) {
    uint8_t* d = o.cur();
    while (i < limit) {
        const size_t blockEnd = std::min(limit, i + kBlock);
        d = o.room(d, 2 * (blockEnd - i) + 16);
        while (i < blockEnd) {
            if (kLittleEndian) {
                widenAsciiRun(s, i, blockEnd, d);
                if (i >= blockEnd) break;
            }
            uint32_t b = s[i];
            if (b < 0x80) {
                d = putUnit(d, b);
                ++i;
                continue;
            }
            uint32_t cp;
            const size_t len = readUtf8(s + i, n - i, &cp);
            if (len != 0) {
                if (cp < 0x10000) {
                    d = putUnit(d, cp);
                } else {
                    // Beyond the BMP: a surrogate pair.
                    cp -= 0x10000;
                    d = putUnit(d, 0xD800 | (cp >> 10));
                    d = putUnit(d, 0xDC00 | (cp & 0x3FF));
                }
                i += len;
                continue;
            }
            // Invalid or truncated: this byte alone is skipped.
            d = unmappedByteAt(st, codepage::kUtf8, s, i, blockEnd, d, o, ok);
            ++i;
        }
    }
    o.done(d);
    return i;
}

bool encodeUtf8(const Settings& st, const uint8_t* s, size_t n, Out& o) {
    bool ok = true;
    if (n & 1) {
        ok = false;  // an odd trailing byte is not a code unit
        --n;
    }
    const size_t units = n / 2;
    const bool markers = st.markers();
    size_t i = 0;
    uint8_t* d = o.cur();
    while (i < units) {
        const size_t blockEnd = std::min(units, i + 4096);
        d = o.room(d, (blockEnd - i) * 3 + 16);
        while (i < blockEnd) {
            if (kLittleEndian) {
                while (i + 4 <= blockEnd) {
                    uint64_t v = load64(s + 2 * i);
                    if (v & kAsciiUnits) break;
                    narrow4(v, d);
                    d += 4;
                    i += 4;
                }
                if (i >= blockEnd) break;
            }
            uint32_t u = load16(s + 2 * i);
            if (u < 0x80) {
                *d++ = uint8_t(u);
            } else if (u < 0x800) {
                *d++ = uint8_t(0xC0 | (u >> 6));
                *d++ = uint8_t(0x80 | (u & 0x3F));
            } else if (isHighSurrogate(u) && i + 1 < units && isLowSurrogate(load16(s + 2 * i + 2))) {
                uint32_t lo = load16(s + 2 * i + 2);
                d = writeUtf8(d, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            } else if (markers && u == kMarkerUnit) {
                o.done(d);
                i = copyMarker(s, units, i, o);
                d = o.room(o.cur(), (blockEnd - std::min(i, blockEnd)) * 3 + 16);
                continue;
            } else {
                // Lone surrogates too are written as 3-byte sequences.
                *d++ = uint8_t(0xE0 | (u >> 12));
                *d++ = uint8_t(0x80 | ((u >> 6) & 0x3F));
                *d++ = uint8_t(0x80 | (u & 0x3F));
            }
            ++i;
        }
    }
    o.done(d);
    return ok;
}

// UTF-8 to UTF-32; an invalid or truncated sequence (or a surrogate) ends the
// conversion with failure.
bool utf8ToUtf32(const uint8_t* s, size_t n, bool bigEndian, DataBuffer& outBuf) {
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), std::min<size_t>(4 * n, 1u << 20) + 8);
    size_t i = 0;
    bool ok = true;
    while (i < n) {
        d = o.room(d, 4);
        uint32_t cp = 0;
        const size_t len = readUtf8(s + i, n - i, &cp);
        if (len == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) {
            ok = false;
            break;
        }
        if (bigEndian) {
            d[0] = uint8_t(cp >> 24);
            d[1] = uint8_t(cp >> 16);
            d[2] = uint8_t(cp >> 8);
            d[3] = uint8_t(cp);
        } else {
            d[0] = uint8_t(cp);
            d[1] = uint8_t(cp >> 8);
            d[2] = uint8_t(cp >> 16);
            d[3] = uint8_t(cp >> 24);
        }
        d += 4;
        i += len;
    }
    o.done(d);
    return ok;
}

// UTF-32 to UTF-8; values beyond U+10FFFF, surrogates and a trailing partial
// unit are skipped and make the result false.
bool utf32ToUtf8(const uint8_t* s, size_t n, bool bigEndian, DataBuffer& outBuf) {
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), n + 8);
    bool ok = (n % 4) == 0;
    for (size_t i = 0; i + 4 <= n; i += 4) {
        uint32_t cp = bigEndian ? (uint32_t(s[i]) << 24) | (uint32_t(s[i + 1]) << 16) | (uint32_t(s[i + 2]) << 8) | s[i + 3]
                                : (uint32_t(s[i + 3]) << 24) | (uint32_t(s[i + 2]) << 16) | (uint32_t(s[i + 1]) << 8) | s[i];
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            ok = false;
            continue;
        }
        d = writeUtf8(d, cp);
    }
    o.done(d);
    return ok;
}

void swapUnits(const uint8_t* s, size_t n, DataBuffer& outBuf) {
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), n);
    for (size_t i = 0; i + 1 < n; i += 2) {
        d[0] = s[i + 1];
        d[1] = s[i];
        d += 2;
    }
    o.done(d);
}

}  // namespace conv
}  // namespace tarvex
