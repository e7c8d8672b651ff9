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

StringBuffer* TreeNode::ContentBuffer() {
    if (!hasContent_) return nullptr;
    return bufferContent_ ? Content() : MakeBufferContent(0);
}

// Contents are sized exactly (len + 1); an empty one holds one byte.
void TreeNode::MakeContent(const char* text, int32_t len) {
    static_assert(sizeof(HeapText) <= kContentStore, "a heap content fits the content store");
    if (!text || len <= 0) {
        text = "";
        len = 0;
    }
    char* data = static_cast<char*>(Heap()->Alloc(static_cast<size_t>(len) + 1));
    if (!data) fatalError("out of memory for a content");
    *copyShort(data, text, static_cast<size_t>(len)) = 0;
    HeapText& t = *new (contentStore_) HeapText;
    t.data = data;
    t.length = len;
    t.capacity = len + 1;
    hasContent_ = true;
    bufferContent_ = false;
}

StringBuffer* TreeNode::MakeBufferContent(int32_t increment) {
    BlockHeap* heap = Heap();
    StringBuffer* b;
    if (hasContent_) {
        HeapText t = Text();
        b = new StringBuffer(t.data, t.length, increment);
        heap->Free(t.data, static_cast<size_t>(t.capacity));
    } else {
        b = new StringBuffer("", 0, increment);
    }
    std::memcpy(contentStore_, &b, sizeof b);
    hasContent_ = true;
    bufferContent_ = true;
    heap->AddForeign(1);
    return Content();
}

bool TreeNode::HasContent() const { return GetContentLength() > 0; }

StringBuffer* TreeNode::EnsureContentBuffer(int32_t increment) {
    if (hasContent_ && bufferContent_) return Content();
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
        assignBytes(*Content(), text, len);
        return;
    }
    HeapText& t = Text();
    if (len + 1 <= t.capacity) {
        // `text` may lie in the content itself.
        if (len > 0) std::memmove(t.data, text, static_cast<size_t>(len));
        t.data[len] = 0;
        t.length = len;
        return;
    }
    HeapText old = t;
    MakeContent(text, len);
    Heap()->Free(old.data, static_cast<size_t>(old.capacity));
}

void TreeNode::SetContentBytes(const char* bytes, int32_t n) {
    if (!bytes) {
        if (hasContent_) SetContent("", 0);
        return;
    }
    SetContent(bytes, n);
}

void TreeNode::AppendContent(const char* bytes) { AppendContent(bytes, textLength(bytes)); }

void TreeNode::AppendContent(const char* bytes, int32_t n) {
    if (!bytes || n <= 0) return;
    if (!hasContent_) {
        MakeContent(bytes, n);
        return;
    }
    if (bufferContent_) {
        StringBuffer& content = *Content();
        if (pointsInto(content, bytes)) {
            StringBuffer copy(bytes, n, 0);
            content.appendN(copy.getString(), n);
            return;
        }
        content.appendN(bytes, n);
        return;
    }
    HeapText& t = Text();
    const int64_t want = static_cast<int64_t>(t.length) + n + 1;
    if (want > INT32_MAX) fatalError("content would exceed 2 GB");
    if (want <= t.capacity) {
        std::memmove(t.data + t.length, bytes, static_cast<size_t>(n));
    } else {
        // Grows by half again, so repeated appends stay linear; `bytes` may
        // lie in the old block, which is freed last.
        int64_t grown = static_cast<int64_t>(t.capacity) + t.capacity / 2;
        if (grown < want) grown = want;
        if (grown > INT32_MAX) grown = INT32_MAX;
        BlockHeap* heap = Heap();
        char* data = static_cast<char*>(heap->Alloc(static_cast<size_t>(grown)));
        if (!data) fatalError("out of memory for a content");
        std::memcpy(data, t.data, static_cast<size_t>(t.length));
        std::memcpy(data + t.length, bytes, static_cast<size_t>(n));
        heap->Free(t.data, static_cast<size_t>(t.capacity));
        t.data = data;
        t.capacity = static_cast<int32_t>(grown);
    }
    t.length += n;
    t.data[t.length] = 0;
}

void TreeNode::RemoveContent() {
    if (!hasContent_) return;
    if (bufferContent_) {
        delete Content();
        Heap()->AddForeign(-1);
    } else {
        Heap()->Free(Text().data, static_cast<size_t>(Text().capacity));
    }
    hasContent_ = false;
    bufferContent_ = false;
}

}  // namespace tarvex
