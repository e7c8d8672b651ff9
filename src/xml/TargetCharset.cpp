#include "xml/TargetCharset.h"

#include "charset/EncodingConvert.h"
#include "text/DataBuffer.h"

namespace tarvex {

namespace {

bool isUnicodeForm(uint32_t cp) {
    return cp == codepage::kUtf16Le || cp == codepage::kUtf16Be || cp == codepage::kUtf32Le ||
           cp == codepage::kUtf32Be || cp == codepage::kUtf7 || cp == codepage::kUtf8;
}

}  // namespace

TargetCharset::TargetCharset(uint32_t codePage)
    : codePage_(codePage), unicode_(isUnicodeForm(codePage)), state_(unicode_ ? 0 : 0x10000, 0) {}

bool TargetCharset::canEncode(uint32_t ch) {
    if (ch >= 0xD800 && ch <= 0xDFFF) return false;
    // The Unicode forms hold every character; the code-page tables only
    // characters of the Basic Multilingual Plane.
    if (unicode_) return true;
    if (ch > 0xFFFF) return false;
    uint8_t& s = state_[ch];
    if (s == 0) {
        uint8_t unit[2] = {static_cast<uint8_t>(ch & 0xFF), static_cast<uint8_t>(ch >> 8)};
        DataBuffer out;
        EncodingConvert conv;
        bool ok = conv.convert(codepage::kUtf16Le, codePage_, unit, 2, out) && out.getSize() > 0;
        s = ok ? 1 : 2;
    }
    return s == 1;
}

}  // namespace tarvex
