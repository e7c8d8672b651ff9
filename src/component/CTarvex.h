// CTarvex: the component object behind ITarvex.
//
// An object is a cursor on one node (its current node) of a shared document
// tree. It holds one counted reference on that node, and a tree lives while
// any object points into it. Members either hand out new objects on other
// nodes (result objects) or, for the members whose names end in 2, move the
// object itself. Every member returns S_OK (only OnStartPage can fail) and
// reports failure through its out-value and the object's call log.
//
// The members are spread by family over TarvexDocument.cpp, TarvexNavigation.cpp,
// TarvexSearch.cpp, TarvexPage.cpp, TarvexLog.cpp and TarvexLater.cpp.
#pragma once

#include <cstdint>

#include "log/Logger.h"
#include "tarvex/tarvex.h"

namespace tarvex {

class CTarvex;
class DataBuffer;
class StringBuffer;
class TreeNode;

// A private interface by which an ITarvex pointer handed to a member is
// recognised as an object of this library. Its identifier is not published;
// objects that do not answer it are foreign and never looked into.
struct ITarvexSelf : public IUnknown {
    virtual CTarvex* STDMETHODCALLTYPE Self() = 0;

protected:
    ~ITarvexSelf() = default;
};

extern "C" const IID IID_ITarvexSelf;

class CTarvex final : public ITarvex, public ISupportErrorInfo, public ITarvexSelf {
public:
    // A new object on a fresh one-node tree (root tag "unnamed") with no COM
    // reference yet; null when memory runs out. With `outer` the object is
    // aggregated: its IUnknown methods delegate to `outer`, and only
    // InnerUnknown() controls its lifetime.
    static CTarvex* NewObject(IUnknown* outer);

    // The object's own (non-delegating) IUnknown.
    IUnknown* InnerUnknown() { return &inner_; }

    // IUnknown (delegating to the outer unknown when aggregated)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch (served by DispatchEngine)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

    // ITarvex, in slot order
    HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* piUnk) override;
    HRESULT STDMETHODCALLTYPE OnEndPage() override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE GetRoot(ITarvex** root) override;
    HRESULT STDMETHODCALLTYPE get_TreeId(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_NumAttributes(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Tag(BSTR newVal) override;
    HRESULT STDMETHODCALLTYPE get_Content(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Content(BSTR newVal) override;
    HRESULT STDMETHODCALLTYPE get_NumChildren(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE GetChildContent(BSTR Tag, BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_Cdata(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Cdata(LONG newVal) override;
    HRESULT STDMETHODCALLTYPE LoadXml(BSTR xmlData, LONG* success) override;
    HRESULT STDMETHODCALLTYPE LoadXmlFile(BSTR fileName, LONG* success) override;
    HRESULT STDMETHODCALLTYPE SaveXml(BSTR fileName, LONG* success) override;
    HRESULT STDMETHODCALLTYPE GetXml(BSTR* xmlData) override;
    HRESULT STDMETHODCALLTYPE AppendToContent(BSTR str) override;
    HRESULT STDMETHODCALLTYPE AddAttribute(BSTR name, BSTR value) override;
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR name) override;
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() override;
    HRESULT STDMETHODCALLTYPE GetAttributeName(LONG index, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetAttributeValue(LONG index, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE GetAttrValue(BSTR name, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE HasAttrWithValue(BSTR name, BSTR value, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SwapNode(ITarvex* node) override;
    HRESULT STDMETHODCALLTYPE SwapTree(ITarvex* tree) override;
    HRESULT STDMETHODCALLTYPE AddChildTree(ITarvex* tree) override;
    HRESULT STDMETHODCALLTYPE GetChild(LONG index, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE ExtractChildByIndex(LONG index, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE ExtractChildByName(BSTR Tag, BSTR attrName, BSTR attrValue, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE NumChildrenHavingTag(BSTR Tag, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE GetNthChildWithTag(BSTR Tag, LONG n, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE NewChild(BSTR Tag, BSTR Content, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE FindOrAddNewChild(BSTR Tag, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE SearchForTag(ITarvex* after, BSTR Tag, ITarvex** node) override;
    HRESULT STDMETHODCALLTYPE SearchForContent(ITarvex* after, BSTR Tag, BSTR contentPattern, ITarvex** node) override;
    HRESULT STDMETHODCALLTYPE SearchAllForContent(ITarvex* after, BSTR contentPattern, ITarvex** node) override;
    HRESULT STDMETHODCALLTYPE SearchForAttribute(ITarvex* after, BSTR Tag, BSTR attr, BSTR valuePattern, ITarvex** node) override;
    HRESULT STDMETHODCALLTYPE GetParent(ITarvex** parent) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
    HRESULT STDMETHODCALLTYPE FirstChild(ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE LastChild(ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE NextSibling(ITarvex** sibling) override;
    HRESULT STDMETHODCALLTYPE PreviousSibling(ITarvex** sibling) override;
    HRESULT STDMETHODCALLTYPE GetChildWithTag(BSTR Tag, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE get_Standalone(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Standalone(BSTR newVal) override;
    HRESULT STDMETHODCALLTYPE get_Encoding(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Encoding(BSTR newVal) override;
    HRESULT STDMETHODCALLTYPE FindNextRecord(BSTR Tag, BSTR contentPattern, ITarvex** node) override;
    HRESULT STDMETHODCALLTYPE RemoveFromTree() override;
    HRESULT STDMETHODCALLTYPE GetChild2(LONG index, LONG* found) override;
    HRESULT STDMETHODCALLTYPE FindChild(BSTR Tag, ITarvex** child) override;
    HRESULT STDMETHODCALLTYPE CompressSubtree() override;
    HRESULT STDMETHODCALLTYPE CompressNode() override;
    HRESULT STDMETHODCALLTYPE DecompressSubtree(LONG* success) override;
    HRESULT STDMETHODCALLTYPE DecompressNode(LONG* success) override;
    HRESULT STDMETHODCALLTYPE EncryptNode(BSTR password) override;
    HRESULT STDMETHODCALLTYPE DecryptNode(BSTR password, LONG* success) override;
    HRESULT STDMETHODCALLTYPE GetParent2(LONG* found) override;
    HRESULT STDMETHODCALLTYPE FirstChild2(LONG* found) override;
    HRESULT STDMETHODCALLTYPE LastChild2(LONG* found) override;
    HRESULT STDMETHODCALLTYPE NextSibling2(LONG* found) override;
    HRESULT STDMETHODCALLTYPE PreviousSibling2(LONG* found) override;
    HRESULT STDMETHODCALLTYPE GetRoot2() override;
    HRESULT STDMETHODCALLTYPE QEncodeContent(BSTR charset, VARIANT Content) override;
    HRESULT STDMETHODCALLTYPE BEncodeContent(BSTR charset, VARIANT Content) override;
    HRESULT STDMETHODCALLTYPE UpdateAttribute(BSTR name, BSTR value) override;
    HRESULT STDMETHODCALLTYPE DecodeContent(VARIANT* Content) override;
    HRESULT STDMETHODCALLTYPE SetBinaryContent(LONG zipFlag, LONG encryptFlag, BSTR password, VARIANT Content) override;
    HRESULT STDMETHODCALLTYPE GetBinaryContent(LONG unzipFlag, LONG decryptFlag, BSTR password, VARIANT* Content) override;
    HRESULT STDMETHODCALLTYPE NewChild2(BSTR Tag, BSTR Content) override;
    HRESULT STDMETHODCALLTYPE FindChild2(BSTR Tag, LONG* found) override;
    HRESULT STDMETHODCALLTYPE SortByTag(LONG ascending) override;
    HRESULT STDMETHODCALLTYPE SortByContent(LONG ascending) override;
    HRESULT STDMETHODCALLTYPE SortByAttribute(BSTR attrName, LONG ascending) override;
    HRESULT STDMETHODCALLTYPE SortRecordsByContent(BSTR sortTag, LONG ascending) override;
    HRESULT STDMETHODCALLTYPE SortRecordsByAttribute(BSTR sortTag, BSTR attrName, LONG ascending) override;
    HRESULT STDMETHODCALLTYPE HttpGet(BSTR url, ITarvex** response) override;
    HRESULT STDMETHODCALLTYPE LoadRequest() override;
    HRESULT STDMETHODCALLTYPE LoadXmlV(VARIANT xmlData, LONG* success) override;
    HRESULT STDMETHODCALLTYPE UpdateChildContent(BSTR Tag, BSTR value) override;
    HRESULT STDMETHODCALLTYPE ContentMatches(BSTR pattern, LONG caseSensitive, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE ChildContentMatches(BSTR Tag, BSTR pattern, LONG caseSensitive, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SaveLastError(BSTR fileName, LONG* success) override;
    HRESULT STDMETHODCALLTYPE get_LastErrorHtml(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_LastErrorXml(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_LastErrorText(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE HttpPost(BSTR url, ITarvex** response) override;
    HRESULT STDMETHODCALLTYPE DecodeEntities(BSTR str, BSTR* strOut) override;

    // ISupportErrorInfo: S_OK for ITarvex, S_FALSE for anything else.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // ITarvexSelf
    CTarvex* STDMETHODCALLTYPE Self() override { return this; }

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(CTarvex& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        CTarvex& owner_;
    };

    // Resolves an ITarvex argument to the object behind it through
    // ITarvexSelf; get() is null for a null or foreign object. Holds a
    // reference while it lives.
    class Resolved {
    public:
        explicit Resolved(ITarvex* object);
        ~Resolved();
        Resolved(const Resolved&) = delete;
        Resolved& operator=(const Resolved&) = delete;
        CTarvex* get() const { return object_; }

    private:
        ITarvexSelf* self_ = nullptr;
        CTarvex* object_ = nullptr;
    };

    // Enters a log context (after clearing the log when asked) and leaves it
    // when the scope ends.
    class Context {
    public:
        Context(Logger& log, const char* name, bool clearFirst = true);
        ~Context();
        Context(const Context&) = delete;
        Context& operator=(const Context&) = delete;

        // The refusal of a null parameter: logs "Parameter is NULL" in this
        // context when `isNull`, and returns `isNull`.
        bool RefuseNull(bool isNull);

    private:
        Logger& log_;
    };

    explicit CTarvex(IUnknown* outer);
    ~CTarvex();
    CTarvex(const CTarvex&) = delete;
    CTarvex& operator=(const CTarvex&) = delete;

    HRESULT InnerQueryInterface(REFIID riid, void** ppv);
    ULONG InnerAddRef();
    ULONG InnerRelease();

    // Result objects and cursor moves.
    ITarvex* CreateResultObject(TreeNode* node);
    ITarvex* CreateChildResultObject(const char* tag, const char* content);
    void MoveTo(TreeNode* node);
    void ReplaceCurrentNode(TreeNode* node);
    static void ReleaseNode(TreeNode* node);  // with the destruction check

    // Logging of the failure-only shape: clear, context, error, leave.
    void LogFailure(const char* context, const char* error);
    void LogNullParameter(const char* context);
    // A member that found no child at `index`.
    void LogNoChildAt(const char* context, LONG index);
    // A member that failed to create its result object.
    void LogCreateFailure() { log_.LogError("Failed to create OstrandXml COM object"); }

    // Loading.
    bool LoadUtf8Text(const StringBuffer& text, LogBase* log, TreeNode** root);
    // An object on the document parsed from an HTTP response body, or null.
    ITarvex* ParseResponseBody(DataBuffer& body);

    // Moving members: found := 1 and move when `target` exists.
    void MoveIfFound(TreeNode* target, LONG* found);
    // Failure-only result-object members on a node that may be null.
    HRESULT ReturnNode(const char* context, TreeNode* node, ITarvex** out);

    // Page objects.
    void ReleasePageObjects();

    // Text at the boundary.
    static void ToUtf8(BSTR text, StringBuffer& out);
    static void ToKey(BSTR text, StringBuffer& out);  // converted, then trimmed
    static void TrimKey(StringBuffer& text);
    static BSTR NewBstr(const StringBuffer& utf8);
    static BSTR NewBstr(const char* utf8, int32_t length);

    ULONG refCount_ = 0;
    Logger log_;
    TreeNode* current_ = nullptr;
    // Page objects taken in OnStartPage, null until then.
    IUnknown* request_ = nullptr;
    IUnknown* response_ = nullptr;
    IUnknown* session_ = nullptr;
    IUnknown* server_ = nullptr;
    IUnknown* application_ = nullptr;

    Inner inner_;
    IUnknown* outer_;
};

}  // namespace tarvex
