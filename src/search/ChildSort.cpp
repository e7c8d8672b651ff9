#include "search/ChildSort.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tree/AttributeSet.h"
#include "base/ExtPtrArray.h"
#include "tree/TreeNode.h"

namespace tarvex {

namespace {

enum class KeyKind { Tag, Content, Attribute, RecordContent, RecordAttribute };

// The key names of one sort call; handed to the key extraction, never kept
// between calls.
struct SortSpec {
    KeyKind kind;
    const char* attrName;
    const char* sortTag;
    bool ascending;
};

struct SortEntry {
    TreeNode* node;
    const char* key;
    size_t len;
    // The first 16 key bytes, big-endian and zero-padded: most comparisons are
    // decided here without touching the node's memory.
    uint64_t head[2];
};

constexpr size_t kHeadBytes = 16;

void fillHead(SortEntry& e) {
    e.head[0] = 0;
    e.head[1] = 0;
    const size_t n = e.len < kHeadBytes ? e.len : kHeadBytes;
    for (size_t i = 0; i < n; ++i)
        e.head[i / 8] |= static_cast<uint64_t>(static_cast<unsigned char>(e.key[i])) << (56 - 8 * (i % 8));
}

// Equal zero-padded heads mean the keys agree up to the shorter length when
// that length is at most 16 (a NUL byte inside a key changes nothing), so the
// length decides; otherwise the bytes after the heads do.
int compareEntries(const SortEntry& a, const SortEntry& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0] ? -1 : 1;
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1] ? -1 : 1;
    if (a.len > kHeadBytes && b.len > kHeadBytes)
        return ChildSort::CompareKeys(a.key + kHeadBytes, a.len - kHeadBytes, b.key + kHeadBytes,
                                      b.len - kHeadBytes);
    return a.len < b.len ? -1 : (a.len > b.len ? 1 : 0);
}

// Attribute values end at their first NUL byte, like the C strings they are
// set from.
size_t textLength(const char* p, size_t max) {
    const void* nul = std::memchr(p, 0, max);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : max;
}

void attributeKey(const TreeNode* node, const char* attrName, SortEntry& e) {
    e.key = "";
    e.len = 0;
    const AttributeSet* attrs = node->Attributes();
    if (!attrs || !attrName || !*attrName) return;
    int32_t len = 0;
    const char* value = attrs->FindValue(attrName, &len);
    if (!value || len <= 0) return;
    e.key = value;
    e.len = textLength(value, static_cast<size_t>(len));
}

// Fills the key of `node`; false when a record lacks its sort child.
bool extractKey(TreeNode* node, const SortSpec& spec, SortEntry& e) {
    e.node = node;
    switch (spec.kind) {
        case KeyKind::Tag:
            e.key = node->GetTag();
            e.len = static_cast<size_t>(node->GetTagLength());
            return true;
        case KeyKind::Content:
            e.key = node->GetContent();
            e.len = static_cast<size_t>(node->GetContentLength());
            return true;
        case KeyKind::Attribute:
            attributeKey(node, spec.attrName, e);
            return true;
        case KeyKind::RecordContent:
        case KeyKind::RecordAttribute: {
            const TreeNode* field = node->FirstChildWithTag(spec.sortTag ? spec.sortTag : "");
            if (!field) return false;
            if (spec.kind == KeyKind::RecordAttribute) {
                attributeKey(field, spec.attrName, e);
            } else {
                e.key = field->GetContent();
                e.len = static_cast<size_t>(field->GetContentLength());
            }
            return true;
        }
    }
    return false;
}

void sortChildren(TreeNode* parent, const SortSpec& spec) {
    if (!parent) return;
    const int32_t count = parent->NumChildren();
    if (count < 2) return;

    // Keys are looked up once per child. Records lacking the sort child (which
    // would compare equal to every other record, an inconsistent ordering)
    // stay in their slots; the keyed records are sorted into the other slots.
    std::vector<SortEntry> entries;
    std::vector<int32_t> slots;
    entries.reserve(static_cast<size_t>(count));
    slots.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        SortEntry e{};
        if (extractKey(parent->GetChild(i), spec, e)) {
            fillHead(e);
            entries.push_back(e);
            slots.push_back(i);
        }
    }
    if (entries.size() < 2) return;

    const bool ascending = spec.ascending;
    std::stable_sort(entries.begin(), entries.end(),
                     [ascending](const SortEntry& a, const SortEntry& b) {
                         return ascending ? compareEntries(a, b) < 0 : compareEntries(b, a) < 0;
                     });
    for (size_t k = 0; k < entries.size(); ++k) parent->SetChild(slots[k], entries[k].node);
    TreeNode::RelinkSiblings(parent);
}

}  // namespace

int ChildSort::CompareKeys(const char* a, size_t aLen, const char* b, size_t bLen) {
    const size_t n = aLen < bLen ? aLen : bLen;
    if (n > 0) {
        const int c = std::memcmp(a, b, n);   // memcmp compares as unsigned char
        if (c != 0) return c;
    }
    return aLen < bLen ? -1 : (aLen > bLen ? 1 : 0);
}

void ChildSort::SortByTag(TreeNode* node, bool ascending) {
    sortChildren(node, SortSpec{KeyKind::Tag, nullptr, nullptr, ascending});
}

void ChildSort::SortByContent(TreeNode* node, bool ascending) {
    sortChildren(node, SortSpec{KeyKind::Content, nullptr, nullptr, ascending});
}

void ChildSort::SortByAttribute(TreeNode* node, const char* attrName, bool ascending) {
    sortChildren(node, SortSpec{KeyKind::Attribute, attrName, nullptr, ascending});
}

void ChildSort::SortRecordsByContent(TreeNode* node, const char* sortTag, bool ascending) {
    sortChildren(node, SortSpec{KeyKind::RecordContent, nullptr, sortTag, ascending});
}

void ChildSort::SortRecordsByAttribute(TreeNode* node, const char* sortTag, const char* attrName,
                                       bool ascending) {
    sortChildren(node, SortSpec{KeyKind::RecordAttribute, attrName, sortTag, ascending});
}

}  // namespace tarvex
