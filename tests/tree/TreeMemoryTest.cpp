// Trees whose nodes move between them share one heap: these check that
// every order of releasing them leaves no node of a live tree freed (the
// sanitizer build catches any that is) and that the reference totals move
// with the nodes.
#include <gtest/gtest.h>

#include <string>

#include "base/BlockHeap.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"

using tarvex::StringBuffer;
using tarvex::TreeNode;

namespace {

// A tree with every kind of piece: long and short tags, contents, attribute
// lists, wide and lone child arrays.
TreeNode* sample(const char* rootTag, int width) {
    TreeNode* root = TreeNode::NewTree(rootTag);
    for (int i = 0; i < width; ++i) {
        TreeNode* c = TreeNode::AddChild(root, i % 2 ? "a-rather-long-tag-name" : "t", std::string(i * 7, 'x').c_str());
        c->EnsureAttributes()->Add("k", std::to_string(i).c_str());
        TreeNode::AddChild(c, "leaf", "text");
    }
    return root;
}

std::string readAll(TreeNode* root) {
    std::string s;
    for (int i = 0; i < root->NumChildren(); ++i) {
        TreeNode* c = root->GetChild(i);
        s += c->GetTag();
        s += c->GetContent();
        StringBuffer v;
        if (c->Attributes() && c->Attributes()->GetValue("k", v)) s += v.getString();
        if (c->NumChildren() > 0) s += c->GetChild(0)->GetContent();
    }
    return s;
}

}  // namespace

TEST(TreeMemory, AdoptedTreeOutlivesNothingItNeeds) {
    for (bool parentFirst : {true, false}) {
        TreeNode* host = sample("host", 40);
        TreeNode* guest = sample("guest", 60);
        const std::string guestText = readAll(guest);
        TreeNode* kept = guest->GetChild(3);
        TreeNode::AddRef(guest);
        TreeNode::AddRef(kept);
        ASSERT_TRUE(TreeNode::AdoptChild(host->GetChild(5), guest));
        EXPECT_EQ(2, TreeNode::TreeTotal(host));
        EXPECT_EQ(host->GetTree()->Heap(), guest->GetTree()->Heap());
        if (parentFirst) {
            // Detaching the adopted tree again: it keeps its memory alive after
            // the host is gone.
            TreeNode::AddRef(host);
            TreeNode::DetachFromParent(guest);
            EXPECT_EQ(1, TreeNode::TreeTotal(host));
            EXPECT_EQ(2, TreeNode::TreeTotal(guest));
            TreeNode::DestroyTree(host);
            EXPECT_EQ(guestText, readAll(guest));
            kept->SetContent(std::string(3000, 'y').c_str());   // a large piece after the join
            TreeNode::DestroyTree(guest);
        } else {
            TreeNode::Destroy(guest);   // removed from the host: freed into the shared heap
            EXPECT_EQ(0, TreeNode::TreeTotal(host));
            TreeNode::AddChild(host, "after", "more");
            TreeNode::DestroyTree(host);
        }
    }
}

TEST(TreeMemory, SwapsAcrossTreesMoveTotalsAndShareMemory) {
    TreeNode* a = sample("a", 30);
    TreeNode* b = sample("b", 10);
    TreeNode* deep = b->GetChild(2)->GetChild(0);
    TreeNode::AddRef(deep);
    TreeNode::AddRef(deep);
    const std::string aText = readAll(a->GetChild(1));
    ASSERT_TRUE(TreeNode::SwapChildren(a->GetChild(1), b->GetChild(2)));
    EXPECT_EQ(a, deep->GetRoot());
    EXPECT_EQ(aText, readAll(b->GetChild(2)));
    // Contents and attribute lists trade places across the trees too.
    TreeNode::SwapNodeData(a->GetChild(4), b->GetChild(7));
    EXPECT_STREQ(std::string(49, 'x').c_str(), a->GetChild(4)->GetContent());
    TreeNode::DestroyTree(a);
    EXPECT_EQ(std::string(28, 'x'), b->GetChild(7)->GetContent());
    TreeNode::DestroyTree(b);
}

TEST(TreeMemory, EditedContentsAreFreedWithTheirTree) {
    // A content handed out for editing lives outside the heap; the tree's
    // release must still free it (the sanitizer build reports a leak if not).
    TreeNode* root = sample("r", 20);
    root->GetChild(3)->ContentBuffer()->append(" and more");
    root->GetChild(4)->EnsureContentBuffer()->append(std::string(5000, 'z').c_str());
    TreeNode::AddChild(root, "fresh", nullptr)->EnsureContentBuffer()->append("new");
    EXPECT_EQ(3, root->GetTree()->Heap()->Foreign());
    EXPECT_EQ(std::string(21, 'x') + " and more", root->GetChild(3)->GetContent());
    root->GetChild(3)->RemoveContent();
    EXPECT_EQ(2, root->GetTree()->Heap()->Foreign());
    root->GetChild(4)->SetContent("back to short");
    EXPECT_STREQ("back to short", root->GetChild(4)->GetContent());
    TreeNode::DestroyTree(root);
}

TEST(TreeMemory, HeapContentsGrowAndShrinkInPlace) {
    TreeNode* root = TreeNode::NewTree("r", "start");
    TreeNode* n = root;
    for (int i = 0; i < 200; ++i) n->AppendContent("0123456789");
    EXPECT_EQ(5 + 2000, n->GetContentLength());
    n->AppendContent(n->GetContent() + 5, 10);   // from its own bytes
    EXPECT_EQ(std::string("start") + std::string("0123456789"), std::string(n->GetContent()).substr(0, 15));
    EXPECT_STREQ("0123456789", n->GetContent() + 2005);
    n->SetContent(n->GetContent() + 2005, 10);   // from its own bytes, shorter
    EXPECT_STREQ("0123456789", n->GetContent());
    n->SetContentBytes(nullptr, 0);
    EXPECT_TRUE(n->HasContentBuffer());
    EXPECT_FALSE(n->HasContent());
    TreeNode::DestroyTree(root);
}
