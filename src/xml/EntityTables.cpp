#include "xml/EntityTables.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "charset/EncodingConvert.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {

namespace {

struct NamedEntity {
    const char* name;   // without "&" and ";"
    unsigned char byte;
};

// Named entities and the byte each one decodes to.
constexpr NamedEntity kNamedEntities[] = {
    {"lt", 60}, {"gt", 62}, {"apos", 39}, {"quot", 34}, {"amp", 38},
    {"nbsp", 32},
    {"iexcl", 161}, {"curren", 164}, {"cent", 162}, {"pound", 163}, {"yen", 165},
    {"brvbar", 166}, {"sect", 167}, {"uml", 168}, {"copy", 169}, {"ordf", 170},
    {"laquo", 171}, {"not", 172}, {"shy", 173}, {"reg", 174}, {"trade", 153},
    {"macr", 175}, {"deg", 176}, {"plusmn", 177}, {"sup2", 178}, {"sup3", 179},
    {"acute", 180}, {"micro", 181}, {"para", 182}, {"middot", 183}, {"cedil", 184},
    {"sup1", 185}, {"ordm", 186}, {"raquo", 187}, {"frac14", 188}, {"frac12", 189},
    {"frac34", 190}, {"iquest", 191}, {"times", 215}, {"divide", 247},
    {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194}, {"Atilde", 195}, {"Auml", 196},
    {"Aring", 197}, {"AElig", 198}, {"Ccedil", 199}, {"Egrave", 200}, {"Eacute", 201},
    {"Ecirc", 202}, {"Euml", 203}, {"Igrave", 204}, {"Iacute", 205}, {"Icirc", 206},
    {"Iuml", 207}, {"ETH", 208}, {"Ntilde", 209}, {"Ograve", 210}, {"Oacute", 211},
    {"Ocirc", 212}, {"Otilde", 213}, {"Ouml", 214}, {"Oslash", 216}, {"Ugrave", 217},
    {"Uacute", 218}, {"Ucirc", 219}, {"Uuml", 220}, {"Yacute", 221}, {"THORN", 222},
    {"szlig", 223}, {"agrave", 224}, {"aacute", 225}, {"acirc", 226}, {"atilde", 227},
    {"auml", 228}, {"aring", 229}, {"aelig", 230}, {"ccedil", 231}, {"egrave", 232},
    {"eacute", 233}, {"ecirc", 234}, {"euml", 235}, {"igrave", 236}, {"iacute", 237},
    {"icirc", 238}, {"iuml", 239}, {"eth", 240}, {"ntilde", 241}, {"ograve", 242},
    {"oacute", 243}, {"ocirc", 244}, {"otilde", 245}, {"ouml", 246}, {"oslash", 248},
    {"ugrave", 249}, {"uacute", 250}, {"ucirc", 251}, {"uuml", 252}, {"yacute", 253},
    {"thorn", 254}, {"yuml", 255},
    {"OElig", 140}, {"oelig", 156}, {"Scaron", 138}, {"scaron", 154}, {"Yuml", 159},
    {"circ", 136}, {"tilde", 152},
    {"ensp", 32}, {"emsp", 32}, {"thinsp", 32}, {"zwnj", 32}, {"zwj", 32}, {"lrm", 32},
    {"rlm", 32},
    {"ndash", 150}, {"mdash", 151}, {"lsquo", 145}, {"rsquo", 146}, {"sbquo", 130},
    {"ldquo", 147}, {"rdquo", 148}, {"bdquo", 132}, {"dagger", 134}, {"Dagger", 135},
    {"hellip", 133}, {"permil", 137}, {"lsaquo", 139}, {"rsaquo", 155}, {"euro", 128},
};

constexpr size_t kNamedCount = sizeof(kNamedEntities) / sizeof(kNamedEntities[0]);
constexpr size_t kMaxNameLength = 6;

struct NumericEntity {
    int32_t value;
    unsigned char byte;
};

// Characters above 255 that have a Windows-1252 byte, by code point.
constexpr NumericEntity kWindows1252[] = {
    {338, 140},  {339, 156},  {352, 138},  {353, 154},  {376, 159},  {710, 136},
    {732, 152},  {8194, 32},  {8195, 32},  {8201, 32},  {8204, 32},  {8205, 32},
    {8206, 32},  {8207, 32},  {8211, 150}, {8212, 151}, {8216, 145}, {8217, 146},
    {8218, 130}, {8220, 147}, {8221, 148}, {8222, 132}, {8224, 134}, {8225, 135},
    {8230, 133}, {8240, 137}, {8249, 139}, {8250, 155}, {8364, 128}, {8482, 153},
};

struct NameKey {
    const char* name;
    size_t len;
    unsigned char byte;
};

bool nameLess(const NameKey& a, const NameKey& b) {
    const size_t n = std::min(a.len, b.len);
    const int c = std::memcmp(a.name, b.name, n);
    return c != 0 ? c < 0 : a.len < b.len;
}

// Sorted copy of the named table for binary search; built once.
const std::array<NameKey, kNamedCount>& sortedNames() {
    static const std::array<NameKey, kNamedCount> table = [] {
        std::array<NameKey, kNamedCount> t{};
        for (size_t i = 0; i < kNamedCount; ++i)
            t[i] = NameKey{kNamedEntities[i].name, std::strlen(kNamedEntities[i].name),
                           kNamedEntities[i].byte};
        std::sort(t.begin(), t.end(), nameLess);
        return t;
    }();
    return table;
}

bool lookupName(const char* name, size_t len, unsigned char* byte) {
    const auto& table = sortedNames();
    const NameKey key{name, len, 0};
    auto it = std::lower_bound(table.begin(), table.end(), key, nameLess);
    if (it == table.end() || it->len != len || std::memcmp(it->name, name, len) != 0) return false;
    *byte = it->byte;
    return true;
}

bool lookupWindows1252(int64_t value, unsigned char* byte) {
    for (const NumericEntity& e : kWindows1252) {
        if (e.value == value) {
            *byte = e.byte;
            return true;
        }
    }
    return false;
}

bool isScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal reference read from just after "&#".
struct NumericRef {
    bool parsed = false;        // a number was read
    bool plainDigits = false;   // digits right after "#", no space or sign
    bool semicolon = false;     // a ";" directly follows the digits
    int64_t value = 0;          // saturated far above any value of interest
    size_t consumed = 0;        // bytes after "&#" up to the digits' end, plus the ";"
};

// Reads the number like a "%d" conversion: optional whitespace and sign, then
// every digit. NUL bytes end the reference like any other non-digit.
NumericRef readNumericRef(const char* p, const char* end) {
    NumericRef r;
    const char* q = p;
    while (q < end && isScanSpace(*q)) ++q;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) {
        negative = (*q == '-');
        ++q;
    }
    const char* digits = q;
    int64_t value = 0;
    while (q < end && *q >= '0' && *q <= '9') {
        if (value < 100000000) value = value * 10 + (*q - '0');
        ++q;
    }
    if (q == digits) return r;
    r.parsed = true;
    r.plainDigits = (digits == p);
    r.value = negative ? -value : value;
    if (q < end && *q == ';') {
        r.semicolon = true;
        ++q;
    }
    r.consumed = static_cast<size_t>(q - p);
    return r;
}

}  // namespace

int32_t decodeNumericReferences(const char* bytes, int32_t length, StringBuffer& out) {
    if (!bytes || length <= 0) return 0;
    const char* end = bytes;
    {
        const void* nul = std::memchr(bytes, 0, static_cast<size_t>(length));
        end = nul ? static_cast<const char*>(nul) : bytes + length;
    }
    int32_t count = 0;
    const char* p = bytes;
    const char* run = p;   // start of the bytes not yet copied
    while (p < end) {
        if (*p != '&' || p + 1 >= end || p[1] != '#') {
            ++p;
            continue;
        }
        const NumericRef ref = readNumericRef(p + 2, end);
        if (ref.parsed) ++count;
        if (ref.parsed && ref.value >= 1 && ref.value <= 255) {
            out.appendN(run, static_cast<int32_t>(p - run));
            out.appendChar(static_cast<char>(ref.value));
            p += 2 + ref.consumed;
            run = p;
        } else {
            ++p;   // the "&" stays; scanning resumes at the "#"
        }
    }
    out.appendN(run, static_cast<int32_t>(end - run));
    return count;
}

void decodeEntities(StringBuffer& text) {
    const char* data = text.getString();
    const int32_t size = text.getSize();
    if (size <= 0 || !std::memchr(data, '&', static_cast<size_t>(size))) return;

    const char* end = data + size;
    StringBuffer out;
    out.ensureCapacity(size);
    bool changed = false;
    const char* p = data;
    const char* run = p;
    while (p < end) {
        const void* amp = std::memchr(p, '&', static_cast<size_t>(end - p));
        if (!amp) break;
        p = static_cast<const char*>(amp);
        unsigned char byte = 0;
        size_t refLen = 0;   // bytes of the reference, "&" included
        if (p + 1 < end && p[1] == '#') {
            const NumericRef ref = readNumericRef(p + 2, end);
            if (ref.parsed && ref.value >= 1 && ref.value <= 255) {
                byte = static_cast<unsigned char>(ref.value);
                refLen = 2 + ref.consumed;
            } else if (ref.parsed && ref.plainDigits && ref.semicolon &&
                       lookupWindows1252(ref.value, &byte)) {
                refLen = 2 + ref.consumed;
            }
        } else {
            const size_t avail = static_cast<size_t>(end - p - 1);
            const size_t scan = std::min(avail, kMaxNameLength + 1);
            const void* semi = std::memchr(p + 1, ';', scan);
            if (semi) {
                const size_t nameLen = static_cast<size_t>(static_cast<const char*>(semi) - (p + 1));
                if (nameLen > 0 && lookupName(p + 1, nameLen, &byte)) refLen = nameLen + 2;
            }
        }
        if (refLen == 0) {
            ++p;   // not a reference: the "&" stays as it is
            continue;
        }
        out.appendN(run, static_cast<int32_t>(p - run));
        out.appendChar(static_cast<char>(byte));
        p += refLen;
        run = p;
        changed = true;
    }
    if (!changed) return;
    out.appendN(run, static_cast<int32_t>(end - run));
    text.clear();
    text.appendN(out.getString(), out.getSize());
}

namespace {

// Whether the ANSI code page holds the UTF-16 character at p (n units: 1, or
// 2 for a surrogate pair): it converts there and back unchanged.
bool ansiHolds(const OLECHAR* p, uint32_t n) {
    if (n == 1 && p[0] < 0x80) return true;
    EncodingConvert conv;
    DataBuffer ansi, back;
    conv.codePageToAnsi(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(p), n * 2, ansi);
    if (ansi.getSize() == 0) return false;
    conv.ansiToCodePage(codepage::kUtf16Le, ansi.getData(), ansi.getSize(), back);
    return back.getSize() == n * 2 && std::memcmp(back.getData(), p, n * 2) == 0;
}

uint32_t unitsAt(const OLECHAR* p, uint32_t left) {
    return (left >= 2 && p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
}

}  // namespace

BSTR decodeEntitiesWide(BSTR text) {
    const uint32_t len = text ? SysStringLen(text) : 0;
    DataBuffer out;   // UTF-16LE
    EncodingConvert conv;
    uint32_t i = 0;
    while (i < len) {
        uint32_t j = i;
        while (j < len) {
            uint32_t n = unitsAt(text + j, len - j);
            if (!ansiHolds(text + j, n)) break;
            j += n;
        }
        if (j > i) {
            DataBuffer ansi;
            conv.codePageToAnsi(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(text + i), (j - i) * 2, ansi);
            StringBuffer run(reinterpret_cast<const char*>(ansi.getData()), static_cast<int32_t>(ansi.getSize()), 0);
            decodeEntities(run);
            conv.ansiToCodePage(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(run.getString()),
                                static_cast<uint32_t>(run.getSize()), out);
        }
        while (j < len) {
            uint32_t n = unitsAt(text + j, len - j);
            if (ansiHolds(text + j, n)) break;
            out.append(reinterpret_cast<const uint8_t*>(text + j), n * 2);
            j += n;
        }
        i = j;
    }
    return SysAllocStringByteLen(reinterpret_cast<const char*>(out.getData()), out.getSize() & ~1u);
}

}  // namespace tarvex
