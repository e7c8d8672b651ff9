#include "search/ChildSort.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"

namespace tarvex {
namespace {

using Strings = std::vector<std::string>;

struct SortTree {
    TreeNode* root = TreeNode::NewTree("list");
    ~SortTree() { TreeNode::DestroyTree(root); }
    TreeNode* Add(const char* tag, const char* content) { return TreeNode::AddChild(root, tag, content); }

    // Walks the children by sibling links, checking them against the array.
    Strings Walk(bool tags = false) const {
        Strings out;
        const TreeNode* prev = nullptr;
        for (const TreeNode* c = root->GetChild(0); c; c = c->GetNextSibling()) {
            EXPECT_EQ(c->GetPreviousSibling(), prev);
            EXPECT_EQ(c, root->GetChild(static_cast<int32_t>(out.size())));
            out.push_back(tags ? c->GetTag() : c->GetContent());
            prev = c;
        }
        EXPECT_EQ(prev, root->LastChild());
        EXPECT_EQ(static_cast<int32_t>(out.size()), root->NumChildren());
        return out;
    }
};

TEST(ChildSort, ByTagBothWaysEqualKeysKeepTheirOrder) {
    SortTree t;
    for (const char* tag : {"a", "b", "a", "b", "C"}) t.Add(tag, ("k" + std::to_string(t.root->NumChildren() + 1)).c_str());
    ChildSort::SortByTag(t.root, true);
    EXPECT_EQ(t.Walk(), (Strings{"k5", "k1", "k3", "k2", "k4"}));
    ChildSort::SortByTag(t.root, false);
    EXPECT_EQ(t.Walk(), (Strings{"k2", "k4", "k1", "k3", "k5"}));
}

TEST(ChildSort, KeysSharingLongPrefixesSortAsUnsignedBytes) {
    const std::string p16(16, 'a');
    const Strings keys{p16 + "B", p16 + "A", p16, p16.substr(1), p16 + "AB", p16 + "A\xC3",
                       "a\xC3", "A", p16.substr(0, 8) + "\x80" + p16, p16.substr(0, 8) + "b", ""};
    SortTree t;
    for (const std::string& k : keys) t.Add("k", k.c_str());
    ChildSort::SortByContent(t.root, true);
    Strings expected = keys;
    std::sort(expected.begin(), expected.end());   // char_traits order is unsigned bytes
    EXPECT_EQ(t.Walk(), expected);
    ChildSort::SortByContent(t.root, false);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(t.Walk(), expected);
}

TEST(ChildSort, KeysWithNulBytesCompareOverTheirWholeLength) {
    SortTree t;
    t.Add("k", "")->SetContent("a\0c", 3);
    t.Add("k", "")->SetContent("a\0b", 3);
    t.Add("k", "a");
    ChildSort::SortByContent(t.root, true);
    t.Walk();
    std::string order;
    for (int32_t i = 0; i < 3; ++i) order.append(t.root->GetChild(i)->GetContent(), t.root->GetChild(i)->GetContentLength()) += '|';
    EXPECT_EQ(order, std::string("a|a\0b|a\0c|", 10));
    t.root->GetChild(0)->SetTag("t\0z", 3);
    t.root->GetChild(1)->SetTag("t\0y", 3);
    t.root->GetChild(2)->SetTag("t");
    ChildSort::SortByTag(t.root, false);
    EXPECT_EQ(t.root->GetChild(0)->GetTagLength(), 3);
    EXPECT_EQ(t.root->GetChild(0)->GetTag()[2], 'z');
    EXPECT_EQ(t.root->GetChild(1)->GetTag()[2], 'y');
    EXPECT_EQ(t.root->GetChild(2)->GetTagLength(), 1);
}

TEST(ChildSort, ByAttributeMissingIsEmpty) {
    SortTree t;
    t.Add("n", "two")->EnsureAttributes()->Add("k", "2");
    t.Add("n", "none");
    TreeNode* dup = t.Add("n", "one");
    dup->EnsureAttributes()->Add("k", "1");
    dup->Attributes()->Add("k", "9");   // only the first pair of the name counts
    t.Add("n", "other")->EnsureAttributes()->Add("j", "0");
    ChildSort::SortByAttribute(t.root, "k", true);
    EXPECT_EQ(t.Walk(), (Strings{"none", "other", "one", "two"}));
}

TEST(ChildSort, RecordSortsKeepRecordsWithoutSortChildInPlace) {
    SortTree t;
    const char* keys[] = {"c", nullptr, "b", nullptr, "a"};
    const char* labels[] = {"c", "x", "b", "y", "a"};
    for (int i = 0; i < 5; ++i) {
        TreeNode* rec = t.Add("rec", labels[i]);
        TreeNode::AddChild(rec, "id", "zzz");   // another child comes first
        if (keys[i]) TreeNode::AddChild(rec, "name", keys[i])->EnsureAttributes()->Add("v", keys[i]);
    }
    ChildSort::SortRecordsByContent(t.root, "name", true);
    EXPECT_EQ(t.Walk(), (Strings{"a", "x", "b", "y", "c"}));
    ChildSort::SortRecordsByAttribute(t.root, "name", "v", false);
    EXPECT_EQ(t.Walk(), (Strings{"c", "x", "b", "y", "a"}));
    // A sort child without the attribute has the empty key.
    TreeNode::AddChild(t.root->GetChild(1), "name", "");
    ChildSort::SortRecordsByAttribute(t.root, "name", "v", true);
    EXPECT_EQ(t.Walk(), (Strings{"x", "a", "b", "y", "c"}));
}

}  // namespace
}  // namespace tarvex
