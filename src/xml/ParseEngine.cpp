#include "xml/ParseEngine.h"

#include "base/BlockHeap.h"
#include "platform/Allocator.h"
#include "platform/Pages.h"

namespace tarvex {

namespace {

inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

ParseEngine::ParseEngine() : base_(""), pos_(0), length_(0) {}

ParseEngine::ParseEngine(const char* text, int32_t length) : base_(""), pos_(0), length_(0) {
    assign(text, length);
}

ParseEngine::~ParseEngine() = default;

void ParseEngine::assign(const char* text, int32_t length) {
    if (text == nullptr || length < 0) length = 0;
    text_ = StringBuffer(length > 0 ? text : "", length, 0);
    base_ = text_.getString();
    length_ = length;
    pos_ = 0;
    absentCount_ = 0;
    discard_ = false;
    discarded_ = 0;
}

void ParseEngine::borrow(const char* text, int32_t length) {
    text_.clear();
    if (text == nullptr || length < 0) {
        text = "";
        length = 0;
    }
    base_ = text;
    length_ = length;
    pos_ = 0;
    absentCount_ = 0;
    discard_ = false;
    discarded_ = 0;
}

void ParseEngine::discardPassed(BlockHeap* heap) {
    char* passed = const_cast<char*>(base_) + discarded_;
    const size_t n = static_cast<size_t>(pos_ - discarded_);
    // A memory checker that watches each allocation keeps every byte as
    // written, so nothing is given back there.
    const bool reused = region_ && heap && heap->TakeSpare(passed, n, region_);
    if (!reused && !platform::checksEachAllocation()) platform::discardPages(passed, n);
    discarded_ = pos_;
}

bool ParseEngine::startsWithNoCase(const char* s, int32_t n) const {
    if (n > length_ - pos_) return false;
    const char* p = base_ + pos_;
    for (int32_t i = 0; i < n; ++i) {
        if (lowerAscii(p[i]) != lowerAscii(s[i])) return false;
    }
    return true;
}

void ParseEngine::collectUntilAnyOf(const ByteSet& set, StringBuffer& out) {
    int32_t start = pos_;
    int32_t n = spanUntilAnyOf(set);
    if (n > 0) out.appendN(base_ + start, n);
}

bool ParseEngine::captureBalanced(char open, char close, int32_t& depth, StringBuffer& out) {
    int32_t start = pos_;
    bool balanced = false;
    while (pos_ < length_) {
        char c = base_[pos_++];
        if (c == close) {
            if (--depth == 0) {
                balanced = true;
                break;
            }
        } else if (c == open) {
            ++depth;
        }
    }
    if (pos_ > start) out.appendN(base_ + start, pos_ - start);
    return balanced;
}

bool ParseEngine::captureDeclaration(int32_t& depth, StringBuffer& out) {
    int32_t start = pos_;
    bool balanced = false;
    while (pos_ < length_) {
        char c = base_[pos_];
        if (c == '"' || c == '\'') {
            // A literal is taken whole when it is closed; a stray quote is an
            // ordinary byte.
            int32_t q = find(&c, 1, pos_ + 1);
            pos_ = q >= 0 ? q + 1 : pos_ + 1;
            continue;
        }
        if (c == '<' && pos_ + 3 < length_ && base_[pos_ + 1] == '!' && base_[pos_ + 2] == '-' &&
            base_[pos_ + 3] == '-') {
            int32_t end = find("-->", 3, pos_ + 4);
            if (end >= 0) {
                pos_ = end + 3;
                continue;
            }
        } else if (c == '<' && pos_ + 1 < length_ && base_[pos_ + 1] == '?') {
            int32_t end = find("?>", 2, pos_ + 2);
            if (end >= 0) {
                pos_ = end + 2;
                continue;
            }
        }
        ++pos_;
        if (c == '>') {
            if (--depth == 0) {
                balanced = true;
                break;
            }
        } else if (c == '<') {
            ++depth;
        }
    }
    if (pos_ > start) out.appendN(base_ + start, pos_ - start);
    return balanced;
}

ParseEngine::Absent* ParseEngine::absentEntry(const char* s, int32_t n) {
    for (int32_t i = 0; i < absentCount_; ++i) {
        if (absent_[i].length == n && std::memcmp(absent_[i].needle, s, static_cast<size_t>(n)) == 0)
            return &absent_[i];
    }
    if (absentCount_ == static_cast<int32_t>(sizeof absent_ / sizeof absent_[0])) return nullptr;
    Absent& e = absent_[absentCount_++];
    std::memcpy(e.needle, s, static_cast<size_t>(n));
    e.length = n;
    e.from = length_ + 1;   // nothing known yet
    return &e;
}

int32_t ParseEngine::find(const char* s, int32_t n, int32_t from) {
    if (n <= 0) return from;
    Absent* known = n <= 4 ? absentEntry(s, n) : nullptr;
    if (known && from >= known->from) return -1;
    const char* p = base_ + from;
    const char* end = base_ + length_;
    while (end - p >= n) {
        const void* hit = std::memchr(p, static_cast<unsigned char>(s[0]), static_cast<size_t>(end - p - n + 1));
        if (!hit) break;
        const char* h = static_cast<const char*>(hit);
        if (std::memcmp(h + 1, s + 1, static_cast<size_t>(n - 1)) == 0) {
            searched_ += h - (base_ + from);
            return static_cast<int32_t>(h - base_);
        }
        p = h + 1;
    }
    searched_ += length_ - from;
    if (known) known->from = from;
    return -1;
}

int32_t ParseEngine::findNoCase(const char* s, int32_t n, int32_t from) const {
    if (n <= 0) return from;
    for (int32_t i = from; i + n <= length_; ++i) {
        int32_t k = 0;
        while (k < n && lowerAscii(base_[i + k]) == lowerAscii(s[k])) ++k;
        if (k == n) return i;
    }
    return -1;
}

bool ParseEngine::skipPast(const char* s) {
    int32_t n = static_cast<int32_t>(std::strlen(s));
    int32_t at = find(s, n, pos_);
    if (at < 0) return false;
    pos_ = at + n;
    return true;
}

bool ParseEngine::capturePast(const char* s, StringBuffer& out) {
    int32_t n = static_cast<int32_t>(std::strlen(s));
    bool letters = false;
    for (int32_t i = 0; i < n; ++i) letters = letters || ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z');
    // Without letters the case-blind search is the exact one.
    int32_t at = letters ? findNoCase(s, n, pos_) : find(s, n, pos_);
    if (at < 0) return false;
    out.appendN(base_ + pos_, at + n - pos_);
    pos_ = at + n;
    return true;
}

}  // namespace tarvex
