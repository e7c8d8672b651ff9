// StringBuffer: a growable, NUL-terminated 8-bit text buffer.
//
// Holds bytes, not characters; everything kept in the document tree is UTF-8
// by convention. The growth rule (start 200, then half the new capacity,
// capped at 500000) is part of the contract: tests observe the capacity and
// increment sequence.
#pragma once

#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {

class ExtPtrArray;

class StringBuffer {
public:
    static constexpr uint8_t kValidMarker = 170;

    StringBuffer();                                        // capacity 200, increment 200
    explicit StringBuffer(const char* s);                  // capacity strlen+1 (4 for null)
    StringBuffer(const StringBuffer& other);               // capacity other.length+1
    StringBuffer(const char* p, int32_t n, int32_t increment);  // capacity n+1
    static StringBuffer withCapacity(int32_t capacity);    // capacity k (200 if 0), increment k
    ~StringBuffer();
    StringBuffer& operator=(const StringBuffer& other);
    StringBuffer(StringBuffer&& other) noexcept;
    StringBuffer& operator=(StringBuffer&& other) noexcept;

    // Reading
    const char* getString() const;
    int32_t getSize() const;
    int32_t getCapacity() const;
    int32_t getGrowthIncrement() const;
    char lastChar() const;
    char charAt(int32_t i) const;
    bool isAllAscii() const;
    bool isEmpty() const { return getSize() == 0; }

    // Appending
    void append(const char* s);
    int32_t appendN(const char* p, int32_t n);
    void appendChar(char c) {
        checkValid();
        if (length_ + 1 >= capacity_) growFor(1, 0);
        data_[length_++] = c;
        data_[length_] = 0;
    }
    void appendCharN(char c, int32_t count);
    void appendBuffer(const StringBuffer& b);
    void appendInt(int32_t n);
    void appendLastErrorText();
    void appendErrorText(uint32_t code);
    void prepend(const char* s);

    // Replacing and removing
    void setString(const char* s);
    void setBuffer(const StringBuffer& b);
    void clear();
    void shorten(int32_t n);
    void removeChunk(int32_t start, int32_t n);
    void truncateAtChar(char c);
    void removeCharFrom(char c, int32_t start);
    void removeAll(char c);
    void replaceChar(char a, char b);
    void replaceAnyOf(const char five[5], char b);
    int32_t replaceAll(const char* from, const char* to);
    int32_t replaceAllWithChar(const char* from, char c);
    void trim();
    void collapseWhitespace();
    void toLowerCase();
    void encodeBasicEntities();
    void normalizeToCrlf();
    void crlfToLf();

    // Comparing and searching (byte-exact unless stated)
    bool equals(const char* s) const;
    bool equalsNoCase(const char* s) const;
    int compare(const char* s) const;
    bool beginsWith(const char* s) const;
    bool endsWith(const char* s) const;
    bool contains(const char* s) const;
    bool containsChar(char c) const;
    bool containsNoCase(const char* s) const;

    // Capacity
    void ensureCapacity(int32_t n);
    // Writing in place after the text: spareForAppend makes room for n more
    // bytes and returns where they go (valid until the next change of the
    // buffer); commitAppend(k) then takes the first k of them into the text.
    char* spareForAppend(int32_t n) {
        ensureCapacity(n);
        return data_ + length_;
    }
    int32_t spareBytes() const { return capacity_ - length_ - 1; }
    void commitAppend(int32_t k) {
        length_ += k;
        data_[length_] = 0;
    }
    void shrinkToFit();
    // Hands the data block (allocated with memAlloc) and its length to the
    // caller, who must release it with memFree.
    char* detachBuffer(int32_t* outLength);
    // Takes over a block allocated with memAlloc: `capacity` bytes of which
    // the first `length` are the text and the next is its NUL. The former
    // block is freed.
    void adoptBlock(char* block, int32_t length, int32_t capacity);

    // Splitting. New buffers are heap-allocated and owned by `out`
    // (release them with deleteAllStringBuffers).
    void split(char delimiter, bool honourQuotes, bool honourBackslash, ExtPtrArray& out) const;
    void splitOnString(const char* separator, int32_t maxParts, ExtPtrArray& out) const;
    void parseNameValue(StringBuffer& name, StringBuffer& value) const;

    // ANSI operations (system ANSI code page). They need the converter, so
    // they are defined on the charset floor, in charset/StringBufferAnsi.cpp.
    static StringBuffer fromBstrAnsi(BSTR b);
    void appendBstrAnsi(BSTR b);
    BSTR toBstrAnsi() const;
    bool convertToAnsi(uint32_t codePage);
    bool convertFromAnsi(uint32_t codePage);

    // Stops the process when the validity marker is wrong (a destroyed or
    // corrupted buffer). Every operation runs it first.
    void checkValid() const {
        if (marker_ != kValidMarker) invalidBuffer(this);
    }

private:
    struct CapacityTag {};
    StringBuffer(CapacityTag, int32_t capacity, int32_t increment);
    [[noreturn]] static void invalidBuffer(const void* self);
    static int32_t checkedLength(const char* s);
    // Grows the block for an append of n bytes (plus `extra` bytes of slack)
    // and updates the growth increment.
    void growFor(int32_t n, int32_t extra);
    // Grows to increment + length + n + 1 bytes; the increment is unchanged.
    void reserveMore(int32_t n);
    void setBlock(char* block, int32_t capacity);

    // The marker comes last so that the object packs into 24 bytes.
    char* data_;
    int32_t capacity_;
    int32_t length_;
    int32_t increment_;
    uint8_t marker_ = kValidMarker;
};

// Formats n with "%d". The text lives in a per-thread buffer: copy it at once.
const char* intToText(int32_t n);

// Deletes every StringBuffer held by a pointer array (as filled by split).
void deleteAllStringBuffers(ExtPtrArray& array);

}  // namespace tarvex
