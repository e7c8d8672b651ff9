// TreeNode: one node of a document tree.
//
// Every node of a tree points at the same TreeInfo record. Reference counts
// kept in the nodes are totalled in the record; a tree lives while that total
// is above zero. All walks over subtrees, destruction included, are iterative
// (explicit ExtPtrArray stack), so arbitrarily deep trees are safe.
//
// Children are an array of slots in the node (a lone child needs no block);
// each child knows its slot, so its siblings are one step away and it is
// unlinked without a search.
//
// A node and its pieces (long tag, content, attribute list, child array) come
// from its tree's heap (BlockHeap). Releasing a tree hands back whole blocks
// without visiting the nodes, unless some node holds outside memory: a
// content buffer handed out for editing (ContentBuffer, EnsureContentBuffer)
// is moved to a buffer of its own, and such a tree is walked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "base/FatalError.h"
#include "base/ShortCopy.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeInfo.h"

namespace tarvex {

class BlockHeap;

class TreeNode {
public:
    // Construction. A null or empty tag makes no tag buffer; an empty content
    // makes no content buffer.
    static TreeNode* NewTree(const char* tag);
    static TreeNode* NewTree(const char* tag, const char* content);
    static TreeNode* NewTree(const char* tag, int32_t tagLen);
    // Appends a new node as the last child of `parent` (same tree record);
    // with a null parent it is NewTree.
    static TreeNode* AddChild(TreeNode* parent, const char* tag, const char* content);
    static TreeNode* AddChild(TreeNode* parent, const char* tag, int32_t tagLen) {
        if (!parent) return NewTree(tag, tagLen);
        TreeNode* node = MakeNode(parent->tree_, tag, tagLen, nullptr, 0);
        LinkLastChild(parent, node);
        return node;
    }
    // Appends `child`, the root of another tree, as the last child of
    // `parent`; the child's tree record is destroyed and its reference total
    // moves to the parent's record. False, with no change, when the child has
    // another parent or belongs to the parent's tree.
    static bool AdoptChild(TreeNode* parent, TreeNode* child);
    // Makes `node` the root of a new tree. Destroys the old tree when no
    // reference remains in it.
    static void DetachFromParent(TreeNode* node);
    // Exchanges tags, contents and attribute sets; an empty content becomes absent.
    static void SwapNodeData(TreeNode* a, TreeNode* b);
    // SwapNodeData, and the two nodes exchange their children; reference
    // totals move with the children. Refuses (returns false, no change) when
    // one node is the other's ancestor.
    static bool SwapChildren(TreeNode* a, TreeNode* b);
    // Renumbers the children after their slots were reordered (SetChild).
    static void RelinkSiblings(TreeNode* parent);

    // Destroys the whole tree of `node` (its record's root and every node).
    static void DestroyTree(TreeNode* node);
    // Destroys a node with its subtree; when it is its tree's root, the tree
    // record too. A node that still has a parent is unlinked from it first.
    static void Destroy(TreeNode* node);

    // Node data
    // Inline: the serializer reads these for every node.
    const char* GetTag() const { return hasTag_ ? TagBytes() : ""; }   // "" when absent
    int32_t GetTagLength() const { return tagLen_; }
    bool HasTagBuffer() const { return hasTag_; }
    bool TagEquals(const char* tag, int32_t len) const;
    void SetTag(const char* text);
    void SetTag(const char* text, int32_t len);
    const char* GetContent() const {            // "" when absent
        if (!hasContent_) return "";
        return bufferContent_ ? buffer_->getString() : text_;
    }
    int32_t GetContentLength() const {
        if (!hasContent_) return 0;
        return bufferContent_ ? buffer_->getSize() : textLen_;
    }
    bool HasContent() const;                    // present and non-empty
    bool HasContentBuffer() const { return hasContent_; }
    // The content as an editable buffer (null when absent). Moves the content
    // out of the tree's heap into a buffer of its own: for editing, not for
    // reading (GetContent).
    StringBuffer* ContentBuffer();
    // The content buffer, created empty (capacity 1) when absent; `increment`
    // is its growth increment (0 means the default of 200).
    StringBuffer* EnsureContentBuffer(int32_t increment = 0);
    void SetContent(const char* text);          // null empties an existing content
    void SetContent(const char* text, int32_t len);
    void SetContentBytes(const char* bytes, int32_t n);
    void AppendContent(const char* bytes);
    void AppendContent(const char* bytes, int32_t n) {
        // The first content, as the parser adds it, is made here at its size.
        if (!hasContent_ && bytes && n > 0) MakeContent(bytes, n);
        else AppendMoreContent(bytes, n);
    }
    void RemoveContent();                       // content becomes absent
    bool IsCdata() const { return cdata_; }
    void SetCdata(bool on) { cdata_ = on; }

    AttributeSet* Attributes() const { return attributes_; }   // may be null
    // Made when absent, with room for `reserveBytes` of pairs (the parser
    // sizes a tag's list once for the whole tag).
    AttributeSet* EnsureAttributes(int32_t reserveBytes = 0) {
        return attributes_ ? attributes_ : MakeAttributes(reserveBytes);
    }

    // Structure
    int32_t NumChildren() const { return childCount_; }
    TreeNode* GetChild(int32_t i) const {
        return i >= 0 && i < childCount_ ? ChildSlots()[i] : nullptr;
    }
    TreeNode* LastChild() const { return childCount_ > 0 ? ChildSlots()[childCount_ - 1] : nullptr; }
    // The children in order, NumChildren() of them.
    TreeNode* const* ChildSlots() const { return childBlock_ ? slots_ : &one_; }
    // Puts `child`, already a child of this node, in slot i (for reordering;
    // RelinkSiblings afterwards).
    void SetChild(int32_t i, TreeNode* child) {
        if (i >= 0 && i < childCount_) Slots()[i] = child;
    }
    TreeNode* GetParent() const { return parent_; }
    TreeNode* GetNextSibling() const { return parent_ ? parent_->GetChild(index_ + 1) : nullptr; }
    TreeNode* GetPreviousSibling() const { return parent_ ? parent_->GetChild(index_ - 1) : nullptr; }
    TreeNode* GetRoot() const { return tree_ ? tree_->root : nullptr; }
    TreeInfo* GetTree() const { return tree_; }
    int32_t GetTreeId() const { return tree_ ? tree_->treeId : 0; }
    // True when `other` lies strictly below this node. Walks up from `other`.
    bool IsAncestorOf(const TreeNode* other) const;

    // Child lookups by tag (byte for byte; a null tag is "")
    TreeNode* FirstChildWithTag(const char* tag) const;
    TreeNode* NthChildWithTag(int32_t n, const char* tag) const;
    int32_t CountChildrenWithTag(const char* tag) const;
    bool HasChildWithTag(const char* tag) const;

    // Reference counting
    static void AddRef(TreeNode* node);
    static void ReleaseRef(TreeNode* node);
    static int32_t TreeTotal(const TreeNode* node);
    static int32_t SubtreeTotal(const TreeNode* node);
    int32_t RefCount() const { return refCount_; }

private:
    TreeNode()
        : hasTag_(false), hasContent_(false), cdata_(false), bufferContent_(false), grownText_(false) {}
    ~TreeNode() = default;
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    BlockHeap* Heap() const { return tree_->Heap(); }
    // Inline: the parser makes every node here.
    static TreeNode* MakeNode(TreeInfo* tree, const char* tag, int32_t tagLen, const char* content,
                              int32_t contentLen) {
        void* memory = tree->Heap()->Alloc(sizeof(TreeNode));
        if (!memory) fatalError("out of memory for a node");
        // Default-initialised: the members set by their initialisers only, not
        // the whole node cleared first.
        TreeNode* node = new (memory) TreeNode;
        node->tree_ = tree;
        if (tag && tagLen > 0 && tagLen < kInlineTag) {
            *copyShort(node->tag_, tag, static_cast<size_t>(tagLen)) = 0;
            node->tagLen_ = tagLen;
            node->hasTag_ = true;
        } else {
            node->tag_[0] = 0;
            if (tag && tagLen > 0) node->StoreTag(tag, tagLen);
        }
        if (content && contentLen > 0) node->MakeContent(content, contentLen);
        return node;
    }
    static TreeNode* NewRoot(BlockHeap* heap, const char* tag, int32_t tagLen);
    static void LinkLastChild(TreeNode* parent, TreeNode* child) {
        // A lone child is held in the node; a block comes with the second.
        if (parent->childCount_ >= parent->ChildCapacity()) parent->GrowChildren();
        child->index_ = parent->childCount_;
        parent->Slots()[parent->childCount_++] = child;
        child->parent_ = parent;
    }
    // Makes room for one more child slot.
    void GrowChildren();
    static void PointSubtreeAt(TreeNode* node, TreeInfo* tree);
    // Frees the subtree's nodes into `heap`; with `piecesOnly`, only the
    // outside memory is freed (the heap is about to go as a whole).
    static void DestroyNodes(TreeNode* node, BlockHeap* heap, bool piecesOnly);
    // Frees what the node holds (not the node itself).
    void ReleaseParts(BlockHeap* heap);
    AttributeSet* MakeAttributes(int32_t reserveBytes) {
        BlockHeap* heap = Heap();
        void* memory = heap->Alloc(sizeof(AttributeSet));
        if (!memory) fatalError("out of memory for an attribute list");
        attributes_ = ::new (memory) AttributeSet(heap);
        attributes_->ReserveBytes(reserveBytes);
        return attributes_;
    }
    TreeNode** Slots() { return childBlock_ ? slots_ : &one_; }
    int32_t ChildCapacity() const { return childBlock_ ? int32_t{1} << childBlock_ : 1; }
    // Takes `child` out of its slot; the later children move up one.
    void RemoveChildAt(int32_t i);
    // The bytes a heap text holds: exactly its length and NUL, or, once it
    // has grown by appends, the next power of two (at least 16).
    int32_t TextCapacity() const { return grownText_ ? GrownCapacity(textLen_) : textLen_ + 1; }
    static int32_t GrownCapacity(int32_t length);
    // Content in the heap, sized exactly (len + 1); an empty one holds one
    // byte.
    void MakeContent(const char* text, int32_t len) {
        if (!text || len <= 0) {
            text = "";
            len = 0;
        }
        char* data = static_cast<char*>(Heap()->Alloc(static_cast<size_t>(len) + 1));
        if (!data) fatalError("out of memory for a content");
        *copyShort(data, text, static_cast<size_t>(len)) = 0;
        text_ = data;
        textLen_ = len;
        hasContent_ = true;
        bufferContent_ = false;
        grownText_ = false;
    }
    void AppendMoreContent(const char* bytes, int32_t n);
    // Moves a heap content into a buffer of its own (or makes an empty one).
    StringBuffer* MakeBufferContent(int32_t increment);
    const char* TagBytes() const {
        if (tagLen_ < kInlineTag) return tag_;
        char* block;
        std::memcpy(&block, tag_, sizeof block);
        return block;
    }
    // Replaces the tag bytes (the text may be the tag itself) and makes the
    // tag present.
    void StoreTag(const char* text, int32_t len);
    void ClearTag();

    // Both trees' memory becomes one group (nodes or their pieces move).
    static void ShareMemory(TreeNode* a, TreeNode* b);

    // Tags shorter than this many bytes live in the node itself; longer ones
    // in a block of their exact size whose address the first bytes hold.
    static constexpr int32_t kInlineTag = 10;

    TreeInfo* tree_ = nullptr;
    AttributeSet* attributes_ = nullptr;
    TreeNode* parent_ = nullptr;
    // The children: a block of 1 << childBlock_ slots in the tree's heap, or,
    // while there is no block (childBlock_ 0), at most one child held here.
    union {
        TreeNode** slots_;
        TreeNode* one_ = nullptr;
    };
    // The content (when hasContent_): a NUL-terminated text of textLen_ bytes
    // in the tree's heap, or a buffer of its own when bufferContent_.
    union {
        char* text_;
        StringBuffer* buffer_;
    };
    int32_t textLen_ = 0;
    int32_t childCount_ = 0;
    int32_t index_ = 0;                 // this node's slot in its parent
    int32_t refCount_ = 0;
    int32_t tagLen_ = 0;
    uint8_t childBlock_ = 0;
    char tag_[kInlineTag];
    bool hasTag_ : 1;
    bool hasContent_ : 1;
    bool cdata_ : 1;
    bool bufferContent_ : 1;
    bool grownText_ : 1;              // the text's capacity is GrownCapacity
};

}  // namespace tarvex
