// TreeInfo: the record shared by every node of one tree.
//
// Holds the root (which owns the record), the XML declaration and stylesheet
// nodes, the prolog text, the tree id and the total of the nodes' reference
// counts. A tree lives while that total is above zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/BlockHeap.h"

namespace tarvex {

class StringBuffer;
class TreeNode;

class TreeInfo {
public:
    // Takes a new tree id and one tree's share of `heap`.
    explicit TreeInfo(BlockHeap* heap);
    // Destroys declaration, stylesheet, prolog (not the root), then gives up
    // the share of the heap: the last tree of a heap's group frees it.
    ~TreeInfo();
    TreeInfo(const TreeInfo&) = delete;
    TreeInfo& operator=(const TreeInfo&) = delete;

    static void* operator new(size_t n);
    static void operator delete(void* p);

    TreeNode* root = nullptr;               // not owned: the root owns the record
    TreeNode* declaration = nullptr;        // owned, optional; root of a tree of its own
    TreeNode* stylesheet = nullptr;         // owned, optional; root of a tree of its own
    StringBuffer* prolog = nullptr;         // owned, optional; allocated with new
    BlockHeap* heap;                        // the memory of the nodes (a share of its group)
    int32_t treeId;
    int32_t total = 0;

    // Each takes ownership and destroys the previous one. The declaration and
    // stylesheet nodes must be roots of trees of their own (TreeNode::NewTree).
    void SetDeclaration(TreeNode* node);
    void SetStylesheet(TreeNode* node);
    void SetProlog(StringBuffer* text);
    // The prolog text, created empty when absent.
    StringBuffer* EnsureProlog();
    // The declaration node, created when absent with tag "xml" and the first
    // attribute version="1.0".
    TreeNode* EnsureDeclaration();

    // The root of the heap's group, where the tree's pieces come from.
    BlockHeap* Heap() {
        heap = heap->Root();
        return heap;
    }

    // Reads a pseudo-attribute of the declaration; false (out empty) when the
    // tree has no declaration or the declaration lacks the name.
    bool GetDeclarationAttribute(const char* name, StringBuffer& out) const;
    // Sets a pseudo-attribute: removed if present, then appended last. The
    // declaration is made first when the tree has none.
    void SetDeclarationAttribute(const char* name, const char* value);

    // Tree ids start at 100; one counter for the process, safe across threads.
    static int32_t NextTreeId();
};

}  // namespace tarvex
