// ClassFactory: the class object of CTarvex. One instance per module, handed
// out by DllGetClassObject; while anyone holds a reference to it (or has
// locked the server) the module stays loaded.
#pragma once

#include "tarvex/automation.h"

namespace tarvex {

class ClassFactory final : public IClassFactory {
public:
    // The module's factory (created on first use, never destroyed).
    static ClassFactory& Instance();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // With `outer`, riid must be IID_IUnknown (else CLASS_E_NOAGGREGATION)
    // and the new object's own IUnknown is returned.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ClassFactory() = default;
};

}  // namespace tarvex
