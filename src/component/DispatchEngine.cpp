// IDispatch of ITarvex: type information from the module's type library
// where the platform has one; name lookup and Invoke with argument
// conversion from the dispatch table everywhere.
#include "component/DispatchEngine.h"

#include "component/DispatchTable.h"
#include "platform/TypeLibrary.h"

namespace tarvex {

namespace {
ITypeInfo* typeInfo() { return platform::moduleTypeInfo(IID_ITarvex); }
}  // namespace

HRESULT DispatchEngine::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = typeInfo() ? 1 : 0;
    return S_OK;
}

HRESULT DispatchEngine::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ITypeInfo* info = typeInfo();
    if (index != 0 || info == nullptr) return DISP_E_BADINDEX;
    platform::addRefTypeInfo(info);
    *out = info;
    return S_OK;
}

HRESULT DispatchEngine::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    const DispatchMember* member = DispatchTable::findByName(names[0]);
    ids[0] = member ? member->dispid : DISPID_UNKNOWN;
    if (!member) hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        int position = member ? DispatchTable::findArgName(member->dispid, names[i]) : -1;
        ids[i] = position >= 0 ? position : DISPID_UNKNOWN;
        if (position < 0) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchEngine::Invoke(ITarvex* self, DISPID memberId, REFIID riid, LCID, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (params == nullptr) return E_INVALIDARG;
    if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    if (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) return E_INVALIDARG;

    const DispatchMember* member = nullptr;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put) {
        member = DispatchTable::findPut(memberId);
    } else {
        member = DispatchTable::findGet(memberId);
        // A method needs the method flag; a property read takes either flag.
        if (member && member->kind == MemberKind::Method && (flags & DISPATCH_METHOD) == 0) member = nullptr;
        if (member && (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) member = nullptr;
    }
    if (member == nullptr) {
        // Known identifier, wrong kind of access, or unknown identifier.
        return DISP_E_MEMBERNOTFOUND;
    }

    const UINT argc = params->cArgs;
    if (argc != member->argCount) return DISP_E_BADPARAMCOUNT;

    // Arguments in declaration order, and where each one sits in rgvarg.
    VARIANT* ordered[DispatchMember::kMaxArgs] = {};
    UINT rgIndex[DispatchMember::kMaxArgs] = {};
    if (put) {
        // The value of a property write: positional, or named DISPID_PROPERTYPUT.
        if (params->cNamedArgs > 1) return DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTFOUND;
        ordered[0] = &params->rgvarg[0];
        rgIndex[0] = 0;
    } else {
        const UINT named = params->cNamedArgs;
        for (UINT i = 0; i < named; ++i) {
            DISPID position = params->rgdispidNamedArgs[i];
            if (position < 0 || static_cast<UINT>(position) >= argc || ordered[position] != nullptr) {
                if (argErr) *argErr = i;
                return DISP_E_PARAMNOTFOUND;
            }
            ordered[position] = &params->rgvarg[i];
            rgIndex[position] = i;
        }
        // Positional arguments come last in rgvarg, in reverse order.
        UINT next = argc;
        for (UINT position = 0; position < argc; ++position) {
            if (ordered[position] != nullptr) continue;
            if (next == named) return DISP_E_PARAMNOTFOUND;
            --next;
            ordered[position] = &params->rgvarg[next];
            rgIndex[position] = next;
        }
    }

    if (result) VariantInit(result);
    UINT bad = 0;
    HRESULT hr = member->invoke(self, ordered, result, &bad);
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && argErr && bad < argc) *argErr = rgIndex[bad];
    return hr;
}

}  // namespace tarvex
