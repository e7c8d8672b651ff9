// TreeNode and TreeInfo: the document tree.
//
// Every node of a tree points at the same TreeInfo record, which holds the
// root, the XML declaration, stylesheet and prolog text, the tree id and the
// total of the nodes' reference counts. A tree lives while that total is above
// zero. All walks over subtrees are iterative.
#pragma once

#include <cstdint>

namespace tarvex {

class StringBuffer;
class AttributeSet;
class ExtPtrArray;
class TreeNode;

class TreeInfo {
public:
    TreeInfo();                      // takes a new tree id
    ~TreeInfo();                     // destroys declaration, stylesheet, prolog (not the root)
    TreeInfo(const TreeInfo&) = delete;
    TreeInfo& operator=(const TreeInfo&) = delete;

    TreeNode* root = nullptr;               // not owned: the root owns the record
    TreeNode* declaration = nullptr;        // owned, optional
    TreeNode* stylesheet = nullptr;         // owned, optional
    StringBuffer* prolog = nullptr;         // owned, optional
    int32_t treeId;
    int32_t total = 0;

    void SetDeclaration(TreeNode* node);    // destroys the previous one
    void SetStylesheet(TreeNode* node);
    void SetProlog(StringBuffer* text);

    // Tree ids start at 100; one counter for the process, safe across threads.
    static int32_t NextTreeId();
};

class TreeNode {
public:
    // Construction
    static TreeNode* NewTree(const char* tag);
    static TreeNode* NewTree(const char* tag, const char* content);
    static TreeNode* NewTree(const char* tag, int32_t tagLen);
    static TreeNode* AddChild(TreeNode* parent, const char* tag, const char* content);
    static TreeNode* AddChild(TreeNode* parent, const char* tag, int32_t tagLen);
    static bool AdoptChild(TreeNode* parent, TreeNode* child);
    static void DetachFromParent(TreeNode* node);
    static void SwapNodeData(TreeNode* a, TreeNode* b);
    // Refuses (returns false, no change) when one node is the other's ancestor.
    static bool SwapChildren(TreeNode* a, TreeNode* b);
    static void RelinkSiblings(TreeNode* parent);

    // Destroys the whole tree of `node` (its record's root and every node).
    static void DestroyTree(TreeNode* node);
    // Destroys a node with its subtree, iteratively; when it is its tree's
    // root, the tree record too. The node must not have a parent.
    static void Destroy(TreeNode* node);

    // Node data
    const char* GetTag() const;                 // "" when absent
    int32_t GetTagLength() const;
    bool HasTagBuffer() const { return tag_ != nullptr; }
    void SetTag(const char* text);
    void SetTag(const char* text, int32_t len);
    const char* GetContent() const;             // "" when absent
    int32_t GetContentLength() const;
    bool HasContent() const;                    // present and non-empty
    bool HasContentBuffer() const { return content_ != nullptr; }
    StringBuffer* ContentBuffer() { return content_; }       // may be null
    StringBuffer* EnsureContentBuffer(int32_t increment = 200);
    void SetContent(const char* text);
    void SetContentBytes(const char* bytes, int32_t n);
    void AppendContent(const char* bytes);
    void AppendContent(const char* bytes, int32_t n);
    void RemoveContent();                       // content becomes absent
    bool IsCdata() const { return cdata_; }
    void SetCdata(bool on) { cdata_ = on; }

    AttributeSet* Attributes() const { return attributes_; }   // may be null
    AttributeSet* EnsureAttributes();
    void SetAttributes(AttributeSet* set);      // takes ownership, destroys the old one

    // Structure
    int32_t NumChildren() const;
    TreeNode* GetChild(int32_t i) const;
    TreeNode* LastChild() const;
    TreeNode* GetParent() const { return parent_; }
    TreeNode* GetNextSibling() const { return next_; }
    TreeNode* GetPreviousSibling() const { return prev_; }
    TreeNode* GetRoot() const;
    TreeInfo* GetTree() const { return tree_; }
    int32_t GetTreeId() const;
    ExtPtrArray* Children() const { return children_; }       // may be null
    bool IsAncestorOf(const TreeNode* other) const;

    // Child lookups by tag (byte for byte)
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
    TreeNode();
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;
    friend class TreeInfo;

    static void PointSubtreeAt(TreeNode* node, TreeInfo* tree);
    void FreeOwnData();

    TreeInfo* tree_ = nullptr;
    StringBuffer* tag_ = nullptr;
    AttributeSet* attributes_ = nullptr;
    StringBuffer* content_ = nullptr;
    int32_t refCount_ = 0;
    bool cdata_ = false;
    ExtPtrArray* children_ = nullptr;
    TreeNode* parent_ = nullptr;
    TreeNode* next_ = nullptr;
    TreeNode* prev_ = nullptr;
};

}  // namespace tarvex
