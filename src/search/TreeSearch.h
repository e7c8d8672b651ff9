// TreeSearch: breadth-first searches of a subtree, the attribute pattern test,
// record lookup along siblings and the content pattern tests.
//
// Tags compare byte for byte, case-sensitive; an absent tag is the empty tag.
// Patterns use WildcardMatch ("*" is the only special character).
#pragma once

namespace tarvex {

class TreeNode;
class AttributeSet;

class TreeSearch {
public:
    // What a node must satisfy to be found by SearchSubtree. All pattern tests
    // here are case-sensitive; the match text is the node's content, or the
    // empty text when it has none. A null tag is the empty tag.
    struct Test {
        enum class Kind { Tag, TagAndContent, Content, TagAndAttribute };
        Kind kind = Kind::Tag;
        const char* tag = nullptr;
        const char* pattern = nullptr;
        const char* attrName = nullptr;

        static Test ForTag(const char* tag);
        static Test ForTagAndContent(const char* tag, const char* pattern);
        static Test ForContent(const char* pattern);
        static Test ForAttribute(const char* tag, const char* attrName, const char* pattern);

        bool Passes(const TreeNode* node) const;
    };

    // Level-order search of the subtree of `start`, `start` itself first.
    // With `after` set, nodes up to and including `after` are not tested, so
    // passing the previous result walks through all matches; when `after` is
    // not in the subtree, nothing is found.
    static TreeNode* SearchSubtree(TreeNode* start, const TreeNode* after, const Test& test);

    static TreeNode* SearchForTag(TreeNode* start, const TreeNode* after, const char* tag);
    static TreeNode* SearchForContent(TreeNode* start, const TreeNode* after, const char* tag,
                                      const char* pattern);
    static TreeNode* SearchAllForContent(TreeNode* start, const TreeNode* after, const char* pattern);
    static TreeNode* SearchForAttribute(TreeNode* start, const TreeNode* after, const char* tag,
                                        const char* attrName, const char* pattern);

    // True when some attribute named `name` has a value matching `pattern`
    // (case-sensitive). False for a null list, a null or empty name or an
    // empty list; a null pattern is the empty pattern.
    static bool HasMatchingValue(const AttributeSet* attributes, const char* name, const char* pattern);

    // `start` or the first following sibling whose first child tagged `tag`
    // has content matching `pattern` (case-sensitive); null when none.
    static TreeNode* FindNextRecord(TreeNode* start, const char* tag, const char* pattern);

    // False when the node has no content buffer (never had content); an
    // existing but emptied content is the empty text.
    static bool ContentMatches(const TreeNode* node, const char* pattern, bool caseSensitive);
    // ContentMatches on the first child tagged `tag`; false when there is none.
    static bool ChildContentMatches(const TreeNode* node, const char* tag, const char* pattern,
                                    bool caseSensitive);
};

}  // namespace tarvex
