#include "tree/AttributeSet.h"

#include <cstring>
#include <new>

#include "text/Memory.h"
#include "text/StringBuffer.h"

namespace tarvex {

static_assert(sizeof(StringBuffer) <= 32 && alignof(StringBuffer) <= 8,
              "AttributeSet embeds a StringBuffer in 32 bytes");

namespace {
constexpr int32_t kLengthsCapacity = 6;
constexpr int32_t kLengthsStep = 15;
constexpr int32_t kTextCapacity = 50;

int32_t textLength(const char* s) {
    return s ? static_cast<int32_t>(std::strlen(s)) : 0;
}
}  // namespace

void* AttributeSet::operator new(size_t n) { return memAlloc(n); }
void AttributeSet::operator delete(void* p) { memFree(p); }

AttributeSet::AttributeSet() = default;

AttributeSet::~AttributeSet() { Clear(); }

StringBuffer& AttributeSet::Text() {
    return *std::launder(reinterpret_cast<StringBuffer*>(textStore_));
}

const StringBuffer& AttributeSet::Text() const {
    return *std::launder(reinterpret_cast<const StringBuffer*>(textStore_));
}

const char* AttributeSet::Bytes() const { return Text().getString(); }

void AttributeSet::Clear() {
    if (!Present()) return;
    Text().~StringBuffer();
    lengths_.Release();
}

void AttributeSet::Add(const char* name, const char* value) {
    Add(name, textLength(name), value, textLength(value));
}

void AttributeSet::Add(const char* name, int32_t nameLen, const char* value, int32_t valueLen) {
    if (!name || nameLen <= 0) return;
    if (!value || valueLen < 0) valueLen = 0;
    if (!Present()) {
        lengths_.Reset(kLengthsCapacity, kLengthsStep);
        new (textStore_) StringBuffer(StringBuffer::withCapacity(kTextCapacity));
    }
    StringBuffer& text = Text();
    lengths_.Append(nameLen);
    text.appendN(name, nameLen);
    lengths_.Append(valueLen);
    if (valueLen > 0) text.appendN(value, valueLen);
}

int32_t AttributeSet::PairOffset(int32_t i) const {
    if (i < 0 || i >= Count()) return -1;
    const int32_t* len = lengths_.Elements();
    int32_t offset = 0;
    for (int32_t k = 0; k < 2 * i; ++k) offset += len[k];
    return offset;
}

int32_t AttributeSet::Find(const char* name, int32_t nameLen, int32_t from, int32_t* offset) const {
    if (!name || nameLen <= 0 || !Present()) return -1;
    const int32_t* len = lengths_.Elements();
    const char* bytes = Bytes();
    int32_t n = Count();
    int32_t off = 0;
    for (int32_t k = 0; k < 2 * from && k < 2 * n; ++k) off += len[k];
    for (int32_t i = from; i < n; ++i) {
        int32_t nl = len[2 * i];
        if (nl == nameLen && std::memcmp(bytes + off, name, static_cast<size_t>(nl)) == 0) {
            if (offset) *offset = off;
            return i;
        }
        off += nl + len[2 * i + 1];
    }
    return -1;
}

void AttributeSet::Remove(const char* name) { Remove(name, textLength(name)); }

void AttributeSet::Remove(const char* name, int32_t nameLen) {
    int32_t offset = 0;
    int32_t i = Find(name, nameLen, 0, &offset);
    while (i >= 0) {
        int32_t pairLen = lengths_.Get(2 * i) + lengths_.Get(2 * i + 1);
        Text().removeChunk(offset, pairLen);
        lengths_.RemoveAt(2 * i + 1);
        lengths_.RemoveAt(2 * i);
        i = Find(name, nameLen, i, &offset);
    }
}

void AttributeSet::Update(const char* name, const char* value) {
    int32_t nameLen = textLength(name);
    if (Has(name, nameLen)) Remove(name, nameLen);
    Add(name, nameLen, value, textLength(value));
}

const char* AttributeSet::NamePtr(int32_t i, int32_t* len) const {
    int32_t offset = PairOffset(i);
    if (offset < 0) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = lengths_.Get(2 * i);
    return Bytes() + offset;
}

const char* AttributeSet::ValuePtr(int32_t i, int32_t* len) const {
    int32_t offset = PairOffset(i);
    if (offset < 0) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = lengths_.Get(2 * i + 1);
    return Bytes() + offset + lengths_.Get(2 * i);
}

const char* AttributeSet::FindValue(const char* name, int32_t* len) const {
    return FindValue(name, textLength(name), len);
}

const char* AttributeSet::FindValue(const char* name, int32_t nameLen, int32_t* len) const {
    int32_t offset = 0;
    int32_t i = Find(name, nameLen, 0, &offset);
    if (i < 0) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = lengths_.Get(2 * i + 1);
    return Bytes() + offset + nameLen;
}

void AttributeSet::NameAt(int32_t i, StringBuffer& out) const {
    out.clear();
    int32_t len = 0;
    const char* p = NamePtr(i, &len);
    if (p) out.appendN(p, len);
}

bool AttributeSet::ValueAt(int32_t i, StringBuffer& out) const {
    out.clear();
    int32_t len = 0;
    const char* p = ValuePtr(i, &len);
    if (!p) return false;
    out.appendN(p, len);
    return true;
}

bool AttributeSet::GetValue(const char* name, StringBuffer& out) const {
    out.clear();
    int32_t len = 0;
    const char* p = FindValue(name, &len);
    if (!p) return false;
    out.appendN(p, len);
    return true;
}

bool AttributeSet::Has(const char* name) const { return Has(name, textLength(name)); }

bool AttributeSet::Has(const char* name, int32_t nameLen) const {
    return Find(name, nameLen, 0, nullptr) >= 0;
}

bool AttributeSet::HasValue(const char* name, const char* value) const {
    int32_t nameLen = textLength(name);
    int32_t valueLen = textLength(value);
    int32_t offset = 0;
    for (int32_t i = Find(name, nameLen, 0, &offset); i >= 0;
         i = Find(name, nameLen, i + 1, &offset)) {
        if (lengths_.Get(2 * i + 1) == valueLen &&
            (valueLen == 0 ||
             std::memcmp(Bytes() + offset + nameLen, value, static_cast<size_t>(valueLen)) == 0))
            return true;
    }
    return false;
}

void AttributeSet::Write(StringBuffer& out) const {
    if (!Present()) return;
    const int32_t* len = lengths_.Elements();
    const char* p = Bytes();
    int32_t n = Count();
    for (int32_t i = 0; i < n; ++i) {
        int32_t nl = len[2 * i];
        int32_t vl = len[2 * i + 1];
        out.appendChar(' ');
        out.appendN(p, nl);
        out.appendN("=\"", 2);
        const char* v = p + nl;
        int32_t run = 0;   // start of the bytes not yet written
        int32_t k = 0;
        for (; k < vl && v[k] != 0; ++k) {
            const char* rep = nullptr;
            int32_t repLen = 0;
            switch (v[k]) {
                case '"': rep = "&quot;"; repLen = 6; break;
                case '&':
                    // A numeric character reference passes through unchanged.
                    if (vl - k >= 2 && v[k + 1] == '#') continue;
                    rep = "&amp;"; repLen = 5;
                    break;
                case '>': rep = "&gt;"; repLen = 4; break;
                case '<': rep = "&lt;"; repLen = 4; break;
                case '\'': rep = "&apos;"; repLen = 6; break;
                default: continue;
            }
            out.appendN(v + run, k - run);
            out.appendN(rep, repLen);
            run = k + 1;
        }
        out.appendN(v + run, k - run);
        out.appendChar('"');
        p += nl + vl;
    }
}

}  // namespace tarvex
