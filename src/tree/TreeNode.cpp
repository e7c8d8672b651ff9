#include "tree/TreeNode.h"

#include <cstring>
#include <new>
#include <utility>

#include "text/Memory.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/ExtPtrArray.h"

namespace tarvex {

static_assert(sizeof(StringBuffer) <= 32 && alignof(StringBuffer) <= 8,
              "TreeNode embeds its tag buffer in 32 bytes");

namespace {

constexpr int32_t kChildStep = 5;

int32_t textLength(const char* s) { return s ? static_cast<int32_t>(std::strlen(s)) : 0; }

// Content buffers live in the library's allocator, sized exactly (n + 1).
StringBuffer* newBuffer(const char* p, int32_t n, int32_t increment) {
    void* block = memAlloc(sizeof(StringBuffer));
    if (!p || n <= 0) return new (block) StringBuffer("", 0, increment);
    return new (block) StringBuffer(p, n, increment);
}

void freeBuffer(StringBuffer* b) {
    if (!b) return;
    b->~StringBuffer();
    memFree(b);
}

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

TreeNode* nodeAt(const ExtPtrArray* a, int32_t i) { return static_cast<TreeNode*>(a->Get(i)); }

}  // namespace

void* TreeNode::operator new(size_t n) { return memAlloc(n); }
void TreeNode::operator delete(void* p) { memFree(p); }

TreeNode::~TreeNode() {
    ClearTag();
    freeBuffer(content_);
    delete attributes_;
    delete children_;   // the array only; the walk in Destroy frees the children
}

StringBuffer* TreeNode::TagBuffer() {
    return hasTag_ ? std::launder(reinterpret_cast<StringBuffer*>(tagStore_)) : nullptr;
}

const StringBuffer* TreeNode::TagBuffer() const {
    return hasTag_ ? std::launder(reinterpret_cast<const StringBuffer*>(tagStore_)) : nullptr;
}

void TreeNode::ClearTag() {
    if (!hasTag_) return;
    TagBuffer()->~StringBuffer();
    hasTag_ = false;
}

// ---------------------------------------------------------------------------
// Construction

TreeNode* TreeNode::MakeNode(const char* tag, int32_t tagLen, const char* content, int32_t contentLen) {
    TreeNode* node = new TreeNode();
    if (tag && tagLen > 0) {
        new (node->tagStore_) StringBuffer(tag, tagLen, 0);
        node->hasTag_ = true;
    }
    if (content && contentLen > 0) node->content_ = newBuffer(content, contentLen, 0);
    return node;
}

TreeNode* TreeNode::NewTree(const char* tag) { return NewTree(tag, textLength(tag)); }

TreeNode* TreeNode::NewTree(const char* tag, int32_t tagLen) {
    TreeNode* node = MakeNode(tag, tagLen, nullptr, 0);
    TreeInfo* tree = new TreeInfo();
    tree->root = node;
    node->tree_ = tree;
    return node;
}

TreeNode* TreeNode::NewTree(const char* tag, const char* content) {
    TreeNode* node = NewTree(tag);
    int32_t n = textLength(content);
    if (n > 0) node->content_ = newBuffer(content, n, 0);
    return node;
}

void TreeNode::LinkLastChild(TreeNode* parent, TreeNode* child) {
    if (!parent->children_) {
        // Siblings tend to look alike: size the array like the previous one's.
        int32_t capacity = parent->prev_ ? parent->prev_->NumChildren() : 0;
        parent->children_ = new ExtPtrArray(capacity > 0 ? capacity : 5, kChildStep);
    }
    TreeNode* last = static_cast<TreeNode*>(parent->children_->Last());
    if (last) last->next_ = child;
    child->prev_ = last;
    child->next_ = nullptr;
    parent->children_->Append(child);
    child->parent_ = parent;
}

TreeNode* TreeNode::AddChild(TreeNode* parent, const char* tag, const char* content) {
    if (!parent) return NewTree(tag, content);
    TreeNode* node = MakeNode(tag, textLength(tag), content, textLength(content));
    node->tree_ = parent->tree_;
    LinkLastChild(parent, node);
    return node;
}

TreeNode* TreeNode::AddChild(TreeNode* parent, const char* tag, int32_t tagLen) {
    if (!parent) return NewTree(tag, tagLen);
    TreeNode* node = MakeNode(tag, tagLen, nullptr, 0);
    node->tree_ = parent->tree_;
    LinkLastChild(parent, node);
    return node;
}

void TreeNode::PointSubtreeAt(TreeNode* node, TreeInfo* tree) {
    if (!node) return;
    node->tree_ = tree;
    if (!node->children_ || node->children_->Count() == 0) return;
    ExtPtrArray stack;
    stack.Append(node);
    while (TreeNode* n = static_cast<TreeNode*>(stack.Pop())) {
        n->tree_ = tree;
        if (ExtPtrArray* c = n->children_) {
            for (int32_t i = 0; i < c->Count(); ++i) stack.Append(c->Get(i));
        }
    }
}

bool TreeNode::AdoptChild(TreeNode* parent, TreeNode* child) {
    if (!parent || !child || parent == child) return false;
    if (child->parent_ && child->parent_ != parent) return false;
    if (child->tree_ == parent->tree_) return false;

    TreeInfo* old = child->tree_;
    int32_t moved = 0;
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
    ExtPtrArray* siblings = parent->children_;
    if (!siblings) return;
    int32_t index = -1;
    for (int32_t i = siblings->Count() - 1; i >= 0; --i) {
        if (siblings->Get(i) == node) {
            index = i;
            break;
        }
    }
    if (index < 0) return;

    if (node->prev_) node->prev_->next_ = node->next_;
    if (node->next_) node->next_->prev_ = node->prev_;
    siblings->RemoveAt(index);
    node->parent_ = nullptr;
    node->next_ = nullptr;
    node->prev_ = nullptr;

    int32_t count = SubtreeTotal(node);
    TreeInfo* old = node->tree_;
    if (old) {
        old->total -= count;
        if (old->total <= 0) {
            old->total = 0;
            Destroy(old->root);
        }
    }
    TreeInfo* tree = new TreeInfo();
    tree->root = node;
    tree->total = count;
    PointSubtreeAt(node, tree);
}

void TreeNode::SwapNodeData(TreeNode* a, TreeNode* b) {
    if (!a || !b) return;
    if (a != b) {
        if (a->hasTag_ && b->hasTag_) {
            std::swap(*a->TagBuffer(), *b->TagBuffer());
        } else if (a->hasTag_ || b->hasTag_) {
            TreeNode* from = a->hasTag_ ? a : b;
            TreeNode* to = a->hasTag_ ? b : a;
            new (to->tagStore_) StringBuffer(std::move(*from->TagBuffer()));
            to->hasTag_ = true;
            from->ClearTag();
        }
        std::swap(a->content_, b->content_);
        std::swap(a->attributes_, b->attributes_);
    }
    if (a->content_ && a->content_->getSize() == 0) a->RemoveContent();
    if (b->content_ && b->content_->getSize() == 0) b->RemoveContent();
}

bool TreeNode::SwapChildren(TreeNode* a, TreeNode* b) {
    if (!a || !b) return false;
    // Exchanging children with an ancestor or descendant would make a node
    // its own descendant.
    if (a->IsAncestorOf(b) || b->IsAncestorOf(a)) return false;
    SwapNodeData(a, b);
    if (a == b) return true;

    ExtPtrArray* intoA = b->children_;
    ExtPtrArray* intoB = a->children_;
    bool crossTree = a->tree_ != b->tree_;
    int32_t movedIntoA = 0;
    int32_t movedIntoB = 0;
    if (intoA) {
        for (int32_t i = 0; i < intoA->Count(); ++i) {
            TreeNode* child = nodeAt(intoA, i);
            child->parent_ = a;
            if (crossTree) {
                movedIntoA += SubtreeTotal(child);
                PointSubtreeAt(child, a->tree_);
            }
        }
    }
    if (intoB) {
        for (int32_t i = 0; i < intoB->Count(); ++i) {
            TreeNode* child = nodeAt(intoB, i);
            child->parent_ = b;
            if (crossTree) {
                movedIntoB += SubtreeTotal(child);
                PointSubtreeAt(child, b->tree_);
            }
        }
    }
    // Each list moves whole, so the sibling links among the children stay valid.
    a->children_ = intoA;
    b->children_ = intoB;
    if (crossTree) {
        if (a->tree_) a->tree_->total += movedIntoA - movedIntoB;
        if (b->tree_) b->tree_->total += movedIntoB - movedIntoA;
    }
    return true;
}

void TreeNode::RelinkSiblings(TreeNode* parent) {
    if (!parent || !parent->children_) return;
    ExtPtrArray* c = parent->children_;
    int32_t n = c->Count();
    if (n < 2) return;
    for (int32_t i = 0; i < n; ++i) {
        TreeNode* child = nodeAt(c, i);
        child->prev_ = i > 0 ? nodeAt(c, i - 1) : nullptr;
        child->next_ = i + 1 < n ? nodeAt(c, i + 1) : nullptr;
    }
}

// ---------------------------------------------------------------------------
// Destruction

void TreeNode::DestroyTree(TreeNode* node) {
    if (!node) return;
    TreeNode* root = node->tree_ && node->tree_->root ? node->tree_->root : node;
    Destroy(root);
}

void TreeNode::Destroy(TreeNode* node) {
    if (!node) return;
    if (node->parent_) {
        // Unlink first so the parent never points at freed memory.
        TreeNode* parent = node->parent_;
        if (ExtPtrArray* siblings = parent->children_) {
            for (int32_t i = siblings->Count() - 1; i >= 0; --i) {
                if (siblings->Get(i) == node) {
                    siblings->RemoveAt(i);
                    break;
                }
            }
        }
        if (node->prev_) node->prev_->next_ = node->next_;
        if (node->next_) node->next_->prev_ = node->prev_;
        if (node->tree_) {
            node->tree_->total -= SubtreeTotal(node);
            if (node->tree_->total < 0) node->tree_->total = 0;
        }
        node->parent_ = nullptr;
    }
    TreeInfo* record = node->tree_ && node->tree_->root == node ? node->tree_ : nullptr;

    // Iterative: a chain of any depth needs no stack frames of its own.
    if (node->children_ && node->children_->Count() > 0) {
        ExtPtrArray stack;
        stack.Append(node);
        while (TreeNode* n = static_cast<TreeNode*>(stack.Pop())) {
            if (ExtPtrArray* c = n->children_) {
                for (int32_t i = 0; i < c->Count(); ++i) stack.Append(c->Get(i));
            }
            delete n;
        }
    } else {
        delete node;
    }
    if (record) {
        record->root = nullptr;
        delete record;
    }
}

// ---------------------------------------------------------------------------
// Node data

const char* TreeNode::GetTag() const { return hasTag_ ? TagBuffer()->getString() : ""; }

int32_t TreeNode::GetTagLength() const { return hasTag_ ? TagBuffer()->getSize() : 0; }

bool TreeNode::TagEquals(const char* tag, int32_t len) const {
    if (!tag) len = 0;
    if (GetTagLength() != len) return false;
    return len == 0 || std::memcmp(GetTag(), tag, static_cast<size_t>(len)) == 0;
}

void TreeNode::SetTag(const char* text) { SetTag(text, textLength(text)); }

void TreeNode::SetTag(const char* text, int32_t len) {
    if (!text || len < 0) len = 0;
    if (!hasTag_) {
        if (len > 0) {
            new (tagStore_) StringBuffer(text, len, 0);
            hasTag_ = true;
        }
        return;
    }
    StringBuffer& tag = *TagBuffer();
    assignBytes(tag, text, len);
    // A replaced tag keeps no more than 4 spare bytes.
    if (tag.getCapacity() - (tag.getSize() + 1) > 4) tag.shrinkToFit();
}

const char* TreeNode::GetContent() const { return content_ ? content_->getString() : ""; }

int32_t TreeNode::GetContentLength() const { return content_ ? content_->getSize() : 0; }

bool TreeNode::HasContent() const { return content_ && content_->getSize() > 0; }

StringBuffer* TreeNode::EnsureContentBuffer(int32_t increment) {
    if (!content_) content_ = newBuffer(nullptr, 0, increment);
    return content_;
}

void TreeNode::SetContent(const char* text) { SetContent(text, textLength(text)); }

void TreeNode::SetContent(const char* text, int32_t len) {
    if (!text || len < 0) len = 0;
    if (!content_) {
        content_ = newBuffer(text, len, 0);
        return;
    }
    assignBytes(*content_, text, len);
}

void TreeNode::SetContentBytes(const char* bytes, int32_t n) {
    if (!bytes) {
        if (content_) content_->clear();
        return;
    }
    SetContent(bytes, n);
}

void TreeNode::AppendContent(const char* bytes) { AppendContent(bytes, textLength(bytes)); }

void TreeNode::AppendContent(const char* bytes, int32_t n) {
    if (!bytes || n <= 0) return;
    if (!content_) {
        content_ = newBuffer(bytes, n, 0);
        return;
    }
    if (pointsInto(*content_, bytes)) {
        StringBuffer copy(bytes, n, 0);
        content_->appendN(copy.getString(), n);
        return;
    }
    content_->appendN(bytes, n);
}

void TreeNode::RemoveContent() {
    freeBuffer(content_);
    content_ = nullptr;
}

AttributeSet* TreeNode::EnsureAttributes() {
    if (!attributes_) attributes_ = new AttributeSet();
    return attributes_;
}

void TreeNode::SetAttributes(AttributeSet* set) {
    if (set == attributes_) return;
    delete attributes_;
    attributes_ = set;
}

// ---------------------------------------------------------------------------
// Structure and lookups

int32_t TreeNode::NumChildren() const { return children_ ? children_->Count() : 0; }

TreeNode* TreeNode::GetChild(int32_t i) const { return children_ ? nodeAt(children_, i) : nullptr; }

TreeNode* TreeNode::LastChild() const {
    return children_ ? static_cast<TreeNode*>(children_->Last()) : nullptr;
}

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
    if (!children_ || n < 0) return nullptr;
    int32_t len = textLength(tag);
    for (int32_t i = 0; i < children_->Count(); ++i) {
        TreeNode* child = nodeAt(children_, i);
        if (child->TagEquals(tag, len) && n-- == 0) return child;
    }
    return nullptr;
}

int32_t TreeNode::CountChildrenWithTag(const char* tag) const {
    if (!children_) return 0;
    int32_t len = textLength(tag);
    int32_t count = 0;
    for (int32_t i = 0; i < children_->Count(); ++i) {
        if (nodeAt(children_, i)->TagEquals(tag, len)) ++count;
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
    if (!node->children_ || node->children_->Count() == 0) return node->refCount_;
    int32_t sum = 0;
    ExtPtrArray stack;
    stack.Append(const_cast<TreeNode*>(node));
    while (const TreeNode* n = static_cast<const TreeNode*>(stack.Pop())) {
        sum += n->refCount_;
        if (ExtPtrArray* c = n->children_) {
            for (int32_t i = 0; i < c->Count(); ++i) stack.Append(c->Get(i));
        }
    }
    return sum;
}

}  // namespace tarvex
