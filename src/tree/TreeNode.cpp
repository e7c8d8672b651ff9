#include "tree/TreeNode.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "base/BlockHeap.h"
#include "base/ShortCopy.h"
#include "base/FatalError.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "base/ExtPtrArray.h"

namespace tarvex {

static_assert(sizeof(char*) <= 10, "a tag block's address fits the inline tag bytes");
static_assert(sizeof(void*) != 8 || sizeof(TreeNode) == 72, "a node takes 72 bytes");

namespace {

// The first block of a child list (as a power of two), unless a sibling
// shows a better size.
constexpr uint8_t kFirstChildBlock = 2;
constexpr uint8_t kMaxChildBlock = 30;

int32_t textLength(const char* s) { return s ? static_cast<int32_t>(std::strlen(s)) : 0; }

// Exchanges two pointer-sized unions as bytes, whichever member is in use.
template <typename T>
void swapBytes(T& a, T& b) {
    unsigned char held[sizeof a];
    std::memcpy(held, &a, sizeof held);
    std::memcpy(&a, &b, sizeof held);
    std::memcpy(&b, held, sizeof held);
}

}  // namespace

void TreeNode::ReleaseParts(BlockHeap* heap) {
    if (hasTag_ && tagLen_ >= kInlineTag) {
        char* block;
        std::memcpy(&block, tag_, sizeof block);
        heap->Free(block, static_cast<size_t>(tagLen_) + 1);
    }
    if (hasContent_) RemoveContent();
    if (attributes_) {
        attributes_->~AttributeSet();
        heap->Free(attributes_, sizeof(AttributeSet));
        attributes_ = nullptr;
    }
    if (childBlock_) {
        heap->Free(slots_, sizeof(TreeNode*) * static_cast<size_t>(ChildCapacity()));
        childBlock_ = 0;
        one_ = nullptr;
    }
    childCount_ = 0;
    // The walk in Destroy frees the children themselves.
}

void TreeNode::RemoveChildAt(int32_t i) {
    TreeNode** slots = Slots();
    for (int32_t k = i + 1; k < childCount_; ++k) {
        slots[k - 1] = slots[k];
        slots[k - 1]->index_ = k - 1;
    }
    --childCount_;
}

void TreeNode::StoreTag(const char* text, int32_t len) {
    if (!text || len < 0) len = 0;
    char* old = nullptr;
    if (hasTag_ && tagLen_ >= kInlineTag) std::memcpy(&old, tag_, sizeof old);
    if (len < kInlineTag) {
        // `text` may be the inline tag itself or lie in the old block.
        if (len > 0) std::memmove(tag_, text, static_cast<size_t>(len));
        tag_[len] = 0;
    } else {
        char* block = static_cast<char*>(Heap()->Alloc(static_cast<size_t>(len) + 1));
        if (!block) fatalError("out of memory for a tag");
        std::memcpy(block, text, static_cast<size_t>(len));
        block[len] = 0;
        std::memcpy(tag_, &block, sizeof block);
    }
    if (old) Heap()->Free(old, static_cast<size_t>(tagLen_) + 1);
    tagLen_ = len;
    hasTag_ = true;
}

void TreeNode::ClearTag() {
    if (!hasTag_) return;
    if (tagLen_ >= kInlineTag) {
        char* block;
        std::memcpy(&block, tag_, sizeof block);
        Heap()->Free(block, static_cast<size_t>(tagLen_) + 1);
    }
    tagLen_ = 0;
    hasTag_ = false;
}

// ---------------------------------------------------------------------------
// Construction

TreeNode* TreeNode::NewRoot(BlockHeap* heap, const char* tag, int32_t tagLen) {
    if (!heap) fatalError("out of memory for a tree");
    TreeInfo* tree = new TreeInfo(heap);
    TreeNode* node = MakeNode(tree, tag, tagLen, nullptr, 0);
    tree->root = node;
    return node;
}

TreeNode* TreeNode::NewTree(const char* tag) { return NewTree(tag, textLength(tag)); }

TreeNode* TreeNode::NewTree(const char* tag, int32_t tagLen) {
    return NewRoot(BlockHeap::Create(), tag, tagLen);
}

TreeNode* TreeNode::NewTree(const char* tag, const char* content) {
    TreeNode* node = NewTree(tag);
    int32_t n = textLength(content);
    if (n > 0) node->MakeContent(content, n);
    return node;
}

void TreeNode::GrowChildren() {
    // The block lives in the tree's heap, its size a power of two. The first
    // one is sized like the previous sibling's list, since siblings tend to
    // look alike; later ones double, so a wide list costs linear time.
    uint8_t grown;
    if (childBlock_ == 0) {
        TreeNode* before = GetPreviousSibling();
        grown = kFirstChildBlock;
        if (before && before->childCount_ > (1 << kFirstChildBlock)) {
            while (grown < kMaxChildBlock && (int32_t{1} << grown) < before->childCount_) ++grown;
        }
    } else {
        if (childBlock_ >= kMaxChildBlock) fatalError("too many children");
        grown = static_cast<uint8_t>(childBlock_ + 1);
    }
    BlockHeap* heap = Heap();
    const size_t bytes = sizeof(TreeNode*) << grown;
    TreeNode** block;
    if (childBlock_) {
        block = static_cast<TreeNode**>(
            heap->Realloc(slots_, sizeof(TreeNode*) * static_cast<size_t>(ChildCapacity()), bytes));
    } else {
        block = static_cast<TreeNode**>(heap->Alloc(bytes));
        if (block && childCount_ == 1) block[0] = one_;
    }
    if (!block) fatalError("out of memory for a child list");
    slots_ = block;
    childBlock_ = grown;
}

TreeNode* TreeNode::AddChild(TreeNode* parent, const char* tag, const char* content) {
    if (!parent) return NewTree(tag, content);
    TreeNode* node = MakeNode(parent->tree_, tag, textLength(tag), content, textLength(content));
    LinkLastChild(parent, node);
    return node;
}

void TreeNode::PointSubtreeAt(TreeNode* node, TreeInfo* tree) {
    if (!node) return;
    node->tree_ = tree;
    if (node->childCount_ == 0) return;
    ExtPtrArray stack;
    stack.Append(node);
    while (TreeNode* n = static_cast<TreeNode*>(stack.Pop())) {
        n->tree_ = tree;
        TreeNode* const* c = n->ChildSlots();
        for (int32_t i = 0; i < n->childCount_; ++i) stack.Append(c[i]);
    }
}

bool TreeNode::AdoptChild(TreeNode* parent, TreeNode* child) {
    if (!parent || !child || parent == child) return false;
    if (child->parent_ && child->parent_ != parent) return false;
    if (child->tree_ == parent->tree_) return false;

    TreeInfo* old = child->tree_;
    int32_t moved = 0;
    // The child's memory joins the parent's group before its record goes.
    ShareMemory(parent, child);
    if (old) {
        moved = old->total;
        old->root = nullptr;
        delete old;   // declaration, stylesheet and prolog go; the child's nodes stay
    }
    LinkLastChild(parent, child);
    PointSubtreeAt(child, parent->tree_);
    if (parent->tree_) parent->tree_->total += moved;
    return true;
}

void TreeNode::DetachFromParent(TreeNode* node) {
    if (!node || !node->parent_) return;
    TreeNode* parent = node->parent_;
    if (parent->GetChild(node->index_) != node) return;
    parent->RemoveChildAt(node->index_);
    node->parent_ = nullptr;
    node->index_ = 0;

    int32_t count = SubtreeTotal(node);
    TreeInfo* old = node->tree_;
    // The new tree shares the old one's memory, where its nodes live; made
    // first, so that the old tree's end leaves that memory in place.
    BlockHeap* heap = old->Heap();
    heap->AddTree();
    TreeInfo* tree = new TreeInfo(heap);
    old->total -= count;
    if (old->total <= 0) {
        old->total = 0;
        Destroy(old->root);
    }
    tree->root = node;
    tree->total = count;
    PointSubtreeAt(node, tree);
}

void TreeNode::ShareMemory(TreeNode* a, TreeNode* b) {
    if (a->tree_ != b->tree_) BlockHeap::Join(a->tree_->heap, b->tree_->heap);
}

void TreeNode::SwapNodeData(TreeNode* a, TreeNode* b) {
    if (!a || !b) return;
    if (a != b) {
        // Pieces change nodes, so both trees' memory becomes one group.
        ShareMemory(a, b);
        // A tag is its bytes or its block's address, so the raw bytes move;
        // so do the contents (a heap text or a buffer, neither points at itself).
        std::swap(a->tag_, b->tag_);
        std::swap(a->tagLen_, b->tagLen_);
        bool t = a->hasTag_;
        a->hasTag_ = b->hasTag_;
        b->hasTag_ = t;
        swapBytes(a->text_, b->text_);
        std::swap(a->textLen_, b->textLen_);
        t = a->hasContent_;
        a->hasContent_ = b->hasContent_;
        b->hasContent_ = t;
        t = a->bufferContent_;
        a->bufferContent_ = b->bufferContent_;
        b->bufferContent_ = t;
        t = a->grownText_;
        a->grownText_ = b->grownText_;
        b->grownText_ = t;
        std::swap(a->attributes_, b->attributes_);
    }
    if (a->hasContent_ && a->GetContentLength() == 0) a->RemoveContent();
    if (b->hasContent_ && b->GetContentLength() == 0) b->RemoveContent();
}

bool TreeNode::SwapChildren(TreeNode* a, TreeNode* b) {
    if (!a || !b) return false;
    // Exchanging children with an ancestor or descendant would make a node
    // its own descendant.
    if (a->IsAncestorOf(b) || b->IsAncestorOf(a)) return false;
    SwapNodeData(a, b);
    if (a == b) return true;

    bool crossTree = a->tree_ != b->tree_;
    // Points the children of `from` at `to` and their subtrees at its tree;
    // returns the reference total that changed trees.
    auto handOver = [crossTree](TreeNode* from, TreeNode* to) {
        int32_t moved = 0;
        for (int32_t i = 0; i < from->childCount_; ++i) {
            TreeNode* child = from->ChildSlots()[i];
            child->parent_ = to;
            if (crossTree) {
                moved += SubtreeTotal(child);
                PointSubtreeAt(child, to->tree_);
            }
        }
        return moved;
    };
    const int32_t movedIntoA = handOver(b, a);
    const int32_t movedIntoB = handOver(a, b);
    // Each list moves whole, so the children keep their slots. (The block
    // address and a lone child share their place, so the bytes move.)
    swapBytes(a->slots_, b->slots_);
    std::swap(a->childCount_, b->childCount_);
    std::swap(a->childBlock_, b->childBlock_);
    if (crossTree) {
        if (a->tree_) a->tree_->total += movedIntoA - movedIntoB;
        if (b->tree_) b->tree_->total += movedIntoB - movedIntoA;
    }
    return true;
}

void TreeNode::RelinkSiblings(TreeNode* parent) {
    if (!parent) return;
    TreeNode** c = parent->Slots();
    for (int32_t i = 0; i < parent->childCount_; ++i) c[i]->index_ = i;
}

// ---------------------------------------------------------------------------
// Destruction

void TreeNode::DestroyTree(TreeNode* node) {
    if (!node) return;
    TreeNode* root = node->tree_ && node->tree_->root ? node->tree_->root : node;
    Destroy(root);
}

// Frees `node` and everything below it. Several branches are walked in turn,
// each one node at a time, so the memory reads of different branches overlap
// instead of waiting for each other; the first child of a node continues its
// branch, the others wait on the explicit stack.
void TreeNode::DestroyNodes(TreeNode* node, BlockHeap* heap, bool piecesOnly) {
    constexpr int kLanes = 8;
    TreeNode* lanes[kLanes];
    int lanesUsed = 0;
    ExtPtrArray stack;
    stack.Append(node);
    for (;;) {
        while (lanesUsed < kLanes && stack.Count() > 0) {
            lanes[lanesUsed++] = static_cast<TreeNode*>(stack.Pop());
        }
        if (lanesUsed == 0) break;
        // One step on every branch, in order; finished branches drop out.
        int kept = 0;
        for (int k = 0; k < lanesUsed; ++k) {
            TreeNode* n = lanes[k];
            int32_t count = n->childCount_;
            TreeNode* next = nullptr;
            if (count > 0) {
                TreeNode* const* c = n->ChildSlots();
                next = c[0];
#if defined(__GNUC__) || defined(__clang__)
                __builtin_prefetch(next);
#endif
                for (int32_t i = 1; i < count; ++i) stack.Append(c[i]);
            }
            if (piecesOnly) {
                if (n->hasContent_ && n->bufferContent_) delete n->buffer_;
            } else {
                n->ReleaseParts(heap);
                n->~TreeNode();
                heap->Free(n, sizeof(TreeNode));
            }
            if (next) lanes[kept++] = next;
        }
        lanesUsed = kept;
    }
}

void TreeNode::Destroy(TreeNode* node) {
    if (!node) return;
    if (node->parent_) {
        // Unlink first so the parent never points at freed memory.
        TreeNode* parent = node->parent_;
        if (parent->GetChild(node->index_) == node) parent->RemoveChildAt(node->index_);
        if (node->tree_) {
            node->tree_->total -= SubtreeTotal(node);
            if (node->tree_->total < 0) node->tree_->total = 0;
        }
        node->parent_ = nullptr;
    }
    TreeInfo* record = node->tree_->root == node ? node->tree_ : nullptr;
    BlockHeap* heap = node->Heap();

    if (record && heap->Trees() == 1) {
        // The last tree of its memory: the heap goes as a whole with the
        // record, so only outside pieces need a visit.
        if (heap->Foreign() > 0) DestroyNodes(node, heap, true);
    } else if (node->childCount_ > 0) {
        // Iterative: a chain of any depth needs no stack frames of its own.
        DestroyNodes(node, heap, false);
    } else {
        node->ReleaseParts(heap);
        node->~TreeNode();
        heap->Free(node, sizeof(TreeNode));
    }
    if (record) {
        record->root = nullptr;
        delete record;
    }
}

// ---------------------------------------------------------------------------
// Node data

bool TreeNode::TagEquals(const char* tag, int32_t len) const {
    if (!tag) len = 0;
    if (tagLen_ != len) return false;
    return len == 0 || std::memcmp(TagBytes(), tag, static_cast<size_t>(len)) == 0;
}

void TreeNode::SetTag(const char* text) { SetTag(text, textLength(text)); }

void TreeNode::SetTag(const char* text, int32_t len) {
    if (!text || len < 0) len = 0;
    // Without a tag, an empty one makes none; a present tag stays present.
    if (!hasTag_ && len == 0) return;
    StoreTag(text, len);
}

// ---------------------------------------------------------------------------
// Structure and lookups

bool TreeNode::IsAncestorOf(const TreeNode* other) const {
    if (!other || other->tree_ != tree_) return false;
    for (const TreeNode* p = other->parent_; p; p = p->parent_) {
        if (p == this) return true;
    }
    return false;
}

TreeNode* TreeNode::FirstChildWithTag(const char* tag) const {
    return NthChildWithTag(0, tag);
}

TreeNode* TreeNode::NthChildWithTag(int32_t n, const char* tag) const {
    if (n < 0) return nullptr;
    int32_t len = textLength(tag);
    TreeNode* const* c = ChildSlots();
    for (int32_t i = 0; i < childCount_; ++i) {
        if (c[i]->TagEquals(tag, len) && n-- == 0) return c[i];
    }
    return nullptr;
}

int32_t TreeNode::CountChildrenWithTag(const char* tag) const {
    int32_t len = textLength(tag);
    int32_t count = 0;
    TreeNode* const* c = ChildSlots();
    for (int32_t i = 0; i < childCount_; ++i) {
        if (c[i]->TagEquals(tag, len)) ++count;
    }
    return count;
}

bool TreeNode::HasChildWithTag(const char* tag) const { return FirstChildWithTag(tag) != nullptr; }

// ---------------------------------------------------------------------------
// Reference counting

void TreeNode::AddRef(TreeNode* node) {
    if (!node) return;
    ++node->refCount_;
    if (node->tree_) ++node->tree_->total;
}

void TreeNode::ReleaseRef(TreeNode* node) {
    // A node without references changes nothing, so the total stays the sum
    // of the counts.
    if (!node || node->refCount_ <= 0) return;
    --node->refCount_;
    if (node->tree_ && node->tree_->total > 0) --node->tree_->total;
}

int32_t TreeNode::TreeTotal(const TreeNode* node) {
    return node && node->tree_ ? node->tree_->total : 0;
}

int32_t TreeNode::SubtreeTotal(const TreeNode* node) {
    if (!node) return 0;
    if (node->childCount_ == 0) return node->refCount_;
    int32_t sum = 0;
    ExtPtrArray stack;
    stack.Append(const_cast<TreeNode*>(node));
    while (const TreeNode* n = static_cast<const TreeNode*>(stack.Pop())) {
        sum += n->refCount_;
        TreeNode* const* c = n->ChildSlots();
        for (int32_t i = 0; i < n->childCount_; ++i) stack.Append(c[i]);
    }
    return sum;
}

}  // namespace tarvex
