// ParseEngine: the cursor the XML parser moves over its input text.
//
// The text is either owned (a copy kept in a StringBuffer) or borrowed from
// the caller, who keeps it alive for the cursor's life. Every scan is bounded
// by the end of the text, never by a NUL byte: a byte at or past the end reads
// as NUL and no primitive moves the position past the end, so documents that
// hold NUL bytes are read safely.
#pragma once

#include <cstdint>
#include <cstring>

#include "text/FindByte.h"
#include "text/StringBuffer.h"

namespace tarvex {

class BlockHeap;
class SpareRegion;

// A 256-entry membership table for the "collect until any of" scans.
class ByteSet {
public:
    constexpr ByteSet() : bits_{} {}
    explicit constexpr ByteSet(const char* members) : bits_{} {
        for (const char* p = members; *p; ++p) bits_[static_cast<uint8_t>(*p)] = 1;
    }
    bool has(uint8_t b) const { return bits_[b] != 0; }

private:
    uint8_t bits_[256];
};

class ParseEngine {
    static constexpr ByteSet kSpaceTable{" \t\r\n"};

public:
    ParseEngine();
    // Copies the text.
    ParseEngine(const char* text, int32_t length);
    ~ParseEngine();
    ParseEngine(const ParseEngine&) = delete;
    ParseEngine& operator=(const ParseEngine&) = delete;

    // Replaces the text with a copy of (text, length); position 0.
    void assign(const char* text, int32_t length);
    // Points at caller-owned text without copying; position 0.
    void borrow(const char* text, int32_t length);

    // Ends the text at its first NUL byte from the position, if any.
    void endAtNul() {
        if (pos_ >= length_) return;
        const void* nul = std::memchr(base_ + pos_, 0, static_cast<size_t>(length_ - pos_));
        if (nul) length_ = static_cast<int32_t>(static_cast<const char*>(nul) - base_);
        absentCount_ = 0;
    }

    // The text is a buffer the parse may spend: nothing reads the text behind
    // the position once a construct is done, so its pages may be given back,
    // or, when the text is `region`, reused for the tree being built.
    void allowDiscard(SpareRegion* region = nullptr) {
        discard_ = true;
        discarded_ = pos_;
        region_ = region;
        // Pages handed to a heap cost no system call, so they go in small
        // steps: the tree then waits for fresh pages less often.
        discardStep_ = region ? kReuseStep : kDiscardStep;
    }
    // Between constructs, the text passed over is spent in steps of
    // discardStep_ bytes: once discardDue(), discardPassed hands its pages
    // to `heap` (may be null) when it takes them, else gives them back.
    bool discardDue() const { return discard_ && pos_ - discarded_ >= discardStep_; }
    void discardPassed(BlockHeap* heap);

    const char* base() const { return base_; }
    int32_t length() const { return length_; }
    int32_t position() const { return pos_; }
    void setPosition(int32_t pos) { pos_ = pos < 0 ? 0 : (pos > length_ ? length_ : pos); }
    // Moves to p, which lies within the text or just at its end (a scan's
    // local pointer): no clamping.
    void moveTo(const char* p) { pos_ = static_cast<int32_t>(p - base_); }
    bool atEnd() const { return pos_ >= length_; }
    int32_t remaining() const { return length_ - pos_; }
    const char* current() const { return base_ + pos_; }

    // The byte at the position (or `offset` bytes further); NUL at or past the end.
    char peek() const { return pos_ < length_ ? base_[pos_] : '\0'; }
    char peekAt(int32_t offset) const {
        int64_t i = static_cast<int64_t>(pos_) + offset;
        return (i >= 0 && i < length_) ? base_[i] : '\0';
    }
    // Moves n bytes forward, stopping at the end.
    void advance(int32_t n = 1) { pos_ = (n >= length_ - pos_) ? length_ : pos_ + n; }

    // Whether the text at the position begins with s (n bytes).
    bool startsWith(const char* s, int32_t n) const {
        return n <= length_ - pos_ && std::memcmp(base_ + pos_, s, n) == 0;
    }
    // The same, ASCII case-insensitively.
    bool startsWithNoCase(const char* s, int32_t n) const;

    // Space, TAB, CR or LF: one table load.
    static bool isSpace(char c) { return kSpaceTable.has(static_cast<uint8_t>(c)); }
    // Advances over space, TAB, CR and LF.
    void skipWhitespace() {
        int32_t p = pos_;   // a local: stores through base_ cannot alias it
        while (p < length_ && isSpace(base_[p])) ++p;
        pos_ = p;
    }
    // Advances until the byte c or the end; the position stays on c.
    void seekChar(char c) {
        const char* hit = findByte(base_ + pos_, base_ + length_, c);
        pos_ = hit ? static_cast<int32_t>(hit - base_) : length_;
    }
    // Appends bytes up to, not including, the first member of set; the
    // position stays on that byte (or the end).
    void collectUntilAnyOf(const ByteSet& set, StringBuffer& out);
    // The same without copying: returns the number of bytes passed over,
    // which start at the position before the call.
    int32_t spanUntilAnyOf(const ByteSet& set) {
        int32_t start = pos_;
        int32_t p = start;
        while (p < length_ && !set.has(static_cast<uint8_t>(base_[p]))) ++p;
        pos_ = p;
        return p - start;
    }
    // Appends bytes one by one, each adjusting depth (close: -1, open: +1),
    // stopping after the byte that brings depth to 0. Returns whether depth
    // reached 0 before the end.
    bool captureBalanced(char open, char close, int32_t& depth, StringBuffer& out);
    // Like captureBalanced for a document type declaration: quoted literals,
    // comments and processing instructions are copied whole, so the brackets
    // inside them are not counted.
    bool captureDeclaration(int32_t& depth, StringBuffer& out);
    // Finds s from the position; when found moves just past it and returns
    // true, else returns false and stays.
    bool skipPast(const char* s);
    // Finds s (ASCII case-insensitively) from the position; when found appends
    // everything from the position through the end of s and moves past it.
    bool capturePast(const char* s, StringBuffer& out);
    // Advances until '>' (true, position on it), '<' (false, position on it)
    // or the end (true).
    bool scanCloseTag() {
        int32_t p = pos_;
        while (p < length_) {
            char c = base_[p];
            if (c == '>' || c == '<') {
                pos_ = p;
                return c == '>';
            }
            ++p;
        }
        pos_ = p;
        return true;
    }

    // Offset of s (n bytes) at or after `from`, or -1. A search that failed
    // is remembered (for needles up to 4 bytes): the needle is absent from
    // there to the end, so a later search from further on fails at once and
    // unclosed constructs cost linear time, not quadratic.
    int32_t find(const char* s, int32_t n, int32_t from);
    int32_t findNoCase(const char* s, int32_t n, int32_t from) const;
    // Bytes the searches above passed over in all, for tests of their cost.
    int64_t bytesSearched() const { return searched_; }

private:
    // Where a short needle is known to be absent up to the end.
    struct Absent {
        char needle[4];
        int32_t length;
        int32_t from;
    };
    Absent* absentEntry(const char* s, int32_t n);

    static constexpr int32_t kDiscardStep = 256 * 1024;
    static constexpr int32_t kReuseStep = 32 * 1024;

    StringBuffer text_;     // owned copy (empty when borrowing)
    Absent absent_[6];
    int64_t searched_ = 0;
    int32_t absentCount_ = 0;
    const char* base_;
    int32_t pos_;
    int32_t length_;
    SpareRegion* region_ = nullptr;   // the text's allocation, when it may be reused
    int32_t discarded_ = 0;   // text before this offset may be given back
    int32_t discardStep_ = kDiscardStep;
    bool discard_ = false;
};

}  // namespace tarvex
