#include "tree/TreeInfo.h"

#include <atomic>

#include "base/BlockHeap.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"
#include "tree/TreeNode.h"

namespace tarvex {

namespace {
std::atomic<int32_t> gNextTreeId{100};
}  // namespace

int32_t TreeInfo::NextTreeId() { return gNextTreeId.fetch_add(1, std::memory_order_relaxed); }

void* TreeInfo::operator new(size_t n) { return memAlloc(n); }
void TreeInfo::operator delete(void* p) { memFree(p); }

TreeInfo::TreeInfo(BlockHeap* heap) : heap(heap), treeId(NextTreeId()) {}

TreeInfo::~TreeInfo() {
    SetDeclaration(nullptr);
    SetStylesheet(nullptr);
    SetProlog(nullptr);
    if (heap) heap->Root()->ReleaseTree();
}

void TreeInfo::SetDeclaration(TreeNode* node) {
    TreeNode* old = declaration;
    declaration = node;
    if (old && old != node) TreeNode::DestroyTree(old);
}

void TreeInfo::SetStylesheet(TreeNode* node) {
    TreeNode* old = stylesheet;
    stylesheet = node;
    if (old && old != node) TreeNode::DestroyTree(old);
}

void TreeInfo::SetProlog(StringBuffer* text) {
    StringBuffer* old = prolog;
    prolog = text;
    if (old != text) delete old;
}

StringBuffer* TreeInfo::EnsureProlog() {
    if (!prolog) prolog = new StringBuffer();
    return prolog;
}

TreeNode* TreeInfo::EnsureDeclaration() {
    if (!declaration) {
        declaration = TreeNode::NewTree("xml");
        declaration->EnsureAttributes()->Add("version", 7, "1.0", 3);
    }
    return declaration;
}

bool TreeInfo::GetDeclarationAttribute(const char* name, StringBuffer& out) const {
    out.clear();
    AttributeSet* set = declaration ? declaration->Attributes() : nullptr;
    return set && set->GetValue(name, out);
}

void TreeInfo::SetDeclarationAttribute(const char* name, const char* value) {
    EnsureDeclaration()->EnsureAttributes()->Update(name, value);
}

}  // namespace tarvex
