// Trees whose nodes move between them share one heap: these check that
// every order of releasing them leaves no node of a live tree freed (the
// sanitizer build catches any that is) and that the reference totals move
// with the nodes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Contents of neighbouring nodes grown, rewritten and removed in any order,
// from outside bytes or their own, against a plain string model: a piece
// freed or reused at the wrong size shows as a neighbour's changed text.
TEST(TreeMemory, HeapContentsMatchAModelThroughEdits) {
    TreeNode* root = TreeNode::NewTree("r");
    std::vector<TreeNode*> nodes;
    std::vector<std::string> model(8);
    for (int k = 0; k < 8; ++k) nodes.push_back(TreeNode::AddChild(root, "n", nullptr));
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    for (int step = 0; step < 4000; ++step) {
        const size_t k = next(8);
        TreeNode* n = nodes[k];
        std::string& m = model[k];
        const std::string fresh(next(300), static_cast<char>('a' + step % 26));
        switch (next(5)) {
            case 0:
                n->AppendContent(fresh.c_str(), static_cast<int32_t>(fresh.size()));
                m += fresh;
                break;
            case 1: {   // from its own bytes
                const size_t from = m.empty() ? 0 : next(static_cast<uint32_t>(m.size()));
                const size_t len = m.size() - from;
                if (n->HasContentBuffer()) n->AppendContent(n->GetContent() + from, static_cast<int32_t>(len));
                m += m.substr(from, len);
                break;
            }
            case 2:
                n->SetContent(fresh.c_str(), static_cast<int32_t>(fresh.size()));
                m = fresh;
                break;
            case 3:
                if (n->HasContentBuffer() && !m.empty()) {
                    const size_t from = next(static_cast<uint32_t>(m.size()));
                    n->SetContent(n->GetContent() + from, static_cast<int32_t>(m.size() - from));
                    m = m.substr(from);
                }
                break;
            default:
                n->RemoveContent();
                m.clear();
                break;
        }
        if (m.size() > 20000) {
            n->RemoveContent();
            m.clear();
        }
        for (size_t i = 0; i < nodes.size(); ++i) {
            ASSERT_EQ(model[i], std::string(nodes[i]->GetContent(), static_cast<size_t>(nodes[i]->GetContentLength())))
                << "node " << i << " after step " << step;
        }
    }
    TreeNode::DestroyTree(root);
}
