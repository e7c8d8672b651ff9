// The wide-string bridge: UTF-16LE automation strings to UTF-8 and back,
// through the converter (code pages 1200 and 65001).
#include "charset/WideString.h"

#include <cstring>

#include "text/DataBuffer.h"
#include "charset/EncodingConvert.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

// A BSTR of (size / 2) characters holding the buffer's bytes.
BSTR bstrFromBytes(const DataBuffer& bytes) {
    uint32_t n = bytes.getSize() & ~1u;
    return SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.getData()), n);
}

BSTR emptyBstr() { return SysAllocStringLen(OLESTR(""), 0); }

// A string crossing the interface keeps every character: the converter skips
// a leading U+FEFF as a byte-order mark, which only a byte block being read
// as a document carries, so here it is written by hand.
const uint8_t kUtf8Feff[] = {0xEF, 0xBB, 0xBF};
const uint8_t kUtf16Feff[] = {0xFF, 0xFE};

void toUtf8(BSTR b, DataBuffer& out) {
    UINT len = b ? SysStringLen(b) : 0;
    if (len == 0) return;
    const OLECHAR* p = b;
    if (p[0] == 0xFEFF) {
        out.append(kUtf8Feff, 3);
        ++p;
        --len;
    }
    EncodingConvert conv;
    if (len > 0) conv.convert(codepage::kUtf16Le, codepage::kUtf8, reinterpret_cast<const uint8_t*>(p), len * 2, out);
}

}  // namespace

void appendBstrUtf8(BSTR b, StringBuffer& out) {
    DataBuffer utf8;
    toUtf8(b, utf8);
    if (utf8.getSize() > 0) out.appendN(reinterpret_cast<const char*>(utf8.getData()), int32_t(utf8.getSize()));
}

void bstrToUtf8(BSTR b, DataBuffer& out) {
    out.clear();
    toUtf8(b, out);
}

BSTR utf8ToBstr(const char* text, int32_t length) {
    if (!text) return emptyBstr();
    uint32_t n = length < 0 ? uint32_t(std::strlen(text)) : uint32_t(length);
    if (n == 0) return emptyBstr();
    DataBuffer wide;
    EncodingConvert conv;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        wide.append(kUtf16Feff, 2);
        if (n > 3) conv.convert(codepage::kUtf8, codepage::kUtf16Le, bytes + 3, n - 3, wide);
        return bstrFromBytes(wide);
    }
    conv.convert(codepage::kUtf8, codepage::kUtf16Le, bytes, n, wide);
    // Text that is not UTF-8 at all is taken as ANSI instead.
    if (wide.getSize() < 2) {
        wide.clear();
        conv.ansiToCodePage(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(text), n, wide);
    }
    return bstrFromBytes(wide);
}

BSTR utf8ToBstr(const StringBuffer& text) { return utf8ToBstr(text.getString(), text.getSize()); }

}  // namespace tarvex
