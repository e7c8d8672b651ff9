// EncodingConvert, the engine: every conversion goes through UTF-16LE (1200).
// Special sources and targets (ISO-2022, UTF-7, UTF-32, UTF-16BE, Mac Arabic)
// are turned into a plain form first; the codec families live in Convert*.cpp
// and share ConvertCommon.h. The unmappable-input actions are applied here.
//
// Output is written straight into the target DataBuffer through `Out`, which
// reserves room up front and grows geometrically when an estimate falls short.
#include "charset/EncodingConvert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/Platform.h"
#include "charset/CharsetRegistry.h"
#include "charset/CodePageTables.h"
#include "charset/ConvertCommon.h"
#include "text/DataBuffer.h"

namespace tarvex {
namespace conv {

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

}  // namespace conv

namespace {

using namespace conv;

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

// Pages whose bytes 0x01-0x7F are the same ASCII characters.
bool asciiIdentityPage(uint32_t cp) {
    return (cp >= 1250 && cp <= 1258) || (cp >= 28591 && cp <= 28605) || cp == 20127;
}

// True when every UTF-16LE unit of p[0..n) is in U+0001..U+007F.
bool asciiUnits(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; i += 2) {
        if (p[i + 1] != 0 || p[i] == 0 || p[i] >= 0x80) return false;
    }
    return true;
}

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

    // Plain ASCII into a Windows or ISO single-byte page (file names, most
    // short strings) is the low bytes, without building the page's tables.
    if (from == codepage::kUtf16Le && (n & 1) == 0 && asciiIdentityPage(to) && asciiUnits(bytes, n)) {
        const uint32_t start = out.getSize();
        out.ensureCapacity(start + n / 2);
        out.setSize(start + n / 2);
        uint8_t* d = out.getData() + start;
        for (uint32_t i = 0; i < n / 2; ++i) d[i] = bytes[2 * i];
        return true;
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
