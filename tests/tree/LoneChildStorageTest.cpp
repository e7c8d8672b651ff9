#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Memory.h"
#include "base/ExtPtrArray.h"
#include "tree/TreeNode.h"

using namespace tarvex;

namespace {

void* item(intptr_t i) { return reinterpret_cast<void*>(i * 16 + 8); }

}  // namespace

// A deferred array reads back exactly like an eager one of the same capacity
// and step, element for element and growth step for growth step.
TEST(ExtPtrArrayDeferred, MatchesEagerArrayThroughGrowth) {
    for (int32_t capacity : {0, 1, 2, 5, 7}) {
        ExtPtrArray eager(capacity, 5);
        ExtPtrArray lazy;
        lazy.ResetDeferred(capacity, 5);
        for (intptr_t i = 0; i < 40; ++i) {
            ASSERT_EQ(eager.Capacity(), lazy.Capacity()) << capacity << " at " << i;
            ASSERT_EQ(eager.Step(), lazy.Step()) << capacity << " at " << i;
            eager.Append(item(i));
            lazy.Append(item(i));
            ASSERT_EQ(eager.Count(), lazy.Count());
            ASSERT_EQ(item(i), lazy.Last());
            for (int32_t k = 0; k <= i; ++k) ASSERT_EQ(item(k), lazy.Elements()[k]);
        }
    }
}

TEST(ExtPtrArrayDeferred, LoneElementEditsAndSwap) {
    ExtPtrArray a;
    a.ResetDeferred(3, 5);
    EXPECT_EQ(nullptr, a.Get(0));
    a.Append(item(1));
    a.Set(0, item(2));
    EXPECT_EQ(item(2), a.Get(0));
    EXPECT_EQ(nullptr, a.Get(1));
    EXPECT_EQ(item(2), a.RemoveAt(0));
    EXPECT_EQ(0, a.Count());
    a.Append(item(3));
    EXPECT_EQ(item(3), a.Pop());
    a.Append(item(4));

    // Swapping a lone element with a block keeps both intact, and each
    // array frees only what it holds afterwards.
    ExtPtrArray b(2, 5);
    for (intptr_t i = 10; i < 15; ++i) b.Append(item(i));
    a.Swap(b);
    ASSERT_EQ(5, a.Count());
    ASSERT_EQ(1, b.Count());
    EXPECT_EQ(item(4), b.Get(0));
    EXPECT_EQ(3, b.Capacity());
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(item(10 + i), a.Get(i));
    b.Append(item(5));   // now a block of its own
    EXPECT_EQ(item(4), b.Get(0));
    EXPECT_EQ(item(5), b.Get(1));
    b.ResetDeferred(1, 5);   // frees that block
    EXPECT_EQ(0, b.Count());
    EXPECT_EQ(1, b.Capacity());
}

// Chains, lone children and wide fans, with tags on every inline/block
// boundary; the whole tree goes back to the heap on destruction.
TEST(LoneChildTree, MixedShapesBuildReadAndFreeCompletely) {
    const std::vector<std::string> tags = {"a",        "abc",         "abcd",         "abcdefg",
                                           "abcdefgh", "abcdefghij", "abcdefghijk", "abcdefghijkl", "abcdefghijklm",
                                           "a-much-longer-tag-name"};
    std::vector<TreeNode*> leaves;
    leaves.reserve(23);
    long before = memBlocksInUse();
    TreeNode* root = TreeNode::NewTree("root");
    for (int branch = 0; branch < 23; ++branch) {
        TreeNode* n = root;
        int depth = 1 + branch * 7 % 31;
        for (int d = 0; d < depth; ++d) {
            const std::string& t = tags[static_cast<size_t>(d + branch) % tags.size()];
            n = TreeNode::AddChild(n, t.c_str(), static_cast<int32_t>(t.size()));
            ASSERT_EQ(t, n->GetTag());
            ASSERT_TRUE(n->TagEquals(t.c_str(), static_cast<int32_t>(t.size())));
        }
        for (int k = 0; k < branch % 4; ++k) TreeNode::AddChild(n, "leaf", "text");
        leaves.push_back(n);
    }
    EXPECT_EQ(23, root->NumChildren());
    // A lone child reads through every accessor like any other.
    TreeNode* chain = root->GetChild(3);   // depth 22, one child per level
    ASSERT_EQ(1, chain->NumChildren());
    EXPECT_EQ(chain->GetChild(0), chain->LastChild());
    EXPECT_EQ(chain->GetChild(0), chain->ChildSlots()[0]);
    EXPECT_EQ(1, chain->CountChildrenWithTag(chain->GetChild(0)->GetTag()));
    EXPECT_EQ(3, leaves[3]->NumChildren());

    // Exchanging a lone child with a fan moves both lists whole.
    TreeNode* fan = leaves[7];   // three "leaf" children
    TreeNode* lone = root->GetChild(10);
    TreeNode* loneChild = lone->GetChild(0);
    ASSERT_TRUE(TreeNode::SwapChildren(fan, lone));
    EXPECT_EQ(3, lone->NumChildren());
    EXPECT_EQ(lone, lone->GetChild(2)->GetParent());
    ASSERT_EQ(1, fan->NumChildren());
    EXPECT_EQ(loneChild, fan->GetChild(0));
    EXPECT_EQ(fan, loneChild->GetParent());

    TreeNode::Destroy(root);
    EXPECT_EQ(before, memBlocksInUse());
}
