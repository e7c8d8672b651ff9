#include "xml/EntityDecoder.h"

#include <cstring>

#include "base/FatalError.h"
#include "base/Memory.h"
#include "base/ShortCopy.h"
#include "charset/Utf8.h"
#include "text/FindByte.h"
#include "text/StringBuffer.h"

namespace tarvex {

namespace {

// The five predefined entities, as they follow the '&'.
struct PredefinedEntity {
    const char* name;
    int32_t length;
    char byte;
};
constexpr PredefinedEntity kPredefinedEntities[] = {
    {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"amp;", 4, '&'}, {"quot;", 5, '"'}, {"apos;", 5, '\''},
};

inline bool matchAt(const char* p, const char* end, const char* s, int32_t n) {
    return end - p >= n && std::memcmp(p, s, static_cast<size_t>(n)) == 0;
}

// The byte of the predefined entity at s (just after an '&'), advancing s
// past it; '&' when none starts there.
inline char predefinedAt(const char*& s, const char* end) {
    for (const PredefinedEntity& entity : kPredefinedEntities) {
        if (matchAt(s, end, entity.name, entity.length)) {
            s += entity.length;
            return entity.byte;
        }
    }
    return '&';
}

// The character of the reference at s (just after "&#"), advancing s past
// its ';'; 0 (s unmoved) when the text there is not a reference to a
// character.
uint32_t characterAt(const char*& s, const char* end) {
    const char* q = s;
    uint32_t base = 10;
    if (q < end && (*q == 'x' || *q == 'X')) {
        base = 16;
        ++q;
    }
    uint32_t value = 0;
    int digits = 0;
    for (; q < end; ++q) {
        char c = *q;
        uint32_t d;
        if (c >= '0' && c <= '9') {
            d = static_cast<uint32_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<uint32_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * base + d;
        if (value > 0x10FFFF) return 0;
        ++digits;
    }
    if (digits == 0 || q >= end || *q != ';') return 0;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    s = q + 1;
    return value;
}

void appendUtf8(StringBuffer& out, uint32_t cp) {
    uint8_t bytes[4];
    uint8_t* end = writeUtf8(bytes, cp);
    out.appendN(reinterpret_cast<const char*>(bytes), static_cast<int32_t>(end - bytes));
}

}  // namespace

EntityDecoder::~EntityDecoder() {
    if (bytes_) memFree(bytes_);
}

void EntityDecoder::decode(const char*& p, int32_t& n) {
    if (n <= 0) return;
    if (const char* amp = findByte(p, p + n, '&')) decode(p, n, amp);
}

void EntityDecoder::decode(const char*& p, int32_t& n, const char* amp) {
    if (n > capacity_) {
        int32_t grown = n < 256 ? 256 : n;
        void* block = memRealloc(bytes_, static_cast<size_t>(grown));
        if (!block) fatalError("out of memory decoding entities");
        bytes_ = static_cast<char*>(block);
        capacity_ = grown;
    }
    const char* end = p + n;
    char* o = copyShort(bytes_, p, static_cast<size_t>(amp - p));
    const char* s = amp;
    while (s < end) {
        char c = *s++;
        if (c == '&') c = predefinedAt(s, end);
        *o++ = c;
    }
    p = bytes_;
    n = static_cast<int32_t>(o - bytes_);
}

void EntityDecoder::append(StringBuffer& out, const char* p, int32_t n) {
    decode(p, n);
    if (n > 0) out.appendN(p, n);
}

void EntityDecoder::appendCharacters(StringBuffer& out, const char* p, int32_t n, bool predefined) {
    const char* end = p + n;
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<size_t>(end - p)));
        if (!amp) {
            out.appendN(p, static_cast<int32_t>(end - p));
            return;
        }
        if (amp > p) out.appendN(p, static_cast<int32_t>(amp - p));
        p = amp + 1;
        if (p < end && *p == '#') {
            const char* s = p + 1;
            if (uint32_t cp = characterAt(s, end)) {
                appendUtf8(out, cp);
                p = s;
                continue;
            }
        }
        out.appendChar(predefined ? predefinedAt(p, end) : '&');
    }
}

}  // namespace tarvex
