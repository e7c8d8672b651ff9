// DispatchEngine: IDispatch for ITarvex.
//
// Where the platform serves type libraries (Windows), names, invocation and
// type information come from the ITarvex description in the module's own
// type library, through the platform's ITypeInfo. Elsewhere they come from
// DispatchTable, and there is no type information to hand out:
// GetTypeInfoCount answers 0 and GetTypeInfo DISP_E_BADINDEX, as for any
// IDispatch without type information.
#pragma once

#include "tarvex/tarvex.h"

struct ITypeInfo;

namespace tarvex {

class DispatchEngine {
public:
    // 1 with the type library, else 0.
    static HRESULT GetTypeInfoCount(UINT* count);
    // E_POINTER for a null out-pointer; otherwise the out-pointer is cleared
    // and, for index 0 with the type library, set to ITarvex's type
    // information (one reference for the caller); else DISP_E_BADINDEX.
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
