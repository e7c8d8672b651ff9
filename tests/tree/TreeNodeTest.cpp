#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "base/ExtPtrArray.h"
#include "tree/TreeNode.h"

using namespace tarvex;

namespace {

// Checks the whole tree of `node`: parent and sibling links against the
// children arrays, one record for all nodes, no node reached twice, and the
// record's reference total equal to the sum of the nodes' counts.
void checkTree(const TreeNode* node) {
    ASSERT_NE(nullptr, node);
    const TreeInfo* record = node->GetTree();
    ASSERT_NE(nullptr, record);
    const TreeNode* root = node->GetRoot();
    ASSERT_NE(nullptr, root);
    ASSERT_EQ(record, root->GetTree());
    ASSERT_EQ(nullptr, root->GetParent());
    ASSERT_EQ(nullptr, root->GetNextSibling());
    ASSERT_EQ(nullptr, root->GetPreviousSibling());
    std::unordered_set<const TreeNode*> seen;
    std::vector<const TreeNode*> stack{root};
    int64_t sum = 0;
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        ASSERT_TRUE(seen.insert(n).second) << "node reached twice";
        ASSERT_EQ(record, n->GetTree());
        sum += n->RefCount();
        int32_t count = n->NumChildren();
        for (int32_t i = 0; i < count; ++i) {
            const TreeNode* c = n->GetChild(i);
            ASSERT_EQ(n, c->GetParent());
            ASSERT_EQ(i > 0 ? n->GetChild(i - 1) : nullptr, c->GetPreviousSibling());
            ASSERT_EQ(i + 1 < count ? n->GetChild(i + 1) : nullptr, c->GetNextSibling());
            stack.push_back(c);
        }
    }
    ASSERT_TRUE(seen.count(node));
    ASSERT_EQ(sum, record->total);
    ASSERT_EQ(sum, TreeNode::SubtreeTotal(root));
}
#define CHECK_TREE(n) ASSERT_NO_FATAL_FAILURE(checkTree(n))

std::vector<std::string> childTags(const TreeNode* n) {
    std::vector<std::string> tags;
    for (int32_t i = 0; i < n->NumChildren(); ++i) tags.push_back(n->GetChild(i)->GetTag());
    return tags;
}


}  // namespace

TEST(TreeNodeBuild, ConstructionIdsAndChildArraySizing) {
    TreeNode* root = TreeNode::NewTree("root", "");
    EXPECT_FALSE(root->HasContentBuffer());
    EXPECT_GE(root->GetTreeId(), 100);
    TreeNode* other = TreeNode::AddChild(nullptr, nullptr, "text");
    EXPECT_GT(other->GetTreeId(), root->GetTreeId());
    EXPECT_FALSE(other->HasTagBuffer());
    EXPECT_STREQ("", other->GetTag());
    EXPECT_STREQ("text", other->GetContent());

    TreeNode* p1 = TreeNode::AddChild(root, "p", nullptr);
    for (int i = 0; i < 7; ++i) TreeNode::AddChild(p1, "c", "x");
    TreeNode* p2 = TreeNode::AddChild(root, "p", 1);
    TreeNode::AddChild(p2, "c", 1);
    TreeNode* p3 = TreeNode::AddChild(root, "p", 1);
    TreeNode::AddChild(p3, "c", 1);
    for (int i = 0; i < 6; ++i) TreeNode::AddChild(p2, "c", 1);   // a block sized like p1's list
    ASSERT_EQ(7, p2->NumChildren());
    EXPECT_EQ(p2, p2->GetChild(6)->GetParent());
    EXPECT_EQ(root->GetTreeId(), p3->GetChild(0)->GetTreeId());
    EXPECT_EQ(root, p3->GetChild(0)->GetRoot());
    CHECK_TREE(root);

    TreeNode* decl = root->GetTree()->EnsureDeclaration();
    EXPECT_EQ(decl, decl->GetRoot());
    EXPECT_NE(root->GetTreeId(), decl->GetTreeId());
    EXPECT_TRUE(decl->Attributes()->HasValue("version", "1.0"));
    TreeNode::DestroyTree(p3->GetChild(0));
    TreeNode::DestroyTree(other);
}

TEST(TreeNodeBuild, AdoptMovesRecordAndRefusesOwnTree) {
    TreeNode* a = TreeNode::NewTree("a");
    TreeNode* a1 = TreeNode::AddChild(a, "a1", nullptr);
    TreeNode* b = TreeNode::NewTree("b");
    TreeNode* b1 = TreeNode::AddChild(b, "b1", nullptr);
    b->GetTree()->EnsureDeclaration();
    TreeNode::AddRef(a);
    TreeNode::AddRef(b1);
    TreeNode::AddRef(b1);

    EXPECT_TRUE(TreeNode::AdoptChild(a1, b));
    CHECK_TREE(a);
    EXPECT_EQ(3, TreeNode::TreeTotal(b1));
    EXPECT_EQ(a1, b->GetParent());
    EXPECT_EQ(a->GetTreeId(), b1->GetTreeId());

    // Refused: the child is in the parent's tree, or has another parent.
    TreeNode* c = TreeNode::NewTree("c");
    EXPECT_FALSE(TreeNode::AdoptChild(b1, a));
    EXPECT_FALSE(TreeNode::AdoptChild(a1, b));
    EXPECT_FALSE(TreeNode::AdoptChild(c, b1));
    EXPECT_FALSE(TreeNode::AdoptChild(c, c));
    EXPECT_EQ(1, a1->NumChildren());
    EXPECT_EQ(0, c->NumChildren());
    EXPECT_EQ(c, c->GetRoot());
    CHECK_TREE(a);
    CHECK_TREE(c);
    TreeNode::DestroyTree(b1);
    TreeNode::DestroyTree(c);
}

TEST(TreeNodeDetach, OnlyChildAndMiddleChild) {
    TreeNode* root = TreeNode::NewTree("r");
    TreeNode* p = TreeNode::AddChild(root, "p", nullptr);
    TreeNode* only = TreeNode::AddChild(p, "only", nullptr);
    TreeNode::AddRef(root);
    int32_t oldId = root->GetTreeId();

    TreeNode::DetachFromParent(only);
    EXPECT_EQ(0, p->NumChildren());
    EXPECT_EQ(nullptr, only->GetParent());
    EXPECT_EQ(only, only->GetRoot());
    EXPECT_NE(oldId, only->GetTreeId());
    EXPECT_EQ(0, TreeNode::TreeTotal(only));
    CHECK_TREE(root);
    CHECK_TREE(only);
    TreeNode::DestroyTree(only);   // a detached tree with no reference is the caller's to destroy

    TreeNode* x = TreeNode::AddChild(p, "x", nullptr);
    TreeNode* y = TreeNode::AddChild(p, "y", nullptr);
    TreeNode* y1 = TreeNode::AddChild(y, "y1", nullptr);
    TreeNode* z = TreeNode::AddChild(p, "z", nullptr);
    TreeNode::AddRef(y1);
    TreeNode::DetachFromParent(y);
    EXPECT_EQ(z, x->GetNextSibling());
    EXPECT_EQ(x, z->GetPreviousSibling());
    EXPECT_EQ(nullptr, y->GetNextSibling());
    EXPECT_EQ(1, TreeNode::TreeTotal(root));
    EXPECT_EQ(1, TreeNode::TreeTotal(y1));
    EXPECT_EQ(y, y1->GetRoot());
    CHECK_TREE(root);
    CHECK_TREE(y1);

    TreeNode::DetachFromParent(root);   // a root: nothing happens
    CHECK_TREE(root);
    TreeNode::DestroyTree(y1);
    TreeNode::DestroyTree(x);
}

TEST(TreeNodeDetach, DestroysUnreferencedRestOfOldTree) {
    const std::string text(200, 'c');
    const long before = memBlocksInUse();
    TreeNode* root = TreeNode::NewTree("r");
    TreeNode* keep = nullptr;
    for (int i = 0; i < 2000; ++i) {
        TreeNode* n = TreeNode::AddChild(root, "n", text.c_str());
        if (i == 1000) keep = TreeNode::AddChild(n, "keep", "kept");
    }
    TreeNode::AddRef(keep);
    TreeNode::DetachFromParent(keep);
    // The 2000 other nodes are gone; only `keep` and its record are left.
    if (tarvex::platform::checksEachAllocation()) {
        // Every node is an allocation of its own here: freed at once.
        EXPECT_LE(memBlocksInUse(), before + 4);
    } else {
        // Their memory stays with `keep`'s tree (it shares the old tree's
        // blocks) and serves its next nodes: as many again take no more.
        const size_t afterDetach = tarvex::memBytesInUse();
        for (int i = 0; i < 2000; ++i) TreeNode::AddChild(keep, "n", text.c_str());
        EXPECT_LT(tarvex::memBytesInUse(), afterDetach + 64 * 1024);
    }
    EXPECT_STREQ("kept", keep->GetContent());
    EXPECT_EQ(1, TreeNode::TreeTotal(keep));
    CHECK_TREE(keep);

    // With a reference left in it, the old tree survives.
    TreeNode* r2 = TreeNode::NewTree("r2");
    TreeNode* k2 = TreeNode::AddChild(TreeNode::AddChild(r2, "n", nullptr), "k", nullptr);
    TreeNode::AddRef(r2);
    TreeNode::AddRef(k2);
    TreeNode::DetachFromParent(k2);
    EXPECT_EQ(1, r2->NumChildren());
    CHECK_TREE(r2);
    CHECK_TREE(k2);
    TreeNode::DestroyTree(r2);
    TreeNode::DestroyTree(k2);
    TreeNode::DestroyTree(keep);
}

TEST(TreeNodeSwap, NodeDataMovesTagContentAndAttributesOnly) {
    TreeNode* a = TreeNode::NewTree("alpha", "ca");
    a->EnsureAttributes()->Add("k", "1");
    a->SetCdata(true);
    TreeNode::AddRef(a);
    TreeNode* b = TreeNode::AddChild(a, nullptr, nullptr);
    b->SetContent("");
    TreeNode::SwapNodeData(a, b);
    EXPECT_FALSE(a->HasTagBuffer());
    EXPECT_FALSE(a->HasContentBuffer());   // the empty content became absent
    EXPECT_EQ(nullptr, a->Attributes());
    EXPECT_STREQ("alpha", b->GetTag());
    EXPECT_STREQ("ca", b->GetContent());
    EXPECT_TRUE(b->Attributes()->HasValue("k", "1"));
    EXPECT_TRUE(a->IsCdata());
    EXPECT_FALSE(b->IsCdata());
    EXPECT_EQ(1, a->RefCount());
    EXPECT_EQ(b, a->GetChild(0));
    TreeNode::SwapNodeData(a, b);
    EXPECT_STREQ("alpha", a->GetTag());
    EXPECT_FALSE(b->HasTagBuffer());
    CHECK_TREE(a);
    TreeNode::DestroyTree(a);
}

TEST(TreeNodeSwap, ChildrenAcrossTreesMoveReferenceTotals) {
    TreeNode* ra = TreeNode::NewTree("ra");
    TreeNode* a1 = TreeNode::AddChild(ra, "a1", "x");
    TreeNode* a11 = TreeNode::AddChild(a1, "a11", nullptr);
    TreeNode* a12 = TreeNode::AddChild(a1, "a12", nullptr);
    TreeNode* a2 = TreeNode::AddChild(ra, "a2", nullptr);
    TreeNode* rb = TreeNode::NewTree("rb");
    TreeNode* b1 = TreeNode::AddChild(rb, "b1", nullptr);
    TreeNode* b11 = TreeNode::AddChild(b1, "b11", nullptr);
    TreeNode::AddRef(a11);
    TreeNode::AddRef(a11);
    TreeNode::AddRef(a2);
    TreeNode::AddRef(b11);
    TreeNode::AddRef(rb);

    ASSERT_TRUE(TreeNode::SwapChildren(a1, b1));
    EXPECT_STREQ("b1", a1->GetTag());
    EXPECT_STREQ("x", b1->GetContent());
    EXPECT_EQ((std::vector<std::string>{"b11"}), childTags(a1));
    EXPECT_EQ((std::vector<std::string>{"a11", "a12"}), childTags(b1));
    EXPECT_EQ(2, TreeNode::TreeTotal(ra));
    EXPECT_EQ(3, TreeNode::TreeTotal(rb));
    EXPECT_EQ(ra, b11->GetRoot());
    EXPECT_EQ(rb, a12->GetRoot());
    CHECK_TREE(ra);
    CHECK_TREE(rb);

    // Within one tree, between cousins; and a node with itself.
    ASSERT_TRUE(TreeNode::SwapChildren(a2, a1));
    EXPECT_EQ((std::vector<std::string>{"b11"}), childTags(a2));
    EXPECT_TRUE(TreeNode::SwapChildren(a2, a2));
    CHECK_TREE(ra);
    TreeNode::DestroyTree(a2);
    TreeNode::DestroyTree(b1);
}

TEST(TreeNodeSwap, ChildrenRefusedBetweenAncestorAndDescendant) {
    TreeNode* root = TreeNode::NewTree("root");
    TreeNode* a = TreeNode::AddChild(root, "a", "ca");
    TreeNode* b = TreeNode::AddChild(a, "b", nullptr);
    TreeNode* c = TreeNode::AddChild(b, "c", "cc");
    TreeNode::AddRef(c);
    EXPECT_TRUE(root->IsAncestorOf(c));
    EXPECT_FALSE(c->IsAncestorOf(root));
    EXPECT_FALSE(a->IsAncestorOf(a));
    EXPECT_FALSE(TreeNode::SwapChildren(a, c));
    EXPECT_FALSE(TreeNode::SwapChildren(c, a));
    EXPECT_FALSE(TreeNode::SwapChildren(root, b));
    EXPECT_STREQ("a", a->GetTag());
    EXPECT_STREQ("ca", a->GetContent());
    EXPECT_STREQ("cc", c->GetContent());
    EXPECT_EQ(b, a->GetChild(0));
    EXPECT_EQ(c, b->GetChild(0));
    CHECK_TREE(root);
    TreeNode::DestroyTree(root);
}

TEST(TreeNodeData, ContentAndTagRules) {
    TreeNode* n = TreeNode::NewTree("tag", "hello world");
    n->SetContent("");
    EXPECT_TRUE(n->HasContentBuffer());
    EXPECT_FALSE(n->HasContent());
    n->RemoveContent();
    n->SetContentBytes(nullptr, 0);
    EXPECT_FALSE(n->HasContentBuffer());
    n->SetContentBytes("a\0b", 3);
    EXPECT_EQ(3, n->GetContentLength());
    n->SetContentBytes(nullptr, 5);
    EXPECT_TRUE(n->HasContentBuffer());
    EXPECT_EQ(0, n->GetContentLength());
    n->AppendContent("");
    EXPECT_EQ(0, n->GetContentLength());

    n->SetTag(nullptr);
    EXPECT_STREQ("", n->GetTag());
    EXPECT_EQ(0, n->GetTagLength());
    TreeNode::DestroyTree(n);
}

TEST(TreeNodeData, TagsMoveBetweenNodeAndBlock) {
    // Short tags sit in the node and long ones in a block of their own; every
    // change between the two forms, also from the tag's own bytes, keeps them.
    const std::string longTag = "a-tag-name-well-past-the-inline-size";
    TreeNode* n = TreeNode::NewTree(longTag.c_str());
    EXPECT_TRUE(n->TagEquals(longTag.c_str(), static_cast<int32_t>(longTag.size())));
    n->SetTag(n->GetTag() + 2);                    // long to long, from itself
    EXPECT_EQ(longTag.substr(2), n->GetTag());
    n->SetTag(n->GetTag() + n->GetTagLength() - 4, 4);   // long to short, from itself
    EXPECT_STREQ("size", n->GetTag());
    n->SetTag("nine-byte");                       // the longest inline tag
    n->SetTag("ten-bytes!");                      // the shortest block tag
    EXPECT_STREQ("ten-bytes!", n->GetTag());
    n->SetTag(n->GetTag(), 9);                    // block to inline, from itself
    EXPECT_STREQ("ten-bytes", n->GetTag());
    n->SetTag(std::string(3, 'x').c_str(), 0);   // a present tag stays present, empty
    EXPECT_TRUE(n->HasTagBuffer());
    EXPECT_STREQ("", n->GetTag());

    TreeNode* a = TreeNode::AddChild(n, longTag.c_str(), "one");
    TreeNode* b = TreeNode::AddChild(n, "b", "two");
    TreeNode::SwapNodeData(a, b);
    EXPECT_STREQ("b", a->GetTag());
    EXPECT_EQ(longTag, b->GetTag());
    EXPECT_STREQ("two", a->GetContent());
    EXPECT_STREQ("one", b->GetContent());
    EXPECT_EQ(1, n->CountChildrenWithTag(longTag.c_str()));
    EXPECT_EQ(b, n->FirstChildWithTag(longTag.c_str()));
    TreeNode::DestroyTree(n);
}

TEST(TreeNodeData, ChildLookupsByTagAndReferenceFloor) {
    TreeNode* p = TreeNode::NewTree("p");
    TreeNode* x0 = TreeNode::AddChild(p, "x", nullptr);
    TreeNode::AddChild(p, "y", nullptr);
    TreeNode* x2 = TreeNode::AddChild(p, "x", nullptr);
    TreeNode* none = TreeNode::AddChild(p, nullptr, nullptr);
    TreeNode::AddChild(p, "xx", nullptr);
    EXPECT_EQ(x0, p->FirstChildWithTag("x"));
    EXPECT_EQ(x2, p->NthChildWithTag(1, "x"));
    EXPECT_EQ(nullptr, p->NthChildWithTag(2, "x"));
    EXPECT_EQ(2, p->CountChildrenWithTag("x"));
    EXPECT_EQ(none, p->FirstChildWithTag(""));
    EXPECT_EQ(1, p->CountChildrenWithTag(nullptr));
    EXPECT_FALSE(p->HasChildWithTag("X"));
    EXPECT_TRUE(p->HasChildWithTag("xx"));

    TreeNode::AddRef(x0);
    TreeNode::ReleaseRef(x2);   // x2 holds no reference: nothing changes
    EXPECT_EQ(0, x2->RefCount());
    EXPECT_EQ(1, TreeNode::TreeTotal(p));
    TreeNode::ReleaseRef(x0);
    TreeNode::ReleaseRef(x0);
    EXPECT_EQ(0, x0->RefCount());
    EXPECT_EQ(0, TreeNode::TreeTotal(p));
    TreeNode::DestroyTree(p);
}

TEST(TreeNodeDeep, MillionLevelChain) {
    const int32_t depth = 1000000;
    TreeNode* root = TreeNode::NewTree("n");
    TreeNode* mid = nullptr;
    TreeNode* leaf = root;
    for (int32_t i = 1; i < depth; ++i) {
        leaf = TreeNode::AddChild(leaf, "n", 1);
        if (i == depth / 2) mid = leaf;
    }
    TreeNode::AddRef(root);
    TreeNode::AddRef(mid);
    TreeNode::AddRef(leaf);
    EXPECT_EQ(3, TreeNode::SubtreeTotal(root));
    EXPECT_EQ(2, TreeNode::SubtreeTotal(mid));
    EXPECT_TRUE(root->IsAncestorOf(leaf));
    EXPECT_FALSE(TreeNode::SwapChildren(leaf, root));

    TreeNode::DetachFromParent(mid);
    EXPECT_EQ(1, TreeNode::TreeTotal(root));
    EXPECT_EQ(2, TreeNode::TreeTotal(leaf));
    EXPECT_EQ(mid, leaf->GetRoot());
    TreeNode::DestroyTree(leaf);
    TreeNode::DestroyTree(root);
}
