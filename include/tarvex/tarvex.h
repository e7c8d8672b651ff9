/* tarvex.h: the scriptable interface ITarvex of the Tarvex component, its
 * identifiers and the module entry points.
 *
 * The interface is described once, in src/module/tarvex.idl; this
 * declaration follows it member for member in slot order (slots 0-6 are
 * IUnknown and IDispatch). Conventions: every member returns S_OK (only
 * OnStartPage can fail); results come back through the last, pointer
 * argument; strings are BSTRs the caller frees with SysFreeString; returned
 * objects carry one reference for the caller. Failures show in the results
 * (0, a null object, an empty or null string) and in the call log
 * (LastErrorText).
 *
 * C++ only (the automation types of the non-Windows build are C++ types).
 */
#ifndef TARVEX_TARVEX_H
#define TARVEX_TARVEX_H

#include "tarvex/automation.h"

#ifdef __cplusplus
extern "C" {
#endif
extern const IID IID_ITarvex;      /* {AB25D644-6C31-49C1-9ED1-67B4C0502D57} */
extern const CLSID CLSID_Tarvex;   /* {3A573F1E-954B-4274-BF98-EAE8466B80B5} */
extern const GUID LIBID_TARVEXLib; /* {43379FF1-E31B-4120-829C-47DD8E11E5E6}, version 1.0 */
#ifdef __cplusplus
}
#endif

#define TARVEX_PROGID "Tarvex.Tarvex.1"
#define TARVEX_PROGID_INDEPENDENT "Tarvex.Tarvex"

struct ITarvex : public IDispatch {
    /*  7 */ virtual HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* piUnk) = 0;
    /*  8 */ virtual HRESULT STDMETHODCALLTYPE OnEndPage() = 0;
    /*  9 */ virtual HRESULT STDMETHODCALLTYPE get_Version(BSTR* pVal) = 0;
    /* 10 */ virtual HRESULT STDMETHODCALLTYPE GetRoot(ITarvex** root) = 0;
    /* 11 */ virtual HRESULT STDMETHODCALLTYPE get_TreeId(LONG* pVal) = 0;
    /* 12 */ virtual HRESULT STDMETHODCALLTYPE get_NumAttributes(LONG* pVal) = 0;
    /* 13 */ virtual HRESULT STDMETHODCALLTYPE get_Tag(BSTR* pVal) = 0;
    /* 14 */ virtual HRESULT STDMETHODCALLTYPE put_Tag(BSTR newVal) = 0;
    /* 15 */ virtual HRESULT STDMETHODCALLTYPE get_Content(BSTR* pVal) = 0;
    /* 16 */ virtual HRESULT STDMETHODCALLTYPE put_Content(BSTR newVal) = 0;
    /* 17 */ virtual HRESULT STDMETHODCALLTYPE get_NumChildren(LONG* pVal) = 0;
    /* 18 */ virtual HRESULT STDMETHODCALLTYPE GetChildContent(BSTR Tag, BSTR* pVal) = 0;
    /* 19 */ virtual HRESULT STDMETHODCALLTYPE get_Cdata(LONG* pVal) = 0;
    /* 20 */ virtual HRESULT STDMETHODCALLTYPE put_Cdata(LONG newVal) = 0;
    /* 21 */ virtual HRESULT STDMETHODCALLTYPE LoadXml(BSTR xmlData, LONG* success) = 0;
    /* 22 */ virtual HRESULT STDMETHODCALLTYPE LoadXmlFile(BSTR fileName, LONG* success) = 0;
    /* 23 */ virtual HRESULT STDMETHODCALLTYPE SaveXml(BSTR fileName, LONG* success) = 0;
    /* 24 */ virtual HRESULT STDMETHODCALLTYPE GetXml(BSTR* xmlData) = 0;
    /* 25 */ virtual HRESULT STDMETHODCALLTYPE AppendToContent(BSTR str) = 0;
    /* 26 */ virtual HRESULT STDMETHODCALLTYPE AddAttribute(BSTR name, BSTR value) = 0;
    /* 27 */ virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR name) = 0;
    /* 28 */ virtual HRESULT STDMETHODCALLTYPE RemoveAllAttributes() = 0;
    /* 29 */ virtual HRESULT STDMETHODCALLTYPE GetAttributeName(LONG index, BSTR* name) = 0;
    /* 30 */ virtual HRESULT STDMETHODCALLTYPE GetAttributeValue(LONG index, BSTR* value) = 0;
    /* 31 */ virtual HRESULT STDMETHODCALLTYPE GetAttrValue(BSTR name, BSTR* value) = 0;
    /* 32 */ virtual HRESULT STDMETHODCALLTYPE HasAttrWithValue(BSTR name, BSTR value, LONG* pVal) = 0;
    /* 33 */ virtual HRESULT STDMETHODCALLTYPE SwapNode(ITarvex* node) = 0;
    /* 34 */ virtual HRESULT STDMETHODCALLTYPE SwapTree(ITarvex* tree) = 0;
    /* 35 */ virtual HRESULT STDMETHODCALLTYPE AddChildTree(ITarvex* tree) = 0;
    /* 36 */ virtual HRESULT STDMETHODCALLTYPE GetChild(LONG index, ITarvex** child) = 0;
    /* 37 */ virtual HRESULT STDMETHODCALLTYPE ExtractChildByIndex(LONG index, ITarvex** child) = 0;
    /* 38 */ virtual HRESULT STDMETHODCALLTYPE ExtractChildByName(BSTR Tag, BSTR attrName, BSTR attrValue, ITarvex** child) = 0;
    /* 39 */ virtual HRESULT STDMETHODCALLTYPE NumChildrenHavingTag(BSTR Tag, LONG* pVal) = 0;
    /* 40 */ virtual HRESULT STDMETHODCALLTYPE GetNthChildWithTag(BSTR Tag, LONG n, ITarvex** child) = 0;
    /* 41 */ virtual HRESULT STDMETHODCALLTYPE NewChild(BSTR Tag, BSTR Content, ITarvex** child) = 0;
    /* 42 */ virtual HRESULT STDMETHODCALLTYPE FindOrAddNewChild(BSTR Tag, ITarvex** child) = 0;
    /* 43 */ virtual HRESULT STDMETHODCALLTYPE SearchForTag(ITarvex* after, BSTR Tag, ITarvex** node) = 0;
    /* 44 */ virtual HRESULT STDMETHODCALLTYPE SearchForContent(ITarvex* after, BSTR Tag, BSTR contentPattern, ITarvex** node) = 0;
    /* 45 */ virtual HRESULT STDMETHODCALLTYPE SearchAllForContent(ITarvex* after, BSTR contentPattern, ITarvex** node) = 0;
    /* 46 */ virtual HRESULT STDMETHODCALLTYPE SearchForAttribute(ITarvex* after, BSTR Tag, BSTR attr, BSTR valuePattern, ITarvex** node) = 0;
    /* 47 */ virtual HRESULT STDMETHODCALLTYPE GetParent(ITarvex** parent) = 0;
    /* 48 */ virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    /* 49 */ virtual HRESULT STDMETHODCALLTYPE FirstChild(ITarvex** child) = 0;
    /* 50 */ virtual HRESULT STDMETHODCALLTYPE LastChild(ITarvex** child) = 0;
    /* 51 */ virtual HRESULT STDMETHODCALLTYPE NextSibling(ITarvex** sibling) = 0;
    /* 52 */ virtual HRESULT STDMETHODCALLTYPE PreviousSibling(ITarvex** sibling) = 0;
    /* 53 */ virtual HRESULT STDMETHODCALLTYPE GetChildWithTag(BSTR Tag, ITarvex** child) = 0;
    /* 54 */ virtual HRESULT STDMETHODCALLTYPE get_Standalone(BSTR* pVal) = 0;
    /* 55 */ virtual HRESULT STDMETHODCALLTYPE put_Standalone(BSTR newVal) = 0;
    /* 56 */ virtual HRESULT STDMETHODCALLTYPE get_Encoding(BSTR* pVal) = 0;
    /* 57 */ virtual HRESULT STDMETHODCALLTYPE put_Encoding(BSTR newVal) = 0;
    /* 58 */ virtual HRESULT STDMETHODCALLTYPE FindNextRecord(BSTR Tag, BSTR contentPattern, ITarvex** node) = 0;
    /* 59 */ virtual HRESULT STDMETHODCALLTYPE RemoveFromTree() = 0;
    /* 60 */ virtual HRESULT STDMETHODCALLTYPE GetChild2(LONG index, LONG* found) = 0;
    /* 61 */ virtual HRESULT STDMETHODCALLTYPE FindChild(BSTR Tag, ITarvex** child) = 0;
    /* 62 */ virtual HRESULT STDMETHODCALLTYPE CompressSubtree() = 0;
    /* 63 */ virtual HRESULT STDMETHODCALLTYPE CompressNode() = 0;
    /* 64 */ virtual HRESULT STDMETHODCALLTYPE DecompressSubtree(LONG* success) = 0;
    /* 65 */ virtual HRESULT STDMETHODCALLTYPE DecompressNode(LONG* success) = 0;
    /* 66 */ virtual HRESULT STDMETHODCALLTYPE EncryptNode(BSTR password) = 0;
    /* 67 */ virtual HRESULT STDMETHODCALLTYPE DecryptNode(BSTR password, LONG* success) = 0;
    /* 68 */ virtual HRESULT STDMETHODCALLTYPE GetParent2(LONG* found) = 0;
    /* 69 */ virtual HRESULT STDMETHODCALLTYPE FirstChild2(LONG* found) = 0;
    /* 70 */ virtual HRESULT STDMETHODCALLTYPE LastChild2(LONG* found) = 0;
    /* 71 */ virtual HRESULT STDMETHODCALLTYPE NextSibling2(LONG* found) = 0;
    /* 72 */ virtual HRESULT STDMETHODCALLTYPE PreviousSibling2(LONG* found) = 0;
    /* 73 */ virtual HRESULT STDMETHODCALLTYPE GetRoot2() = 0;
    /* 74 */ virtual HRESULT STDMETHODCALLTYPE QEncodeContent(BSTR charset, VARIANT Content) = 0;
    /* 75 */ virtual HRESULT STDMETHODCALLTYPE BEncodeContent(BSTR charset, VARIANT Content) = 0;
    /* 76 */ virtual HRESULT STDMETHODCALLTYPE UpdateAttribute(BSTR name, BSTR value) = 0;
    /* 77 */ virtual HRESULT STDMETHODCALLTYPE DecodeContent(VARIANT* Content) = 0;
    /* 78 */ virtual HRESULT STDMETHODCALLTYPE SetBinaryContent(LONG zipFlag, LONG encryptFlag, BSTR password, VARIANT Content) = 0;
    /* 79 */ virtual HRESULT STDMETHODCALLTYPE GetBinaryContent(LONG unzipFlag, LONG decryptFlag, BSTR password, VARIANT* Content) = 0;
    /* 80 */ virtual HRESULT STDMETHODCALLTYPE NewChild2(BSTR Tag, BSTR Content) = 0;
    /* 81 */ virtual HRESULT STDMETHODCALLTYPE FindChild2(BSTR Tag, LONG* found) = 0;
    /* 82 */ virtual HRESULT STDMETHODCALLTYPE SortByTag(LONG ascending) = 0;
    /* 83 */ virtual HRESULT STDMETHODCALLTYPE SortByContent(LONG ascending) = 0;
    /* 84 */ virtual HRESULT STDMETHODCALLTYPE SortByAttribute(BSTR attrName, LONG ascending) = 0;
    /* 85 */ virtual HRESULT STDMETHODCALLTYPE SortRecordsByContent(BSTR sortTag, LONG ascending) = 0;
    /* 86 */ virtual HRESULT STDMETHODCALLTYPE SortRecordsByAttribute(BSTR sortTag, BSTR attrName, LONG ascending) = 0;
    /* 87 */ virtual HRESULT STDMETHODCALLTYPE HttpGet(BSTR url, ITarvex** response) = 0;
    /* 88 */ virtual HRESULT STDMETHODCALLTYPE LoadRequest() = 0;
    /* 89 */ virtual HRESULT STDMETHODCALLTYPE LoadXmlV(VARIANT xmlData, LONG* success) = 0;
    /* 90 */ virtual HRESULT STDMETHODCALLTYPE UpdateChildContent(BSTR Tag, BSTR value) = 0;
    /* 91 */ virtual HRESULT STDMETHODCALLTYPE ContentMatches(BSTR pattern, LONG caseSensitive, LONG* pVal) = 0;
    /* 92 */ virtual HRESULT STDMETHODCALLTYPE ChildContentMatches(BSTR Tag, BSTR pattern, LONG caseSensitive, LONG* pVal) = 0;
    /* 93 */ virtual HRESULT STDMETHODCALLTYPE SaveLastError(BSTR fileName, LONG* success) = 0;
    /* 94 */ virtual HRESULT STDMETHODCALLTYPE get_LastErrorHtml(BSTR* pVal) = 0;
    /* 95 */ virtual HRESULT STDMETHODCALLTYPE get_LastErrorXml(BSTR* pVal) = 0;
    /* 96 */ virtual HRESULT STDMETHODCALLTYPE get_LastErrorText(BSTR* pVal) = 0;
    /* 97 */ virtual HRESULT STDMETHODCALLTYPE HttpPost(BSTR url, ITarvex** response) = 0;
    /* 98 */ virtual HRESULT STDMETHODCALLTYPE DecodeEntities(BSTR str, BSTR* strOut) = 0;
protected:
    ~ITarvex() = default;
};

/* Module entry points. DllGetClassObject hands out the class factory of
 * CLSID_Tarvex; DllCanUnloadNow answers S_OK when no object, factory
 * reference or server lock is outstanding; DllRegisterServer and
 * DllUnregisterServer write and remove the registry entries and the type
 * library registration (where there is no system registry they fail with
 * HRESULT_FROM_WIN32(ERROR_CALL_NOT_IMPLEMENTED)). The Windows headers
 * declare all four. */
#if !defined(_WIN32)
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
STDAPI DllCanUnloadNow(void);
STDAPI DllRegisterServer(void);
STDAPI DllUnregisterServer(void);
#endif

#endif /* TARVEX_TARVEX_H */
