// ChildSort: the in-place sorts of a node's children.
//
// Keys compare byte by byte as unsigned values (UTF-8 byte order, so
// case-sensitive and not numeric); a text that is a prefix of another sorts
// first. A missing key is the empty text. Only the array of child pointers is
// reordered; afterwards the sibling links are rebuilt from the new order.
//
// The sorts are stable: children with equal keys keep their relative order
// (in both directions).
#pragma once

#include <cstddef>

namespace tarvex {

class TreeNode;

class ChildSort {
public:
    static void SortByTag(TreeNode* node, bool ascending);
    static void SortByContent(TreeNode* node, bool ascending);
    // Key: the value of the child's first attribute named attrName.
    static void SortByAttribute(TreeNode* node, const char* attrName, bool ascending);
    // Key: the content of the child's first child tagged sortTag. Records
    // without such a child keep their positions; the others are sorted among
    // the remaining positions.
    static void SortRecordsByContent(TreeNode* node, const char* sortTag, bool ascending);
    // Key: attrName on the child's first child tagged sortTag (empty when that
    // child lacks it). Records without such a child keep their positions.
    static void SortRecordsByAttribute(TreeNode* node, const char* sortTag, const char* attrName,
                                       bool ascending);

    // <0, 0 or >0 by unsigned byte order, shorter prefix first.
    static int CompareKeys(const char* a, size_t aLen, const char* b, size_t bLen);
};

}  // namespace tarvex
