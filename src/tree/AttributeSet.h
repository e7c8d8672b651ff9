// AttributeSet: the ordered name/value pairs of one node, packed into one text
// block (names and values concatenated) and one lengths array. Duplicate names
// are allowed; names compare byte for byte.
#pragma once

#include <cstdint>

namespace tarvex {

class StringBuffer;
class ExtIntArray;

class AttributeSet {
public:
    AttributeSet();
    ~AttributeSet();
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    void Add(const char* name, const char* value);
    void Add(const char* name, int32_t nameLen, const char* value, int32_t valueLen);
    void Remove(const char* name);
    void Update(const char* name, const char* value);   // Remove when present, then Add
    void Clear();
    int32_t Count() const;

    void NameAt(int32_t i, StringBuffer& out) const;
    bool ValueAt(int32_t i, StringBuffer& out) const;
    bool GetValue(const char* name, StringBuffer& out) const;
    bool Has(const char* name) const;
    bool HasValue(const char* name, const char* value) const;

    // Direct views of pair i without copying (nullptr/0 when absent).
    const char* NamePtr(int32_t i, int32_t* len) const;
    const char* ValuePtr(int32_t i, int32_t* len) const;
    // Value of the first pair named `name` without copying; nullptr if absent.
    const char* FindValue(const char* name, int32_t* len) const;

    // Appends every pair as ` name="escaped value"`.
    void Write(StringBuffer& out) const;

private:
    ExtIntArray* lengths_;
    StringBuffer* text_;
};

}  // namespace tarvex
