// XString: one string kept in up to three forms (ANSI, UTF-8, UTF-16LE), each
// made on demand from a valid form and cached until the value changes.
#include "charset/XString.h"

#include "platform/Platform.h"
#include "charset/EncodingConvert.h"

namespace tarvex {
namespace {

const uint8_t kTwoNuls[2] = {0, 0};

const uint8_t* bytesOf(const StringBuffer& s) { return reinterpret_cast<const uint8_t*>(s.getString()); }

void setText(StringBuffer& target, const DataBuffer& bytes) {
    target.clear();
    target.appendN(reinterpret_cast<const char*>(bytes.getData()), int32_t(bytes.getSize()));
}

}  // namespace

XString::XString() : ansiExact_(0), wideValid_(true), ansiValid_(true), utf8Valid_(true) {
    wide_.append(kTwoNuls, 2);
}

void XString::clear() {
    ansiExact_ = 0;
    wideValid_ = ansiValid_ = utf8Valid_ = true;
    wide_.clear();
    wide_.append(kTwoNuls, 2);
    ansi_.clear();
    utf8_.clear();
}

void XString::setFromAnsi(const char* s) {
    if (!s || !*s) {
        clear();
        return;
    }
    ansi_.setString(s);
    ansiValid_ = true;
    wideValid_ = utf8Valid_ = false;
    ansiExact_ = 1;
}

void XString::setFromUtf8(const char* s) {
    if (!s || !*s) {
        clear();
        return;
    }
    utf8_.setString(s);
    utf8Valid_ = true;
    wideValid_ = ansiValid_ = false;
    ansiExact_ = 0;
}

void XString::setFromWide(const OLECHAR* w) {
    if (!w || !*w) {
        clear();
        return;
    }
    uint32_t n = 0;
    while (w[n]) ++n;
    wide_.clear();
    wide_.append(w, n * 2);
    wide_.append(kTwoNuls, 2);
    wideValid_ = true;
    ansiValid_ = utf8Valid_ = false;
    ansiExact_ = 0;
}

void XString::setFromBstr(BSTR b) {
    UINT n = b ? SysStringLen(b) : 0;
    if (n == 0) {
        clear();
        return;
    }
    wide_.clear();
    wide_.append(b, n * 2);
    wide_.append(kTwoNuls, 2);
    wideValid_ = true;
    ansiValid_ = utf8Valid_ = false;
    ansiExact_ = 0;
}

// Converts the wide form (without its two NULs) into `target`; a wide form of
// 3 bytes or fewer gives an empty result.
static bool convertWide(const DataBuffer& wide, uint32_t to, StringBuffer& target) {
    target.clear();
    if (wide.getSize() <= 3) return true;
    DataBuffer out;
    EncodingConvert conv;
    const uint8_t* p = wide.getData();
    uint32_t n = wide.getSize() - 2;
    // A leading U+FEFF is a character of the string, not a byte-order mark
    // (the converter would skip it).
    if (to == codepage::kUtf8 && p[0] == 0xFF && p[1] == 0xFE) {
        static const uint8_t mark[] = {0xEF, 0xBB, 0xBF};
        out.append(mark, 3);
        p += 2;
        n -= 2;
    }
    bool ok = n == 0 || conv.convert(codepage::kUtf16Le, to, p, n, out);
    setText(target, out);
    return ok;
}

static bool convertText(const StringBuffer& text, uint32_t from, uint32_t to, DataBuffer& out) {
    EncodingConvert conv;
    const uint8_t* p = bytesOf(text);
    uint32_t n = uint32_t(text.getSize());
    if (from == codepage::kUtf8 && to == codepage::kUtf16Le && n >= 3 && p[0] == 0xEF && p[1] == 0xBB &&
        p[2] == 0xBF) {
        static const uint8_t mark[] = {0xFF, 0xFE};
        out.append(mark, 2);
        p += 3;
        n -= 3;
        if (n == 0) return true;
    }
    return conv.convert(from, to, p, n, out);
}

const char* XString::getAnsi() {
    if (ansiValid_) return ansi_.getString();
    const uint32_t ansi = platform::ansiCodePage();
    if (utf8Valid_) {
        DataBuffer out;
        convertText(utf8_, codepage::kUtf8, ansi, out);
        setText(ansi_, out);
    } else if (wideValid_) {
        convertWide(wide_, ansi, ansi_);
    } else {
        clear();
    }
    ansiValid_ = true;
    return ansi_.getString();
}

// The wide form is preferred as the source: an ANSI form made from it may have
// lost characters, while UTF-16 and UTF-8 carry the same text.
const char* XString::getUtf8() {
    if (utf8Valid_) return utf8_.getString();
    if (wideValid_) {
        convertWide(wide_, codepage::kUtf8, utf8_);
    } else if (ansiValid_) {
        DataBuffer out;
        convertText(ansi_, platform::ansiCodePage(), codepage::kUtf8, out);
        setText(utf8_, out);
    } else {
        clear();
    }
    utf8Valid_ = true;
    return utf8_.getString();
}

const OLECHAR* XString::getWide() {
    if (!wideValid_) {
        if (utf8Valid_ || ansiValid_) {
            wide_.clear();
            if (utf8Valid_) {
                convertText(utf8_, codepage::kUtf8, codepage::kUtf16Le, wide_);
            } else {
                convertText(ansi_, platform::ansiCodePage(), codepage::kUtf16Le, wide_);
            }
            wide_.append(kTwoNuls, 2);
        } else {
            clear();
        }
        wideValid_ = true;
    }
    return reinterpret_cast<const OLECHAR*>(wide_.getData());
}

const DataBuffer& XString::getWideBytes() {
    getWide();
    return wide_;
}

int32_t XString::getLength() {
    if (ansiValid_) return ansi_.getSize();
    getWide();
    return int32_t((wide_.getSize() - 2) / 2);
}

bool XString::isAnsiExact() {
    if (ansiExact_ != 0) return ansiExact_ == 1;
    const uint32_t ansi = platform::ansiCodePage();
    bool ok;
    if (wideValid_) {
        ok = convertWide(wide_, ansi, ansi_);
    } else if (utf8Valid_) {
        DataBuffer out;
        ok = convertText(utf8_, codepage::kUtf8, ansi, out);
        setText(ansi_, out);
    } else {
        return true;
    }
    ansiValid_ = true;
    ansiExact_ = ok ? 1 : 2;
    return ok;
}

}  // namespace tarvex
