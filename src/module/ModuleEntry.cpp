// The module's entry points and the component's identifiers.
#include "component/CTarvex.h"
#include "module/ClassFactory.h"
#include "component/ModuleCount.h"
#include "tarvex/tarvex.h"

extern "C" {
// {AB25D644-6C31-49C1-9ED1-67B4C0502D57}
const IID IID_ITarvex = {0xAB25D644, 0x6C31, 0x49C1, {0x9E, 0xD1, 0x67, 0xB4, 0xC0, 0x50, 0x2D, 0x57}};
// {3A573F1E-954B-4274-BF98-EAE8466B80B5}
const CLSID CLSID_Tarvex = {0x3A573F1E, 0x954B, 0x4274, {0xBF, 0x98, 0xEA, 0xE8, 0x46, 0x6B, 0x80, 0xB5}};
// {43379FF1-E31B-4120-829C-47DD8E11E5E6}
const GUID LIBID_TARVEXLib = {0x43379FF1, 0xE31B, 0x4120, {0x82, 0x9C, 0x47, 0xDD, 0x8E, 0x11, 0xE5, 0xE6}};
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Tarvex)) return CLASS_E_CLASSNOTAVAILABLE;
    return tarvex::ClassFactory::Instance().QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return tarvex::ModuleCount::Count() == 0 ? S_OK : S_FALSE; }
