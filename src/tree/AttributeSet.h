// AttributeSet: the ordered name/value pairs of one node, packed into one text
// block (names and values concatenated) and one lengths array. Duplicate names
// are allowed; names compare byte for byte.
//
// The lengths array and the text buffer are embedded and get their storage on
// the first addition, so a list costs three allocations in all: the set, the
// lengths block and the text block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tree/ExtIntArray.h"

namespace tarvex {

class StringBuffer;

class AttributeSet {
public:
    AttributeSet();
    ~AttributeSet();
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    static void* operator new(size_t n);
    static void operator delete(void* p);

    // Nothing for a null or empty name; a null value is the empty value.
    void Add(const char* name, const char* value);
    void Add(const char* name, int32_t nameLen, const char* value, int32_t valueLen);
    void Remove(const char* name);                      // every pair of that name
    void Remove(const char* name, int32_t nameLen);
    void Update(const char* name, const char* value);   // Remove, then Add at the end
    void Clear();
    int32_t Count() const { return lengths_.Count() / 2; }

    void NameAt(int32_t i, StringBuffer& out) const;
    bool ValueAt(int32_t i, StringBuffer& out) const;
    bool GetValue(const char* name, StringBuffer& out) const;
    bool Has(const char* name) const;
    bool Has(const char* name, int32_t nameLen) const;
    bool HasValue(const char* name, const char* value) const;

    // Direct views of pair i without copying (nullptr and 0 when absent). The
    // bytes are not NUL-terminated; they stay valid until the next change.
    const char* NamePtr(int32_t i, int32_t* len) const;
    const char* ValuePtr(int32_t i, int32_t* len) const;
    // Value of the first pair named `name` without copying; nullptr if absent.
    const char* FindValue(const char* name, int32_t* len) const;
    const char* FindValue(const char* name, int32_t nameLen, int32_t* len) const;

    // Appends every pair as ` name="escaped value"`.
    void Write(StringBuffer& out) const;

private:
    bool Present() const { return lengths_.Capacity() > 0; }
    StringBuffer& Text();
    const StringBuffer& Text() const;
    const char* Bytes() const;
    // Offset of pair i in the text; -1 when out of range.
    int32_t PairOffset(int32_t i) const;
    // Index of the first pair named `name` at or after `from`; -1 if none.
    int32_t Find(const char* name, int32_t nameLen, int32_t from, int32_t* offset) const;

    ExtIntArray lengths_;                      // 2i: name length, 2i+1: value length
    alignas(8) unsigned char textStore_[32];   // StringBuffer, constructed when Present()
};

}  // namespace tarvex
