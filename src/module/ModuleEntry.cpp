// The module's four entry points: the class object, the unload query, and
// registration and unregistration (the registration script, then the type
// library the module carries).
#include <string>

#include "component/ModuleCount.h"
#include "module/ClassFactory.h"
#include "module/Registration.h"
#include "module/SystemRegistry.h"
#include "platform/ComServer.h"
#include "platform/TypeLibrary.h"
#include "tarvex/tarvex.h"

namespace {
constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;
constexpr LCID kTypeLibLocale = 0x409;
}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Tarvex)) return CLASS_E_CLASSNOTAVAILABLE;
    return tarvex::ClassFactory::Instance().QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return tarvex::ModuleCount::Count() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
    std::string path;
    if (!tarvex::platform::modulePath(path)) return E_UNEXPECTED;
    tarvex::SystemRegistry registry;
    HRESULT hr = tarvex::Registration::registerEntries(registry, path);
    if (FAILED(hr)) return hr;
    hr = tarvex::platform::registerTypeLibrary(path.c_str());
    if (FAILED(hr)) tarvex::Registration::unregisterEntries(registry);
    return hr;
}

STDAPI DllUnregisterServer(void) {
    tarvex::SystemRegistry registry;
    HRESULT hr = tarvex::Registration::unregisterEntries(registry);
    HRESULT typeLib = tarvex::platform::unregisterTypeLibrary(LIBID_TARVEXLib, kTypeLibMajor, kTypeLibMinor,
                                                              kTypeLibLocale);
    return FAILED(hr) ? hr : typeLib;
}
