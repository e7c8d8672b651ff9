// TreeNode, continued: the node's content, kept in the tree's heap or, once
// handed out for editing, in a buffer of its own.
#include "tree/TreeNode.h"

#include <climits>
#include <cstring>
#include <new>

#include "base/BlockHeap.h"
#include "base/FatalError.h"
#include "base/ShortCopy.h"
#include "text/StringBuffer.h"

namespace tarvex {

namespace {

int32_t textLength(const char* s) { return s ? static_cast<int32_t>(std::strlen(s)) : 0; }

bool pointsInto(const StringBuffer& b, const char* p) {
    const char* start = b.getString();
    return p >= start && p < start + b.getCapacity();
}

// Replaces the bytes of `b` with p[0..n). A buffer too small is rebuilt with
// the exact capacity n + 1 in one allocation. `p` may point into `b`.
void assignBytes(StringBuffer& b, const char* p, int32_t n) {
    if (!p || n <= 0) {
        b.clear();
        return;
    }
    if (pointsInto(b, p)) {
        StringBuffer copy(p, n, 0);
        assignBytes(b, copy.getString(), n);
        return;
    }
    if (n + 1 > b.getCapacity()) {
        b = StringBuffer(p, n, 0);
    } else {
        b.clear();
        b.appendN(p, n);
    }
}

}  // namespace

int32_t TreeNode::GrownCapacity(int32_t length) {
    // Powers of two keep repeated appends linear; the capacity follows from
    // the length, so the node need not hold it.
    const int64_t need = static_cast<int64_t>(length) + 1;
    if (need > (int64_t{1} << 30)) return INT32_MAX;
    int32_t c = 16;
    while (c < need) c *= 2;
    return c;
}

StringBuffer* TreeNode::ContentBuffer() {
    if (!hasContent_) return nullptr;
    return bufferContent_ ? buffer_ : MakeBufferContent(0);
}

StringBuffer* TreeNode::MakeBufferContent(int32_t increment) {
    BlockHeap* heap = Heap();
    StringBuffer* b;
    if (hasContent_) {
        b = new StringBuffer(text_, textLen_, increment);
        heap->Free(text_, static_cast<size_t>(TextCapacity()));
    } else {
        b = new StringBuffer("", 0, increment);
    }
    buffer_ = b;
    hasContent_ = true;
    bufferContent_ = true;
    grownText_ = false;
    heap->AddForeign(1);
    return b;
}

bool TreeNode::HasContent() const { return GetContentLength() > 0; }

StringBuffer* TreeNode::EnsureContentBuffer(int32_t increment) {
    if (hasContent_ && bufferContent_) return buffer_;
    return MakeBufferContent(increment);
}

void TreeNode::SetContent(const char* text) { SetContent(text, textLength(text)); }

void TreeNode::SetContent(const char* text, int32_t len) {
    if (!text || len < 0) len = 0;
    if (!hasContent_) {
        MakeContent(text, len);
        return;
    }
    if (bufferContent_) {
        assignBytes(*buffer_, text, len);
        return;
    }
    // Rewritten in place while the capacity the new length implies is the
    // one the text has.
    const int32_t capacity = TextCapacity();
    if (grownText_ ? GrownCapacity(len) == capacity : len == textLen_) {
        // `text` may lie in the content itself.
        if (len > 0) std::memmove(text_, text, static_cast<size_t>(len));
        text_[len] = 0;
        textLen_ = len;
        return;
    }
    char* old = text_;
    MakeContent(text, len);
    Heap()->Free(old, static_cast<size_t>(capacity));
}

void TreeNode::SetContentBytes(const char* bytes, int32_t n) {
    if (!bytes) {
        if (hasContent_) SetContent("", 0);
        return;
    }
    SetContent(bytes, n);
}

void TreeNode::AppendContent(const char* bytes) { AppendContent(bytes, textLength(bytes)); }

void TreeNode::AppendMoreContent(const char* bytes, int32_t n) {
    if (!bytes || n <= 0) return;
    if (!hasContent_) {
        MakeContent(bytes, n);
        return;
    }
    if (bufferContent_) {
        StringBuffer& content = *buffer_;
        if (pointsInto(content, bytes)) {
            StringBuffer copy(bytes, n, 0);
            content.appendN(copy.getString(), n);
            return;
        }
        content.appendN(bytes, n);
        return;
    }
    const int64_t want = static_cast<int64_t>(textLen_) + n + 1;
    if (want > INT32_MAX) fatalError("content would exceed 2 GB");
    const int32_t capacity = TextCapacity();
    const int32_t length = static_cast<int32_t>(want - 1);
    if (want <= capacity) {
        // Only a grown text has room, and its capacity stays that of the new length.
        std::memmove(text_ + textLen_, bytes, static_cast<size_t>(n));
    } else {
        // `bytes` may lie in the old block, which is freed last.
        const int32_t grown = GrownCapacity(length);
        BlockHeap* heap = Heap();
        char* data = static_cast<char*>(heap->Alloc(static_cast<size_t>(grown)));
        if (!data) fatalError("out of memory for a content");
        std::memcpy(data, text_, static_cast<size_t>(textLen_));
        std::memcpy(data + textLen_, bytes, static_cast<size_t>(n));
        heap->Free(text_, static_cast<size_t>(capacity));
        text_ = data;
        grownText_ = true;
    }
    textLen_ = length;
    text_[length] = 0;
}

void TreeNode::RemoveContent() {
    if (!hasContent_) return;
    if (bufferContent_) {
        delete buffer_;
        Heap()->AddForeign(-1);
    } else {
        Heap()->Free(text_, static_cast<size_t>(TextCapacity()));
    }
    hasContent_ = false;
    bufferContent_ = false;
    grownText_ = false;
}

}  // namespace tarvex
