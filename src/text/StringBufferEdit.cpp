// StringBuffer, continued: replacing and removing, comparing and searching,
// splitting.
#include "text/StringBuffer.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "base/ExtPtrArray.h"
#include "text/XmlEscape.h"

namespace tarvex {

namespace {

inline bool isTrimByte(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0;
}

inline bool isNameValueSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline unsigned char asciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// First occurrence of needle (nlen > 0) in hay, or -1.
int32_t findBytes(const char* hay, int32_t hlen, const char* needle, int32_t nlen, int32_t from) {
    if (nlen <= 0 || hlen - from < nlen) return -1;
    const char first = needle[0];
    const char* p = hay + from;
    const char* last = hay + hlen - nlen;
    while (p <= last) {
        const void* hit = std::memchr(p, first, static_cast<size_t>(last - p) + 1);
        if (!hit) return -1;
        p = static_cast<const char*>(hit);
        if (std::memcmp(p, needle, static_cast<size_t>(nlen)) == 0) return static_cast<int32_t>(p - hay);
        ++p;
    }
    return -1;
}

}  // namespace

// ---------------------------------------------------------------- replacing

void StringBuffer::setString(const char* s) {
    checkValid();
    if (!s) {
        clear();
        return;
    }
    uintptr_t a = reinterpret_cast<uintptr_t>(s);
    uintptr_t lo = reinterpret_cast<uintptr_t>(data_);
    if (a >= lo && a < lo + static_cast<uintptr_t>(capacity_)) {
        // s points into this buffer: go through a copy.
        StringBuffer copy(s);
        length_ = 0;
        appendN(copy.data_, copy.length_);
        return;
    }
    int32_t n = checkedLength(s);
    length_ = 0;
    data_[0] = 0;
    appendN(s, n);
}

void StringBuffer::setBuffer(const StringBuffer& b) {
    checkValid();
    b.checkValid();
    if (&b == this) return;
    length_ = 0;
    data_[0] = 0;
    appendN(b.data_, b.length_);
}

void StringBuffer::clear() {
    checkValid();
    length_ = 0;
    data_[0] = 0;
}

void StringBuffer::shorten(int32_t n) {
    checkValid();
    if (n <= 0) return;
    length_ = n >= length_ ? 0 : length_ - n;
    data_[length_] = 0;
}

void StringBuffer::removeChunk(int32_t start, int32_t n) {
    checkValid();
    if (start < 0 || n < 0 || start >= length_ || static_cast<int64_t>(start) + n > length_) return;
    std::memmove(data_ + start, data_ + start + n, static_cast<size_t>(length_ - start - n) + 1);
    length_ -= n;
}

void StringBuffer::truncateAtChar(char c) {
    checkValid();
    void* hit = std::memchr(data_, static_cast<unsigned char>(c), static_cast<size_t>(length_));
    if (!hit) return;
    length_ = static_cast<int32_t>(static_cast<char*>(hit) - data_);
    data_[length_] = 0;
}

void StringBuffer::removeCharFrom(char c, int32_t start) {
    checkValid();
    if (start < 0) start = 0;
    if (start >= length_) return;
    int32_t w = start;
    for (int32_t r = start; r < length_; ++r)
        if (data_[r] != c) data_[w++] = data_[r];
    length_ = w;
    data_[length_] = 0;
}

void StringBuffer::removeAll(char c) { removeCharFrom(c, 0); }

void StringBuffer::replaceChar(char a, char b) {
    checkValid();
    for (int32_t i = 0; i < length_; ++i)
        if (data_[i] == a) data_[i] = b;
}

void StringBuffer::replaceAnyOf(const char five[5], char b) {
    checkValid();
    if (!five) return;
    for (int32_t i = 0; i < length_; ++i) {
        char c = data_[i];
        if (c == five[0] || c == five[1] || c == five[2] || c == five[3] || c == five[4]) data_[i] = b;
    }
}

int32_t StringBuffer::replaceAll(const char* from, const char* to) {
    checkValid();
    if (!from || !*from) return 0;
    int32_t flen = checkedLength(from);
    int32_t pos = findBytes(data_, length_, from, flen, 0);
    if (pos < 0) return 0;
    if (!to) to = "";
    int32_t tlen = checkedLength(to);
    StringBuffer out(CapacityTag{}, increment_, increment_);
    int32_t count = 0;
    int32_t done = 0;
    while (pos >= 0) {
        out.appendN(data_ + done, pos - done);
        out.appendN(to, tlen);
        ++count;
        done = pos + flen;
        pos = findBytes(data_, length_, from, flen, done);
    }
    out.appendN(data_ + done, length_ - done);
    // Take the rebuilt block; the old one goes with `out`.
    char* d = data_;
    int32_t c = capacity_;
    data_ = out.data_;
    capacity_ = out.capacity_;
    length_ = out.length_;
    increment_ = out.increment_;
    out.data_ = d;
    out.capacity_ = c;
    out.length_ = 0;
    return count;
}

int32_t StringBuffer::replaceAllWithChar(const char* from, char c) {
    char to[2] = {c, 0};
    if (c == 0) {
        // A NUL replacement still counts as one byte.
        checkValid();
        if (!from || !*from) return 0;
        int32_t flen = checkedLength(from);
        int32_t count = 0;
        int32_t w = 0, r = 0;
        int32_t pos = findBytes(data_, length_, from, flen, 0);
        if (pos < 0) return 0;
        while (pos >= 0) {
            std::memmove(data_ + w, data_ + r, static_cast<size_t>(pos - r));
            w += pos - r;
            data_[w++] = 0;
            r = pos + flen;
            ++count;
            pos = findBytes(data_, length_, from, flen, r);
        }
        std::memmove(data_ + w, data_ + r, static_cast<size_t>(length_ - r));
        w += length_ - r;
        length_ = w;
        data_[length_] = 0;
        return count;
    }
    return replaceAll(from, to);
}

void StringBuffer::trim() {
    checkValid();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data_);
    int32_t end = length_;
    while (end > 0 && isTrimByte(p[end - 1])) --end;
    int32_t start = 0;
    while (start < end && isTrimByte(p[start])) ++start;
    if (start > 0) std::memmove(data_, data_ + start, static_cast<size_t>(end - start));
    length_ = end - start;
    data_[length_] = 0;
}

void StringBuffer::collapseWhitespace() {
    checkValid();
    unsigned char* p = reinterpret_cast<unsigned char*>(data_);
    int32_t w = 0;
    bool lastSpace = false;
    for (int32_t r = 0; r < length_; ++r) {
        unsigned char c = p[r];
        if (c == '\r' || c == '\t' || c == '\n' || c == 0xA0) c = ' ';
        if (c == ' ') {
            if (lastSpace) continue;
            lastSpace = true;
        } else {
            lastSpace = false;
        }
        p[w++] = c;
    }
    length_ = w;
    data_[length_] = 0;
}

void StringBuffer::toLowerCase() {
    checkValid();
    unsigned char* p = reinterpret_cast<unsigned char*>(data_);
    for (int32_t i = 0; i < length_; ++i) {
        unsigned char c = p[i];
        if (c < 0x80)
            p[i] = asciiLower(c);
        else if (c >= 0xC0 && c <= 0xDF)
            p[i] = static_cast<unsigned char>(c + 0x20);
    }
}

void StringBuffer::encodeBasicEntities() {
    StringBuffer out(CapacityTag{}, length_ + 16, increment_);
    XmlEscape::append(EscapeContext::LogText, data_, static_cast<size_t>(length_), out);
    *this = std::move(out);
}

void StringBuffer::normalizeToCrlf() {
    removeAll('\r');
    replaceAll("\n", "\r\n");
}

void StringBuffer::crlfToLf() { replaceAllWithChar("\r\n", '\n'); }

// ---------------------------------------------------------------- comparing

bool StringBuffer::equals(const char* s) const {
    checkValid();
    if (!s) return length_ == 0;
    size_t n = std::strlen(s);
    return n == static_cast<size_t>(length_) && std::memcmp(data_, s, n) == 0;
}

bool StringBuffer::equalsNoCase(const char* s) const {
    checkValid();
    if (!s) return length_ == 0;
    size_t n = std::strlen(s);
    if (n != static_cast<size_t>(length_)) return false;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(data_);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(s);
    for (size_t i = 0; i < n; ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

int StringBuffer::compare(const char* s) const {
    checkValid();
    if (!s) s = "";
    // Byte-exact over the whole content, like equals: bytes after an
    // embedded NUL still count. memcmp orders by unsigned bytes.
    size_t n = std::strlen(s);
    size_t len = static_cast<size_t>(length_);
    int r = std::memcmp(data_, s, len < n ? len : n);
    if (r == 0) r = len < n ? -1 : (len > n ? 1 : 0);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool StringBuffer::beginsWith(const char* s) const {
    checkValid();
    if (!s) return false;
    size_t n = std::strlen(s);
    return n <= static_cast<size_t>(length_) && std::memcmp(data_, s, n) == 0;
}

bool StringBuffer::endsWith(const char* s) const {
    checkValid();
    if (!s) return false;
    size_t n = std::strlen(s);
    return n <= static_cast<size_t>(length_) && std::memcmp(data_ + length_ - n, s, n) == 0;
}

bool StringBuffer::contains(const char* s) const {
    checkValid();
    if (!s) return false;
    if (!*s) return true;
    return findBytes(data_, length_, s, checkedLength(s), 0) >= 0;
}

bool StringBuffer::containsChar(char c) const {
    checkValid();
    return std::memchr(data_, static_cast<unsigned char>(c), static_cast<size_t>(length_)) != nullptr;
}

bool StringBuffer::containsNoCase(const char* s) const {
    checkValid();
    if (!s) return false;
    int32_t n = checkedLength(s);
    if (n == 0) return true;
    const unsigned char* h = reinterpret_cast<const unsigned char*>(data_);
    const unsigned char* k = reinterpret_cast<const unsigned char*>(s);
    for (int32_t i = 0; i + n <= length_; ++i) {
        int32_t j = 0;
        while (j < n && asciiLower(h[i + j]) == asciiLower(k[j])) ++j;
        if (j == n) return true;
    }
    return false;
}

// ---------------------------------------------------------------- splitting

void StringBuffer::split(char delimiter, bool honourQuotes, bool honourBackslash, ExtPtrArray& out) const {
    checkValid();
    if (length_ == 0) return;
    // Quotes and backslashes are kept, so every token is a run of the source.
    bool inQuotes = false;
    int32_t start = 0;
    for (int32_t i = 0; i < length_; ++i) {
        char c = data_[i];
        if (honourBackslash && c == '\\') {
            if (i + 1 < length_) ++i;
            continue;
        }
        if (honourQuotes && c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (c == delimiter && !inQuotes) {
            out.Append(new StringBuffer(data_ + start, i - start, 0));
            start = i + 1;
        }
    }
    out.Append(new StringBuffer(data_ + start, length_ - start, 0));
}

void StringBuffer::splitOnString(const char* separator, int32_t maxParts, ExtPtrArray& out) const {
    checkValid();
    int32_t parts = 0;
    auto limitReached = [&]() { return maxParts > 0 && parts >= maxParts; };
    if (!separator || !*separator) {
        if (length_ > 0 && !limitReached()) out.Append(new StringBuffer(data_, length_, 0));
        return;
    }
    int32_t slen = checkedLength(separator);
    int32_t start = 0;
    while (start <= length_ && !limitReached()) {
        int32_t pos = findBytes(data_, length_, separator, slen, start);
        int32_t end = pos < 0 ? length_ : pos;
        if (end > start) {
            out.Append(new StringBuffer(data_ + start, end - start, 0));
            ++parts;
        }
        if (pos < 0) break;
        start = pos + slen;
    }
}

void StringBuffer::parseNameValue(StringBuffer& name, StringBuffer& value) const {
    checkValid();
    // Work on a copy: name or value may be this buffer.
    StringBuffer src(*this);
    name.clear();
    value.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(src.data_);
    int32_t n = src.length_;
    int32_t i = 0;
    while (i < n && isNameValueSpace(p[i])) ++i;
    int32_t nameStart = i;
    while (i < n && p[i] != '=') ++i;
    name.appendN(src.data_ + nameStart, i - nameStart);
    name.trim();
    if (i >= n) return;
    ++i;  // the '='
    while (i < n && isNameValueSpace(p[i])) ++i;
    if (i < n && p[i] == '"') ++i;
    value.appendN(src.data_ + i, n - i);
    value.trim();
    if (value.lastChar() == '"') value.shorten(1);
}

void deleteAllStringBuffers(ExtPtrArray& array) { array.DeleteAll<StringBuffer>(); }

}  // namespace tarvex
