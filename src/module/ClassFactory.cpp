#include "module/ClassFactory.h"

#include "component/CTarvex.h"
#include "component/ModuleCount.h"

namespace tarvex {

ClassFactory& ClassFactory::Instance() {
    static ClassFactory factory;  // initialised once, under the runtime's lock
    return factory;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

// The factory lives as long as the module; its references only keep the
// module loaded.
ULONG ClassFactory::AddRef() {
    ModuleCount::Lock();
    return 2;
}

ULONG ClassFactory::Release() {
    ModuleCount::Unlock();
    return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    CTarvex* object = CTarvex::NewObject(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    // The inner unknown owns the object: a reference for the query, dropped
    // again afterwards, destroys the object when the query fails.
    IUnknown* inner = object->InnerUnknown();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ModuleCount::Lock();
    else
        ModuleCount::Unlock();
    return S_OK;
}

}  // namespace tarvex
