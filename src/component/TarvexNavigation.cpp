// CTarvex members that walk the tree, hand out result objects on other nodes,
// move the cursor and change the tree's structure.
#include "component/CTarvex.h"

#include "text/StringBuffer.h"
#include "tree/TreeNode.h"

namespace tarvex {
namespace {
const char kCannotResolve[] = "Object cannot be resolved";
}  // namespace

// ---------------------------------------------------------------------------
// Result objects on other nodes

HRESULT CTarvex::GetRoot(ITarvex** root) {
    if (root) *root = nullptr;
    TreeNode* node = current_->GetRoot();
    return ReturnNode("GetRoot", node ? node : current_, root);
}

HRESULT CTarvex::GetChild(LONG index, ITarvex** child) {
    if (child == nullptr) {
        LogNullParameter("GetChild");
        return S_OK;
    }
    *child = nullptr;
    TreeNode* node = current_->GetChild(index);
    if (node == nullptr) {
        LogNoChildAt("GetChild", index);
        return S_OK;
    }
    *child = CreateResultObject(node);
    return S_OK;
}

HRESULT CTarvex::GetParent(ITarvex** parent) {
    if (parent) *parent = nullptr;
    return ReturnNode("GetParent", current_->GetParent(), parent);
}

HRESULT CTarvex::FirstChild(ITarvex** child) {
    if (child) *child = nullptr;
    return ReturnNode("FirstChild", current_->GetChild(0), child);
}

HRESULT CTarvex::LastChild(ITarvex** child) {
    if (child) *child = nullptr;
    return ReturnNode("LastChild", current_->LastChild(), child);
}

HRESULT CTarvex::NextSibling(ITarvex** sibling) {
    if (sibling) *sibling = nullptr;
    return ReturnNode("NextSibling", current_->GetNextSibling(), sibling);
}

HRESULT CTarvex::PreviousSibling(ITarvex** sibling) {
    if (sibling) *sibling = nullptr;
    return ReturnNode("PreviousSibling", current_->GetPreviousSibling(), sibling);
}

HRESULT CTarvex::GetChildWithTag(BSTR Tag, ITarvex** child) {
    if (child) *child = nullptr;
    if (Tag == nullptr || child == nullptr) {
        LogNullParameter("GetChildWithTag");
        return S_OK;
    }
    StringBuffer tag;
    ToKey(Tag, tag);
    TreeNode* node = current_->FirstChildWithTag(tag.getString());
    *child = node ? CreateResultObject(node) : nullptr;
    return S_OK;
}

HRESULT CTarvex::FindChild(BSTR Tag, ITarvex** child) {
    if (child) *child = nullptr;
    Context scope(log_, "FindChild");
    if (scope.RefuseNull(Tag == nullptr || child == nullptr)) return S_OK;
    StringBuffer tag;
    ToKey(Tag, tag);
    TreeNode* node = current_->FirstChildWithTag(tag.getString());
    if (node == nullptr) return S_OK;
    *child = CreateResultObject(node);
    if (*child == nullptr) LogCreateFailure();
    return S_OK;
}

HRESULT CTarvex::GetNthChildWithTag(BSTR Tag, LONG n, ITarvex** child) {
    if (child) *child = nullptr;
    if (Tag == nullptr || child == nullptr) {
        LogNullParameter("GetNthChildWithTag");
        return S_OK;
    }
    StringBuffer tag;
    ToKey(Tag, tag);
    TreeNode* node = current_->NthChildWithTag(n, tag.getString());
    if (node == nullptr) {
        // This failure is logged under the member's former name.
        Context scope(log_, "GetNthChildByTag");
        log_.LogError("Not enough children have that tag.");
        log_.LogData("tag", tag.getString());
        log_.LogDataLong("n_value", n);
        return S_OK;
    }
    *child = CreateResultObject(node);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Moving the cursor

HRESULT CTarvex::GetChild2(LONG index, LONG* found) {
    MoveIfFound(current_->GetChild(index), found);
    return S_OK;
}

HRESULT CTarvex::GetParent2(LONG* found) {
    MoveIfFound(current_->GetParent(), found);
    return S_OK;
}

HRESULT CTarvex::FirstChild2(LONG* found) {
    MoveIfFound(current_->GetChild(0), found);
    return S_OK;
}

HRESULT CTarvex::LastChild2(LONG* found) {
    MoveIfFound(current_->LastChild(), found);
    return S_OK;
}

HRESULT CTarvex::NextSibling2(LONG* found) {
    MoveIfFound(current_->GetNextSibling(), found);
    return S_OK;
}

HRESULT CTarvex::PreviousSibling2(LONG* found) {
    MoveIfFound(current_->GetPreviousSibling(), found);
    return S_OK;
}

HRESULT CTarvex::GetRoot2() {
    TreeNode* root = current_->GetRoot();
    if (root == nullptr) {
        LogFailure("GetRoot2", "No root");
        return S_OK;
    }
    if (root != current_) MoveTo(root);
    return S_OK;
}

HRESULT CTarvex::FindChild2(BSTR Tag, LONG* found) {
    if (found) *found = 0;
    Context scope(log_, "FindChild2");
    if (scope.RefuseNull(Tag == nullptr)) return S_OK;
    StringBuffer tag;
    ToKey(Tag, tag);
    MoveIfFound(current_->FirstChildWithTag(tag.getString()), found);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Children by tag

HRESULT CTarvex::GetChildContent(BSTR Tag, BSTR* pVal) {
    if (pVal == nullptr) return S_OK;
    StringBuffer tag;
    ToKey(Tag, tag);
    TreeNode* node = current_->FirstChildWithTag(tag.getString());
    if (node == nullptr)
        *pVal = NewBstr("", 0);
    else if (!node->HasContent())
        *pVal = nullptr;
    else
        *pVal = NewBstr(node->GetContent(), node->GetContentLength());
    return S_OK;
}

HRESULT CTarvex::NumChildrenHavingTag(BSTR Tag, LONG* pVal) {
    if (pVal) *pVal = 0;
    if (Tag == nullptr || pVal == nullptr) {
        LogNullParameter("NumChildrenHavingTag");
        return S_OK;
    }
    StringBuffer tag;
    ToKey(Tag, tag);
    *pVal = current_->CountChildrenWithTag(tag.getString());
    return S_OK;
}

HRESULT CTarvex::UpdateChildContent(BSTR Tag, BSTR value) {
    StringBuffer tag;
    StringBuffer content;
    ToUtf8(Tag, tag);  // not trimmed
    ToUtf8(value, content);
    if (TreeNode* node = current_->FirstChildWithTag(tag.getString()))
        node->SetContent(content.getString());
    else
        TreeNode::AddChild(current_, tag.getString(), content.getString());
    return S_OK;
}

// ---------------------------------------------------------------------------
// Creating, removing and moving nodes

HRESULT CTarvex::SwapNode(ITarvex* node) {
    if (node == nullptr) {
        LogNullParameter("SwapNode");
        return S_OK;
    }
    Resolved other(node);
    if (other.get() == nullptr) {
        LogFailure("SwapNode", kCannotResolve);
        return S_OK;
    }
    if (other.get()->current_ != current_) TreeNode::SwapNodeData(current_, other.get()->current_);
    return S_OK;
}

HRESULT CTarvex::SwapTree(ITarvex* tree) {
    if (tree == nullptr) {
        LogNullParameter("SwapTree");
        return S_OK;
    }
    Resolved other(tree);
    if (other.get() == nullptr) {
        LogFailure("SwapTree", kCannotResolve);
        return S_OK;
    }
    TreeNode* b = other.get()->current_;
    if (b == current_) return S_OK;
    // Exchanging children with an ancestor or a descendant would make a node
    // its own descendant: refused, nothing changes.
    if (!TreeNode::SwapChildren(current_, b)) LogFailure("SwapTree", "Cannot swap with an ancestor or descendant");
    return S_OK;
}

HRESULT CTarvex::AddChildTree(ITarvex* tree) {
    if (tree == nullptr) {
        LogNullParameter("AddChildTree");
        return S_OK;
    }
    Resolved other(tree);
    if (other.get() == nullptr) {
        LogFailure("AddChildTree", kCannotResolve);
        return S_OK;
    }
    TreeNode* node = other.get()->current_;
    // Checked before anything is detached, so a refused call changes nothing.
    if (node == current_ || node->IsAncestorOf(current_)) {
        LogFailure("AddChildTree", "Cannot add an ancestor as a child");
        return S_OK;
    }
    TreeNode::DetachFromParent(node);
    if (!TreeNode::AdoptChild(current_, node)) LogFailure("AddChildTree", "Failed to add the child tree");
    return S_OK;
}

HRESULT CTarvex::ExtractChildByIndex(LONG index, ITarvex** child) {
    if (child == nullptr) {
        LogNullParameter("ExtractChildByIndex");
        return S_OK;
    }
    *child = nullptr;
    TreeNode* node = current_->GetChild(index);
    if (node == nullptr) {
        LogNoChildAt("ExtractChildByIndex", index);
        return S_OK;
    }
    // The result object counts its reference before the child is detached, so
    // the detached subtree is never left without an owner.
    *child = CreateResultObject(node);
    if (*child) TreeNode::DetachFromParent(node);
    return S_OK;
}

HRESULT CTarvex::NewChild(BSTR Tag, BSTR Content, ITarvex** child) {
    if (child == nullptr) {
        LogNullParameter("NewChild");
        return S_OK;
    }
    StringBuffer tag;
    StringBuffer content;
    ToKey(Tag, tag);
    ToUtf8(Content, content);
    *child = CreateChildResultObject(tag.getString(), content.getString());
    return S_OK;
}

HRESULT CTarvex::FindOrAddNewChild(BSTR Tag, ITarvex** child) {
    if (child) *child = nullptr;
    Context scope(log_, "FindOrAddNewChild");
    if (scope.RefuseNull(Tag == nullptr || child == nullptr)) return S_OK;
    StringBuffer tag;
    ToKey(Tag, tag);
    if (TreeNode* node = current_->FirstChildWithTag(tag.getString()))
        *child = CreateResultObject(node);
    else
        *child = CreateChildResultObject(tag.getString(), nullptr);
    if (*child == nullptr) LogCreateFailure();
    return S_OK;
}

HRESULT CTarvex::Clear() {
    TreeNode* fresh = TreeNode::NewTree("unnamed");
    if (fresh) ReplaceCurrentNode(fresh);
    return S_OK;
}

HRESULT CTarvex::RemoveFromTree() {
    TreeNode::DetachFromParent(current_);
    return S_OK;
}

HRESULT CTarvex::NewChild2(BSTR Tag, BSTR Content) {
    if (Tag == nullptr || Content == nullptr) {
        // Logged after the previous call's log, which stays.
        Context scope(log_, "NewChild2", false);
        log_.LogError("Null Parameter");
        return S_OK;
    }
    StringBuffer tag;
    StringBuffer content;
    ToKey(Tag, tag);
    ToUtf8(Content, content);
    TreeNode::AddChild(current_, tag.getString(), content.getString());
    return S_OK;
}

}  // namespace tarvex
