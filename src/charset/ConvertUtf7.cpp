// UTF-7 (RFC 2152). Set D, Set O and space, TAB, CR, LF are written directly;
// "+" is written "+-"; everything else goes into base64 runs.
#include "charset/ConvertCommon.h"

#include "base/Base64Alphabet.h"

namespace tarvex {
namespace conv {

namespace {

bool utf7Direct(uint32_t u) {
    if (u >= 0x80 || u == 0) return false;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) return true;
    if (u == ' ' || u == '\t' || u == '\r' || u == '\n') return true;
    return std::strchr("'(),-./:?!\"#$%&*;<=>@[]^_`{|}", int(u)) != nullptr;
}

}  // namespace

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

}  // namespace conv
}  // namespace tarvex
