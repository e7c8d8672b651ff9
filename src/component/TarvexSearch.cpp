// CTarvex members that search the subtree and sort children.
#include "component/CTarvex.h"

#include "search/ChildSort.h"
#include "search/TreeSearch.h"
#include "text/StringBuffer.h"
#include "tree/TreeNode.h"

namespace tarvex {
// The four subtree searches share one frame: a context, the out-value, the
// starting point `after` (none when null or not one of ours) and a result
// object on what was found.
#define TARVEX_SEARCH_FRAME(name, out)                  \
    if (out) *out = nullptr;                            \
    Context scope(log_, name);                          \
    if (scope.RefuseNull(out == nullptr)) return S_OK;  \
    Resolved start(after);                              \
    const TreeNode* afterNode = start.get() ? start.get()->current_ : nullptr

HRESULT CTarvex::SearchForTag(ITarvex* after, BSTR Tag, ITarvex** node) {
    TARVEX_SEARCH_FRAME("SearchForTag", node);
    StringBuffer tag;
    ToKey(Tag, tag);
    TreeNode* found = TreeSearch::SearchForTag(current_, afterNode, tag.getString());
    if (found && (*node = CreateResultObject(found)) == nullptr) LogCreateFailure();
    return S_OK;
}

HRESULT CTarvex::SearchForContent(ITarvex* after, BSTR Tag, BSTR contentPattern, ITarvex** node) {
    TARVEX_SEARCH_FRAME("SearchForContent", node);
    StringBuffer tag;
    StringBuffer pattern;
    ToKey(Tag, tag);
    ToUtf8(contentPattern, pattern);
    TreeNode* found = TreeSearch::SearchForContent(current_, afterNode, tag.getString(), pattern.getString());
    if (found && (*node = CreateResultObject(found)) == nullptr) LogCreateFailure();
    return S_OK;
}

HRESULT CTarvex::SearchAllForContent(ITarvex* after, BSTR contentPattern, ITarvex** node) {
    TARVEX_SEARCH_FRAME("SearchAllForContent", node);
    StringBuffer pattern;
    ToUtf8(contentPattern, pattern);
    TreeNode* found = TreeSearch::SearchAllForContent(current_, afterNode, pattern.getString());
    if (found && (*node = CreateResultObject(found)) == nullptr) LogCreateFailure();
    return S_OK;
}

HRESULT CTarvex::SearchForAttribute(ITarvex* after, BSTR Tag, BSTR attr, BSTR valuePattern, ITarvex** node) {
    TARVEX_SEARCH_FRAME("SearchForAttribute", node);
    StringBuffer tag;
    StringBuffer name;
    StringBuffer pattern;
    ToKey(Tag, tag);
    ToKey(attr, name);
    ToUtf8(valuePattern, pattern);
    TreeNode* found = TreeSearch::SearchForAttribute(current_, afterNode, tag.getString(), name.getString(),
                                                     pattern.getString());
    if (found && (*node = CreateResultObject(found)) == nullptr) LogCreateFailure();
    return S_OK;
}

#undef TARVEX_SEARCH_FRAME

HRESULT CTarvex::FindNextRecord(BSTR Tag, BSTR contentPattern, ITarvex** node) {
    if (node == nullptr) return S_OK;
    *node = nullptr;
    StringBuffer tag;
    StringBuffer pattern;
    ToKey(Tag, tag);
    ToUtf8(contentPattern, pattern);
    TreeNode* found = TreeSearch::FindNextRecord(current_, tag.getString(), pattern.getString());
    if (found) *node = CreateResultObject(found);
    return S_OK;
}

HRESULT CTarvex::ExtractChildByName(BSTR Tag, BSTR attrName, BSTR attrValue, ITarvex** child) {
    if (child) *child = nullptr;
    Context scope(log_, "ExtractChildByName");
    if (scope.RefuseNull(Tag == nullptr || child == nullptr)) return S_OK;
    StringBuffer tag;
    StringBuffer name;
    StringBuffer pattern;
    ToKey(Tag, tag);
    ToKey(attrName, name);
    ToUtf8(attrValue, pattern);
    if (pattern.getSize() == 0) pattern.setString("*");

    TreeNode* found = name.getSize() == 0
                          ? current_->FirstChildWithTag(tag.getString())
                          : TreeSearch::SearchForAttribute(current_, nullptr, tag.getString(), name.getString(),
                                                           pattern.getString());
    if (found == nullptr) {
        log_.LogInfo("No child found with this tag");
        log_.LogData("tag", tag.getString());
        log_.LogData("attribute", name.getString());
        log_.LogData("attribute_value_pattern", pattern.getString());
        return S_OK;
    }
    // The result object counts its reference before the node is detached, so
    // the detached subtree always has an owner.
    *child = CreateResultObject(found);
    if (*child == nullptr) {
        LogCreateFailure();
        return S_OK;
    }
    TreeNode::DetachFromParent(found);
    return S_OK;
}

HRESULT CTarvex::ContentMatches(BSTR pattern, LONG caseSensitive, LONG* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer p;
    ToUtf8(pattern, p);
    *pVal = TreeSearch::ContentMatches(current_, p.getString(), caseSensitive != 0) ? 1 : 0;
    return S_OK;
}

HRESULT CTarvex::ChildContentMatches(BSTR Tag, BSTR pattern, LONG caseSensitive, LONG* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer tag;
    StringBuffer p;
    ToUtf8(Tag, tag);  // not trimmed
    ToUtf8(pattern, p);
    *pVal = TreeSearch::ChildContentMatches(current_, tag.getString(), p.getString(), caseSensitive != 0) ? 1 : 0;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Sorting

HRESULT CTarvex::SortByTag(LONG ascending) {
    ChildSort::SortByTag(current_, ascending != 0);
    return S_OK;
}

HRESULT CTarvex::SortByContent(LONG ascending) {
    ChildSort::SortByContent(current_, ascending != 0);
    return S_OK;
}

HRESULT CTarvex::SortByAttribute(BSTR attrName, LONG ascending) {
    StringBuffer name;
    ToKey(attrName, name);
    ChildSort::SortByAttribute(current_, name.getString(), ascending != 0);
    return S_OK;
}

HRESULT CTarvex::SortRecordsByContent(BSTR sortTag, LONG ascending) {
    StringBuffer tag;
    ToKey(sortTag, tag);
    ChildSort::SortRecordsByContent(current_, tag.getString(), ascending != 0);
    return S_OK;
}

HRESULT CTarvex::SortRecordsByAttribute(BSTR sortTag, BSTR attrName, LONG ascending) {
    StringBuffer tag;
    StringBuffer name;
    ToKey(sortTag, tag);
    ToKey(attrName, name);
    ChildSort::SortRecordsByAttribute(current_, tag.getString(), name.getString(), ascending != 0);
    return S_OK;
}

}  // namespace tarvex
