// No type-library services on POSIX systems: the component's own member
// table serves IDispatch, and GetTypeInfoCount answers 0.
#include "platform/TypeLibrary.h"

namespace tarvex {
namespace platform {

ITypeInfo* moduleTypeInfo(REFIID) { return nullptr; }

void addRefTypeInfo(ITypeInfo*) {}

HRESULT typeInfoIDsOfNames(ITypeInfo*, LPOLESTR*, UINT, DISPID*) { return E_NOTIMPL; }

HRESULT typeInfoInvoke(ITypeInfo*, void*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

void releaseModuleTypeLibrary() {}

HRESULT registerTypeLibrary(const char*) { return E_NOTIMPL; }

HRESULT unregisterTypeLibrary(REFGUID, WORD, WORD, LCID) { return E_NOTIMPL; }

}  // namespace platform
}  // namespace tarvex
