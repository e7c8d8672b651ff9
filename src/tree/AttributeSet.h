// AttributeSet: the ordered name/value pairs of one node, packed into one
// block. Duplicate names are allowed; names compare byte for byte.
//
// The block starts with its capacity, its used bytes and the pair count;
// then each pair is one record: the name length and the value length (each a
// little-endian base-128 number, one byte below 128), then the name bytes and
// the value bytes, with no separators. The block is made on the first
// addition, so a list costs two allocations in all: the set (one pointer) and
// its block (both from the tree's heap for a node's set). Lookups walk the records in order, summing lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/BlockHeap.h"
#include "base/ShortCopy.h"

namespace tarvex {

class StringBuffer;
class BlockHeap;

class AttributeSet {
public:
    AttributeSet();
    // A set whose block comes from a tree's heap (the set itself is placed
    // there by its node).
    explicit AttributeSet(BlockHeap* heap) : heap_(heap) {}
    ~AttributeSet();
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    static void* operator new(size_t n);
    static void operator delete(void* p);

    // Nothing for a null or empty name; a null value is the empty value.
    void Add(const char* name, const char* value);
    void Add(const char* name, int32_t nameLen, const char* value, int32_t valueLen) {
        // Short pairs that fit the block: both lengths take one byte each.
        if (block_ && name && nameLen > 0 && nameLen < 0x80 && value && valueLen >= 0 && valueLen < 0x80) {
            Header* h = Head();
            const int32_t need = 2 + nameLen + valueLen;
            if (need <= h->capacity - h->used) {
                unsigned char* p = block_ + h->used;
                p[0] = static_cast<unsigned char>(nameLen);
                p[1] = static_cast<unsigned char>(valueLen);
                copyShort(reinterpret_cast<char*>(p) + 2, name, static_cast<size_t>(nameLen));
                copyShort(reinterpret_cast<char*>(p) + 2 + nameLen, value, static_cast<size_t>(valueLen));
                h->used += need;
                ++h->count;
                return;
            }
        }
        AddSlow(name, nameLen, value, valueLen);
    }
    void Remove(const char* name);                      // every pair of that name
    void Remove(const char* name, int32_t nameLen);
    void Update(const char* name, const char* value);   // Remove, then Add at the end
    void Clear();
    // Makes room for `more` record bytes beyond those in use (a hint for a
    // caller about to add several pairs; Add grows the block as needed).
    void ReserveBytes(int32_t more) {
        if (more <= 0) return;
        if (!block_ && heap_ && static_cast<size_t>(more) <= BlockHeap::kMediumMax) {
            // The first block of a tree's set, as the parser asks for it on
            // every tag with attributes: one piece of the heap, sized exactly.
            const size_t size = (sizeof(Header) + static_cast<size_t>(more) + 7) & ~size_t{7};
            if (void* p = heap_->Root()->Alloc(size)) {
                StartBlock(p, size);
                return;
            }
        }
        Reserve(more);
    }
    int32_t Count() const { return block_ ? Head()->count : 0; }

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
    // Reads one record length (7 bits a byte, low first; lengths are below
    // 2^31, so at most five bytes) and moves `p` past it.
    static int32_t ReadLength(const unsigned char*& p) {
        uint32_t v = *p++;
        if (v < 0x80) return static_cast<int32_t>(v);
        v &= 0x7F;
        for (int shift = 7;; shift += 7) {
            uint32_t b = *p++;
            v |= (b & 0x7F) << shift;
            if (b < 0x80) return static_cast<int32_t>(v);
        }
    }
    // Walks the pairs in order without indexing: start with *cursor = 0;
    // each call gives the next pair and false after the last one. Inline:
    // the serializer walks every list with it.
    bool NextPair(int32_t* cursor, const char** name, int32_t* nameLen, const char** value,
                  int32_t* valueLen) const {
        if (!block_) return false;
        const unsigned char* p = Records() + *cursor;
        if (p >= End()) return false;
        *nameLen = ReadLength(p);
        *valueLen = ReadLength(p);
        *name = reinterpret_cast<const char*>(p);
        *value = *name + *nameLen;
        *cursor = static_cast<int32_t>(p + *nameLen + *valueLen - Records());
        return true;
    }
    // Value of the first pair named `name` without copying; nullptr if absent.
    const char* FindValue(const char* name, int32_t* len) const;
    const char* FindValue(const char* name, int32_t nameLen, int32_t* len) const;

    // Appends every pair as ` name="escaped value"`.
    void Write(StringBuffer& out) const;

private:
    void AddSlow(const char* name, int32_t nameLen, const char* value, int32_t valueLen);
    // The record of pair i: its name and value lengths and the name's first
    // byte (the value follows the name). False when i is out of range.
    bool PairAt(int32_t i, int32_t* nameLen, int32_t* valueLen, const char** name) const;
    // Index of the first pair named `name`, with its value; -1 if none.
    int32_t Find(const char* name, int32_t nameLen, int32_t* valueLen, const char** value) const;
    // Makes room for `more` bytes after the used ones.
    void Reserve(int64_t more);
    // Makes p (size bytes) the list's first block, with no pairs yet.
    void StartBlock(void* p, size_t size) {
        Header* h = static_cast<Header*>(p);
        h->capacity = static_cast<int32_t>(size);
        h->used = static_cast<int32_t>(sizeof(Header));
        h->count = 0;
        block_ = static_cast<unsigned char*>(p);
    }
    // True when `p` points into the block.
    bool Holds(const char* p) const;

    struct Header {
        int32_t capacity;   // bytes in the block, this header included
        int32_t used;       // bytes in use, this header included
        int32_t count;      // pairs
    };
    Header* Head() const { return reinterpret_cast<Header*>(block_); }
    unsigned char* Records() const { return block_ + sizeof(Header); }
    unsigned char* End() const { return block_ + Head()->used; }

    unsigned char* block_ = nullptr;   // null until the first addition
    BlockHeap* heap_ = nullptr;        // where the block lives; null: the library's allocator
};

}  // namespace tarvex
