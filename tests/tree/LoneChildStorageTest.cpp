#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Memory.h"
#include "tree/TreeNode.h"

using namespace tarvex;

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
