// The module's type library on Windows: loaded from the module file's
// TYPELIB 1 resource through oleaut32, registered and unregistered there, and
// the source of the type information GetTypeInfo hands out.
#include "platform/TypeLibrary.h"

#include <windows.h>
#include <oleauto.h>

#include <mutex>
#include <string>

#include "platform/ComServer.h"
#include "platform/win/WideText.h"

namespace tarvex {
namespace platform {

namespace {

// One loaded library and the one interface description the component asks
// for, kept until the module unloads.
struct Cache {
    std::mutex lock;
    bool tried = false;
    ITypeLib* library = nullptr;
    ITypeInfo* info = nullptr;
    IID iid{};
};

Cache& cache() {
    static Cache c;
    return c;
}

HRESULT loadModuleLibrary(const std::string& path, REGKIND kind, ITypeLib** out) {
    std::wstring wide = wideFromUtf8(path);
    if (wide.empty()) return E_FAIL;
    return LoadTypeLibEx(wide.c_str(), kind, out);
}

}  // namespace

ITypeInfo* moduleTypeInfo(REFIID iid) {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.tried) return IsEqualIID(iid, c.iid) ? c.info : nullptr;
    c.tried = true;
    c.iid = iid;
    std::string path;
    if (!modulePath(path)) return nullptr;
    if (FAILED(loadModuleLibrary(path, REGKIND_NONE, &c.library))) {
        c.library = nullptr;
        return nullptr;
    }
    if (FAILED(c.library->GetTypeInfoOfGuid(iid, &c.info))) c.info = nullptr;
    return c.info;
}

void addRefTypeInfo(ITypeInfo* info) {
    if (info) info->AddRef();
}

void releaseModuleTypeLibrary() {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.info) c.info->Release();
    if (c.library) c.library->Release();
    c.info = nullptr;
    c.library = nullptr;
    c.tried = false;
}

HRESULT registerTypeLibrary(const char* modulePathUtf8) {
    if (modulePathUtf8 == nullptr) return E_POINTER;
    ITypeLib* library = nullptr;
    HRESULT hr = loadModuleLibrary(modulePathUtf8, REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    std::wstring path = wideFromUtf8(modulePathUtf8);
    hr = RegisterTypeLib(library, &path[0], nullptr);
    library->Release();
    return hr;
}

HRESULT unregisterTypeLibrary(REFGUID libid, WORD major, WORD minor, LCID lcid) {
    // A type library that is not registered is nothing to undo.
    BSTR registered = nullptr;
    if (FAILED(QueryPathOfRegTypeLib(libid, major, minor, lcid, &registered))) return S_OK;
    SysFreeString(registered);
    using UnRegisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    if (oleaut == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    auto unregister = reinterpret_cast<UnRegisterFn>(
        reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
    if (unregister == nullptr) return S_OK;  // an old system: nothing to undo
    const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    return unregister(libid, major, minor, lcid, kind);
}

}  // namespace platform
}  // namespace tarvex
