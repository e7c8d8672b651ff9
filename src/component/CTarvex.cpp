// CTarvex: identity, lifetime, the IDispatch seam, result objects and the
// text conversions shared by all members.
#include "component/CTarvex.h"

#include <new>

#include "component/DispatchEngine.h"
#include "component/ModuleCount.h"
#include "text/StringBuffer.h"
#include "charset/WideString.h"
#include "tree/TreeNode.h"

namespace tarvex {

// {9298FF09-DE21-4195-947E-9EF2174AE9EC}
extern "C" const IID IID_ITarvexSelf = {
    0x9298FF09, 0xDE21, 0x4195, {0x94, 0x7E, 0x9E, 0xF2, 0x17, 0x4A, 0xE9, 0xEC}};

namespace {
const char kFreshTag[] = "unnamed";
const char kParameterIsNull[] = "Parameter is NULL";
}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

CTarvex::CTarvex(IUnknown* outer) : inner_(*this), outer_(outer ? outer : &inner_) {
    ModuleCount::Lock();
    current_ = TreeNode::NewTree(kFreshTag);
    if (current_) TreeNode::AddRef(current_);
}

CTarvex::~CTarvex() {
    ReleaseNode(current_);
    current_ = nullptr;
    ReleasePageObjects();
    ModuleCount::Unlock();
}

CTarvex* CTarvex::NewObject(IUnknown* outer) {
    CTarvex* object = new (std::nothrow) CTarvex(outer);
    if (object && !object->current_) {
        delete object;
        return nullptr;
    }
    return object;
}

// ---------------------------------------------------------------------------
// IUnknown

HRESULT CTarvex::InnerQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IUnknown* answer = nullptr;
    if (IsEqualIID(riid, IID_IUnknown))
        answer = &inner_;
    else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ITarvex))
        answer = static_cast<ITarvex*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        answer = static_cast<ISupportErrorInfo*>(this);
    else if (IsEqualIID(riid, IID_ITarvexSelf))
        answer = static_cast<ITarvexSelf*>(this);
    else
        return E_NOINTERFACE;
    answer->AddRef();
    *ppv = answer;
    return S_OK;
}

ULONG CTarvex::InnerAddRef() { return ++refCount_; }

ULONG CTarvex::InnerRelease() {
    ULONG remaining = --refCount_;
    if (remaining == 0) delete this;
    return remaining;
}

HRESULT CTarvex::Inner::QueryInterface(REFIID riid, void** ppv) { return owner_.InnerQueryInterface(riid, ppv); }
ULONG CTarvex::Inner::AddRef() { return owner_.InnerAddRef(); }
ULONG CTarvex::Inner::Release() { return owner_.InnerRelease(); }

HRESULT CTarvex::QueryInterface(REFIID riid, void** ppv) { return outer_->QueryInterface(riid, ppv); }
ULONG CTarvex::AddRef() { return outer_->AddRef(); }
ULONG CTarvex::Release() { return outer_->Release(); }

HRESULT CTarvex::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ITarvex) ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------------------
// IDispatch

HRESULT CTarvex::GetTypeInfoCount(UINT* pctinfo) { return DispatchEngine::GetTypeInfoCount(pctinfo); }

HRESULT CTarvex::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
    return DispatchEngine::GetTypeInfo(iTInfo, lcid, ppTInfo);
}

HRESULT CTarvex::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) {
    return DispatchEngine::GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

HRESULT CTarvex::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    return DispatchEngine::Invoke(this, dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                                  puArgErr);
}

// ---------------------------------------------------------------------------
// Helpers

CTarvex::Resolved::Resolved(ITarvex* object) {
    if (object == nullptr) return;
    void* p = nullptr;
    if (FAILED(object->QueryInterface(IID_ITarvexSelf, &p)) || p == nullptr) return;
    self_ = static_cast<ITarvexSelf*>(p);
    object_ = self_->Self();
}

CTarvex::Resolved::~Resolved() {
    if (self_) self_->Release();
}

CTarvex::Context::Context(Logger& log, const char* name, bool clearFirst) : log_(log) {
    if (clearFirst) log_.ClearLog();
    log_.EnterContext(name, 1);
}

CTarvex::Context::~Context() { log_.LeaveContext(); }

bool CTarvex::Context::RefuseNull(bool isNull) {
    if (isNull) log_.LogError(kParameterIsNull);
    return isNull;
}

void CTarvex::LogFailure(const char* context, const char* error) {
    Context scope(log_, context);
    log_.LogError(error);
}

void CTarvex::LogNullParameter(const char* context) { LogFailure(context, kParameterIsNull); }

void CTarvex::LogNoChildAt(const char* context, LONG index) {
    Context scope(log_, context);
    log_.LogError("No child at this index");
    log_.LogData("index", intToText(index));
}

void CTarvex::ReleaseNode(TreeNode* node) {
    if (node == nullptr) return;
    TreeNode::ReleaseRef(node);
    if (TreeNode::TreeTotal(node) == 0) TreeNode::DestroyTree(node);
}

ITarvex* CTarvex::CreateResultObject(TreeNode* node) {
    CTarvex* object = NewObject(nullptr);
    if (object == nullptr) return nullptr;
    // The fresh tree every object starts on is nobody else's: drop it.
    TreeNode* fresh = object->current_;
    TreeNode::ReleaseRef(fresh);
    TreeNode::Destroy(fresh);
    object->current_ = node;
    TreeNode::AddRef(node);
    object->InnerAddRef();
    return object;
}

ITarvex* CTarvex::CreateChildResultObject(const char* tag, const char* content) {
    CTarvex* object = NewObject(nullptr);
    if (object == nullptr) return nullptr;
    // The root of the new object's fresh tree becomes the new child.
    TreeNode* node = object->current_;
    node->SetTag(tag);
    // An empty content is a content all the same (it matches "*"); only a
    // child made without one has none.
    if (content) node->SetContent(content);
    TreeNode::ReleaseRef(node);
    const bool adopted = TreeNode::AdoptChild(current_, node);
    TreeNode::AddRef(node);
    object->InnerAddRef();
    if (!adopted) {
        object->InnerRelease();
        return nullptr;
    }
    return object;
}

void CTarvex::MoveTo(TreeNode* node) {
    // Both nodes lie in the same tree, so its total cannot reach 0 here.
    TreeNode* former = current_;
    TreeNode::AddRef(node);
    current_ = node;
    TreeNode::ReleaseRef(former);
}

void CTarvex::ReplaceCurrentNode(TreeNode* node) {
    ReleaseNode(current_);
    current_ = node;
    TreeNode::AddRef(node);
}

void CTarvex::MoveIfFound(TreeNode* target, LONG* found) {
    if (found) *found = 0;
    if (target == nullptr) return;
    MoveTo(target);
    if (found) *found = 1;
}

HRESULT CTarvex::ReturnNode(const char* context, TreeNode* node, ITarvex** out) {
    if (out == nullptr) {
        LogNullParameter(context);
        return S_OK;
    }
    *out = node ? CreateResultObject(node) : nullptr;
    return S_OK;
}

void CTarvex::ToUtf8(BSTR text, StringBuffer& out) {
    out.clear();
    appendBstrUtf8(text, out);
}

void CTarvex::ToKey(BSTR text, StringBuffer& out) {
    ToUtf8(text, out);
    TrimKey(out);
}

void CTarvex::TrimKey(StringBuffer& text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    int32_t n = text.getSize();
    const char* s = text.getString();
    int32_t end = n;
    while (end > 0 && isSpace(s[end - 1])) --end;
    if (end < n) text.shorten(n - end);
    int32_t start = 0;
    while (start < end && isSpace(s[start])) ++start;
    if (start > 0) text.removeChunk(0, start);
}

BSTR CTarvex::NewBstr(const StringBuffer& utf8) { return utf8ToBstr(utf8); }

BSTR CTarvex::NewBstr(const char* utf8, int32_t length) { return utf8ToBstr(utf8, length); }

}  // namespace tarvex
