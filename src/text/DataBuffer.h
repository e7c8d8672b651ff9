// DataBuffer: a growable byte array with owned or borrowed storage.
//
// Used for raw data, file contents, network data and every conversion's input
// and output. Appends grow by at least 20000 bytes. A borrowed block belongs
// to someone else: it is never freed, and growing first copies it.
#pragma once

#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {

class StringBuffer;

class DataBuffer {
public:
    static constexpr uint8_t kValidMarker = 219;
    static constexpr uint32_t kMinGrowth = 20000;

    DataBuffer();                          // no block, size 0, capacity 0
    explicit DataBuffer(uint32_t capacity);  // capacity zeroed bytes
    DataBuffer(const DataBuffer& other);
    DataBuffer& operator=(const DataBuffer& other);
    DataBuffer(DataBuffer&& other) noexcept;
    DataBuffer& operator=(DataBuffer&& other) noexcept;
    ~DataBuffer();

    const uint8_t* getData() const;
    uint8_t* getData();
    uint32_t getSize() const;
    uint32_t getCapacity() const;
    bool isBorrowed() const;
    const uint8_t* pointerAt(int32_t i) const;

    void append(const void* p, uint32_t n);
    void appendByte(uint8_t b);
    void appendFrom(const DataBuffer& other);
    void appendText(const StringBuffer& text);
    void appendWide(const OLECHAR* w);    // includes the terminating NUL unit
    void appendBstr(BSTR b);              // no terminator

    void clear();
    void shorten(uint32_t n);
    void setSize(uint32_t n);
    void removeFront(uint32_t n);
    void ensureCapacity(uint32_t n);
    void assign(const DataBuffer& other);
    void takeOver(DataBuffer& other);
    void adopt(void* p, uint32_t n);      // p must come from memAlloc
    void borrow(const void* p, uint32_t n);
    void detach();

    bool isAllAscii() const;

    // VARIANT conversion: toVariant writes VT_ARRAY|VT_UI1 (or VT_NULL when
    // empty); appendVariant reads strings, integers, booleans, arrays of any
    // element type and dimension count, by-reference forms and objects
    // (through their default member).
    void toVariant(VARIANT* out) const;
    void appendVariant(const VARIANT* v);

    // 16-byte block padding: scheme 0 (n bytes of value n), 1 (random then n),
    // 2 (n random bytes).
    void addPadding(int scheme);
    void removePadding(int scheme);

private:
    void checkValid() const;
    void growTo(uint32_t newCapacity);

    uint8_t marker_;
    bool borrowed_;
    uint8_t* data_;
    uint32_t size_;
    uint32_t capacity_;
};

}  // namespace tarvex
