// The platform seam for the module's own type library (resource TYPELIB 1 of
// the library file): registering it, and handing out the type information it
// holds. Where the platform has no type-library services (POSIX) there is
// none.
#pragma once

#include "tarvex/automation.h"

namespace tarvex {
namespace platform {

// The type information of interface `iid` in the module's type library,
// loaded once per process; null when there is none. The pointer is borrowed.
ITypeInfo* moduleTypeInfo(REFIID iid);
// Hands `info` to a caller with a reference of its own.
void addRefTypeInfo(ITypeInfo* info);
// Drops the process's cached type library (the module is being unloaded).
void releaseModuleTypeLibrary();

// Registers the type library carried by the module file `modulePathUtf8`.
HRESULT registerTypeLibrary(const char* modulePathUtf8);
// Removes a type library's registration (S_OK when it is not registered).
// The system function is looked up at run time, so that the module loads
// where it is missing.
HRESULT unregisterTypeLibrary(REFGUID libid, WORD major, WORD minor, LCID lcid);

}  // namespace platform
}  // namespace tarvex
