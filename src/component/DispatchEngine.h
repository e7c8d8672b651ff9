// DispatchEngine: IDispatch for ITarvex.
//
// Names and invocation come from DispatchTable on every platform, so that
// arguments convert the same way everywhere (JScript's null and undefined,
// for instance, pass as "no object") and a call costs one table lookup; the
// table is checked member for member against tarvex.idl, and on Windows
// against the type library built from it.
//
// Type information: where the platform serves type libraries (Windows),
// GetTypeInfo hands out ITarvex's description from the module's own type
// library. Elsewhere there is none to hand out: GetTypeInfoCount answers 0
// and GetTypeInfo DISP_E_BADINDEX, as for any IDispatch without type
// information.
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
