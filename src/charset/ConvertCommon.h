// Shared by the converter's codec families (internal to charset/): the output
// cursor, the conversion settings, the unmappable-input actions and the word
// helpers of the ASCII fast paths.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "charset/EncodingConvert.h"
#include "text/DataBuffer.h"

namespace tarvex {

struct CodePageTable;

namespace conv {

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

// The table of a code page that has one and can be converted, else null
// (always null for the Unicode forms).
const CodePageTable* tableOf(uint32_t cp);
// Appends v in upper-case hexadecimal to out at *len.
void appendHex(uint32_t v, char* out, size_t* len);
// A plain conversion (action 0), for the fallback code page.
bool convertPlain(uint32_t from, uint32_t to, const uint8_t* p, size_t n, DataBuffer& out);
// Bytes an unmappable action writes as target bytes: wrapped in a marker in
// the first step of a two-step conversion, written raw otherwise.
void emitTargetBytes(const Settings& s, const uint8_t* b, size_t k, Out& o);
// A decoder found no mapping for the source bytes b[0..k). Returns whether the
// overall result stays true.
bool unmappedBytes(const Settings& s, uint32_t source, const uint8_t* b, size_t k, Out& o);
// Copies a marker's bytes through; `i` is the marker's unit index. Returns
// the index after it.
size_t copyMarker(const uint8_t* s, size_t units, size_t i, Out& o);

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

// ---------------------------------------------------------------------------
// The codec families.

// Unicode forms (ConvertUnicode.cpp).
size_t decodeUtf8(const Settings& st, const uint8_t* s, size_t n, size_t i, size_t limit, Out& o, bool& ok);
bool encodeUtf8(const Settings& st, const uint8_t* s, size_t n, Out& o);
bool utf8ToUtf32(const uint8_t* s, size_t n, bool bigEndian, DataBuffer& outBuf);
bool utf32ToUtf8(const uint8_t* s, size_t n, bool bigEndian, DataBuffer& outBuf);
void swapUnits(const uint8_t* s, size_t n, DataBuffer& outBuf);

// Table code pages (ConvertTables.cpp).
size_t decodeSingleByte(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t i, size_t limit, Out& o,
                        bool& ok);
size_t decodeDoubleByte(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t n, size_t i,
                        size_t limit, Out& o, bool& ok);
bool encodeTable(const Settings& st, const CodePageTable* t, const uint8_t* s, size_t n, Out& o);
void singleByteToUtf8(const CodePageTable* t, const uint8_t* s, size_t n, Out& o);
void macArabicCorrect(const uint8_t* s, size_t n, DataBuffer& out);

// UTF-7 (ConvertUtf7.cpp).
bool encodeUtf7(const uint8_t* s, size_t n, DataBuffer& outBuf);
bool decodeUtf7(const Settings& st, const uint8_t* s, size_t n, DataBuffer& outBuf);

// ISO-2022 (ConvertIso2022.cpp): to and from the table code page each rides on.
bool sjisToJis(const uint8_t* s, size_t n, DataBuffer& out);
bool jisToSjis(const uint8_t* s, size_t n, DataBuffer& out);
bool uhcToIsoKr(const uint8_t* s, size_t n, DataBuffer& out);
bool isoKrToUhc(const uint8_t* s, size_t n, DataBuffer& out);

}  // namespace conv
}  // namespace tarvex
