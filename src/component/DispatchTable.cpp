// The dispatch table of ITarvex: one row per member, in slot order, with a
// thunk generated from the member's C++ signature.
#include "component/DispatchTable.h"

#include <cstring>
#include <tuple>
#include <utility>

namespace tarvex {
namespace {

// The value a (possibly by-reference) argument stands for. By-reference
// scalars, strings and objects are copied shallowly into `scratch`, which must
// not be cleared; VT_BYREF|VT_VARIANT is followed.
const VARIANT* plainValue(const VARIANT* v, VARIANT& scratch) {
    for (int depth = 0; depth < 8 && v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (v->pvarVal == nullptr) return v;
        v = v->pvarVal;
    }
    if ((v->vt & VT_BYREF) == 0 || (v->vt & VT_ARRAY) != 0 || v->byref == nullptr) return v;
    VariantInit(&scratch);
    const VARTYPE base = static_cast<VARTYPE>(v->vt & ~VT_BYREF);
    switch (base) {
        case VT_I1: case VT_UI1: scratch.bVal = *v->pbVal; break;
        case VT_I2: case VT_UI2: case VT_BOOL: scratch.iVal = *v->piVal; break;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR:
        case VT_R4: scratch.lVal = *v->plVal; break;
        case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY:
            std::memcpy(&scratch.llVal, v->byref, sizeof(LONGLONG));
            break;
        case VT_BSTR: scratch.bstrVal = *v->pbstrVal; break;
        case VT_UNKNOWN: scratch.punkVal = *v->ppunkVal; break;
        case VT_DISPATCH: scratch.pdispVal = *v->ppdispVal; break;
        default: return v;
    }
    scratch.vt = base;
    return &scratch;
}

HRESULT coercionFailure(HRESULT hr) {
    return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
}

// In-arguments: load() converts the caller's VARIANT, get() yields the value
// passed to the member; the destructor frees any converted copy.
template <typename T> struct InArg;

template <> struct InArg<BSTR> {
    static constexpr ArgType kType = ArgType::String;
    VARIANT converted;
    BSTR value = nullptr;
    InArg() { VariantInit(&converted); }
    ~InArg() { VariantClear(&converted); }
    HRESULT load(const VARIANT* arg) {
        VARIANT scratch;
        const VARIANT* v = plainValue(arg, scratch);
        if (v->vt == VT_BSTR) {
            value = v->bstrVal;
            return S_OK;
        }
        // The Windows declaration takes a non-const source; it is only read.
        HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_BSTR);
        if (FAILED(hr)) return coercionFailure(hr);
        value = converted.bstrVal;
        return S_OK;
    }
    BSTR get() { return value; }
};

template <> struct InArg<LONG> {
    static constexpr ArgType kType = ArgType::Long;
    LONG value = 0;
    HRESULT load(const VARIANT* arg) {
        VARIANT scratch;
        const VARIANT* v = plainValue(arg, scratch);
        if (v->vt == VT_I4) {
            value = v->lVal;
            return S_OK;
        }
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_I4);
        if (FAILED(hr)) return coercionFailure(hr);
        value = converted.lVal;
        VariantClear(&converted);
        return S_OK;
    }
    LONG get() { return value; }
};

template <> struct InArg<VARIANT> {
    static constexpr ArgType kType = ArgType::Variant;
    VARIANT value;
    HRESULT load(const VARIANT* arg) {
        // Handed on as the caller gave it, except that a reference to a
        // VARIANT (what script engines pass for variables) is followed.
        const VARIANT* v = arg;
        for (int depth = 0; depth < 8 && v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal; ++depth)
            v = v->pvarVal;
        value = *v;  // shallow: the caller keeps ownership
        return S_OK;
    }
    VARIANT get() { return value; }
};

template <> struct InArg<ITarvex*> {
    static constexpr ArgType kType = ArgType::Object;
    ITarvex* value = nullptr;
    ~InArg() {
        if (value) value->Release();
    }
    HRESULT load(const VARIANT* arg) {
        VARIANT scratch;
        const VARIANT* v = plainValue(arg, scratch);
        IUnknown* unk = nullptr;
        if (v->vt == VT_DISPATCH)
            unk = v->pdispVal;
        else if (v->vt == VT_UNKNOWN)
            unk = v->punkVal;
        else if (v->vt != VT_EMPTY && v->vt != VT_NULL)
            return DISP_E_TYPEMISMATCH;
        if (unk == nullptr) return S_OK;  // Nothing / null: a null object
        void* p = nullptr;
        if (FAILED(unk->QueryInterface(IID_ITarvex, &p)) || p == nullptr) return DISP_E_TYPEMISMATCH;
        value = static_cast<ITarvex*>(p);
        return S_OK;
    }
    ITarvex* get() { return value; }
};

template <> struct InArg<IUnknown*> {
    static constexpr ArgType kType = ArgType::Unknown;
    IUnknown* value = nullptr;
    HRESULT load(const VARIANT* arg) {
        VARIANT scratch;
        const VARIANT* v = plainValue(arg, scratch);
        if (v->vt == VT_DISPATCH)
            value = v->pdispVal;
        else if (v->vt == VT_UNKNOWN)
            value = v->punkVal;
        else if (v->vt != VT_EMPTY && v->vt != VT_NULL)
            return DISP_E_TYPEMISMATCH;
        return S_OK;
    }
    IUnknown* get() { return value; }
};

// The result argument: get() yields the pointer the member writes through,
// store() moves the value into the caller's VARIANT (or frees it when the
// caller wants no result).
template <typename T> struct OutArg;

template <> struct OutArg<BSTR*> {
    static constexpr ArgType kType = ArgType::String;
    BSTR value = nullptr;
    ~OutArg() { SysFreeString(value); }
    BSTR* get() { return &value; }
    void store(VARIANT* result) {
        if (!result) return;
        result->vt = VT_BSTR;
        result->bstrVal = value;
        value = nullptr;
    }
};

template <> struct OutArg<LONG*> {
    static constexpr ArgType kType = ArgType::Long;
    LONG value = 0;
    LONG* get() { return &value; }
    void store(VARIANT* result) {
        if (!result) return;
        result->vt = VT_I4;
        result->lVal = value;
    }
};

template <> struct OutArg<ITarvex**> {
    static constexpr ArgType kType = ArgType::Object;
    ITarvex* value = nullptr;
    ~OutArg() {
        if (value) value->Release();
    }
    ITarvex** get() { return &value; }
    void store(VARIANT* result) {
        if (!result) return;
        result->vt = VT_DISPATCH;
        result->pdispVal = value;
        value = nullptr;
    }
};

template <> struct OutArg<VARIANT*> {
    static constexpr ArgType kType = ArgType::Variant;
    VARIANT value;
    OutArg() { VariantInit(&value); }
    ~OutArg() { VariantClear(&value); }
    VARIANT* get() { return &value; }
    void store(VARIANT* result) {
        if (!result) return;
        *result = value;
        VariantInit(&value);
    }
};

// Which role a parameter type plays: the four result pointer types are
// results, everything else is an in-argument.
template <typename T> struct IsOut : std::false_type {};
template <> struct IsOut<BSTR*> : std::true_type {};
template <> struct IsOut<LONG*> : std::true_type {};
template <> struct IsOut<ITarvex**> : std::true_type {};
template <> struct IsOut<VARIANT*> : std::true_type {};

template <typename T, bool out = IsOut<T>::value> struct Param;
template <typename T> struct Param<T, false> : InArg<T> {
    HRESULT load(VARIANT* const* args, size_t position, UINT* badArg) {
        HRESULT hr = InArg<T>::load(args[position]);
        if (FAILED(hr) && badArg) *badArg = static_cast<UINT>(position);
        return hr;
    }
    void store(VARIANT*) {}
};
template <typename T> struct Param<T, true> : OutArg<T> {
    HRESULT load(VARIANT* const*, size_t, UINT*) { return S_OK; }
};

template <typename F> struct MemberSig;

template <typename... A> struct MemberSig<HRESULT (STDMETHODCALLTYPE ITarvex::*)(A...)> {
    using Fn = HRESULT (STDMETHODCALLTYPE ITarvex::*)(A...);
    static constexpr uint8_t kInCount = static_cast<uint8_t>((0 + ... + (IsOut<A>::value ? 0 : 1)));
    static_assert(kInCount <= DispatchMember::kMaxArgs, "too many arguments");

    template <size_t... I>
    static HRESULT call(ITarvex* self, Fn member, VARIANT* const* args, VARIANT* result, UINT* badArg,
                        std::index_sequence<I...>) {
        (void)args;
        (void)result;
        (void)badArg;
        std::tuple<Param<A>...> params;
        HRESULT hr = S_OK;
        ((hr = SUCCEEDED(hr) ? std::get<I>(params).load(args, I, badArg) : hr), ...);
        if (FAILED(hr)) return hr;
        hr = (self->*member)(std::get<I>(params).get()...);
        if (SUCCEEDED(hr)) (std::get<I>(params).store(result), ...);
        return hr;
    }

    template <Fn member>
    static HRESULT thunk(ITarvex* self, VARIANT* const* args, VARIANT* result, UINT* badArg) {
        return call(self, member, args, result, badArg, std::index_sequence_for<A...>{});
    }

    static constexpr ArgType argType(size_t i) {
        constexpr ArgType types[] = {(IsOut<A>::value ? ArgType::None : Param<A>::kType)..., ArgType::None};
        size_t seen = 0;
        for (size_t k = 0; k < sizeof...(A); ++k) {
            if (types[k] == ArgType::None) continue;
            if (seen++ == i) return types[k];
        }
        return ArgType::None;
    }
    static constexpr ArgType resultType() {
        constexpr ArgType types[] = {(IsOut<A>::value ? Param<A>::kType : ArgType::None)..., ArgType::None};
        for (ArgType t : types)
            if (t != ArgType::None) return t;
        return ArgType::None;
    }
};

// The table slot a virtual member pointer designates. GCC and Clang use the
// Itanium C++ ABI's member pointers on x86, Windows targets included: a
// pointer to a virtual member holds 1 plus the slot's byte offset.
template <typename F, F member>
int vtableSlotOf() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    struct Rep {
        uintptr_t ptr;
        ptrdiff_t adj;
    };
    static_assert(sizeof(F) == sizeof(Rep), "unexpected member pointer layout");
    F m = member;
    Rep rep;
    std::memcpy(&rep, &m, sizeof rep);
    if ((rep.ptr & 1) == 0) return -1;
    return static_cast<int>((rep.ptr - 1) / sizeof(void*));
#else
    return -1;
#endif
}

#define TARVEX_DISPATCH_MEMBER(name, dispid, kind, argNames, member)                                 \
    {name,                                                                                            \
     dispid,                                                                                          \
     MemberKind::kind,                                                                                \
     argNames,                                                                                        \
     MemberSig<decltype(member)>::kInCount,                                                           \
     {MemberSig<decltype(member)>::argType(0), MemberSig<decltype(member)>::argType(1),               \
      MemberSig<decltype(member)>::argType(2), MemberSig<decltype(member)>::argType(3)},              \
     MemberSig<decltype(member)>::resultType(),                                                       \
     &MemberSig<decltype(member)>::thunk<member>,                                                     \
     &vtableSlotOf<decltype(member), member>}

const DispatchMember kMembers[] = {
    TARVEX_DISPATCH_MEMBER("OnStartPage", 0x60020000, Method, "piUnk", &ITarvex::OnStartPage),
    TARVEX_DISPATCH_MEMBER("OnEndPage", 0x60020001, Method, "", &ITarvex::OnEndPage),
    TARVEX_DISPATCH_MEMBER("Version", 0x1, PropertyGet, "", &ITarvex::get_Version),
    TARVEX_DISPATCH_MEMBER("GetRoot", 0x2, Method, "", &ITarvex::GetRoot),
    TARVEX_DISPATCH_MEMBER("TreeId", 0x3, PropertyGet, "", &ITarvex::get_TreeId),
    TARVEX_DISPATCH_MEMBER("NumAttributes", 0x4, PropertyGet, "", &ITarvex::get_NumAttributes),
    TARVEX_DISPATCH_MEMBER("Tag", 0x5, PropertyGet, "", &ITarvex::get_Tag),
    TARVEX_DISPATCH_MEMBER("Tag", 0x5, PropertyPut, "newVal", &ITarvex::put_Tag),
    TARVEX_DISPATCH_MEMBER("Content", 0x6, PropertyGet, "", &ITarvex::get_Content),
    TARVEX_DISPATCH_MEMBER("Content", 0x6, PropertyPut, "newVal", &ITarvex::put_Content),
    TARVEX_DISPATCH_MEMBER("NumChildren", 0x7, PropertyGet, "", &ITarvex::get_NumChildren),
    TARVEX_DISPATCH_MEMBER("GetChildContent", 0x8, Method, "Tag", &ITarvex::GetChildContent),
    TARVEX_DISPATCH_MEMBER("Cdata", 0x9, PropertyGet, "", &ITarvex::get_Cdata),
    TARVEX_DISPATCH_MEMBER("Cdata", 0x9, PropertyPut, "newVal", &ITarvex::put_Cdata),
    TARVEX_DISPATCH_MEMBER("LoadXml", 0xa, Method, "xmlData", &ITarvex::LoadXml),
    TARVEX_DISPATCH_MEMBER("LoadXmlFile", 0xb, Method, "fileName", &ITarvex::LoadXmlFile),
    TARVEX_DISPATCH_MEMBER("SaveXml", 0xc, Method, "fileName", &ITarvex::SaveXml),
    TARVEX_DISPATCH_MEMBER("GetXml", 0xd, Method, "", &ITarvex::GetXml),
    TARVEX_DISPATCH_MEMBER("AppendToContent", 0xe, Method, "str", &ITarvex::AppendToContent),
    TARVEX_DISPATCH_MEMBER("AddAttribute", 0xf, Method, "name,value", &ITarvex::AddAttribute),
    TARVEX_DISPATCH_MEMBER("RemoveAttribute", 0x10, Method, "name", &ITarvex::RemoveAttribute),
    TARVEX_DISPATCH_MEMBER("RemoveAllAttributes", 0x11, Method, "", &ITarvex::RemoveAllAttributes),
    TARVEX_DISPATCH_MEMBER("GetAttributeName", 0x12, Method, "index", &ITarvex::GetAttributeName),
    TARVEX_DISPATCH_MEMBER("GetAttributeValue", 0x13, Method, "index", &ITarvex::GetAttributeValue),
    TARVEX_DISPATCH_MEMBER("GetAttrValue", 0x14, Method, "name", &ITarvex::GetAttrValue),
    TARVEX_DISPATCH_MEMBER("HasAttrWithValue", 0x15, Method, "name,value", &ITarvex::HasAttrWithValue),
    TARVEX_DISPATCH_MEMBER("SwapNode", 0x16, Method, "node", &ITarvex::SwapNode),
    TARVEX_DISPATCH_MEMBER("SwapTree", 0x17, Method, "tree", &ITarvex::SwapTree),
    TARVEX_DISPATCH_MEMBER("AddChildTree", 0x18, Method, "tree", &ITarvex::AddChildTree),
    TARVEX_DISPATCH_MEMBER("GetChild", 0x19, Method, "index", &ITarvex::GetChild),
    TARVEX_DISPATCH_MEMBER("ExtractChildByIndex", 0x1a, Method, "index", &ITarvex::ExtractChildByIndex),
    TARVEX_DISPATCH_MEMBER("ExtractChildByName", 0x1b, Method, "Tag,attrName,attrValue", &ITarvex::ExtractChildByName),
    TARVEX_DISPATCH_MEMBER("NumChildrenHavingTag", 0x1c, Method, "Tag", &ITarvex::NumChildrenHavingTag),
    TARVEX_DISPATCH_MEMBER("GetNthChildWithTag", 0x1d, Method, "Tag,n", &ITarvex::GetNthChildWithTag),
    TARVEX_DISPATCH_MEMBER("NewChild", 0x1e, Method, "Tag,Content", &ITarvex::NewChild),
    TARVEX_DISPATCH_MEMBER("FindOrAddNewChild", 0x1f, Method, "Tag", &ITarvex::FindOrAddNewChild),
    TARVEX_DISPATCH_MEMBER("SearchForTag", 0x20, Method, "after,Tag", &ITarvex::SearchForTag),
    TARVEX_DISPATCH_MEMBER("SearchForContent", 0x21, Method, "after,Tag,contentPattern", &ITarvex::SearchForContent),
    TARVEX_DISPATCH_MEMBER("SearchAllForContent", 0x22, Method, "after,contentPattern", &ITarvex::SearchAllForContent),
    TARVEX_DISPATCH_MEMBER("SearchForAttribute", 0x23, Method, "after,Tag,attr,valuePattern", &ITarvex::SearchForAttribute),
    TARVEX_DISPATCH_MEMBER("GetParent", 0x24, Method, "", &ITarvex::GetParent),
    TARVEX_DISPATCH_MEMBER("Clear", 0x26, Method, "", &ITarvex::Clear),
    TARVEX_DISPATCH_MEMBER("FirstChild", 0x27, Method, "", &ITarvex::FirstChild),
    TARVEX_DISPATCH_MEMBER("LastChild", 0x28, Method, "", &ITarvex::LastChild),
    TARVEX_DISPATCH_MEMBER("NextSibling", 0x29, Method, "", &ITarvex::NextSibling),
    TARVEX_DISPATCH_MEMBER("PreviousSibling", 0x2a, Method, "", &ITarvex::PreviousSibling),
    TARVEX_DISPATCH_MEMBER("GetChildWithTag", 0x2b, Method, "Tag", &ITarvex::GetChildWithTag),
    TARVEX_DISPATCH_MEMBER("Standalone", 0x2c, PropertyGet, "", &ITarvex::get_Standalone),
    TARVEX_DISPATCH_MEMBER("Standalone", 0x2c, PropertyPut, "newVal", &ITarvex::put_Standalone),
    TARVEX_DISPATCH_MEMBER("Encoding", 0x2d, PropertyGet, "", &ITarvex::get_Encoding),
    TARVEX_DISPATCH_MEMBER("Encoding", 0x2d, PropertyPut, "newVal", &ITarvex::put_Encoding),
    TARVEX_DISPATCH_MEMBER("FindNextRecord", 0x2e, Method, "Tag,contentPattern", &ITarvex::FindNextRecord),
    TARVEX_DISPATCH_MEMBER("RemoveFromTree", 0x30, Method, "", &ITarvex::RemoveFromTree),
    TARVEX_DISPATCH_MEMBER("GetChild2", 0x31, Method, "index", &ITarvex::GetChild2),
    TARVEX_DISPATCH_MEMBER("FindChild", 0x32, Method, "Tag", &ITarvex::FindChild),
    TARVEX_DISPATCH_MEMBER("CompressSubtree", 0x33, Method, "", &ITarvex::CompressSubtree),
    TARVEX_DISPATCH_MEMBER("CompressNode", 0x34, Method, "", &ITarvex::CompressNode),
    TARVEX_DISPATCH_MEMBER("DecompressSubtree", 0x35, Method, "", &ITarvex::DecompressSubtree),
    TARVEX_DISPATCH_MEMBER("DecompressNode", 0x36, Method, "", &ITarvex::DecompressNode),
    TARVEX_DISPATCH_MEMBER("EncryptNode", 0x37, Method, "password", &ITarvex::EncryptNode),
    TARVEX_DISPATCH_MEMBER("DecryptNode", 0x38, Method, "password", &ITarvex::DecryptNode),
    TARVEX_DISPATCH_MEMBER("GetParent2", 0x39, Method, "", &ITarvex::GetParent2),
    TARVEX_DISPATCH_MEMBER("FirstChild2", 0x3a, Method, "", &ITarvex::FirstChild2),
    TARVEX_DISPATCH_MEMBER("LastChild2", 0x3b, Method, "", &ITarvex::LastChild2),
    TARVEX_DISPATCH_MEMBER("NextSibling2", 0x3c, Method, "", &ITarvex::NextSibling2),
    TARVEX_DISPATCH_MEMBER("PreviousSibling2", 0x3d, Method, "", &ITarvex::PreviousSibling2),
    TARVEX_DISPATCH_MEMBER("GetRoot2", 0x3e, Method, "", &ITarvex::GetRoot2),
    TARVEX_DISPATCH_MEMBER("QEncodeContent", 0x3f, Method, "charset,Content", &ITarvex::QEncodeContent),
    TARVEX_DISPATCH_MEMBER("BEncodeContent", 0x40, Method, "charset,Content", &ITarvex::BEncodeContent),
    TARVEX_DISPATCH_MEMBER("UpdateAttribute", 0x41, Method, "name,value", &ITarvex::UpdateAttribute),
    TARVEX_DISPATCH_MEMBER("DecodeContent", 0x42, Method, "", &ITarvex::DecodeContent),
    TARVEX_DISPATCH_MEMBER("SetBinaryContent", 0x43, Method, "zipFlag,encryptFlag,password,Content", &ITarvex::SetBinaryContent),
    TARVEX_DISPATCH_MEMBER("GetBinaryContent", 0x44, Method, "unzipFlag,decryptFlag,password", &ITarvex::GetBinaryContent),
    TARVEX_DISPATCH_MEMBER("NewChild2", 0x45, Method, "Tag,Content", &ITarvex::NewChild2),
    TARVEX_DISPATCH_MEMBER("FindChild2", 0x46, Method, "Tag", &ITarvex::FindChild2),
    TARVEX_DISPATCH_MEMBER("SortByTag", 0x47, Method, "ascending", &ITarvex::SortByTag),
    TARVEX_DISPATCH_MEMBER("SortByContent", 0x48, Method, "ascending", &ITarvex::SortByContent),
    TARVEX_DISPATCH_MEMBER("SortByAttribute", 0x49, Method, "attrName,ascending", &ITarvex::SortByAttribute),
    TARVEX_DISPATCH_MEMBER("SortRecordsByContent", 0x4a, Method, "sortTag,ascending", &ITarvex::SortRecordsByContent),
    TARVEX_DISPATCH_MEMBER("SortRecordsByAttribute", 0x4b, Method, "sortTag,attrName,ascending", &ITarvex::SortRecordsByAttribute),
    TARVEX_DISPATCH_MEMBER("HttpGet", 0x4c, Method, "url", &ITarvex::HttpGet),
    TARVEX_DISPATCH_MEMBER("LoadRequest", 0x4d, Method, "", &ITarvex::LoadRequest),
    TARVEX_DISPATCH_MEMBER("LoadXmlV", 0x4e, Method, "xmlData", &ITarvex::LoadXmlV),
    TARVEX_DISPATCH_MEMBER("UpdateChildContent", 0x4f, Method, "Tag,value", &ITarvex::UpdateChildContent),
    TARVEX_DISPATCH_MEMBER("ContentMatches", 0x50, Method, "pattern,caseSensitive", &ITarvex::ContentMatches),
    TARVEX_DISPATCH_MEMBER("ChildContentMatches", 0x51, Method, "Tag,pattern,caseSensitive", &ITarvex::ChildContentMatches),
    TARVEX_DISPATCH_MEMBER("SaveLastError", 0x52, Method, "fileName", &ITarvex::SaveLastError),
    TARVEX_DISPATCH_MEMBER("LastErrorHtml", 0x53, PropertyGet, "", &ITarvex::get_LastErrorHtml),
    TARVEX_DISPATCH_MEMBER("LastErrorXml", 0x54, PropertyGet, "", &ITarvex::get_LastErrorXml),
    TARVEX_DISPATCH_MEMBER("LastErrorText", 0x55, PropertyGet, "", &ITarvex::get_LastErrorText),
    TARVEX_DISPATCH_MEMBER("HttpPost", 0x56, Method, "url", &ITarvex::HttpPost),
    TARVEX_DISPATCH_MEMBER("DecodeEntities", 0x57, Method, "str", &ITarvex::DecodeEntities),
};

#undef TARVEX_DISPATCH_MEMBER

constexpr int kMemberCount = static_cast<int>(sizeof(kMembers) / sizeof(kMembers[0]));
static_assert(sizeof(kMembers) / sizeof(kMembers[0]) == 92, "ITarvex has 92 members");

// Direct lookup by dispatch identifier: the small identifiers index an array,
// the two page members are matched by value.
constexpr DISPID kLowDispidLimit = 0x60;
constexpr DISPID kOnStartPageId = 0x60020000;

struct DispidIndex {
    const DispatchMember* get[kLowDispidLimit] = {};
    const DispatchMember* put[kLowDispidLimit] = {};
    const DispatchMember* pageGet[2] = {};

    DispidIndex() {
        for (const DispatchMember& m : kMembers) {
            if (m.dispid >= 0 && m.dispid < kLowDispidLimit) {
                if (m.kind == MemberKind::PropertyPut)
                    put[m.dispid] = &m;
                else
                    get[m.dispid] = &m;
            } else if (m.dispid == kOnStartPageId || m.dispid == kOnStartPageId + 1) {
                pageGet[m.dispid - kOnStartPageId] = &m;
            }
        }
    }
};

const DispidIndex& dispidIndex() {
    static const DispidIndex index;
    return index;
}

bool sameNameNoCase(const char* ascii, const OLECHAR* name, size_t nameLength) {
    size_t i = 0;
    for (; i < nameLength && ascii[i] != '\0'; ++i) {
        OLECHAR a = static_cast<unsigned char>(ascii[i]);
        OLECHAR b = name[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<OLECHAR>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<OLECHAR>(b + 32);
        if (a != b) return false;
    }
    return i == nameLength && ascii[i] == '\0';
}

size_t wideLength(const OLECHAR* s) {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace

const DispatchMember* DispatchTable::members() { return kMembers; }

int DispatchTable::count() { return kMemberCount; }

const DispatchMember* DispatchTable::findGet(DISPID dispid) {
    const DispidIndex& index = dispidIndex();
    if (dispid >= 0 && dispid < kLowDispidLimit) return index.get[dispid];
    if (dispid == kOnStartPageId || dispid == kOnStartPageId + 1) return index.pageGet[dispid - kOnStartPageId];
    return nullptr;
}

const DispatchMember* DispatchTable::findPut(DISPID dispid) {
    if (dispid >= 0 && dispid < kLowDispidLimit) return dispidIndex().put[dispid];
    return nullptr;
}

const DispatchMember* DispatchTable::findByName(const OLECHAR* name) {
    if (name == nullptr) return nullptr;
    const size_t length = wideLength(name);
    for (const DispatchMember& m : kMembers)
        if (sameNameNoCase(m.name, name, length)) return &m;
    return nullptr;
}

int DispatchTable::findArgName(DISPID dispid, const OLECHAR* argName) {
    if (argName == nullptr) return -1;
    const size_t length = wideLength(argName);
    for (const DispatchMember& m : kMembers) {
        if (m.dispid != dispid) continue;
        const char* p = m.argNames;
        for (int position = 0; *p != '\0'; ++position) {
            char one[32];
            size_t n = 0;
            while (*p != '\0' && *p != ',' && n + 1 < sizeof one) one[n++] = *p++;
            one[n] = '\0';
            if (*p == ',') ++p;
            if (sameNameNoCase(one, argName, length)) return position;
        }
    }
    return -1;
}

}  // namespace tarvex
