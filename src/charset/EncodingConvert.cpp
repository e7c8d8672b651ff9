// EncodingConvert: every conversion goes through UTF-16LE (1200). Code pages
// with tables are decoded and encoded through the process-wide mapping tables;
// the Unicode forms, UTF-7 and the ISO-2022 encodings are handled here.
//
// Output is written straight into the target DataBuffer through `Out`, which
// reserves room up front and grows geometrically when an estimate falls short.
#include "charset/EncodingConvert.h"

#include "base/Base64Alphabet.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/Platform.h"
#include "charset/CharsetRegistry.h"
#include "charset/CodePageTables.h"
#include "text/DataBuffer.h"
#include "charset/HashConvert.h"

namespace tarvex {
namespace {

// In the first step of a two-step conversion an unmappable action that writes
// target bytes wraps them as: unit 0xEFFD (bytes FD EF), a 16-bit length, the
// bytes, one pad byte when the length is odd. The second step copies them.
constexpr uint16_t kMarkerUnit = 0xEFFD;

// Two-step conversions without markers run in slices of this many input
// bytes, so the UTF-16 intermediate stays small and cache-resident.
constexpr size_t kSliceBytes = 64 * 1024;

#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

inline uint32_t load16(const uint8_t* s) { return uint32_t(s[0]) | (uint32_t(s[1]) << 8); }
inline uint64_t load64(const uint8_t* s) {
    uint64_t v;
    std::memcpy(&v, s, 8);
    return v;
}
inline bool isHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// 8 ASCII bytes -> 8 UTF-16LE units (little-endian hosts only).
inline void widen8(uint64_t v, uint8_t* d) {
    uint64_t lo = v & 0xFFFFFFFFull;
    uint64_t hi = v >> 32;
    lo = (lo | (lo << 16)) & 0x0000FFFF0000FFFFull;
    lo = (lo | (lo << 8)) & 0x00FF00FF00FF00FFull;
    hi = (hi | (hi << 16)) & 0x0000FFFF0000FFFFull;
    hi = (hi | (hi << 8)) & 0x00FF00FF00FF00FFull;
    std::memcpy(d, &lo, 8);
    std::memcpy(d + 8, &hi, 8);
}

// 4 UTF-16LE units below 0x80 -> 4 bytes (little-endian hosts only).
inline void narrow4(uint64_t v, uint8_t* d) {
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    v = (v | (v >> 16)) & 0xFFFFFFFFull;
    uint32_t w = uint32_t(v);
    std::memcpy(d, &w, 4);
}
constexpr uint64_t kAsciiBytes = 0x8080808080808080ull;
constexpr uint64_t kAsciiUnits = 0xFF80FF80FF80FF80ull;

inline uint8_t* putUnit(uint8_t* d, uint32_t u) {
    d[0] = uint8_t(u);
    d[1] = uint8_t(u >> 8);
    return d + 2;
}

// UTF-8 form of one code point (lone surrogates included); returns the end.
inline uint8_t* putUtf8(uint8_t* d, uint32_t cp) {
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

// Writes into a DataBuffer's block directly. `room` makes sure k more bytes
// fit after the cursor d (growing by half the capacity at least) and returns
// the cursor, which moves when the block is reallocated; `done` publishes the
// size. Only one Out may write to a buffer at a time.
class Out {
public:
    explicit Out(DataBuffer& b) : buf_(b) { load(); }
    uint8_t* cur() const { return cur_; }
    uint8_t* room(uint8_t* d, size_t k) {
        if (size_t(end_ - d) >= k) return d;
        return grow(d, k);
    }
    void done(uint8_t* d) {
        cur_ = d;
        buf_.setSize(uint32_t(d - base_));
    }
    void put(const uint8_t* p, size_t k) {
        uint8_t* d = room(cur_, k);
        if (k) std::memcpy(d, p, k);
        done(d + k);
    }

private:
    uint8_t* grow(uint8_t* d, size_t k) {
        size_t used = size_t(d - base_);
        size_t cap = size_t(end_ - base_);
        // 64-bit arithmetic: with a 32-bit size_t the sums below could wrap.
        uint64_t want = uint64_t(used) + k;
        uint64_t next = uint64_t(cap) + cap / 2;
        if (next < want) next = want;
        if (next < 256) next = 256;
        if (want > 0xFFFFFFFFull) std::abort();  // beyond what a DataBuffer can hold
        if (next > 0xFFFFFFFFull) next = 0xFFFFFFFFull;
        buf_.setSize(uint32_t(used));
        buf_.ensureCapacity(uint32_t(next));
        load();
        return cur_;
    }
    void load() {
        base_ = buf_.getData();
        cur_ = base_ + buf_.getSize();
        end_ = base_ + buf_.getCapacity();
    }

    DataBuffer& buf_;
    uint8_t* base_ = nullptr;
    uint8_t* cur_ = nullptr;
    uint8_t* end_ = nullptr;
};

// ---------------------------------------------------------------------------
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
            uint32_t len = uint32_t(putUtf8(tmp, u) - tmp);
            uint32_t e = len << 24;
            for (uint32_t j = 0; j < len; ++j) e |= uint32_t(tmp[j]) << (8 * j);
            x->utf8Of[b] = e;
        }
    });
    return *x;
}

// ---------------------------------------------------------------------------

struct Settings {
    int32_t action = 0;
    uint32_t fallback = 0;
    const uint8_t* substitute = nullptr;
    uint32_t substituteLength = 0;
    uint32_t target = 0;  // the conversion's final target code page
    bool firstStage = false;
    bool secondStage = false;
    bool markers() const { return secondStage && (action == 1 || action == 6 || action == 7); }
};

const CodePageTable* tableOf(uint32_t cp) {
    if (cp == codepage::kUtf16Le || cp == codepage::kUtf16Be || cp == codepage::kUtf8 || cp == codepage::kUtf7 ||
        cp == codepage::kUtf32Le || cp == codepage::kUtf32Be)
        return nullptr;
    const CodePageTable* t = codePageTable(cp);
    if (!t) return nullptr;
    if (t->doubleByte ? t->decode == nullptr : t->decode256 == nullptr) return nullptr;
    return t;
}

void appendHex(uint32_t v, char* out, size_t* len) {
    char tmp[8];
    size_t k = 0;
    do {
        tmp[k++] = "0123456789ABCDEF"[v & 0xF];
        v >>= 4;
    } while (v);
    while (k) out[(*len)++] = tmp[--k];
}

bool convertPlain(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
    EncodingConvert c;
    return c.convert(from, to, p, uint32_t(n), out);
}

// Bytes an unmappable action writes as target bytes: wrapped in a marker in
// the first step of a two-step conversion, written raw otherwise.
void emitTargetBytes(const Settings& s, const uint8_t* b, size_t k, Out& o) {
    if (k > 0xFFFF) k = 0xFFFF;
    if (s.firstStage) {
        uint8_t head[4] = {0xFD, 0xEF, uint8_t(k), uint8_t(k >> 8)};
        o.put(head, 4);
        o.put(b, k);
        const uint8_t pad = 0;
        if (k & 1) o.put(&pad, 1);
    } else {
        o.put(b, k);
    }
}

// A decoder found no mapping for the source bytes b[0..k). Returns whether the
// overall result stays true.
bool unmappedBytes(const Settings& s, uint32_t source, const uint8_t* b, size_t k, Out& o) {
    switch (s.action) {
    case 1:
        emitTargetBytes(s, s.substitute, s.substituteLength, o);
        return false;
    case 2: {
        char ref[48];
        size_t len = 0;
        ref[len++] = '&';
        ref[len++] = '#';
        ref[len++] = 'x';
        for (size_t j = 0; j < k && j < 4; ++j) {
            ref[len++] = "0123456789ABCDEF"[b[j] >> 4];
            ref[len++] = "0123456789ABCDEF"[b[j] & 0xF];
        }
        ref[len++] = ';';
        uint8_t units[96];
        for (size_t j = 0; j < len; ++j) putUnit(units + 2 * j, uint8_t(ref[j]));
        o.put(units, 2 * len);
        return true;
    }
    case 6: {
        // The bytes on their own, read in the fallback code page.
        uint32_t fb = s.fallback ? s.fallback : (s.firstStage ? s.target : 0);
        if (fb && fb != source && fb != codepage::kUtf16Le) {
            DataBuffer t;
            convertPlain(fb, codepage::kUtf16Le, b, k, t);
            o.put(t.getData(), t.getSize() & ~1u);
        }
        return false;
    }
    case 7:
        if (s.firstStage) {
            emitTargetBytes(s, b, k, o);
        } else {
            // Into UTF-16 each raw byte becomes one code unit.
            for (size_t j = 0; j < k; ++j) {
                uint8_t u[2] = {b[j], 0};
                o.put(u, 2);
            }
        }
        return false;
    default:
        return false;
    }
}

// An encoder found no mapping for code point cp (units u[0..k) of the UTF-16
// input). `asciiOf` gives the target bytes of an ASCII character (for
// references). Returns whether the overall result stays true.
template <typename AsciiOf>
bool unmappedUnits(const Settings& s, uint32_t cp, const uint8_t* u, size_t k, Out& o, AsciiOf asciiOf) {
    switch (s.action) {
    case 1:
        o.put(s.substitute, s.substituteLength);
        return false;
    case 2: {
        char ref[16];
        size_t len = 0;
        ref[len++] = '&';
        ref[len++] = '#';
        ref[len++] = 'x';
        appendHex(cp, ref, &len);
        ref[len++] = ';';
        for (size_t j = 0; j < len; ++j) asciiOf(uint8_t(ref[j]), o);
        return true;
    }
    case 6: {
        uint32_t fb = s.fallback ? s.fallback : s.target;
        if (fb && fb != codepage::kUtf16Le) {
            DataBuffer t;
            convertPlain(codepage::kUtf16Le, fb, u, 2 * k, t);
            o.put(t.getData(), t.getSize());
        }
        return false;
    }
    case 7:
        o.put(u, 2 * k);
        return false;
    default:
        return false;
    }
}

// Copies a marker's bytes through; `i` is the marker's unit index. Returns
// the index after it.
size_t copyMarker(const uint8_t* s, size_t units, size_t i, Out& o) {
    if (i + 1 >= units) return units;
    size_t len = load16(s + 2 * (i + 1));
    size_t start = 2 * (i + 2);
    size_t avail = 2 * units - std::min(start, 2 * units);
    o.put(s + std::min(start, 2 * units), std::min(len, avail));
    return std::min(units, i + 2 + (len + 1) / 2);
}

// ---------------------------------------------------------------------------
// Decoders into UTF-16LE. Each starts at position i and stops at the first
// character boundary at or after `limit`, returning it; they can therefore be
// resumed slice by slice with the same result as one call.

constexpr size_t kBlock = 16384;

// Widens the ASCII bytes from s[i], eight at a time up to blockEnd, into
// UTF-16LE units at d; stops before the first group holding a byte >= 0x80.
// Little-endian hosts only.
inline void widenAsciiRun(const uint8_t* s, size_t& i, size_t blockEnd, uint8_t*& d) {
    while (i + 8 <= blockEnd) {
        uint64_t v = load64(s + i);
        if (v & kAsciiBytes) break;
        widen8(v, d);
        d += 16;
        i += 8;
    }
}

// The decoder's byte s[i] has no mapping: applies the unmappable action and
// returns the cursor with room again for the rest of the block.
inline uint8_t* unmappedByteAt(const Settings& st, uint32_t source, const uint8_t* s, size_t i, size_t blockEnd,
                               uint8_t* d, Out& o, bool& ok) {
    o.done(d);
    if (!unmappedBytes(st, source, s + i, 1, o)) ok = false;
    return o.room(o.cur(), 2 * (blockEnd - i) + 16);
}

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
            if (b >= 0xC2 && b <= 0xDF) {
                if (i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
                    d = putUnit(d, ((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
                    i += 2;
                    continue;
                }
            } else if (b >= 0xE0 && b <= 0xEF) {
                if (i + 2 < n) {
                    uint32_t b1 = s[i + 1], b2 = s[i + 2];
                    if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b != 0xE0 || b1 >= 0xA0)) {
                        d = putUnit(d, ((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
                        i += 3;
                        continue;
                    }
                }
            } else if (b >= 0xF0 && b <= 0xF4) {
                // Four bytes (valid ranges only) become a surrogate pair.
                if (i + 3 < n) {
                    uint32_t b1 = s[i + 1], b2 = s[i + 2], b3 = s[i + 3];
                    if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b3 & 0xC0) == 0x80 &&
                        (b != 0xF0 || b1 >= 0x90) && (b != 0xF4 || b1 <= 0x8F)) {
                        uint32_t cp = ((b & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
                        cp -= 0x10000;
                        d = putUnit(d, 0xD800 | (cp >> 10));
                        d = putUnit(d, 0xDC00 | (cp & 0x3FF));
                        i += 4;
                        continue;
                    }
                }
            }
            // Invalid or truncated: this byte alone is skipped.
            d = unmappedByteAt(st, codepage::kUtf8, s, i, blockEnd, d, o, ok);
            ++i;
        }
    }
    o.done(d);
    return i;
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

// ---------------------------------------------------------------------------
// Encoders from UTF-16LE (whole input).

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
                d = putUtf8(d, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
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

// ---------------------------------------------------------------------------
// UTF-7 (RFC 2152). Set D, Set O and space, TAB, CR, LF are written directly;
// "+" is written "+-"; everything else goes into base64 runs.


bool utf7Direct(uint32_t u) {
    if (u >= 0x80 || u == 0) return false;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) return true;
    if (u == ' ' || u == '\t' || u == '\r' || u == '\n') return true;
    return std::strchr("'(),-./:?!\"#$%&*;<=>@[]^_`{|}", int(u)) != nullptr;
}

bool encodeUtf7(const uint8_t* s, size_t n, DataBuffer& outBuf) {
    bool ok = true;
    if (n & 1) {
        ok = false;
        --n;
    }
    size_t units = n / 2, i = 0;
    if (units && load16(s) == 0xFEFF) i = 1;
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), (units - i) * 3 + 8);
    bool inShift = false;
    uint32_t bits = 0, buffer = 0;
    for (; i < units; ++i) {
        uint32_t u = load16(s + 2 * i);
        if (inShift && utf7Direct(u)) {
            if (bits) *d++ = uint8_t(kBase64Alphabet[(buffer << (6 - bits)) & 0x3F]);
            bits = buffer = 0;
            inShift = false;
            if (base64Value(uint8_t(u)) >= 0 || u == '-') *d++ = '-';
            *d++ = uint8_t(u);
            continue;
        }
        if (!inShift) {
            if (u == '+') {
                *d++ = '+';
                *d++ = '-';
                continue;
            }
            if (utf7Direct(u)) {
                *d++ = uint8_t(u);
                continue;
            }
            *d++ = '+';
            inShift = true;
        }
        buffer = ((buffer << 16) | u) & 0x3FFFFF;
        bits += 16;
        while (bits >= 6) {
            *d++ = uint8_t(kBase64Alphabet[(buffer >> (bits - 6)) & 0x3F]);
            bits -= 6;
        }
    }
    if (bits) *d++ = uint8_t(kBase64Alphabet[(buffer << (6 - bits)) & 0x3F]);
    if (inShift) *d++ = '-';
    o.done(d);
    return ok;
}

bool decodeUtf7(const Settings& st, const uint8_t* s, size_t n, DataBuffer& outBuf) {
    bool ok = true;
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), 2 * n + 16);
    bool inShift = false;
    uint32_t bits = 0, buffer = 0;
    size_t i = 0;
    while (i < n) {
        uint8_t c = s[i];
        if (inShift) {
            int v = base64Value(c);
            if (v >= 0) {
                buffer = ((buffer << 6) | uint32_t(v)) & 0x3FFFFF;
                bits += 6;
                if (bits >= 16) {
                    d = putUnit(d, (buffer >> (bits - 16)) & 0xFFFF);
                    bits -= 16;
                }
                ++i;
                continue;
            }
            // The run ends; leftover bits must be fewer than 6 and zero.
            if (bits >= 6 || (buffer & ((1u << bits) - 1)) != 0) ok = false;
            inShift = false;
            bits = buffer = 0;
            if (c == '-') {
                ++i;
                continue;
            }
        }
        if (c == '+') {
            if (i + 1 < n && s[i + 1] == '-') {
                d = putUnit(d, '+');
                i += 2;
            } else {
                inShift = true;
                ++i;
            }
            continue;
        }
        if (c < 0x80) {
            d = putUnit(d, c);
        } else {
            ok = false;
            if (st.action) {
                o.done(d);
                unmappedBytes(st, codepage::kUtf7, s + i, 1, o);
                d = o.room(o.cur(), 2 * (n - i) + 16);
            }
        }
        ++i;
    }
    if (inShift && (bits >= 6 || (buffer & ((1u << bits) - 1)) != 0)) ok = false;
    o.done(d);
    return ok;
}

// ---------------------------------------------------------------------------
// UTF-32.

// UTF-8 to UTF-32; an invalid or truncated sequence (or a surrogate) ends the
// conversion with failure.
bool utf8ToUtf32(const uint8_t* s, size_t n, bool bigEndian, DataBuffer& outBuf) {
    Out o(outBuf);
    uint8_t* d = o.room(o.cur(), std::min<size_t>(4 * n, 1u << 20) + 8);
    size_t i = 0;
    bool ok = true;
    while (i < n) {
        d = o.room(d, 4);
        uint32_t b = s[i], cp = 0;
        size_t len = 0;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
        } else {
            ok = false;
            break;
        }
        if (i + len > n) {
            ok = false;
            break;
        }
        bool good = true;
        for (size_t j = 1; j < len; ++j) {
            if ((s[i + j] & 0xC0) != 0x80) good = false;
            cp = (cp << 6) | (s[i + j] & 0x3F);
        }
        if (!good || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
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
        d = putUtf8(d, cp);
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

// ---------------------------------------------------------------------------
// Escape-sequence encodings, written through a 200-byte staging buffer.

class Staging {
public:
    explicit Staging(DataBuffer& out) : out_(out) {}
    ~Staging() { flush(); }
    void put(uint8_t b) {
        if (n_ == sizeof(buf_)) flush();
        buf_[n_++] = b;
    }
    void put3(uint8_t a, uint8_t b, uint8_t c) {
        put(a);
        put(b);
        put(c);
    }
    void flush() {
        out_.append(buf_, n_);
        n_ = 0;
    }

private:
    DataBuffer& out_;
    uint8_t buf_[200];
    uint32_t n_ = 0;
};

constexpr uint8_t kEsc = 0x1B;

// JIS X 0208 codes of the half-width katakana 0xA1..0xDF.
const uint16_t kHalfWidthKana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565,
    0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, 0x2531, 0x2533,
    0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564,
    0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C};

inline bool isSjisLead(uint32_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool sjisToJis(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    auto enterTwoByte = [&] {
        if (!twoByte) st.put3(kEsc, '$', 'B');
        twoByte = true;
    };
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = s[i];
        if (isSjisLead(b)) {
            if (i + 1 >= n) {
                ok = false;  // truncated pair
                break;
            }
            uint32_t t = s[++i];
            uint32_t j1 = ((b - (b < 0xA0 ? 0x71 : 0xB1)) << 1) + 1;
            if (t > 0x7F) --t;
            uint32_t j2;
            if (t >= 0x9E) {
                ++j1;
                j2 = t - 0x7D;
            } else {
                j2 = t - 0x1F;
            }
            enterTwoByte();
            st.put(uint8_t(j1));
            st.put(uint8_t(j2));
        } else if (b >= 0xA1 && b <= 0xDF) {
            uint32_t code = kHalfWidthKana[b - 0xA1];
            enterTwoByte();
            st.put(uint8_t(code >> 8));
            st.put(uint8_t(code));
        } else {
            if (twoByte) st.put3(kEsc, '(', 'B');
            twoByte = false;
            st.put(uint8_t(b));
        }
    }
    if (twoByte) st.put3(kEsc, '(', 'B');
    return ok;
}

bool jisToSjis(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    size_t i = 0;
    while (i < n) {
        uint32_t b = s[i];
        if (b == kEsc) {
            if (i + 2 < n && s[i + 1] == '$' && (s[i + 2] == '@' || s[i + 2] == 'B')) {
                twoByte = true;
                i += 3;
            } else if (i + 2 < n && s[i + 1] == '(' && (s[i + 2] == 'B' || s[i + 2] == 'J')) {
                twoByte = false;
                i += 3;
            } else {
                // Any other escape: intermediates 0x20-0x2F, then one final byte.
                ++i;
                while (i < n && s[i] >= 0x20 && s[i] <= 0x2F) ++i;
                if (i < n) ++i;
            }
            continue;
        }
        if (b == '\r' || b == '\n') {
            twoByte = false;
            st.put(uint8_t(b));
            ++i;
            continue;
        }
        if (twoByte && b >= 0x21 && b <= 0x7E) {
            if (i + 1 >= n) {
                ok = false;
                break;
            }
            uint32_t j1 = b, j2 = s[i + 1];
            uint32_t s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
            uint32_t s2 = j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E);
            st.put(uint8_t(s1));
            st.put(uint8_t(s2));
            i += 2;
            continue;
        }
        st.put(uint8_t(b));
        ++i;
    }
    return ok;
}

constexpr uint8_t kShiftOut = 0x0E, kShiftIn = 0x0F;

bool uhcToIsoKr(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    st.put(kEsc);
    st.put3('$', ')', 'C');
    bool twoByte = false, ok = true;
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = s[i];
        if (b < 0x80) {
            if (twoByte) st.put(kShiftIn);
            twoByte = false;
            st.put(uint8_t(b));
            continue;
        }
        if (i + 1 >= n) {
            ok = false;  // truncated pair
            break;
        }
        if (!twoByte) st.put(kShiftOut);
        twoByte = true;
        st.put(uint8_t(b & 0x7F));
        st.put(uint8_t(s[++i] & 0x7F));
    }
    return ok;
}

// The designator ESC $ ) C only announces the character set; SO enters and SI
// leaves two-byte mode, so text before the first SO stays single-byte.
bool isoKrToUhc(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    size_t i = 0;
    while (i < n) {
        uint32_t b = s[i];
        if (b == kEsc && i + 3 < n && s[i + 1] == '$' && s[i + 2] == ')' && s[i + 3] == 'C') {
            i += 4;
            continue;
        }
        if (b == kShiftOut || b == kShiftIn) {
            twoByte = b == kShiftOut;
            ++i;
            continue;
        }
        if (twoByte && b >= 0x21 && b <= 0x7E) {
            if (i + 1 >= n) {
                ok = false;
                break;
            }
            st.put(uint8_t(b | 0x80));
            st.put(uint8_t(s[i + 1] | 0x80));
            i += 2;
            continue;
        }
        st.put(uint8_t(b));
        ++i;
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Mac Arabic: stored display order to logical order. Runs of two or more
// right-to-left bytes are reversed; bytes are remapped as they pass.

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

// ---------------------------------------------------------------------------
// The conversion pipeline.

class Engine {
public:
    explicit Engine(const Settings& s) : st_(s) {}

    // Steps 3 onwards: special targets, then the general conversion.
    bool toTarget(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
        if (from == to) {
            out.append(p, uint32_t(n));
            return true;
        }
        DataBuffer mid;
        bool ok;
        switch (to) {
        case codepage::kUtf7:
            ok = toTarget(from, codepage::kUtf16Le, p, n, mid);
            return encodeUtf7(mid.getData(), mid.getSize(), out) && ok;
        case codepage::kUtf32Le:
        case codepage::kUtf32Be:
            ok = toTarget(from, codepage::kUtf8, p, n, mid);
            return utf8ToUtf32(mid.getData(), mid.getSize(), to == codepage::kUtf32Be, out) && ok;
        case codepage::kUtf16Be:
            ok = toTarget(from, codepage::kUtf16Le, p, n, mid);
            swapUnits(mid.getData(), mid.getSize(), out);
            return ok && (mid.getSize() & 1) == 0;
        case 50220:
        case 50221:
        case 50222:
            ok = toTarget(from, codepage::kShiftJis, p, n, mid);
            return sjisToJis(mid.getData(), mid.getSize(), out) && ok;
        case 50225:
            ok = toTarget(from, codepage::kKorean, p, n, mid);
            return uhcToIsoKr(mid.getData(), mid.getSize(), out) && ok;
        default:
            return general(from, to, p, n, out);
        }
    }

private:
    bool general(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
        if (n == 0) return true;
        DataBuffer prepared;
        bool ok = true;
        if (from == codepage::kUtf8 && n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            p += 3;
            n -= 3;
        } else if (from == codepage::kUtf16Le || from == codepage::kUtf16Be) {
            bool bigEndian = from == codepage::kUtf16Be;
            if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
                bigEndian = true;
                p += 2;
                n -= 2;
            } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
                bigEndian = false;
                p += 2;
                n -= 2;
            }
            if (n == 0) return true;
            if (bigEndian) {
                swapUnits(p, n, prepared);
                if (n & 1) ok = false;
                p = prepared.getData();
                n = prepared.getSize();
            }
            from = codepage::kUtf16Le;
        } else if (from == codepage::kUtf32Le || from == codepage::kUtf32Be) {
            ok = utf32ToUtf8(p, n, from == codepage::kUtf32Be, prepared);
            p = prepared.getData();
            n = prepared.getSize();
            from = codepage::kUtf8;
        } else if (from == codepage::kUtf7) {
            ok = decodeUtf7(st_, p, n, prepared);
            p = prepared.getData();
            n = prepared.getSize();
            from = codepage::kUtf16Le;
        }
        if (from == to) {
            out.append(p, uint32_t(n));
            return ok;
        }
        return pivot(from, to, p, n, out) && ok;
    }

    bool pivot(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
        if (from == codepage::kUtf16Le) return encodeFrom16(to, p, n, out);
        if (to == codepage::kUtf16Le) {
            bool ok = true;
            if (2ull * n + 16 + out.getSize() <= 0xFFFFFFFFull) out.ensureCapacity(uint32_t(out.getSize() + 2 * n + 16));
            decodeTo16(from, p, n, 0, n, out, ok);
            return ok;
        }
        return twoStep(from, to, p, n, out);
    }

    bool encodeFrom16(uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
        Out o(out);
        if (to == codepage::kUtf8) {
            o.room(o.cur(), n / 2 + n / 8 + 16);
            return encodeUtf8(st_, p, n, o);
        }
        const CodePageTable* t = tableOf(to);
        if (!t) return false;
        o.room(o.cur(), n / 2 + 4);
        return encodeTable(st_, t, p, n, o);
    }

    // Decodes p[i..] into UTF-16LE up to the first boundary at or after limit.
    // An unsupported source decodes nothing (returns n, ok false).
    size_t decodeTo16(uint32_t from, const uint8_t* p, size_t n, size_t i, size_t limit, DataBuffer& out, bool& ok) {
        Out o(out);
        if (from == codepage::kUtf8) return decodeUtf8(st_, p, n, i, limit, o, ok);
        const CodePageTable* t = tableOf(from);
        if (!t) {
            ok = false;
            return n;
        }
        if (t->doubleByte) return decodeDoubleByte(st_, t, p, n, i, limit, o, ok);
        return decodeSingleByte(st_, t, p, i, limit, o, ok);
    }

    // Source to 1200 (first-stage flag), then 1200 to the target (second-stage
    // flag). Only the second step's outcome is reported.
    bool twoStep(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out) {
        if (st_.action == 0 && to == codepage::kUtf8) {
            const CodePageTable* t = tableOf(from);
            if (t && !t->doubleByte) {
                Out o(out);
                o.room(o.cur(), n + n / 4 + 16);
                singleByteToUtf8(t, p, n, o);
                return true;
            }
        }
        DataBuffer mid;
        if (st_.action != 0) {
            // Markers may cross any boundary: run each step over the whole input.
            bool ignored = true;
            st_.firstStage = true;
            decodeTo16(from, p, n, 0, n, mid, ignored);
            st_.firstStage = false;
            st_.secondStage = true;
            bool ok = encodeFrom16(to, mid.getData(), mid.getSize(), out);
            st_.secondStage = false;
            return ok;
        }
        if (to != codepage::kUtf8 && !tableOf(to)) return false;
        bool ok = true;
        size_t pos = 0;
        mid.ensureCapacity(uint32_t(2 * std::min(n, kSliceBytes) + 64));
        // Reserve the whole output once rather than growing slice by slice.
        const uint64_t estimate = uint64_t(out.getSize()) + n + n / 4 + 16;
        if (estimate <= 0xFFFFFFFFull) out.ensureCapacity(uint32_t(estimate));
        do {
            bool ignored = true;
            st_.firstStage = true;
            pos = decodeTo16(from, p, n, pos, std::min(n, pos + kSliceBytes), mid, ignored);
            st_.firstStage = false;
            // A high surrogate at the end of a slice waits for its partner.
            size_t m = mid.getSize(), keep = 0;
            if (pos < n && m >= 2 && isHighSurrogate(load16(mid.getData() + m - 2))) keep = 2;
            st_.secondStage = true;
            if (!encodeFrom16(to, mid.getData(), m - keep, out)) ok = false;
            st_.secondStage = false;
            if (keep) std::memmove(mid.getData(), mid.getData() + m - keep, keep);
            mid.setSize(uint32_t(keep));
        } while (pos < n);
        return ok;
    }

    Settings st_;
};

}  // namespace

EncodingConvert::EncodingConvert() : action_(0), fallback_(0), substitute_{}, substituteLength_(0) {}

void EncodingConvert::setUnmappableAction(int32_t action) { action_ = action; }
void EncodingConvert::setFallbackCodePage(uint32_t codePage) { fallback_ = codePage; }

void EncodingConvert::setSubstitute(const uint8_t* bytes, uint32_t n) {
    if (!bytes) n = 0;
    if (n > sizeof(substitute_)) n = sizeof(substitute_);
    if (n) std::memcpy(substitute_, bytes, n);
    substituteLength_ = n;
}

bool EncodingConvert::convert(uint32_t from, uint32_t to, const uint8_t* bytes, uint32_t n, DataBuffer& out) {
    if (!bytes) n = 0;
    if (from == to) {
        out.append(bytes, n);
        return true;
    }
    // Input inside the output's own block would move when the output grows.
    DataBuffer ownCopy;
    const uint8_t* base = out.getData();
    if (n && base && bytes >= base && bytes < base + out.getCapacity()) {
        ownCopy.append(bytes, n);
        bytes = ownCopy.getData();
    }

    Settings s;
    s.action = action_;
    s.fallback = fallback_;
    s.substitute = substitute_;
    s.substituteLength = substituteLength_;
    s.target = to;
    Engine engine(s);

    // Stateful and special sources become a table code page first.
    DataBuffer prepared;
    bool ok = true;
    if (from >= 50220 && from <= 50222) {
        ok = jisToSjis(bytes, n, prepared);
        from = codepage::kShiftJis;
    } else if (from == 50225) {
        ok = isoKrToUhc(bytes, n, prepared);
        from = codepage::kKorean;
    } else if (from == codepage::kMacArabic) {
        macArabicCorrect(bytes, n, prepared);
    } else {
        return engine.toTarget(from, to, bytes, n, out);
    }
    bool converted = engine.toTarget(from, to, prepared.getData(), prepared.getSize(), out);
    return converted && ok;
}

bool EncodingConvert::convertByName(const char* from, const char* to, const uint8_t* bytes, uint32_t n,
                                    DataBuffer& out) {
    uint32_t f = codePageForName(from), t = codePageForName(to);
    if (!f || !t) return false;
    return convert(f, t, bytes, n, out);
}

bool EncodingConvert::convertFromName(const char* from, uint32_t to, const uint8_t* bytes, uint32_t n,
                                      DataBuffer& out) {
    uint32_t f = codePageForName(from);
    if (!f) return false;
    return convert(f, to, bytes, n, out);
}

bool EncodingConvert::convertToName(uint32_t from, const char* to, const uint8_t* bytes, uint32_t n,
                                    DataBuffer& out) {
    uint32_t t = codePageForName(to);
    if (!t) return false;
    return convert(from, t, bytes, n, out);
}

bool EncodingConvert::ansiToCodePage(uint32_t to, const uint8_t* bytes, uint32_t n, DataBuffer& out) {
    return convert(platform::ansiCodePage(), to, bytes, n, out);
}

bool EncodingConvert::codePageToAnsi(uint32_t from, const uint8_t* bytes, uint32_t n, DataBuffer& out) {
    return convert(from, platform::ansiCodePage(), bytes, n, out);
}

bool EncodingConvert::isSupported(uint32_t codePage) {
    switch (codePage) {
    case codepage::kUtf16Le:
    case codepage::kUtf16Be:
    case codepage::kUtf7:
    case codepage::kUtf8:
    case codepage::kUtf32Le:
    case codepage::kUtf32Be:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
        return true;
    default:
        return tableOf(codePage) != nullptr;
    }
}

}  // namespace tarvex
