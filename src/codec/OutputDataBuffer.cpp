#include "codec/OutputDataBuffer.h"

#include <cstring>
#include <utility>

#include "base/Memory.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {

OutputDataBuffer::~OutputDataBuffer() { memFree(block_); }

bool OutputDataBuffer::growTo(uint64_t capacity) {
    // One byte beyond the limit stays possible, so that text can end in a NUL.
    if (capacity > limit_ + 1) capacity = limit_ + 1;
    if (capacity <= capacity_) return capacity_ >= capacity;
    uint8_t* grown = static_cast<uint8_t*>(memRealloc(block_, static_cast<size_t>(capacity)));
    if (!grown) return false;
    block_ = grown;
    capacity_ = static_cast<uint32_t>(capacity);
    return true;
}

bool OutputDataBuffer::reserveTotal(uint64_t total) { return total <= capacity_ || growTo(total); }

uint8_t* OutputDataBuffer::reserve(uint32_t n, uint32_t* room) {
    if (room) *room = 0;
    const uint64_t need = static_cast<uint64_t>(size_) + n;
    if (need > limit_) return nullptr;
    if (need > capacity_) {
        uint64_t want = static_cast<uint64_t>(capacity_) * 2;
        if (want < need) want = need;
        if (want < 65536) want = 65536;
        if (!growTo(want)) return nullptr;
    }
    uint64_t free = static_cast<uint64_t>(capacity_) - size_;
    if (free > limit_ - size_) free = limit_ - size_;
    if (room) *room = static_cast<uint32_t>(free);
    return block_ + size_;
}

bool OutputDataBuffer::append(const void* p, uint32_t n) {
    if (n == 0) return true;
    uint8_t* at = reserve(n, nullptr);
    if (!at) return false;
    std::memcpy(at, p, n);
    size_ += n;
    return true;
}

void OutputDataBuffer::takeOver(OutputDataBuffer& other) {
    if (this == &other) return;
    memFree(block_);
    block_ = std::exchange(other.block_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
}

void OutputDataBuffer::trimSlack(uint32_t keep) {
    // A block less than half used gives the rest back (one copy at most);
    // one at least half used stays, which costs nothing.
    const uint64_t want = static_cast<uint64_t>(size_) + keep;
    if (size_ == 0 || capacity_ <= 2 * want + 65536) return;
    uint8_t* trimmed = static_cast<uint8_t*>(memRealloc(block_, static_cast<size_t>(want)));
    if (!trimmed) return;
    block_ = trimmed;
    capacity_ = static_cast<uint32_t>(want);
}

void OutputDataBuffer::moveTo(DataBuffer& out) {
    trimSlack(0);
    if (size_ == 0) {
        out.clear();
        return;
    }
    out.adopt(block_, size_);
    block_ = nullptr;
    size_ = capacity_ = 0;
}

void OutputDataBuffer::moveTo(StringBuffer& out) {
    trimSlack(1);
    if (size_ == 0 || size_ >= 0x7FFFFFFEu) {
        out.clear();
        if (size_ > 0) out.appendN(reinterpret_cast<const char*>(block_), static_cast<int32_t>(size_));
        size_ = 0;
        return;
    }
    if (size_ + 1 > capacity_ && !growTo(static_cast<uint64_t>(size_) + 1)) {
        out.clear();
        out.appendN(reinterpret_cast<const char*>(block_), static_cast<int32_t>(size_));
        size_ = 0;
        return;
    }
    out.adoptBlock(reinterpret_cast<char*>(block_), static_cast<int32_t>(size_), static_cast<int32_t>(capacity_));
    block_ = nullptr;
    size_ = capacity_ = 0;
}

}  // namespace tarvex
