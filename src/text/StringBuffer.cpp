// StringBuffer: growable NUL-terminated byte text. Life cycle, growth,
// reading and appending here; editing, comparing and splitting in
// StringBufferEdit.cpp.
#include "text/StringBuffer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"
#include "base/FatalError.h"
#include "base/Memory.h"

namespace tarvex {

namespace {

constexpr int32_t kDefaultIncrement = 200;
constexpr int32_t kMaxIncrement = 500000;

char* allocBlock(int64_t n) {
    if (n <= 0 || n > INT32_MAX) fatalError("text buffer size out of range");
    char* p = static_cast<char*>(memAlloc(static_cast<size_t>(n)));
    if (!p) fatalError("out of memory in text buffer");
    return p;
}

}  // namespace

// The length of a C string that is to go into a buffer; longer than a buffer
// can hold is an internal fault.
int32_t StringBuffer::checkedLength(const char* s) {
    size_t n = std::strlen(s);
    if (n >= static_cast<size_t>(INT32_MAX)) fatalError("text too long for a text buffer");
    return static_cast<int32_t>(n);
}

// ---------------------------------------------------------------- lifecycle

void StringBuffer::invalidBuffer(const void* self) {
    std::fprintf(stderr, "tarvex: fatal internal error: text buffer %p used after destruction or corrupted\n",
                 self);
    std::fflush(stderr);
    std::abort();
}

StringBuffer::StringBuffer()
    : data_(allocBlock(kDefaultIncrement)), capacity_(kDefaultIncrement), length_(0),
      increment_(kDefaultIncrement) {
    data_[0] = 0;
}

StringBuffer::StringBuffer(const char* s) : length_(0), increment_(kDefaultIncrement) {
    if (!s) {
        capacity_ = 4;
        data_ = allocBlock(capacity_);
        data_[0] = 0;
        return;
    }
    int32_t n = checkedLength(s);
    capacity_ = n + 1;
    data_ = allocBlock(capacity_);
    std::memcpy(data_, s, static_cast<size_t>(n) + 1);
    length_ = n;
}

StringBuffer::StringBuffer(const StringBuffer& other)
    : length_(0), increment_(kDefaultIncrement) {
    other.checkValid();
    capacity_ = other.length_ + 1;
    data_ = allocBlock(capacity_);
    std::memcpy(data_, other.data_, static_cast<size_t>(other.length_) + 1);
    length_ = other.length_;
}

StringBuffer::StringBuffer(const char* p, int32_t n, int32_t increment)
    : length_(0), increment_(increment > 0 ? increment : kDefaultIncrement) {
    if (!p || n < 0) n = 0;
    if (n == INT32_MAX) fatalError("text too long for a text buffer");
    capacity_ = n + 1;
    data_ = allocBlock(capacity_);
    if (n > 0) std::memcpy(data_, p, static_cast<size_t>(n));
    data_[n] = 0;
    length_ = n;
}

StringBuffer::StringBuffer(CapacityTag, int32_t capacity, int32_t increment)
    : data_(allocBlock(capacity)), capacity_(capacity), length_(0), increment_(increment) {
    data_[0] = 0;
}

StringBuffer StringBuffer::withCapacity(int32_t capacity) {
    if (capacity <= 0) capacity = kDefaultIncrement;
    return StringBuffer(CapacityTag{}, capacity, capacity);
}

StringBuffer::~StringBuffer() {
    checkValid();
    memFree(data_);
    data_ = nullptr;
    capacity_ = 0;
    length_ = 0;
    // Volatile, so the optimiser keeps this store on a dying object.
    *static_cast<volatile uint8_t*>(&marker_) = 0;
}

StringBuffer& StringBuffer::operator=(const StringBuffer& other) {
    if (this != &other) setBuffer(other);
    return *this;
}

StringBuffer::StringBuffer(StringBuffer&& other) noexcept
    : data_(nullptr), capacity_(0), length_(0), increment_(kDefaultIncrement) {
    other.checkValid();
    // The source keeps a valid, empty one-byte block.
    char* fresh = allocBlock(1);
    fresh[0] = 0;
    data_ = other.data_;
    capacity_ = other.capacity_;
    length_ = other.length_;
    increment_ = other.increment_;
    other.data_ = fresh;
    other.capacity_ = 1;
    other.length_ = 0;
}

StringBuffer& StringBuffer::operator=(StringBuffer&& other) noexcept {
    checkValid();
    other.checkValid();
    if (this != &other) {
        char* d = data_;
        int32_t c = capacity_, l = length_, i = increment_;
        data_ = other.data_;
        capacity_ = other.capacity_;
        length_ = other.length_;
        increment_ = other.increment_;
        other.data_ = d;
        other.capacity_ = c;
        other.length_ = l;
        other.increment_ = i;
        other.clear();
    }
    return *this;
}

// ---------------------------------------------------------------- growth

void StringBuffer::setBlock(char* block, int32_t capacity) {
    memFree(data_);
    data_ = block;
    capacity_ = capacity;
}

void StringBuffer::growFor(int32_t n, int32_t extra) {
    int64_t want = static_cast<int64_t>(increment_) + length_ + n + extra;
    if (want > INT32_MAX) {
        // Fall back to the largest block an int32 length allows.
        if (static_cast<int64_t>(length_) + n + extra >= INT32_MAX) fatalError("text buffer would exceed 2 GB");
        want = INT32_MAX;
    }
    char* block = static_cast<char*>(memRealloc(data_, static_cast<size_t>(want)));
    if (!block) fatalError("out of memory in text buffer");
    data_ = block;
    capacity_ = static_cast<int32_t>(want);
    if (increment_ < capacity_ && increment_ < kMaxIncrement) {
        increment_ = capacity_ / 2;
        if (increment_ > kMaxIncrement) increment_ = kMaxIncrement;
    }
}

void StringBuffer::reserveMore(int32_t n) {
    int64_t want = static_cast<int64_t>(increment_) + length_ + n + 1;
    if (want > INT32_MAX) {
        if (static_cast<int64_t>(length_) + n + 1 > INT32_MAX) fatalError("text buffer would exceed 2 GB");
        want = INT32_MAX;
    }
    char* block = static_cast<char*>(memRealloc(data_, static_cast<size_t>(want)));
    if (!block) fatalError("out of memory in text buffer");
    data_ = block;
    capacity_ = static_cast<int32_t>(want);
}

void StringBuffer::ensureCapacity(int32_t n) {
    checkValid();
    if (n < 0) return;
    if (static_cast<int64_t>(length_) + n >= capacity_) reserveMore(n);
}

void StringBuffer::shrinkToFit() {
    checkValid();
    if (capacity_ > length_ + 4) {
        char* block = static_cast<char*>(memRealloc(data_, static_cast<size_t>(length_) + 1));
        if (!block) return;  // the old block stays valid
        data_ = block;
        capacity_ = length_ + 1;
    }
}

char* StringBuffer::detachBuffer(int32_t* outLength) {
    checkValid();
    char* block = data_;
    if (outLength) *outLength = length_;
    data_ = allocBlock(increment_);
    data_[0] = 0;
    capacity_ = increment_;
    length_ = 0;
    return block;
}

// ---------------------------------------------------------------- reading

const char* StringBuffer::getString() const {
    checkValid();
    return data_;
}

int32_t StringBuffer::getSize() const {
    checkValid();
    return length_;
}

int32_t StringBuffer::getCapacity() const {
    checkValid();
    return capacity_;
}

int32_t StringBuffer::getGrowthIncrement() const {
    checkValid();
    return increment_;
}

char StringBuffer::lastChar() const {
    checkValid();
    return length_ > 0 ? data_[length_ - 1] : 0;
}

char StringBuffer::charAt(int32_t i) const {
    checkValid();
    return (i >= 0 && i < length_) ? data_[i] : 0;
}

bool StringBuffer::isAllAscii() const {
    checkValid();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data_);
    for (int32_t i = 0; i < length_; ++i)
        if (p[i] & 0x80) return false;
    return true;
}

// ---------------------------------------------------------------- appending

void StringBuffer::append(const char* s) {
    checkValid();
    if (!s) return;
    int32_t n = checkedLength(s);
    if (n == 0) {
        data_[length_] = 0;
        return;
    }
    if (static_cast<int64_t>(length_) + n >= capacity_) {
        // s may point into this buffer: keep its offset across the move.
        uintptr_t a = reinterpret_cast<uintptr_t>(s);
        uintptr_t lo = reinterpret_cast<uintptr_t>(data_);
        bool inside = a >= lo && a < lo + static_cast<uintptr_t>(capacity_);
        uintptr_t off = a - lo;
        growFor(n, 1);
        if (inside) s = data_ + off;
    }
    std::memmove(data_ + length_, s, static_cast<size_t>(n));
    length_ += n;
    data_[length_] = 0;
}

int32_t StringBuffer::appendN(const char* p, int32_t n) {
    checkValid();
    if (!p || n < 1) return length_;
    if (static_cast<int64_t>(length_) + n >= capacity_) {
        // p may point into this buffer: keep its offset across the move.
        uintptr_t a = reinterpret_cast<uintptr_t>(p);
        uintptr_t lo = reinterpret_cast<uintptr_t>(data_);
        if (a >= lo && a < lo + static_cast<uintptr_t>(capacity_)) {
            uintptr_t off = a - lo;
            growFor(n, 0);
            p = data_ + off;
        } else {
            growFor(n, 0);
        }
    }
    std::memmove(data_ + length_, p, static_cast<size_t>(n));
    length_ += n;
    data_[length_] = 0;
    return length_;
}

void StringBuffer::appendCharN(char c, int32_t count) {
    checkValid();
    if (count <= 0) return;
    if (static_cast<int64_t>(length_) + count >= capacity_) growFor(count, 0);
    std::memset(data_ + length_, static_cast<unsigned char>(c), static_cast<size_t>(count));
    length_ += count;
    data_[length_] = 0;
}

void StringBuffer::appendBuffer(const StringBuffer& b) {
    b.checkValid();
    if (&b == this) {
        int32_t n = length_;
        appendN(data_, n);
        return;
    }
    appendN(b.data_, b.length_);
}

void StringBuffer::appendInt(int32_t n) {
    char tmp[16];
    int k = std::snprintf(tmp, sizeof tmp, "%d", n);
    appendN(tmp, k);
}

void StringBuffer::appendLastErrorText() {
    checkValid();
    appendErrorText(platform::lastErrorCode());
}

void StringBuffer::appendErrorText(uint32_t code) {
    checkValid();
    std::string text = platform::errorText(code);
    if (text.empty()) return;
    append(text.c_str());
    trim();
}

void StringBuffer::prepend(const char* s) {
    checkValid();
    if (!s) return;
    int32_t n = checkedLength(s);
    if (n == 0) return;
    // s may point into this buffer: copy it out first.
    StringBuffer copy(s, n, 0);
    if (static_cast<int64_t>(length_) + n >= capacity_) reserveMore(n);
    std::memmove(data_ + n, data_, static_cast<size_t>(length_) + 1);
    std::memcpy(data_, copy.data_, static_cast<size_t>(n));
    length_ += n;
}

// ---------------------------------------------------------------- helpers

const char* intToText(int32_t n) {
    thread_local char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    return text;
}

}  // namespace tarvex
