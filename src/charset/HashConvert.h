// HashConvert: a map from keys of 1 to 4 bytes to values of 1 to 4 bytes.
// Buckets are packed byte lists (key length, key, value length, value, ...,
// 0); the bucket of a key is its bytes read little-endian modulo the count.
#pragma once

#include <cstdint>

namespace tarvex {

class HashConvert {
public:
    HashConvert();
    ~HashConvert();
    HashConvert(const HashConvert&) = delete;
    HashConvert& operator=(const HashConvert&) = delete;

    void setBucketCount(uint32_t n);       // empties the map
    void add(const uint8_t* key, uint32_t keyLen, const uint8_t* value, uint32_t valueLen);
    void remove(const uint8_t* key, uint32_t keyLen);
    // Returns the value bytes (and their length) or nullptr.
    const uint8_t* lookup(const uint8_t* key, uint32_t keyLen, uint32_t* valueLen) const;

private:
    struct Bucket;
    Bucket* buckets_;
    uint32_t count_;
};

}  // namespace tarvex
