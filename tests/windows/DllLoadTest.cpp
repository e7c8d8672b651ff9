// The Windows module from the outside, as a host loads it: LoadLibrary, the
// four exports, the class factory, aggregation, unloading, and the type
// library it carries (all 92 members of ITarvex, their dispatch identifiers,
// kinds, slots and help strings). Runs under Wine:
//   tarvex_wintest.exe <path of tarvex.dll>
// Prints one line per failed check and ends with TARVEX-WINTEST-OK or
// TARVEX-WINTEST-FAILED n; the exit status is the failure count.
//   tarvex_wintest.exe --trust <ca.pem> trusts the https test servers' CA
// (TrustTestCa.cpp).
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char* label) {
    if (ok) return;
    ++failures;
    std::printf("FAILED: %s\n", label);
}

void checkHr(HRESULT got, HRESULT expected, const char* label) {
    if (got == expected) return;
    ++failures;
    std::printf("FAILED: %s: got 0x%08lX expected 0x%08lX\n", label, static_cast<unsigned long>(got),
                static_cast<unsigned long>(expected));
}

// {3A573F1E-954B-4274-BF98-EAE8466B80B5}
const CLSID kClsid = {0x3A573F1E, 0x954B, 0x4274, {0xBF, 0x98, 0xEA, 0xE8, 0x46, 0x6B, 0x80, 0xB5}};
// {AB25D644-6C31-49C1-9ED1-67B4C0502D57}
const IID kIid = {0xAB25D644, 0x6C31, 0x49C1, {0x9E, 0xD1, 0x67, 0xB4, 0xC0, 0x50, 0x2D, 0x57}};
// {43379FF1-E31B-4120-829C-47DD8E11E5E6}
const GUID kLibid = {0x43379FF1, 0xE31B, 0x4120, {0x82, 0x9C, 0x47, 0xDD, 0x8E, 0x11, 0xE5, 0xE6}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

enum Kind { FUNC, GET, PUT };
struct Member {
    const char* name;
    DISPID id;
    Kind kind;
};

// ITarvex in slot order (slots 7 onwards).
const Member kMembers[] = {
    {"OnStartPage", 0x60020000, FUNC}, {"OnEndPage", 0x60020001, FUNC}, {"Version", 0x1, GET},
    {"GetRoot", 0x2, FUNC}, {"TreeId", 0x3, GET}, {"NumAttributes", 0x4, GET}, {"Tag", 0x5, GET},
    {"Tag", 0x5, PUT}, {"Content", 0x6, GET}, {"Content", 0x6, PUT}, {"NumChildren", 0x7, GET},
    {"GetChildContent", 0x8, FUNC}, {"Cdata", 0x9, GET}, {"Cdata", 0x9, PUT}, {"LoadXml", 0xa, FUNC},
    {"LoadXmlFile", 0xb, FUNC}, {"SaveXml", 0xc, FUNC}, {"GetXml", 0xd, FUNC}, {"AppendToContent", 0xe, FUNC},
    {"AddAttribute", 0xf, FUNC}, {"RemoveAttribute", 0x10, FUNC}, {"RemoveAllAttributes", 0x11, FUNC},
    {"GetAttributeName", 0x12, FUNC}, {"GetAttributeValue", 0x13, FUNC}, {"GetAttrValue", 0x14, FUNC},
    {"HasAttrWithValue", 0x15, FUNC}, {"SwapNode", 0x16, FUNC}, {"SwapTree", 0x17, FUNC},
    {"AddChildTree", 0x18, FUNC}, {"GetChild", 0x19, FUNC}, {"ExtractChildByIndex", 0x1a, FUNC},
    {"ExtractChildByName", 0x1b, FUNC}, {"NumChildrenHavingTag", 0x1c, FUNC},
    {"GetNthChildWithTag", 0x1d, FUNC}, {"NewChild", 0x1e, FUNC}, {"FindOrAddNewChild", 0x1f, FUNC},
    {"SearchForTag", 0x20, FUNC}, {"SearchForContent", 0x21, FUNC}, {"SearchAllForContent", 0x22, FUNC},
    {"SearchForAttribute", 0x23, FUNC}, {"GetParent", 0x24, FUNC}, {"Clear", 0x26, FUNC},
    {"FirstChild", 0x27, FUNC}, {"LastChild", 0x28, FUNC}, {"NextSibling", 0x29, FUNC},
    {"PreviousSibling", 0x2a, FUNC}, {"GetChildWithTag", 0x2b, FUNC}, {"Standalone", 0x2c, GET},
    {"Standalone", 0x2c, PUT}, {"Encoding", 0x2d, GET}, {"Encoding", 0x2d, PUT},
    {"FindNextRecord", 0x2e, FUNC}, {"RemoveFromTree", 0x30, FUNC}, {"GetChild2", 0x31, FUNC},
    {"FindChild", 0x32, FUNC}, {"CompressSubtree", 0x33, FUNC}, {"CompressNode", 0x34, FUNC},
    {"DecompressSubtree", 0x35, FUNC}, {"DecompressNode", 0x36, FUNC}, {"EncryptNode", 0x37, FUNC},
    {"DecryptNode", 0x38, FUNC}, {"GetParent2", 0x39, FUNC}, {"FirstChild2", 0x3a, FUNC},
    {"LastChild2", 0x3b, FUNC}, {"NextSibling2", 0x3c, FUNC}, {"PreviousSibling2", 0x3d, FUNC},
    {"GetRoot2", 0x3e, FUNC}, {"QEncodeContent", 0x3f, FUNC}, {"BEncodeContent", 0x40, FUNC},
    {"UpdateAttribute", 0x41, FUNC}, {"DecodeContent", 0x42, FUNC}, {"SetBinaryContent", 0x43, FUNC},
    {"GetBinaryContent", 0x44, FUNC}, {"NewChild2", 0x45, FUNC}, {"FindChild2", 0x46, FUNC},
    {"SortByTag", 0x47, FUNC}, {"SortByContent", 0x48, FUNC}, {"SortByAttribute", 0x49, FUNC},
    {"SortRecordsByContent", 0x4a, FUNC}, {"SortRecordsByAttribute", 0x4b, FUNC}, {"HttpGet", 0x4c, FUNC},
    {"LoadRequest", 0x4d, FUNC}, {"LoadXmlV", 0x4e, FUNC}, {"UpdateChildContent", 0x4f, FUNC},
    {"ContentMatches", 0x50, FUNC}, {"ChildContentMatches", 0x51, FUNC}, {"SaveLastError", 0x52, FUNC},
    {"LastErrorHtml", 0x53, GET}, {"LastErrorXml", 0x54, GET}, {"LastErrorText", 0x55, GET},
    {"HttpPost", 0x56, FUNC}, {"DecodeEntities", 0x57, FUNC},
};
constexpr int kMemberCount = sizeof(kMembers) / sizeof(kMembers[0]);

std::string narrow(const wchar_t* w) {
    std::string out;
    for (; w && *w; ++w) out += static_cast<char>(*w < 128 ? *w : '?');
    return out;
}

// An outer object that aggregates the component: it answers IUnknown itself
// and hands every other interface to the inner object.
struct Outer final : public IUnknown {
    LONG refs = 1;
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

DISPID idOf(IDispatch* d, const wchar_t* name) {
    std::wstring copy(name);
    LPOLESTR names[] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// Calls a method by name with the arguments given last-first, as IDispatch takes them.
HRESULT call(IDispatch* d, const wchar_t* name, VARIANT* argsReversed, UINT count, VARIANT* result) {
    DISPPARAMS params = {argsReversed, nullptr, count, 0};
    return d->Invoke(idOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                     result, nullptr, nullptr);
}

std::wstring wideResult(IDispatch* d, const wchar_t* name, VARIANT* argsReversed = nullptr, UINT count = 0) {
    VARIANT r;
    VariantInit(&r);
    std::wstring out = L"?";
    if (SUCCEEDED(call(d, name, argsReversed, count, &r)) && r.vt == VT_BSTR)
        out.assign(r.bstrVal, SysStringLen(r.bstrVal));
    VariantClear(&r);
    return out;
}

LONG longResult(IDispatch* d, const wchar_t* name, const std::wstring& text) {
    VARIANT arg, r;
    VariantInit(&r);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    LONG out = -1;
    if (SUCCEEDED(call(d, name, &arg, 1, &r)) && r.vt == VT_I4) out = r.lVal;
    VariantClear(&arg);
    VariantClear(&r);
    return out;
}

DWORD WINAPI closeLater(void* handle) {
    Sleep(80);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

// Files on Windows: a file another process holds without sharing is tried
// again, 50 ms apart, three more times; the system's message text reaches
// the log as UTF-8 and comes back as the same UTF-16 text.
void checkFiles(IDispatch* object) {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring file = std::wstring(dir) + L"tarvex-locked.xml";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, "<locked/>", 9, &written, nullptr);
    CloseHandle(h);

    h = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    check(h != INVALID_HANDLE_VALUE, "file held without sharing");
    const DWORD t0 = GetTickCount();
    check(longResult(object, L"LoadXmlFile", file) == 0, "a file held without sharing does not load");
    const DWORD elapsed = GetTickCount() - t0;
    check(elapsed >= 140, "three more attempts, 50 ms apart");
    const std::wstring log = wideResult(object, L"LastErrorText");
    check(log.find(L"Failed to open file (2)") != std::wstring::npos, "open failure logged");
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                   nullptr, ERROR_SHARING_VIOLATION, 0x400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    check(!message.empty() && log.find(L"osErrorInfo: " + message) != std::wstring::npos,
          "the system's message text in the log");
    // Released while the attempts go on: the load succeeds.
    HANDLE thread = CreateThread(nullptr, 0, closeLater, h, 0, nullptr);
    check(longResult(object, L"LoadXmlFile", file) == 1, "a file released during the attempts loads");
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    check(wideResult(object, L"Tag") == L"locked", "the released file's document");

    // A name with no form in the ANSI code page goes the wide way.
    const std::wstring wideName = std::wstring(dir) + L"tarvex-\u65e5\u672c-\u0416.xml";
    check(longResult(object, L"SaveXml", wideName) == 1, "SaveXml to a name outside the ANSI code page");
    check(GetFileAttributesW(wideName.c_str()) != INVALID_FILE_ATTRIBUTES, "the file has its Unicode name");
    check(longResult(object, L"LoadXmlFile", wideName) == 1, "LoadXmlFile of that name");
    DeleteFileW(wideName.c_str());
    DeleteFileW(file.c_str());

    // Standalone crosses in the ANSI code page (GetACP).
    std::printf("ANSI code page %u, OEM code page %u\n", GetACP(), GetOEMCP());
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"\u00e9\u65e5");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &put, 1, 1};
    object->Invoke(idOf(object, L"Standalone"), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
    VariantClear(&value);
    if (GetACP() == 1252)
        check(wideResult(object, L"Standalone") == L"\u00e9", "Standalone keeps what code page 1252 holds");
}

std::string stringResult(IDispatch* d, const wchar_t* name) {
    VARIANT r;
    VariantInit(&r);
    std::string out = "?";
    if (SUCCEEDED(call(d, name, nullptr, 0, &r)) && r.vt == VT_BSTR) out = narrow(r.bstrVal);
    VariantClear(&r);
    return out;
}

void checkTypeInfo(ITypeInfo* dispatchInfo, IDispatch* object) {
    TYPEATTR* attr = nullptr;
    if (FAILED(dispatchInfo->GetTypeAttr(&attr))) {
        check(false, "GetTypeAttr");
        return;
    }
    check(IsEqualGUID(attr->guid, kIid), "type information describes ITarvex");
    check(attr->typekind == TKIND_DISPATCH, "GetTypeInfo gives the dispatch view");
    check((attr->wTypeFlags & TYPEFLAG_FDUAL) != 0, "ITarvex is dual");
    dispatchInfo->ReleaseTypeAttr(attr);

    // The vtable view of the dual interface: 92 functions in slot order.
    HREFTYPE ref = 0;
    ITypeInfo* info = nullptr;
    if (FAILED(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED(dispatchInfo->GetRefTypeInfo(ref, &info))) {
        check(false, "the interface view of the dual interface");
        return;
    }
    info->GetTypeAttr(&attr);
    char label[160];
    std::snprintf(label, sizeof label, "92 functions (got %d)", attr ? attr->cFuncs : -1);
    check(attr && attr->cFuncs == kMemberCount, label);
    const int count = attr ? attr->cFuncs : 0;
    if (attr) info->ReleaseTypeAttr(attr);
    for (int i = 0; i < count && i < kMemberCount; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(static_cast<UINT>(i), &f))) {
            check(false, "GetFuncDesc");
            continue;
        }
        const Member& m = kMembers[i];
        const INVOKEKIND kind = m.kind == GET ? INVOKE_PROPERTYGET : m.kind == PUT ? INVOKE_PROPERTYPUT : INVOKE_FUNC;
        BSTR name = nullptr, doc = nullptr;
        info->GetDocumentation(f->memid, &name, &doc, nullptr, nullptr);
        // Every member carries a help string of its own, not a placeholder
        // (the text itself is checked against the .idl by the Linux tests).
        const std::string text = narrow(doc);
        const bool docOk = text.size() > 20 && text.rfind("method ", 0) != 0 && text.rfind("property ", 0) != 0;
        std::snprintf(label, sizeof label, "member %d: %s id 0x%lX kind %d slot %d doc [%s]", i, narrow(name).c_str(),
                      static_cast<long>(f->memid), static_cast<int>(f->invkind), static_cast<int>(f->oVft),
                      narrow(doc).c_str());
        check(narrow(name) == m.name && f->memid == m.id && f->invkind == kind &&
                  f->oVft == static_cast<SHORT>((7 + i) * sizeof(void*)) && docOk,
              label);
        // The object's own name lookup agrees with the type library, for the
        // member and for each argument name.
        BSTR names[8] = {};
        UINT got = 0;
        info->GetNames(f->memid, names, 8, &got);
        UINT inArgs = 0;  // the result (retval) has no name a caller passes
        for (SHORT k = 0; k < f->cParams; ++k)
            if ((f->lprgelemdescParam[k].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) ++inArgs;
        // GetNames answers for the first function with the identifier: for a
        // property write, the read's names. Only the member name is compared then.
        const UINT asked = m.kind == PUT ? 1 : (1 + inArgs < got ? 1 + inArgs : got);
        DISPID ids[8] = {};
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, asked, LOCALE_USER_DEFAULT, ids);
        bool agree = SUCCEEDED(hr) && ids[0] == f->memid && (asked == 1 + inArgs || m.kind == PUT);
        for (UINT k = 1; k < asked; ++k) agree = agree && ids[k] == static_cast<DISPID>(k - 1);
        std::snprintf(label, sizeof label, "GetIDsOfNames agrees with the type library for %s (kind %d, names %u, in %u, hr 0x%lX)", m.name,
                      static_cast<int>(m.kind), got, inArgs, static_cast<unsigned long>(hr));
        check(agree, label);
        for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
        SysFreeString(name);
        SysFreeString(doc);
        info->ReleaseFuncDesc(f);
    }
    std::printf("type library: %d members checked\n", count);
    // The type library the information comes from.
    ITypeLib* lib = nullptr;
    UINT index = 0;
    if (SUCCEEDED(info->GetContainingTypeLib(&lib, &index))) {
        TLIBATTR* la = nullptr;
        lib->GetLibAttr(&la);
        check(la && IsEqualGUID(la->guid, kLibid) && la->wMajorVerNum == 1 && la->wMinorVerNum == 0 && la->lcid == 0x409,
              "type library identifier, version 1.0, locale 0x409");
        if (la) lib->ReleaseTLibAttr(la);
        BSTR libName = nullptr;
        lib->GetDocumentation(-1, &libName, nullptr, nullptr, nullptr);
        check(narrow(libName) == "TARVEXLib", "type library name");
        SysFreeString(libName);
        ITypeInfo* coclass = nullptr;
        check(SUCCEEDED(lib->GetTypeInfoOfGuid(kClsid, &coclass)), "the class in the type library");
        if (coclass) {
            BSTR className = nullptr, classDoc = nullptr;
            coclass->GetDocumentation(MEMBERID_NIL, &className, &classDoc, nullptr, nullptr);
            check(narrow(className) == "Tarvex" && narrow(classDoc) == "Tarvex Class", "class name and description");
            SysFreeString(className);
            SysFreeString(classDoc);
            coclass->Release();
        }
        lib->Release();
    }
    info->Release();
}

}  // namespace

int trustCertificate(const wchar_t* pemPath);

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--trust") == 0) return trustCertificate(argv[2]);
    if (argc < 2) {
        std::printf("usage: tarvex_wintest <tarvex.dll>\n");
        return 2;
    }
    CoInitialize(nullptr);
    HMODULE module = LoadLibraryW(argv[1]);
    check(module != nullptr, "LoadLibrary");
    if (!module) {
        std::printf("TARVEX-WINTEST-FAILED %d\n", failures);
        return failures;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnload =
        reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    check(getClassObject && canUnload, "exports DllGetClassObject and DllCanUnloadNow");
    check(GetProcAddress(module, "DllRegisterServer") && GetProcAddress(module, "DllUnregisterServer"),
          "exports DllRegisterServer and DllUnregisterServer");
    if (!getClassObject || !canUnload) return ++failures;

    // --- DllGetClassObject and the class factory ---------------------------------
    void* p = reinterpret_cast<void*>(1);
    checkHr(getClassObject(kClsid, IID_IClassFactory, nullptr), E_POINTER, "null out-pointer");
    checkHr(getClassObject(kIid, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE, "unknown class");
    check(p == nullptr, "out-pointer cleared for an unknown class");
    checkHr(canUnload(), S_OK, "nothing alive at the start");
    IClassFactory* factory = nullptr;
    checkHr(getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK, "class factory");
    if (!factory) return ++failures;
    checkHr(canUnload(), S_FALSE, "a held factory keeps the module");

    IDispatch* object = nullptr;
    checkHr(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK, "CreateInstance");
    checkHr(factory->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE, "CreateInstance of an unknown interface");
    checkHr(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER, "CreateInstance with a null out-pointer");

    // --- Aggregation -----------------------------------------------------------------
    Outer outer;
    checkHr(factory->CreateInstance(&outer, IID_IDispatch, &p), CLASS_E_NOAGGREGATION, "aggregation asks for IUnknown");
    check(p == nullptr, "out-pointer cleared on refusal");
    IUnknown* inner = nullptr;
    checkHr(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK, "aggregated object");
    if (inner) {
        outer.inner = inner;
        IDispatch* viaInner = nullptr;
        const LONG before = outer.refs;
        checkHr(inner->QueryInterface(kIid, reinterpret_cast<void**>(&viaInner)), S_OK, "ITarvex of the inner object");
        check(outer.refs == before + 1, "the inner object's interfaces count on the outer object");
        if (viaInner) {
            IUnknown* back = nullptr;
            viaInner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back));
            check(back == static_cast<IUnknown*>(&outer), "IUnknown of an aggregated object is the outer one");
            if (back) back->Release();
            check(stringResult(viaInner, L"Version") == "5.0.1", "an aggregated object works");
            viaInner->Release();
        }
        check(inner->Release() == 0, "releasing the inner unknown destroys the object");
    }

    // --- Type information ------------------------------------------------------------
    if (object) {
        UINT count = 0;
        checkHr(object->GetTypeInfoCount(&count), S_OK, "GetTypeInfoCount");
        check(count == 1, "one type description");
        checkHr(object->GetTypeInfo(0, 0, nullptr), E_POINTER, "GetTypeInfo with a null out-pointer");
        ITypeInfo* info = nullptr;
        checkHr(object->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX, "GetTypeInfo(1)");
        checkHr(object->GetTypeInfo(0, 0, &info), S_OK, "GetTypeInfo(0)");
        if (info) {
            checkTypeInfo(info, object);
            info->Release();
        }
        // Names are case-insensitive and come from the type information.
        check(idOf(object, L"loadxmlv") == 0x4e && idOf(object, L"LASTERRORTEXT") == 0x55, "GetIDsOfNames");
        check(idOf(object, L"NoSuchMember") == DISPID_UNKNOWN, "GetIDsOfNames of an unknown name");

        // A byte array, as the system's own stream objects hand it over.
        const char xml[] = "<r><k a=\"1\">value</k></r>";
        SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, sizeof xml - 1);
        void* data = nullptr;
        SafeArrayAccessData(bytes, &data);
        std::memcpy(data, xml, sizeof xml - 1);
        SafeArrayUnaccessData(bytes);
        VARIANT arg, result;
        VariantInit(&arg);
        VariantInit(&result);
        arg.vt = VT_ARRAY | VT_UI1;
        arg.parray = bytes;
        checkHr(call(object, L"LoadXmlV", &arg, 1, &result), S_OK, "LoadXmlV of a byte array");
        check(result.vt == VT_I4 && result.lVal == 1, "LoadXmlV of a byte array succeeds");
        check(stringResult(object, L"Tag") == "r", "the byte array's document");
        // The same array by reference inside a VARIANT, as script engines pass variables.
        VARIANT ref;
        VariantInit(&ref);
        ref.vt = VT_BYREF | VT_VARIANT;
        ref.pvarVal = &arg;
        VariantClear(&result);
        checkHr(call(object, L"LoadXmlV", &ref, 1, &result), S_OK, "LoadXmlV by reference");
        check(result.vt == VT_I4 && result.lVal == 1, "LoadXmlV by reference succeeds");
        VariantClear(&arg);
        VariantClear(&result);
        // An argument that does not convert is the caller's error, reported by Invoke.
        VARIANT wrong;
        VariantInit(&wrong);
        wrong.vt = VT_BSTR;
        wrong.bstrVal = SysAllocString(L"not a number");
        checkHr(call(object, L"GetChild", &wrong, 1, &result), DISP_E_TYPEMISMATCH, "GetChild with a text index");
        VariantClear(&wrong);
        VariantClear(&result);
        checkFiles(object);
        object->Release();
    }
    factory->Release();
    checkHr(canUnload(), S_OK, "nothing alive: the module may unload");

    // --- LockServer keeps the module ---------------------------------------------------
    getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (factory) {
        factory->LockServer(TRUE);
        factory->Release();
        checkHr(canUnload(), S_FALSE, "a locked server stays");
        getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        factory->LockServer(FALSE);
        factory->Release();
        checkHr(canUnload(), S_OK, "unlocked");
    }
    FreeLibrary(module);
    CoUninitialize();

    if (failures == 0)
        std::printf("TARVEX-WINTEST-OK\n");
    else
        std::printf("TARVEX-WINTEST-FAILED %d\n", failures);
    return failures;
}
