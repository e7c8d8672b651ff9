// The ANSI operations of StringBuffer: conversions between automation strings
// or other code pages and the system ANSI code page. They are members because
// the component calls them as such, but they need the converter, so they are
// defined here on the charset floor; text/ itself never includes charset/.
#include "text/StringBuffer.h"

#include "charset/EncodingConvert.h"
#include "text/DataBuffer.h"

namespace tarvex {
namespace {

void bstrToAnsi(BSTR b, DataBuffer& out) {
    UINT len = b ? SysStringLen(b) : 0;
    if (len == 0) return;
    EncodingConvert conv;
    conv.codePageToAnsi(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(b), len * 2, out);
}

}  // namespace

StringBuffer StringBuffer::fromBstrAnsi(BSTR b) {
    DataBuffer ansi;
    bstrToAnsi(b, ansi);
    int32_t n = int32_t(ansi.getSize());
    StringBuffer sb(CapacityTag{}, n + 4, 200);
    sb.appendN(reinterpret_cast<const char*>(ansi.getData()), n);
    return sb;
}

void StringBuffer::appendBstrAnsi(BSTR b) {
    checkValid();
    DataBuffer ansi;
    bstrToAnsi(b, ansi);
    appendN(reinterpret_cast<const char*>(ansi.getData()), int32_t(ansi.getSize()));
}

BSTR StringBuffer::toBstrAnsi() const {
    checkValid();
    DataBuffer wide;
    if (length_ > 0) {
        EncodingConvert conv;
        conv.ansiToCodePage(codepage::kUtf16Le, reinterpret_cast<const uint8_t*>(data_), uint32_t(length_), wide);
    }
    return SysAllocStringByteLen(reinterpret_cast<const char*>(wide.getData()), wide.getSize() & ~1u);
}

bool StringBuffer::convertToAnsi(uint32_t codePage) {
    checkValid();
    DataBuffer ansi;
    EncodingConvert conv;
    bool ok = conv.codePageToAnsi(codePage, reinterpret_cast<const uint8_t*>(data_), uint32_t(length_), ansi);
    clear();
    appendN(reinterpret_cast<const char*>(ansi.getData()), int32_t(ansi.getSize()));
    return ok;
}

bool StringBuffer::convertFromAnsi(uint32_t codePage) {
    checkValid();
    DataBuffer converted;
    EncodingConvert conv;
    bool ok = conv.ansiToCodePage(codePage, reinterpret_cast<const uint8_t*>(data_), uint32_t(length_), converted);
    clear();
    appendN(reinterpret_cast<const char*>(converted.getData()), int32_t(converted.getSize()));
    return ok;
}

}  // namespace tarvex
