// DispatchEngine: IDispatch for ITarvex, served from DispatchTable.
//
// This is the seam between the component and its late-bound callers: the
// component's IDispatch members forward here. A build that serves IDispatch
// from the registered type library instead provides another implementation
// of this class; the component does not change.
#pragma once

#include "tarvex/tarvex.h"

struct ITypeInfo;

namespace tarvex {

class DispatchEngine {
public:
    // Always 1: the interface has one type description.
    static HRESULT GetTypeInfoCount(UINT* count);
    // E_POINTER for a null out-pointer; otherwise the out-pointer is cleared
    // and E_NOTIMPL returned (no type information objects in this build).
    static HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo);
    // Member name first, then argument names; ASCII case-insensitive.
    // Unknown names get DISPID_UNKNOWN and the call returns DISP_E_UNKNOWNNAME.
    static HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
    // Converts the arguments (strings, integers, booleans, objects, VARIANTs,
    // by-reference forms), calls the member and stores its result.
    static HRESULT Invoke(ITarvex* self, DISPID member, REFIID riid, LCID lcid, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);
};

}  // namespace tarvex
