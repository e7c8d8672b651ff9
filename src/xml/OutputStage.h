// OutputStage: writes the many small pieces of serialized XML straight into
// the spare room of a StringBuffer, so that each piece is a few moves and
// the text is copied once. With a sink, the buffer is handed over and
// emptied whenever it holds kDrain bytes: the output then streams through a
// buffer that stays small and warm.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/ShortCopy.h"
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
        if (n <= 16 && static_cast<size_t>(end_ - cur_) >= 16) {
            // Names, short values and markup.
            copyShort(cur_, p, n);
            cur_ += n;
            return;
        }
        putLong(p, n);
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    TARVEX_STAGE_INLINE void put(char c) {
        if (cur_ == end_) makeRoom(1);
        *cur_++ = c;
    }

    // Room for n more bytes (n at most kMaxRoom): the caller writes through
    // the pointer and hands back where it stopped with commit().
    static constexpr size_t kMaxRoom = 16384;
    TARVEX_STAGE_INLINE char* room(size_t n) {
        if (static_cast<size_t>(end_ - cur_) < n) makeRoom(n);
        return cur_;
    }
    TARVEX_STAGE_INLINE void commit(char* end) { cur_ = end; }

    // What is written becomes the buffer's text (and goes to the sink once
    // kDrain bytes are there).
    void flush() {
        settle();
        if (sink_ && out_.getSize() >= static_cast<int32_t>(kDrain)) drain();
    }
    // Everything written goes out (to the sink, where there is one).
    void finish() {
        settle();
        if (sink_) drain();
    }

private:
    // Takes the bytes written in place into the buffer's text.
    void settle() {
        if (cur_ != start_) out_.commitAppend(static_cast<int32_t>(cur_ - start_));
        start_ = end_ = cur_ = nullptr;
    }

    // Kept out of put() so the short path stays small enough to inline.
    void putLong(const char* p, size_t n) {
        while (n > 0) {
            if (cur_ == end_) makeRoom(std::min(n, kMaxRoom));
            const size_t piece = std::min(n, static_cast<size_t>(end_ - cur_));
            std::memcpy(cur_, p, piece);
            cur_ += piece;
            p += piece;
            n -= piece;
        }
    }

    // Room for at least n (at most kMaxRoom) bytes at cur_. Room is reserved
    // ahead geometrically (the output doubles at most once per doubling of
    // its size), so a large document is copied a bounded number of times;
    // pages reserved but not yet written cost no memory.
    void makeRoom(size_t n) {
        flush();
        const int64_t size = out_.getSize();
        int64_t want = std::max<int64_t>(static_cast<int64_t>(n), std::max<int64_t>(size, kMaxRoom * 4));
        if (sink_) want = std::max<int64_t>(static_cast<int64_t>(n), kDrain + kMaxRoom);
        want = std::min<int64_t>(want, 0x7FFFFFF0LL - size - out_.getGrowthIncrement() - 2);
        if (out_.spareBytes() < static_cast<int64_t>(n) || out_.spareBytes() < want / 2)
            out_.ensureCapacity(static_cast<int32_t>(std::max<int64_t>(want, static_cast<int64_t>(n))));
        start_ = cur_ = out_.spareForAppend(static_cast<int32_t>(n));
        end_ = cur_ + out_.spareBytes();
    }

    void drain() {
        if (out_.getSize() > 0) sink_->write(out_.getString(), static_cast<size_t>(out_.getSize()));
        out_.clear();
    }

    static constexpr size_t kDrain = 256 * 1024;
    StringBuffer& out_;
    ByteSink* sink_;
    // The window being written: [start_, end_) is the buffer's spare room,
    // [start_, cur_) what is written there and not yet in its text.
    char* start_ = nullptr;
    char* cur_ = nullptr;
    char* end_ = nullptr;
};

}  // namespace tarvex
