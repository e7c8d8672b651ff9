#include "tree/AttributeSet.h"

#include <cstdint>
#include <cstring>

#include "base/FatalError.h"
#include "base/BlockHeap.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "text/XmlEscape.h"

namespace tarvex {

namespace {

// The first block holds two short pairs; later blocks grow by half. Sizes are
// multiples of 16, the step of the allocator's small size classes.
constexpr int64_t kFirstBlock = 32;

int32_t textLength(const char* s) {
    return s ? static_cast<int32_t>(std::strlen(s)) : 0;
}

int32_t lengthBytes(uint32_t v) {
    int32_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

unsigned char* writeLength(unsigned char* p, uint32_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}

// One record, decoded.
struct Pair {
    const unsigned char* record;   // first byte of the record
    const char* name;
    int32_t nameLen;
    int32_t valueLen;
    const char* value() const { return name + nameLen; }
    const unsigned char* end() const {
        return reinterpret_cast<const unsigned char*>(name) + nameLen + valueLen;
    }
};

inline Pair readPair(const unsigned char* p) {
    Pair pair;
    pair.record = p;
    pair.nameLen = AttributeSet::ReadLength(p);
    pair.valueLen = AttributeSet::ReadLength(p);
    pair.name = reinterpret_cast<const char*>(p);
    return pair;
}

inline bool nameIs(const Pair& pair, const char* name, int32_t nameLen) {
    return pair.nameLen == nameLen && std::memcmp(pair.name, name, static_cast<size_t>(nameLen)) == 0;
}

}  // namespace

void* AttributeSet::operator new(size_t n) { return memAlloc(n); }
void AttributeSet::operator delete(void* p) { memFree(p); }

AttributeSet::AttributeSet() = default;

AttributeSet::~AttributeSet() { Clear(); }

void AttributeSet::Clear() {
    if (block_) {
        if (heap_) heap_->Root()->Free(block_, static_cast<size_t>(Head()->capacity));
        else memFree(block_);
    }
    block_ = nullptr;
}

bool AttributeSet::Holds(const char* p) const {
    if (!block_ || !p) return false;
    const uintptr_t lo = reinterpret_cast<uintptr_t>(block_);
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return a >= lo && a < lo + static_cast<uintptr_t>(Head()->capacity);
}

void AttributeSet::Reserve(int64_t more) {
    const int64_t used = block_ ? Head()->used : static_cast<int64_t>(sizeof(Header));
    const int64_t capacity = block_ ? Head()->capacity : 0;
    const int64_t want = used + more;
    if (want <= capacity) return;
    if (want > INT32_MAX) fatalError("attribute list would exceed 2 GB");
    // A tree's sets start at the size asked for (the parser asks for the
    // whole tag's worth), in 8-byte steps: a document holds millions.
    int64_t grown = block_ ? capacity + capacity / 2 : (heap_ ? want : kFirstBlock);
    if (grown < want) grown = want;
    grown = heap_ ? (grown + 7) & ~int64_t{7} : (grown + 15) & ~int64_t{15};
    if (grown > INT32_MAX) grown = INT32_MAX;
    void* p;
    if (heap_) {
        BlockHeap* heap = heap_->Root();
        p = block_ ? heap->Realloc(block_, static_cast<size_t>(capacity), static_cast<size_t>(grown))
                   : heap->Alloc(static_cast<size_t>(grown));
    } else {
        p = block_ ? memRealloc(block_, static_cast<size_t>(grown)) : memAlloc(static_cast<size_t>(grown));
    }
    if (!p) fatalError("out of memory in an attribute list");
    if (!block_) {
        StartBlock(p, static_cast<size_t>(grown));
        return;
    }
    block_ = static_cast<unsigned char*>(p);
    Head()->capacity = static_cast<int32_t>(grown);
}

void AttributeSet::Add(const char* name, const char* value) {
    Add(name, textLength(name), value, textLength(value));
}

void AttributeSet::AddSlow(const char* name, int32_t nameLen, const char* value, int32_t valueLen) {
    if (!name || nameLen <= 0) return;
    if (!value || valueLen < 0) valueLen = 0;
    int64_t need = lengthBytes(static_cast<uint32_t>(nameLen)) + lengthBytes(static_cast<uint32_t>(valueLen)) +
                   static_cast<int64_t>(nameLen) + valueLen;
    if (!block_ || static_cast<int64_t>(Head()->used) + need > Head()->capacity) {
        // The name or the value may lie in this list's own block, which moves.
        const bool nameInside = Holds(name);
        const bool valueInside = valueLen > 0 && Holds(value);
        const uintptr_t lo = reinterpret_cast<uintptr_t>(block_);
        const uintptr_t n = reinterpret_cast<uintptr_t>(name);
        const uintptr_t v = reinterpret_cast<uintptr_t>(value);
        Reserve(need);
        if (nameInside) name = reinterpret_cast<const char*>(block_) + (n - lo);
        if (valueInside) value = reinterpret_cast<const char*>(block_) + (v - lo);
    }

    unsigned char* p = End();
    p = writeLength(p, static_cast<uint32_t>(nameLen));
    p = writeLength(p, static_cast<uint32_t>(valueLen));
    std::memcpy(p, name, static_cast<size_t>(nameLen));
    if (valueLen > 0) std::memcpy(p + nameLen, value, static_cast<size_t>(valueLen));
    Head()->used += static_cast<int32_t>(need);
    ++Head()->count;
}

bool AttributeSet::PairAt(int32_t i, int32_t* nameLen, int32_t* valueLen, const char** name) const {
    if (i < 0 || i >= Count()) return false;
    Pair pair = readPair(Records());
    for (; i > 0; --i) pair = readPair(pair.end());
    *nameLen = pair.nameLen;
    *valueLen = pair.valueLen;
    *name = pair.name;
    return true;
}

int32_t AttributeSet::Find(const char* name, int32_t nameLen, int32_t* valueLen, const char** value) const {
    if (!name || nameLen <= 0 || !block_) return -1;
    const unsigned char* p = Records();
    for (int32_t i = 0, n = Head()->count; i < n; ++i) {
        Pair pair = readPair(p);
        if (nameIs(pair, name, nameLen)) {
            if (valueLen) *valueLen = pair.valueLen;
            if (value) *value = pair.value();
            return i;
        }
        p = pair.end();
    }
    return -1;
}

void AttributeSet::Remove(const char* name) { Remove(name, textLength(name)); }

void AttributeSet::Remove(const char* name, int32_t nameLen) {
    if (!name || nameLen <= 0 || Count() == 0) return;
    if (Holds(name)) {
        // The wanted name lies in the block about to be compacted.
        StringBuffer copy(name, nameLen, 0);
        Remove(copy.getString(), nameLen);
        return;
    }
    // One pass: the records kept slide down over the removed ones.
    unsigned char* w = Records();
    const unsigned char* r = Records();
    const unsigned char* end = End();
    int32_t kept = 0;
    while (r < end) {
        Pair pair = readPair(r);
        r = pair.end();
        if (nameIs(pair, name, nameLen)) continue;
        size_t len = static_cast<size_t>(r - pair.record);
        if (w != pair.record) std::memmove(w, pair.record, len);
        w += len;
        ++kept;
    }
    Head()->used = static_cast<int32_t>(w - block_);
    Head()->count = kept;
}

void AttributeSet::Update(const char* name, const char* value) {
    int32_t nameLen = textLength(name);
    if (Has(name, nameLen)) Remove(name, nameLen);
    Add(name, nameLen, value, textLength(value));
}

const char* AttributeSet::NamePtr(int32_t i, int32_t* len) const {
    int32_t nameLen = 0, valueLen = 0;
    const char* name = nullptr;
    if (!PairAt(i, &nameLen, &valueLen, &name)) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = nameLen;
    return name;
}

const char* AttributeSet::ValuePtr(int32_t i, int32_t* len) const {
    int32_t nameLen = 0, valueLen = 0;
    const char* name = nullptr;
    if (!PairAt(i, &nameLen, &valueLen, &name)) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = valueLen;
    return name + nameLen;
}

const char* AttributeSet::FindValue(const char* name, int32_t* len) const {
    return FindValue(name, textLength(name), len);
}

const char* AttributeSet::FindValue(const char* name, int32_t nameLen, int32_t* len) const {
    int32_t valueLen = 0;
    const char* value = nullptr;
    if (Find(name, nameLen, &valueLen, &value) < 0) {
        if (len) *len = 0;
        return nullptr;
    }
    if (len) *len = valueLen;
    return value;
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
    return Find(name, nameLen, nullptr, nullptr) >= 0;
}

bool AttributeSet::HasValue(const char* name, const char* value) const {
    int32_t nameLen = textLength(name);
    int32_t valueLen = textLength(value);
    if (!name || nameLen <= 0 || !block_) return false;
    const unsigned char* p = Records();
    for (int32_t i = 0, n = Head()->count; i < n; ++i) {
        Pair pair = readPair(p);
        if (nameIs(pair, name, nameLen) && pair.valueLen == valueLen &&
            (valueLen == 0 || std::memcmp(pair.value(), value, static_cast<size_t>(valueLen)) == 0))
            return true;
        p = pair.end();
    }
    return false;
}

void AttributeSet::Write(StringBuffer& out) const {
    if (!block_) return;
    const unsigned char* p = Records();
    for (int32_t i = 0, n = Head()->count; i < n; ++i) {
        Pair pair = readPair(p);
        p = pair.end();
        out.appendChar(' ');
        out.appendN(pair.name, pair.nameLen);
        out.appendN("=\"", 2);
        XmlEscape::append(EscapeContext::Attribute, pair.value(), static_cast<size_t>(pair.valueLen), out);
        out.appendChar('"');
    }
}

}  // namespace tarvex
