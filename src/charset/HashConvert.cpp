// HashConvert: byte-sequence map with packed buckets.
//
// A bucket is one block of entries (key length, key bytes, value length,
// value bytes), always followed by a 0 byte. Entries are appended, so when a
// key was added twice the first entry is the one found.
#include "charset/HashConvert.h"

#include <cstring>

#include "base/Memory.h"

namespace tarvex {

struct HashConvert::Bucket {
    uint8_t* data;      // entries + terminating 0, or nullptr when empty
    uint32_t size;      // bytes of entries, without the terminator
    uint32_t capacity;
};

namespace {

constexpr uint32_t kMaxPart = 4;   // longest key or value
constexpr uint8_t kEmptyBucket[1] = {0};

uint32_t keyNumber(const uint8_t* key, uint32_t keyLen) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < keyLen; ++i) {
        n |= static_cast<uint32_t>(key[i]) << (8 * i);
    }
    return n;
}

bool keyEquals(const uint8_t* entry, const uint8_t* key, uint32_t keyLen) {
    if (entry[0] != keyLen) {
        return false;
    }
    for (uint32_t i = 0; i < keyLen; ++i) {
        if (entry[1 + i] != key[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

HashConvert::HashConvert() : buckets_(nullptr), count_(0) {}

HashConvert::~HashConvert() {
    setBucketCount(0);
}

void HashConvert::setBucketCount(uint32_t n) {
    if (buckets_ != nullptr) {
        for (uint32_t i = 0; i < count_; ++i) {
            memFree(buckets_[i].data);
        }
        memFree(buckets_);
        buckets_ = nullptr;
    }
    count_ = 0;
    if (n == 0) {
        return;
    }
    buckets_ = static_cast<Bucket*>(memAllocZeroed(sizeof(Bucket) * n));
    if (buckets_ != nullptr) {
        count_ = n;
    }
}

void HashConvert::add(const uint8_t* key, uint32_t keyLen, const uint8_t* value, uint32_t valueLen) {
    if (key == nullptr || value == nullptr || keyLen == 0 || keyLen > kMaxPart || valueLen == 0 ||
        valueLen > kMaxPart) {
        return;
    }
    if (count_ == 0) {
        setBucketCount(1);
        if (count_ == 0) {
            return;
        }
    }
    Bucket& b = buckets_[keyNumber(key, keyLen) % count_];
    uint32_t need = b.size + 2 + keyLen + valueLen + 1;
    if (need > b.capacity) {
        uint32_t cap = b.capacity == 0 ? 16 : b.capacity * 2;
        while (cap < need) {
            cap *= 2;
        }
        uint8_t* grown = static_cast<uint8_t*>(memRealloc(b.data, cap));
        if (grown == nullptr) {
            return;
        }
        b.data = grown;
        b.capacity = cap;
    }
    uint8_t* p = b.data + b.size;
    *p++ = static_cast<uint8_t>(keyLen);
    std::memcpy(p, key, keyLen);
    p += keyLen;
    *p++ = static_cast<uint8_t>(valueLen);
    std::memcpy(p, value, valueLen);
    p += valueLen;
    *p = 0;
    b.size = static_cast<uint32_t>(p - b.data);
}

void HashConvert::remove(const uint8_t* key, uint32_t keyLen) {
    if (count_ == 0 || key == nullptr || keyLen == 0 || keyLen > kMaxPart) {
        return;
    }
    Bucket& b = buckets_[keyNumber(key, keyLen) % count_];
    if (b.data == nullptr) {
        return;
    }
    // Rewrites the bucket in place without the key's entries.
    uint32_t in = 0;
    uint32_t out = 0;
    while (in < b.size) {
        uint32_t len = 1 + b.data[in];
        len += 1 + b.data[in + len];
        if (!keyEquals(b.data + in, key, keyLen)) {
            if (out != in) {
                std::memmove(b.data + out, b.data + in, len);
            }
            out += len;
        }
        in += len;
    }
    b.size = out;
    b.data[out] = 0;
}

const uint8_t* HashConvert::lookup(const uint8_t* key, uint32_t keyLen, uint32_t* valueLen) const {
    if (count_ == 0 || key == nullptr || keyLen == 0 || keyLen > kMaxPart) {
        return nullptr;
    }
    const Bucket& b = buckets_[keyNumber(key, keyLen) % count_];
    const uint8_t* p = b.data != nullptr ? b.data : kEmptyBucket;
    while (*p != 0) {
        const uint8_t* v = p + 1 + *p;
        if (keyEquals(p, key, keyLen)) {
            if (valueLen != nullptr) {
                *valueLen = *v;
            }
            return v + 1;
        }
        p = v + 1 + *v;
    }
    return nullptr;
}

}  // namespace tarvex
