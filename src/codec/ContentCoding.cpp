#include "codec/ContentCoding.h"

#include <cstring>

#include "base/Base64Alphabet.h"
#include "base/Memory.h"
#include "charset/CharsetRegistry.h"
#include "charset/EncodingConvert.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

// ---------------------------------------------------------------- tables

// The four characters of 3 bytes come from two lookups of 12 bits each.
struct PairTable {
    char pair[4096][2];
    constexpr PairTable() : pair() {
        for (int i = 0; i < 4096; ++i) {
            pair[i][0] = kBase64Alphabet[i >> 6];
            pair[i][1] = kBase64Alphabet[i & 63];
        }
    }
};
constexpr PairTable kPairs;

enum CharClass : uint8_t { kValue, kSkip, kStop, kOutside };

constexpr uint32_t kBad = 0x01000000u;

// Per byte: its class, its 6-bit value, and the value placed at each of the
// four positions of a quantum (kBad where the byte is not a plain value).
struct DecodeTable {
    uint8_t cls[256];
    uint8_t value[256];
    uint32_t at[4][256];
    constexpr DecodeTable(bool lenient) : cls(), value(), at() {
        for (int c = 0; c < 256; ++c) {
            int v = base64Value(static_cast<uint8_t>(c));
            if (v < 0) {
                if (c == '-') v = 62;                // "-" and "_": the URL-safe alphabet
                else if (c == '_') v = 63;
                else if (c > '+' && c < 'z') v = 0;  // other bytes in range carry no bits
            }
            uint8_t k = kValue;
            if (c == 0 || c == '=') k = kStop;
            else if (c == '\t' || c == '\n' || c == '\r' || c == ' ') k = kSkip;
            else if (v < 0) k = kOutside;
            if (k == kOutside && lenient) {
                k = kValue;
                v = 62;
            }
            cls[c] = k;
            value[c] = static_cast<uint8_t>(v < 0 ? 0 : v);
            for (int pos = 0; pos < 4; ++pos)
                at[pos][c] = k == kValue ? static_cast<uint32_t>(v) << (18 - 6 * pos) : kBad;
        }
    }
};
constexpr DecodeTable kStrict(false);
constexpr DecodeTable kLenient(true);

inline void encodeGroup(const uint8_t* p, char* o) {
    const uint32_t x = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    std::memcpy(o, kPairs.pair[x >> 12], 2);
    std::memcpy(o + 2, kPairs.pair[x & 4095], 2);
}

// The last one or two bytes, with pad characters.
inline char* encodeTail(const uint8_t* p, uint32_t rest, char* o) {
    if (rest == 0) return o;
    const uint32_t x = (uint32_t(p[0]) << 16) | (rest == 2 ? uint32_t(p[1]) << 8 : 0);
    o[0] = kBase64Alphabet[x >> 18];
    o[1] = kBase64Alphabet[(x >> 12) & 63];
    o[2] = rest == 2 ? kBase64Alphabet[(x >> 6) & 63] : '=';
    o[3] = '=';
    return o + 4;
}

int32_t groupsPerLine(int32_t lineLength) { return lineLength <= 4 ? 1 : (lineLength + 3) / 4; }

// Appends `size` characters produced by `write` to the text. An empty text
// takes the block itself, so a large encoding is written only once.
template <typename Write>
void appendGenerated(StringBuffer& out, uint64_t size, Write write) {
    if (size == 0) return;
    if (size >= INT32_MAX - static_cast<uint64_t>(out.getSize())) return;  // beyond a text buffer
    if (out.getSize() == 0) {
        char* block = static_cast<char*>(memAlloc(static_cast<size_t>(size) + 1));
        if (!block) return;
        write(block);
        out.adoptBlock(block, static_cast<int32_t>(size), static_cast<int32_t>(size) + 1);
        return;
    }
    DataBuffer temp;
    temp.ensureCapacity(static_cast<uint32_t>(size));
    write(reinterpret_cast<char*>(temp.getData()));
    out.appendN(reinterpret_cast<const char*>(temp.getData()), static_cast<int32_t>(size));
}

bool isHexUpper(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

// ---------------------------------------------------------------- base64 out

uint64_t ContentCoding::base64LinesSize(uint32_t n) const {
    if (n == 0) return 0;
    const uint64_t groups = n / 3;
    return groups * 4 + groups / groupsPerLine(lineLength_) * 2 + (n % 3 ? 4 : 0) + 2;
}

char* ContentCoding::encodeBase64LinesChunk(const uint8_t* p, uint32_t n, char* o, bool last) const {
    if (n == 0 && last) return o;
    const uint32_t perLine = static_cast<uint32_t>(groupsPerLine(lineLength_));
    const uint32_t lineBytes = perLine * 3;
    // Whole lines: a group count, then CR LF.
    while (n >= lineBytes) {
        for (uint32_t g = 0; g < perLine; ++g, p += 3, o += 4) encodeGroup(p, o);
        o[0] = '\r';
        o[1] = '\n';
        o += 2;
        n -= lineBytes;
    }
    if (!last) return o;
    for (; n >= 3; n -= 3, p += 3, o += 4) encodeGroup(p, o);
    o = encodeTail(p, n, o);
    o[0] = '\r';
    o[1] = '\n';
    return o + 2;
}

void ContentCoding::encodeBase64LinesInto(const uint8_t* p, uint32_t n, char* o) const {
    encodeBase64LinesChunk(p, n, o, true);
}

void ContentCoding::encodeBase64Lines(const void* data, uint32_t n, StringBuffer& out) const {
    if (!data || n == 0) return;
    appendGenerated(out, base64LinesSize(n),
                    [&](char* block) { encodeBase64LinesInto(static_cast<const uint8_t*>(data), n, block); });
}

void ContentCoding::encodeBase64Block(const uint8_t* p, uint32_t n, char* o) {
    for (; n >= 3; n -= 3, p += 3, o += 4) encodeGroup(p, o);
    encodeTail(p, n, o);
}

void ContentCoding::encodeBase64(const void* data, uint32_t n, StringBuffer& out) {
    if (!data || n == 0) return;
    appendGenerated(out, base64Size(n),
                    [&](char* block) { encodeBase64Block(static_cast<const uint8_t*>(data), n, block); });
}

StringBuffer ContentCoding::encodeBase64Word(const void* data, uint32_t n) {
    StringBuffer word;
    encodeBase64(data, n, word);
    return word;
}

// ---------------------------------------------------------------- base64 in

bool ContentCoding::decodeBase64Block(const char* text, uint32_t n, bool strict, uint8_t* out,
                                      uint32_t* written) {
    const DecodeTable& t = strict ? kStrict : kLenient;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* const end = p + n;
    uint8_t* o = out;
    uint32_t acc = 0;
    int count = 0;
    *written = 0;
    while (p < end) {
        if (count == 0) {
            // Whole quanta of plain characters, four at a time.
            while (end - p >= 4) {
                const uint32_t x = t.at[0][p[0]] | t.at[1][p[1]] | t.at[2][p[2]] | t.at[3][p[3]];
                if (x & kBad) break;
                o[0] = static_cast<uint8_t>(x >> 16);
                o[1] = static_cast<uint8_t>(x >> 8);
                o[2] = static_cast<uint8_t>(x);
                o += 3;
                p += 4;
            }
            if (p >= end) break;
        }
        const uint8_t c = *p++;
        const uint8_t k = t.cls[c];
        if (k == kValue) {
            acc = (acc << 6) | t.value[c];
            if (++count == 4) {
                o[0] = static_cast<uint8_t>(acc >> 16);
                o[1] = static_cast<uint8_t>(acc >> 8);
                o[2] = static_cast<uint8_t>(acc);
                o += 3;
                acc = 0;
                count = 0;
            }
        } else if (k == kStop) {
            break;
        } else if (k == kOutside) {
            return false;
        }
    }
    // Only complete bytes count.
    if (count == 2) {
        *o++ = static_cast<uint8_t>(acc >> 4);
    } else if (count == 3) {
        *o++ = static_cast<uint8_t>(acc >> 10);
        *o++ = static_cast<uint8_t>(acc >> 2);
    }
    *written = static_cast<uint32_t>(o - out);
    return true;
}

namespace {

bool decodeInto(const char* text, uint32_t n, bool strict, DataBuffer& out) {
    out.clear();
    if (!text || n == 0) return strict;
    out.ensureCapacity(n / 4 * 3 + 3);
    uint32_t written = 0;
    if (!ContentCoding::decodeBase64Block(text, n, strict, out.getData(), &written)) {
        out.clear();
        return false;
    }
    out.setSize(written);
    return true;
}

}  // namespace

bool ContentCoding::decodeBase64Strict(const char* text, uint32_t n, DataBuffer& out) {
    return decodeInto(text, n, true, out);
}

bool ContentCoding::decodeBase64Lenient(const char* text, uint32_t n, DataBuffer& out) {
    return decodeInto(text, n, false, out);
}

// ---------------------------------------------------------------- Q coding

void ContentCoding::encodeQ(const uint8_t* p, uint32_t n, StringBuffer& out) {
    if (!p) return;
    out.ensureCapacity(static_cast<int32_t>(n < 0x20000000u ? n * 3 : 0));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        if (c == ' ') {
            out.appendChar('_');
        } else if (c > 32 && c < 127 && c != '=' && c != '?' && c != '_') {
            out.appendChar(static_cast<char>(c));
        } else {
            out.appendChar('=');
            out.appendChar(kHexDigits[c >> 4]);
            out.appendChar(kHexDigits[c & 15]);
        }
    }
}

void ContentCoding::decodeQ(const char* text, int32_t n, DataBuffer& out) {
    if (!text) return;
    const uint32_t length = n > 0 ? static_cast<uint32_t>(n) : static_cast<uint32_t>(std::strlen(text));
    out.ensureCapacity(out.getSize() + length);
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c == '_') {
            out.appendByte(' ');
        } else if (c == '=') {
            if (i + 2 < length && isHexUpper(text[i + 1]) && isHexUpper(text[i + 2])) {
                out.appendByte(static_cast<uint8_t>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
                i += 2;
            } else {
                out.appendByte('=');
            }
        } else if ((c > 32 && c < 127 && c != '?') || c >= 160) {
            out.appendByte(c);
        }
    }
}

void ContentCoding::makeQWord(const uint8_t* data, uint32_t n, const char* charset, StringBuffer& out) {
    out.append("=?");
    out.append(charset ? charset : "");
    out.append("?Q?");
    encodeQ(data, n, out);
    out.append("?=");
}

void ContentCoding::makeBWord(const uint8_t* data, uint32_t n, const char* charset, StringBuffer& out) {
    out.append("=?");
    out.append(charset ? charset : "");
    out.append("?B?");
    encodeBase64(data, n, out);
    out.append("?=");
}

// ---------------------------------------------------------------- encoded-words

void ContentCoding::decodeWordsImpl(const StringBuffer& text, DataBuffer& out, bool toUtf8) {
    const char* s = text.getString();
    const size_t length = std::strlen(s);  // the text ends at its first NUL
    const char* const end = s + length;
    const char* pos = s;
    DataBuffer word;
    EncodingConvert convert;
    for (;;) {
        const char* open = std::strstr(pos, "=?");
        if (!open) {
            out.append(pos, static_cast<uint32_t>(end - pos));
            return;
        }
        out.append(pos, static_cast<uint32_t>(open - pos));
        const char* charset = open + 2;
        const char* q = std::strchr(charset, '?');
        if (!q || q[1] == 0 || q[2] != '?' || q[3] == 0) return;
        const bool base64 = q[1] == 'B' || q[1] == 'b';
        const char* encoded = q + 3;
        const char* close = std::strstr(encoded, "?=");
        if (!close) return;
        const uint32_t encodedLength = static_cast<uint32_t>(close - encoded);
        if (encodedLength > 0) {
            word.clear();
            if (base64)
                decodeBase64Lenient(encoded, encodedLength, word);
            else
                decodeQ(encoded, static_cast<int32_t>(encodedLength), word);
            if (toUtf8 && word.getSize() > 0) {
                StringBuffer name(charset, static_cast<int32_t>(q - charset), 0);
                uint32_t codePage = codePageForName(name.getString());
                if (name.equalsNoCase("8bit")) codePage = codepage::kUtf8;
                DataBuffer converted;
                if (codePage != 0 && codePage != codepage::kUtf8 &&
                    convert.convert(codePage, codepage::kUtf8, word.getData(), word.getSize(), converted))
                    out.appendFrom(converted);
                else
                    out.appendFrom(word);
            } else {
                out.appendFrom(word);
            }
        }
        pos = close + 2;
    }
}

void ContentCoding::decodeWords(const StringBuffer& text, DataBuffer& out) { decodeWordsImpl(text, out, false); }

void ContentCoding::decodeHeaderWords(StringBuffer& text) {
    DataBuffer out;
    decodeWordsImpl(text, out, true);
    text.clear();
    text.appendN(reinterpret_cast<const char*>(out.getData()), static_cast<int32_t>(out.getSize()));
}

}  // namespace tarvex
