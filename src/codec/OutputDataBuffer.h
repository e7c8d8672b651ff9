// OutputDataBuffer: the sink that compressors, inflaters and ciphers write
// into. One growable block (doubling, so a large output is copied a bounded
// number of times) with an optional size limit, handed over at the end to a
// byte buffer or to a node's text without another copy.
#pragma once

#include <cstdint>

namespace tarvex {

class DataBuffer;
class StringBuffer;

class OutputDataBuffer {
public:
    static constexpr uint64_t kNoLimit = 0x7FFFFFF0u;  // what a 32-bit length can carry

    explicit OutputDataBuffer(uint64_t limit = kNoLimit) : limit_(limit < kNoLimit ? limit : kNoLimit) {}
    ~OutputDataBuffer();
    OutputDataBuffer(const OutputDataBuffer&) = delete;
    OutputDataBuffer& operator=(const OutputDataBuffer&) = delete;

    const uint8_t* data() const { return block_; }
    uint8_t* data() { return block_; }
    uint32_t size() const { return size_; }
    uint64_t limit() const { return limit_; }

    // Capacity for at least `total` bytes in all (never beyond the limit).
    bool reserveTotal(uint64_t total);
    // Room for at least `n` more bytes at the end (growing by doubling):
    // the address of the free space, or null when the limit would be passed.
    // *room receives how many bytes may be written there.
    uint8_t* reserve(uint32_t n, uint32_t* room);
    void commit(uint32_t n) { size_ += n; }
    bool append(const void* p, uint32_t n);
    void clear() { size_ = 0; }
    void cutTo(uint32_t n) {
        if (n < size_) size_ = n;
    }
    void takeOver(OutputDataBuffer& other);

    // Hand the bytes over; this buffer is then empty.
    void moveTo(DataBuffer& out);
    void moveTo(StringBuffer& out);  // as text: a NUL follows the bytes

private:
    bool growTo(uint64_t capacity);
    void trimSlack(uint32_t keep);

    uint8_t* block_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
    uint64_t limit_;
};

}  // namespace tarvex
