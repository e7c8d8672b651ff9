// No type-library services on POSIX systems: no type information to hand
// out, and GetTypeInfoCount answers 0.
#include "platform/TypeLibrary.h"

namespace tarvex {
namespace platform {

ITypeInfo* moduleTypeInfo(REFIID) { return nullptr; }

void addRefTypeInfo(ITypeInfo*) {}

void releaseModuleTypeLibrary() {}

HRESULT registerTypeLibrary(const char*) { return E_NOTIMPL; }

HRESULT unregisterTypeLibrary(REFGUID, WORD, WORD, LCID) { return E_NOTIMPL; }

}  // namespace platform
}  // namespace tarvex
