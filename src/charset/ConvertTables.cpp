// Table code pages: single- and double-byte pages decoded and encoded through
// the process-wide mapping tables, with flat lookup arrays built beside them,
// and the Mac Arabic display-order correction.
#include "charset/ConvertCommon.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include "charset/CodePageTables.h"
#include "charset/HashConvert.h"
#include "charset/Utf8.h"

namespace tarvex {
namespace conv {

namespace {

// Flat lookup arrays built once per code page beside its HashConvert maps.

// decodePair/decodeSingle entries: 0 no mapping, kConsultMap the value is not
// one plain code unit (look it up in the map), anything else the unit.
constexpr uint16_t kConsultMap = 0xFFFF;
// encode entries: length in the top byte (0 none, 1-3, kEncodeConsult),
// value bytes in the low three bytes, first byte lowest.
constexpr uint32_t kEncodeConsult = 0xFF;

struct PageExtras {
    std::once_flag decodeOnce;
    std::unique_ptr<uint16_t[]> decodePair;  // double-byte pages: 65536 2-byte keys
    uint16_t decodeSingle[256] = {};
    bool asciiLeadPairs = false;             // some 2-byte key starts below 0x80

    std::once_flag encodeOnce;
    std::unique_ptr<uint32_t[]> encode;      // 65536 code units

    std::once_flag utf8Once;
    uint32_t utf8Of[256] = {};               // single-byte pages: byte -> UTF-8 (len in top byte)
};

PageExtras* extrasFor(uint32_t codePage) {
    static std::mutex lock;
    static std::unordered_map<uint32_t, std::unique_ptr<PageExtras>> pages;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<PageExtras>& slot = pages[codePage];
    if (!slot) slot.reset(new PageExtras());
    return slot.get();
}

uint16_t flatDecodeValue(const HashConvert* map, const uint8_t* key, uint32_t keyLen, bool* found) {
    uint32_t vlen = 0;
    const uint8_t* v = map->lookup(key, keyLen, &vlen);
    *found = v != nullptr;
    if (!v) return 0;
    if (vlen != 2) return kConsultMap;
    uint16_t u = uint16_t(load16(v));
    return (u == 0 || u == kConsultMap) ? kConsultMap : u;
}

const PageExtras& decodeExtras(const CodePageTable* t) {
    PageExtras* x = extrasFor(t->codePage);
    std::call_once(x->decodeOnce, [t, x] {
        if (!t->decode) return;
        x->decodePair.reset(new uint16_t[65536]);
        uint8_t key[2];
        bool found = false;
        for (uint32_t k = 0; k < 65536; ++k) {
            key[0] = uint8_t(k >> 8);
            key[1] = uint8_t(k);
            uint16_t u = flatDecodeValue(t->decode, key, 2, &found);
            x->decodePair[k] = u;
            if (found && k < 0x8000) x->asciiLeadPairs = true;
        }
        for (uint32_t b = 1; b < 256; ++b) {
            key[0] = uint8_t(b);
            x->decodeSingle[b] = flatDecodeValue(t->decode, key, 1, &found);
        }
    });
    return *x;
}

const PageExtras& encodeExtras(const CodePageTable* t) {
    PageExtras* x = extrasFor(t->codePage);
    std::call_once(x->encodeOnce, [t, x] {
        x->encode.reset(new uint32_t[65536]);
        for (uint32_t u = 0; u < 65536; ++u) {
            uint32_t entry = 0;
            if (t->asciiBased && u > 0 && u < 0x80) {
                entry = (1u << 24) | u;
            } else if (t->encode) {
                uint8_t key[2] = {uint8_t(u), uint8_t(u >> 8)};
                uint32_t vlen = 0;
                const uint8_t* v = t->encode->lookup(key, 2, &vlen);
                if (v && vlen >= 1 && vlen <= 3) {
                    entry = vlen << 24;
                    for (uint32_t j = 0; j < vlen; ++j) entry |= uint32_t(v[j]) << (8 * j);
                } else if (v && vlen > 3) {
                    entry = kEncodeConsult << 24;
                }
            }
            if (u == 0 && entry == 0) entry = 1u << 24;  // U+0000 gives byte 0
            x->encode[u] = entry;
        }
    });
    return *x;
}

const PageExtras& utf8Extras(const CodePageTable* t) {
    PageExtras* x = extrasFor(t->codePage);
    std::call_once(x->utf8Once, [t, x] {
        x->utf8Of[0] = 1u << 24;  // byte 0 gives U+0000
        for (uint32_t b = 1; b < 256; ++b) {
            uint32_t u = t->decode256[b];
            if (u == 0) continue;
            uint8_t tmp[4];
            uint32_t len = uint32_t(writeUtf8(tmp, u) - tmp);
            uint32_t e = len << 24;
            for (uint32_t j = 0; j < len; ++j) e |= uint32_t(tmp[j]) << (8 * j);
            x->utf8Of[b] = e;
        }
    });
    return *x;
}

}  // namespace

const CodePageTable* tableOf(uint32_t cp) {
    if (cp == codepage::kUtf16Le || cp == codepage::kUtf16Be || cp == codepage::kUtf8 || cp == codepage::kUtf7 ||
        cp == codepage::kUtf32Le || cp == codepage::kUtf32Be)
        return nullptr;
    const CodePageTable* t = codePageTable(cp);
    if (!t) return nullptr;
    if (t->doubleByte ? t->decode == nullptr : t->decode256 == nullptr) return nullptr;
    return t;
}

size_t decodeSingleByte(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t i, size_t limit, Out& o,
                        bool& ok) {
    const uint16_t* table = t->decode256;
    const bool ascii = t->asciiBased;
    uint8_t* d = o.cur();
    while (i < limit) {
        const size_t blockEnd = std::min(limit, i + kBlock);
        d = o.room(d, 2 * (blockEnd - i) + 16);
        while (i < blockEnd) {
            if (kLittleEndian && ascii) {
                widenAsciiRun(s, i, blockEnd, d);
                if (i >= blockEnd) break;
            }
            uint32_t b = s[i];
            uint32_t u = (ascii && b < 0x80) ? b : table[b];
            if (u != 0 || b == 0) {
                d = putUnit(d, u);
            } else {
                d = unmappedByteAt(st, t->codePage, s, i, blockEnd, d, o, ok);
            }
            ++i;
        }
    }
    o.done(d);
    return i;
}

size_t decodeDoubleByte(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t n, size_t i,
                        size_t limit, Out& o, bool& ok) {
    const PageExtras& x = decodeExtras(t);
    const uint16_t* pair = x.decodePair.get();
    const bool ascii = t->asciiBased;
    // ASCII bytes can take the fast path when no 2-byte key starts with one.
    // Keys of 3 and 4 bytes of an ASCII-based page start with a byte >= 0x80.
    const bool asciiFast = kLittleEndian && ascii && !x.asciiLeadPairs;
    uint8_t* d = o.cur();
    size_t blockEnd = i;

    auto appendValue = [&](const uint8_t* v, uint32_t vlen) {
        o.done(d);
        o.put(v, vlen);
        d = o.room(o.cur(), 2 * (blockEnd - std::min(i, blockEnd)) + 16);
    };

    while (i < limit) {
        blockEnd = std::min(limit, i + kBlock);
        d = o.room(d, 2 * (blockEnd - i) + 16);
        while (i < blockEnd) {
            uint32_t b = s[i];
            if (asciiFast && b < 0x80) {
                widenAsciiRun(s, i, blockEnd, d);
                if (i >= blockEnd) break;
                b = s[i];
                if (b < 0x80) {
                    d = putUnit(d, b);
                    ++i;
                    continue;
                }
            }
            if (i + 1 < n) {
                uint32_t u = pair[(b << 8) | s[i + 1]];
                if (u != 0 && u != kConsultMap) {
                    d = putUnit(d, u);
                    i += 2;
                    continue;
                }
                uint32_t vlen = 0;
                const uint8_t* v = nullptr;
                if (u == kConsultMap) {
                    v = t->decode->lookup(s + i, 2, &vlen);
                    i += 2;
                    appendValue(v, vlen);
                    continue;
                }
                if (!ascii || b >= 0x80) {
                    if (i + 2 < n && (v = t->decode->lookup(s + i, 3, &vlen)) != nullptr) {
                        i += 3;
                        appendValue(v, vlen);
                        continue;
                    }
                    if (i + 3 < n && (v = t->decode->lookup(s + i, 4, &vlen)) != nullptr) {
                        i += 4;
                        appendValue(v, vlen);
                        continue;
                    }
                }
            }
            // The byte on its own.
            if (b == 0 || (ascii && b < 0x80)) {
                d = putUnit(d, b);
            } else {
                uint32_t u = x.decodeSingle[b];
                if (u == kConsultMap) {
                    uint32_t vlen = 0;
                    const uint8_t* v = t->decode->lookup(s + i, 1, &vlen);
                    ++i;
                    appendValue(v, vlen);
                    continue;
                }
                if (u != 0) {
                    d = putUnit(d, u);
                } else {
                    d = unmappedByteAt(st, t->codePage, s, i, blockEnd, d, o, ok);
                }
            }
            ++i;
        }
    }
    o.done(d);
    return i;
}

bool encodeTable(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t n, Out& o) {
    bool ok = true;
    if (n & 1) {
        ok = false;
        --n;
    }
    const PageExtras& x = encodeExtras(t);
    const uint32_t* enc = x.encode.get();
    const bool asciiFast = kLittleEndian && t->asciiBased;
    const bool markers = st.markers();
    const size_t units = n / 2;
    auto asciiOf = [enc](uint8_t c, Out& out) {
        uint32_t e = enc[c];
        uint32_t len = e >> 24;
        if (len >= 1 && len <= 3) {
            uint8_t b[3] = {uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)};
            out.put(b, len);
        }
    };
    size_t i = 0;
    uint8_t* d = o.cur();
    while (i < units) {
        const size_t blockEnd = std::min(units, i + 4096);
        d = o.room(d, (blockEnd - i) * 3 + 16);
        while (i < blockEnd) {
            if (asciiFast) {
                while (i + 4 <= blockEnd) {
                    uint64_t v = load64(s + 2 * i);
                    if (v & kAsciiUnits) break;
                    // Units 1..7F map to themselves; U+0000 goes through the table.
                    if (((v - 0x0001000100010001ull) & ~v & 0x8000800080008000ull) != 0) break;
                    narrow4(v, d);
                    d += 4;
                    i += 4;
                }
                if (i >= blockEnd) break;
            }
            uint32_t u = load16(s + 2 * i);
            uint32_t e = enc[u];
            uint32_t len = e >> 24;
            if (len == 1) {
                *d++ = uint8_t(e);
            } else if (len == 2) {
                d[0] = uint8_t(e);
                d[1] = uint8_t(e >> 8);
                d += 2;
            } else if (len == 3) {
                d[0] = uint8_t(e);
                d[1] = uint8_t(e >> 8);
                d[2] = uint8_t(e >> 16);
                d += 3;
            } else if (len == kEncodeConsult) {
                uint32_t vlen = 0;
                const uint8_t* v = t->encode->lookup(s + 2 * i, 2, &vlen);
                o.done(d);
                o.put(v, vlen);
                d = o.room(o.cur(), (blockEnd - i) * 3 + 16);
            } else if (markers && u == kMarkerUnit) {
                o.done(d);
                i = copyMarker(s, units, i, o);
                d = o.room(o.cur(), (blockEnd - std::min(i, blockEnd)) * 3 + 16);
                continue;
            } else {
                size_t k = 1;
                uint32_t cp = u;
                if (isHighSurrogate(u) && i + 1 < units) {
                    uint32_t lo = load16(s + 2 * i + 2);
                    if (isLowSurrogate(lo) && (enc[lo] >> 24) == 0) {
                        k = 2;
                        cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    }
                }
                o.done(d);
                if (st.action == 0) {
                    ok = false;
                } else {
                    if (!unmappedUnits(st, cp, s + 2 * i, k, o, asciiOf)) ok = false;
                }
                i += k;
                d = o.room(o.cur(), (blockEnd - std::min(i, blockEnd)) * 3 + 16);
                continue;
            }
            ++i;
        }
    }
    o.done(d);
    return ok;
}

// Single-byte page straight to UTF-8 (the two steps fused; used with action 0,
// where the first step's drops are not reported).
void singleByteToUtf8(const CodePageTable* t, const uint8_t* s, size_t n, Out& o) {
    const PageExtras& x = utf8Extras(t);
    const uint32_t* map = x.utf8Of;
    const bool ascii = t->asciiBased;
    size_t i = 0;
    uint8_t* d = o.cur();
    while (i < n) {
        const size_t blockEnd = std::min(n, i + 16384);
        d = o.room(d, (blockEnd - i) * 3 + 16);
        while (i < blockEnd) {
            if (kLittleEndian && ascii) {
                while (i + 8 <= blockEnd) {
                    uint64_t v = load64(s + i);
                    if (v & kAsciiBytes) break;
                    std::memcpy(d, &v, 8);
                    d += 8;
                    i += 8;
                }
                if (i >= blockEnd) break;
            }
            uint32_t e = map[s[i]];
            uint32_t len = e >> 24;
            // Write 3 bytes unconditionally, keep len of them.
            d[0] = uint8_t(e);
            d[1] = uint8_t(e >> 8);
            d[2] = uint8_t(e >> 16);
            d += len;
            ++i;
        }
    }
    o.done(d);
}

// Mac Arabic: stored display order to logical order. Runs of two or more
// right-to-left bytes are reversed; bytes are remapped as they pass.

namespace {

bool macArabicRtl(uint32_t b) {
    return b == 0x81 || b == 0x8C || b == 0x93 || b == 0x98 || b == 0x9B || (b >= 0xA0 && b <= 0xA4) ||
           (b >= 0xA6 && b <= 0xAB) || (b >= 0xAD && b <= 0xBA) || (b >= 0xBC && b <= 0xBE) || b == 0xC0 ||
           (b >= 0xDB && b <= 0xDF) || (b >= 0xFB && b <= 0xFD);
}

uint8_t macArabicRemap(uint32_t b) {
    if (b >= 0xA0 && b <= 0xB9 && b != 0xA5 && b != 0xAC) return uint8_t(b - 0x80);
    if (b == 0xBA || b == 0xBC || b == 0xBD || b == 0xBE || (b >= 0xDB && b <= 0xDF) || (b >= 0xFB && b <= 0xFD))
        return uint8_t(b - 0x80);
    if (b == 0x81) return 0xA0;
    return uint8_t(b);
}

}  // namespace

void macArabicCorrect(const uint8_t* s, size_t n, DataBuffer& out) {
    out.clear();
    out.append(s, uint32_t(n));
    uint8_t* d = out.getData();
    size_t runStart = SIZE_MAX;
    for (size_t i = 0; i <= n; ++i) {
        bool rtl = i < n && macArabicRtl(s[i]);
        if (i < n) d[i] = macArabicRemap(s[i]);
        if (rtl) {
            if (runStart == SIZE_MAX) runStart = i;
        } else if (runStart != SIZE_MAX) {
            if (i - runStart >= 2) std::reverse(d + runStart, d + i);
            runStart = SIZE_MAX;
        }
    }
}

}  // namespace conv
}  // namespace tarvex
