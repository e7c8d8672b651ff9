#include "search/TreeSearch.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"

namespace tarvex {
namespace {

// root(p1(q1(r1), q2), p2(q3), p3): every node has tag "n" and its name as
// content; level order is root p1 p2 p3 q1 q2 q3 r1.
class TreeSearchLevels : public ::testing::Test {
protected:
    void SetUp() override {
        root = TreeNode::NewTree("n", "root");
        TreeNode* p1 = TreeNode::AddChild(root, "n", "p1");
        TreeNode* p2 = TreeNode::AddChild(root, "n", "p2");
        TreeNode::AddChild(root, "n", "p3");
        TreeNode* q1 = TreeNode::AddChild(p1, "n", "q1");
        TreeNode::AddChild(p1, "n", "q2");
        TreeNode::AddChild(p2, "n", "q3");
        TreeNode::AddChild(q1, "n", "r1");
    }
    void TearDown() override { TreeNode::DestroyTree(root); }

    TreeNode* Named(const char* name) { return TreeSearch::SearchAllForContent(root, nullptr, name); }

    std::vector<std::string> AllInOrder(TreeNode* start) {
        std::vector<std::string> names;
        for (TreeNode* hit = nullptr; (hit = TreeSearch::SearchForTag(start, hit, "n"));)
            names.push_back(hit->GetContent());
        return names;
    }

    TreeNode* root = nullptr;
};

TEST_F(TreeSearchLevels, AfterWalksAllMatchesInLevelOrder) {
    EXPECT_EQ(AllInOrder(root),
              (std::vector<std::string>{"root", "p1", "p2", "p3", "q1", "q2", "q3", "r1"}));
    EXPECT_EQ(AllInOrder(Named("p1")), (std::vector<std::string>{"p1", "q1", "q2", "r1"}));
    EXPECT_EQ(TreeSearch::SearchForTag(root, nullptr, "N"), nullptr);
    // `after` outside the subtree finds nothing; the start node as `after` goes on below it.
    EXPECT_EQ(TreeSearch::SearchForTag(Named("p2"), Named("p1"), "n"), nullptr);
    EXPECT_EQ(TreeSearch::SearchAllForContent(Named("p2"), root, "*"), nullptr);
    EXPECT_EQ(TreeSearch::SearchForTag(Named("p2"), Named("p2"), "n"), Named("q3"));
}

TEST_F(TreeSearchLevels, ContentAndAttributeSearches) {
    TreeNode* q2 = Named("q2");
    EXPECT_EQ(TreeSearch::SearchForContent(root, nullptr, "n", "q*"), Named("q1"));
    EXPECT_EQ(TreeSearch::SearchForContent(root, Named("q1"), "n", "q*"), q2);
    EXPECT_EQ(TreeSearch::SearchAllForContent(root, nullptr, "Q2"), nullptr);

    TreeNode* marked = TreeNode::AddChild(q2, "m", "");
    marked->EnsureAttributes()->Add("id", "alpha-7");
    TreeNode* beta = TreeNode::AddChild(Named("p3"), "m", "");
    beta->EnsureAttributes()->Add("id", "beta");
    EXPECT_EQ(TreeSearch::SearchForAttribute(root, nullptr, "m", "id", "*-7"), marked);
    EXPECT_EQ(TreeSearch::SearchForAttribute(root, nullptr, "m", "id", "b*"), beta);
    EXPECT_EQ(TreeSearch::SearchForAttribute(root, nullptr, "n", "id", "*"), nullptr);
}

TEST(TreeSearch, AbsentContentInSearchesAndContentTests) {
    TreeNode* doc = TreeNode::NewTree("doc");
    TreeNode* first = TreeNode::AddChild(doc, "name", "Smith");
    TreeNode::AddChild(doc, "name", "Jones");
    TreeNode* blank = TreeNode::AddChild(doc, "b", "");
    ASSERT_FALSE(blank->HasContentBuffer());
    // Searches read an absent content as the empty text.
    EXPECT_EQ(TreeSearch::SearchForContent(doc, nullptr, "b", "*"), blank);
    EXPECT_EQ(TreeSearch::SearchForContent(doc, nullptr, "b", "?"), nullptr);
    // The content tests do not: only an existing, possibly emptied, content matches.
    EXPECT_FALSE(TreeSearch::ContentMatches(blank, "*", true));
    EXPECT_FALSE(TreeSearch::ChildContentMatches(doc, "b", "", true));
    blank->SetContent("x");
    blank->SetContent("");
    ASSERT_TRUE(blank->HasContentBuffer());
    EXPECT_TRUE(TreeSearch::ContentMatches(blank, "*", true));
    EXPECT_TRUE(TreeSearch::ChildContentMatches(doc, "b", "", true));

    EXPECT_TRUE(TreeSearch::ContentMatches(first, "sm*", false));
    EXPECT_FALSE(TreeSearch::ContentMatches(first, "sm*", true));
    EXPECT_FALSE(TreeSearch::ChildContentMatches(doc, "name", "J*", true));   // first child only
    EXPECT_FALSE(TreeSearch::ChildContentMatches(doc, " name", "*", true));   // tag not trimmed
    EXPECT_EQ(TreeSearch::SearchSubtree(nullptr, nullptr, TreeSearch::Test::ForTag("b")), nullptr);
    TreeNode::DestroyTree(doc);
}

TEST(TreeSearch, HasMatchingValue) {
    AttributeSet attrs;
    EXPECT_FALSE(TreeSearch::HasMatchingValue(&attrs, "a", "*"));   // empty list
    EXPECT_FALSE(TreeSearch::HasMatchingValue(nullptr, "a", "*"));
    attrs.Add("a", "");
    attrs.Add("b", "12");
    attrs.Add("b", "345");
    EXPECT_TRUE(TreeSearch::HasMatchingValue(&attrs, "a", nullptr));
    EXPECT_FALSE(TreeSearch::HasMatchingValue(&attrs, "b", ""));
    EXPECT_TRUE(TreeSearch::HasMatchingValue(&attrs, "b", "3*"));   // second pair of the name
    EXPECT_FALSE(TreeSearch::HasMatchingValue(&attrs, "", "*"));
    EXPECT_FALSE(TreeSearch::HasMatchingValue(&attrs, "B", "*"));
    // Values of 500 bytes and more give the same answers.
    const std::string longValue = std::string(700, 'x') + "end";
    attrs.Add("long", longValue.c_str());
    EXPECT_TRUE(TreeSearch::HasMatchingValue(&attrs, "long", "x*end"));
    EXPECT_TRUE(TreeSearch::HasMatchingValue(&attrs, "long", longValue.c_str()));
    EXPECT_FALSE(TreeSearch::HasMatchingValue(&attrs, "long", "*x"));
}

TEST(TreeSearch, NulBytesAreMatchedAsPartOfTagAndContent) {
    TreeNode* doc = TreeNode::NewTree("doc");
    TreeNode* rec = TreeNode::AddChild(doc, "rec", "");
    TreeNode* field = TreeNode::AddChild(rec, "f", "");
    field->SetContent("ab\0cd", 5);
    TreeNode* odd = TreeNode::AddChild(doc, "", "");
    odd->SetTag("n\0x", 3);
    EXPECT_FALSE(TreeSearch::ContentMatches(field, "ab", true));
    EXPECT_TRUE(TreeSearch::ContentMatches(field, "AB*CD", false));
    EXPECT_TRUE(TreeSearch::ChildContentMatches(rec, "f", "*cd", true));
    EXPECT_EQ(TreeSearch::SearchAllForContent(doc, nullptr, "ab"), nullptr);
    EXPECT_EQ(TreeSearch::SearchForContent(doc, nullptr, "f", "ab*d"), field);
    EXPECT_EQ(TreeSearch::FindNextRecord(rec, "f", "ab"), nullptr);
    EXPECT_EQ(TreeSearch::FindNextRecord(rec, "f", "ab*"), rec);
    EXPECT_EQ(TreeSearch::SearchForTag(doc, nullptr, "n"), nullptr);
    TreeNode::DestroyTree(doc);
}

TEST(TreeSearch, WideLevelsAndRepeatedAfter) {
    TreeNode* root = TreeNode::NewTree("r");
    TreeNode* parents[2] = {TreeNode::AddChild(root, "p", ""), TreeNode::AddChild(root, "p", "")};
    const int kWide = 20000;
    for (int i = 0; i < kWide; ++i)
        TreeNode::AddChild(parents[i % 2], "c", i % 1000 >= 998 ? "hit" : "");
    // All hits below the first parent come before those below the second.
    std::vector<TreeNode*> hits;
    for (TreeNode* h = nullptr; (h = TreeSearch::SearchForContent(root, h, "c", "hit"));)
        hits.push_back(h);
    ASSERT_EQ(hits.size(), 2u * kWide / 1000);
    for (size_t i = 0; i < hits.size(); ++i)
        EXPECT_EQ(hits[i]->GetParent(), parents[i < hits.size() / 2 ? 0 : 1]) << i;
    EXPECT_EQ(hits.back(), parents[1]->LastChild());
    TreeNode::DestroyTree(root);
}

TEST(TreeSearch, FindNextRecord) {
    TreeNode* list = TreeNode::NewTree("list");
    TreeNode* recs[4];
    const char* fields[4][2] = {{"name", "alpha"}, {"other", "beta"}, {"name", "beta"}, {"name", "gamma"}};
    for (int i = 0; i < 4; ++i) {
        recs[i] = TreeNode::AddChild(list, "rec", "");
        TreeNode::AddChild(recs[i], fields[i][0], fields[i][1]);
    }
    TreeNode::AddChild(recs[2], "name", "gamma");
    EXPECT_EQ(TreeSearch::FindNextRecord(recs[0], "name", "*"), recs[0]);
    EXPECT_EQ(TreeSearch::FindNextRecord(recs[0], "name", "b*"), recs[2]);
    EXPECT_EQ(TreeSearch::FindNextRecord(recs[0], "name", "gamma"), recs[3]);   // first child only
    EXPECT_EQ(TreeSearch::FindNextRecord(recs[1], "name", "alpha"), nullptr);
    EXPECT_EQ(TreeSearch::FindNextRecord(recs[3], "name", "Gamma"), nullptr);
    TreeNode::DestroyTree(list);
}

}  // namespace
}  // namespace tarvex
