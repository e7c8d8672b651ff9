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

}  // namespace

void appendBstrUtf8(BSTR b, StringBuffer& out) {
    UINT len = b ? SysStringLen(b) : 0;
    if (len == 0) return;
    DataBuffer utf8;
    EncodingConvert conv;
    conv.convert(codepage::kUtf16Le, codepage::kUtf8, reinterpret_cast<const uint8_t*>(b), len * 2, utf8);
    out.appendN(reinterpret_cast<const char*>(utf8.getData()), int32_t(utf8.getSize()));
}

void bstrToUtf8(BSTR b, DataBuffer& out) {
    out.clear();
    UINT len = b ? SysStringLen(b) : 0;
    if (len == 0) return;
    EncodingConvert conv;
    conv.convert(codepage::kUtf16Le, codepage::kUtf8, reinterpret_cast<const uint8_t*>(b), len * 2, out);
}

BSTR utf8ToBstr(const char* text, int32_t length) {
    if (!text) return emptyBstr();
    uint32_t n = length < 0 ? uint32_t(std::strlen(text)) : uint32_t(length);
    if (n == 0) return emptyBstr();
    DataBuffer wide;
    EncodingConvert conv;
    conv.convert(codepage::kUtf8, codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(text), n, wide);
    // Text that is not UTF-8 at all is taken as ANSI instead.
    if (wide.getSize() < 2) {
        wide.clear();
        conv.ansiToCodePage(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(text), n, wide);
    }
    return bstrFromBytes(wide);
}

BSTR utf8ToBstr(const StringBuffer& text) { return utf8ToBstr(text.getString(), text.getSize()); }

}  // namespace tarvex
