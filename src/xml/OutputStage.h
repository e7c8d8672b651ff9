// OutputStage: a staging area in front of a StringBuffer, so the many small
// pieces of serialized XML become few appends. With a sink, the buffer is
// handed over and emptied whenever it holds kDrain bytes: the output then
// streams through a small buffer that stays warm.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text/ByteSink.h"
#include "text/StringBuffer.h"

#if defined(__GNUC__) || defined(__clang__)
#define TARVEX_STAGE_INLINE inline __attribute__((always_inline))
#else
#define TARVEX_STAGE_INLINE inline
#endif

namespace tarvex {

class OutputStage {
public:
    explicit OutputStage(StringBuffer& out, ByteSink* sink = nullptr) : out_(out), sink_(sink) {}
    ~OutputStage() { flush(); }
    OutputStage(const OutputStage&) = delete;
    OutputStage& operator=(const OutputStage&) = delete;

    // Called several times per node: inlined, its short path is a few moves.
    TARVEX_STAGE_INLINE void put(const char* p, size_t n) {
        if (n <= 16 && kSize - used_ >= 16) {
            // Names, short values and markup: fixed-size copies the compiler
            // inlines, instead of a library call per piece.
            char* d = buf_ + used_;
            if (n >= 8) {
                std::memcpy(d, p, 8);
                std::memcpy(d + n - 8, p + n - 8, 8);
            } else if (n >= 4) {
                std::memcpy(d, p, 4);
                std::memcpy(d + n - 4, p + n - 4, 4);
            } else if (n >= 2) {
                std::memcpy(d, p, 2);
                std::memcpy(d + n - 2, p + n - 2, 2);
            } else if (n == 1) {
                d[0] = p[0];
            }
            used_ += n;
            return;
        }
        putLong(p, n);
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    void put(char c) {
        if (used_ == kSize) flush();
        buf_[used_++] = c;
    }
    StringBuffer& target() { return out_; }
    void flush() {
        if (used_) {
            reserve(used_);
            out_.appendN(buf_, static_cast<int32_t>(used_));
        }
        used_ = 0;
        if (sink_ && out_.getSize() >= static_cast<int32_t>(kDrain)) drain();
    }
    // Everything staged goes out (to the sink, where there is one).
    void finish() {
        flush();
        if (sink_) drain();
    }

    // Room is reserved ahead geometrically (the output doubles at most once
    // per doubling of its size), so a large document is copied a bounded
    // number of times; pages reserved but not yet written cost no memory.
    void reserve(size_t n) {
        int64_t spare = static_cast<int64_t>(out_.getCapacity()) - out_.getSize() - 1;
        if (static_cast<int64_t>(n) <= spare) return;
        int64_t want = std::max<int64_t>(static_cast<int64_t>(n), std::max<int64_t>(out_.getSize(), kSize * 4));
        want = std::min<int64_t>(want, 0x7FFFFFF0LL - out_.getSize() - out_.getGrowthIncrement() - 2);
        if (want > static_cast<int64_t>(n)) out_.ensureCapacity(static_cast<int32_t>(want));
    }

private:
    // Kept out of put() so the short path stays small enough to inline.
    void putLong(const char* p, size_t n) {
        if (n > kSize - used_ || n >= kDirect) {
            // Long runs go straight to the output: one copy, not two.
            flush();
            if (n >= kDirect) {
                appendLarge(p, n);
                return;
            }
        }
        std::memcpy(buf_ + used_, p, n);
        used_ += n;
    }

    void appendLarge(const char* p, size_t n) {
        while (n > 0) {
            int32_t chunk = static_cast<int32_t>(std::min<size_t>(n, 0x40000000));
            reserve(static_cast<size_t>(chunk));
            out_.appendN(p, chunk);
            p += chunk;
            n -= static_cast<size_t>(chunk);
            if (sink_ && out_.getSize() >= static_cast<int32_t>(kDrain)) drain();
        }
    }

    void drain() {
        if (out_.getSize() > 0) sink_->write(out_.getString(), static_cast<size_t>(out_.getSize()));
        out_.clear();
    }

    static constexpr size_t kSize = 16384;
    static constexpr size_t kDirect = 1024;
    static constexpr size_t kDrain = 256 * 1024;
    StringBuffer& out_;
    ByteSink* sink_;
    size_t used_ = 0;
    char buf_[kSize];
};

}  // namespace tarvex
