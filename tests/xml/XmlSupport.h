// Helpers of the parser and serializer tests: a document that frees its tree,
// and renderings of what a tree holds.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/TextSupport.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlSerializer.h"

namespace tarvex_test {

using tarvex::TreeNode;

// A file name of this run's own, so concurrent runs do not meet.
inline std::string uniquePath(const char* name) {
    return testing::TempDir() + std::to_string(std::random_device{}()) + "_" + name;
}

inline std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Owns a root: parsed from UTF-8 text, or adopted.
struct Doc {
    TreeNode* root = nullptr;
    tarvex::Logger log;
    explicit Doc(const std::string& text) {
        EXPECT_TRUE(tarvex::XmlParser::parseUtf8(text.data(), static_cast<int32_t>(text.size()), &log, &root));
    }
    explicit Doc(TreeNode* node) : root(node) {}
    ~Doc() {
        if (root) TreeNode::Destroy(root);
    }
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;
    std::string logText() { return tarvex_test::logText(log); }
};

inline std::string content(const TreeNode* n) { return std::string(n->GetContent(), n->GetContentLength()); }

// "name=value;" for each attribute, in order.
inline std::string attrs(const TreeNode* n) {
    std::string s;
    tarvex::AttributeSet* set = n ? n->Attributes() : nullptr;
    for (int32_t i = 0; set && i < set->Count(); ++i) {
        int32_t a = 0, b = 0;
        const char* name = set->NamePtr(i, &a);
        const char* value = set->ValuePtr(i, &b);
        s += std::string(name, a) + "=" + std::string(value, b) + ";";
    }
    return s;
}

inline std::string prolog(const TreeNode* root) {
    tarvex::StringBuffer* p = root->GetTree()->prolog;
    return p ? std::string(p->getString(), p->getSize()) : std::string();
}

inline std::string xmlOf(TreeNode* node) {
    tarvex::StringBuffer out;
    tarvex::XmlSerializer::serializeNode(node, out, 0);
    return textOf(out);
}

// Everything the serializer writes, read back as one comparable text.
inline std::string describe(TreeNode* root) {
    tarvex::TreeInfo* t = root->GetTree();
    std::string s = "decl:" + attrs(t->declaration) + "\nstyle:" + attrs(t->stylesheet) + "\nprolog:" + prolog(root) + "\n";
    std::vector<std::pair<TreeNode*, int>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        s += std::string(depth, ' ') + n->GetTag() + (n->IsCdata() ? " cdata" : "") + " {" + content(n) + "} " +
             attrs(n) + "\n";
        for (int32_t i = n->NumChildren() - 1; i >= 0; --i) stack.push_back({n->GetChild(i), depth + 1});
    }
    return s;
}

}  // namespace tarvex_test
