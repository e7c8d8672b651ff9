#include "search/TreeSearch.h"

#include <cstring>

#include "search/Queue.h"
#include "search/WildcardMatch.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"

namespace tarvex {

namespace {

// Tags and contents are compared over their whole stored length, so a NUL
// byte inside them is part of the text, not its end.
bool tagEquals(const TreeNode* node, const char* tag) {
    return node->TagEquals(tag, tag ? static_cast<int32_t>(std::strlen(tag)) : 0);
}

bool contentMatchesText(const TreeNode* node, const char* pattern, bool caseSensitive = true) {
    return WildcardMatchN(node->GetContent(), static_cast<size_t>(node->GetContentLength()), pattern,
                          caseSensitive);
}

}  // namespace

TreeSearch::Test TreeSearch::Test::ForTag(const char* tag) {
    Test t;
    t.kind = Kind::Tag;
    t.tag = tag;
    return t;
}

TreeSearch::Test TreeSearch::Test::ForTagAndContent(const char* tag, const char* pattern) {
    Test t;
    t.kind = Kind::TagAndContent;
    t.tag = tag;
    t.pattern = pattern;
    return t;
}

TreeSearch::Test TreeSearch::Test::ForContent(const char* pattern) {
    Test t;
    t.kind = Kind::Content;
    t.pattern = pattern;
    return t;
}

TreeSearch::Test TreeSearch::Test::ForAttribute(const char* tag, const char* attrName,
                                                const char* pattern) {
    Test t;
    t.kind = Kind::TagAndAttribute;
    t.tag = tag;
    t.attrName = attrName;
    t.pattern = pattern;
    return t;
}

bool TreeSearch::Test::Passes(const TreeNode* node) const {
    switch (kind) {
        case Kind::Tag:
            return tagEquals(node, tag);
        case Kind::TagAndContent:
            return tagEquals(node, tag) && contentMatchesText(node, pattern);
        case Kind::Content:
            return contentMatchesText(node, pattern);
        case Kind::TagAndAttribute:
            return tagEquals(node, tag) && HasMatchingValue(node->Attributes(), attrName, pattern);
    }
    return false;
}

TreeNode* TreeSearch::SearchSubtree(TreeNode* start, const TreeNode* after, const Test& test) {
    if (!start) return nullptr;
    // The visit queue holds the nodes still to look at (the children of one
    // parent at a time); the parent queue holds visited nodes with children,
    // in visiting order, so the walk proceeds level by level.
    Queue visit;
    Queue parents;
    visit.Push(start);
    bool passed = (after == nullptr);
    while (!visit.IsEmpty()) {
        TreeNode* node = static_cast<TreeNode*>(visit.Pop());
        if (!passed) {
            if (node == after) passed = true;
        } else if (test.Passes(node)) {
            return node;
        }
        if (node->NumChildren() > 0) parents.Push(node);
        if (visit.IsEmpty()) {
            TreeNode* parent = static_cast<TreeNode*>(parents.Pop());
            if (parent) {
                const int32_t n = parent->NumChildren();
                for (int32_t i = 0; i < n; ++i) visit.Push(parent->GetChild(i));
            }
        }
    }
    return nullptr;
}

TreeNode* TreeSearch::SearchForTag(TreeNode* start, const TreeNode* after, const char* tag) {
    return SearchSubtree(start, after, Test::ForTag(tag));
}

TreeNode* TreeSearch::SearchForContent(TreeNode* start, const TreeNode* after, const char* tag,
                                       const char* pattern) {
    return SearchSubtree(start, after, Test::ForTagAndContent(tag, pattern));
}

TreeNode* TreeSearch::SearchAllForContent(TreeNode* start, const TreeNode* after,
                                          const char* pattern) {
    return SearchSubtree(start, after, Test::ForContent(pattern));
}

TreeNode* TreeSearch::SearchForAttribute(TreeNode* start, const TreeNode* after, const char* tag,
                                         const char* attrName, const char* pattern) {
    return SearchSubtree(start, after, Test::ForAttribute(tag, attrName, pattern));
}

bool TreeSearch::HasMatchingValue(const AttributeSet* attributes, const char* name,
                                  const char* pattern) {
    if (!attributes || !name || !*name) return false;
    if (attributes->Count() == 0) return false;
    if (!pattern) pattern = "";
    const size_t nameLen = std::strlen(name);
    // The pairs are walked in order, never looked up by index.
    int32_t cursor = 0;
    const char* storedName = nullptr;
    const char* value = nullptr;
    int32_t storedNameLen = 0, valueLen = 0;
    while (attributes->NextPair(&cursor, &storedName, &storedNameLen, &value, &valueLen)) {
        if (static_cast<size_t>(storedNameLen) != nameLen || std::memcmp(storedName, name, nameLen) != 0)
            continue;
        if (valueLen <= 0) {
            if (WildcardMatch("", pattern, true)) return true;   // empty or only stars
            continue;
        }
        // The value is matched in place; like a zero-terminated copy, it ends
        // at its first NUL byte, if any.
        size_t len = static_cast<size_t>(valueLen);
        if (const void* nul = std::memchr(value, 0, len))
            len = static_cast<size_t>(static_cast<const char*>(nul) - value);
        if (WildcardMatchN(value, len, pattern, true)) return true;
    }
    return false;
}

TreeNode* TreeSearch::FindNextRecord(TreeNode* start, const char* tag, const char* pattern) {
    for (TreeNode* record = start; record; record = record->GetNextSibling()) {
        const TreeNode* field = record->FirstChildWithTag(tag ? tag : "");
        if (field && contentMatchesText(field, pattern)) return record;
    }
    return nullptr;
}

bool TreeSearch::ContentMatches(const TreeNode* node, const char* pattern, bool caseSensitive) {
    if (!node || !node->HasContentBuffer()) return false;
    return contentMatchesText(node, pattern, caseSensitive);
}

bool TreeSearch::ChildContentMatches(const TreeNode* node, const char* tag, const char* pattern,
                                     bool caseSensitive) {
    if (!node) return false;
    const TreeNode* child = node->FirstChildWithTag(tag ? tag : "");
    if (!child) return false;
    return ContentMatches(child, pattern, caseSensitive);
}

}  // namespace tarvex
