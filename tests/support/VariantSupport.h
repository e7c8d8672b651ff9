// A VARIANT of a given type, and an object whose default member gives a value.
#pragma once

#include "tarvex/automation.h"

namespace tarvex_test {

inline VARIANT variantOf(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

// Its default member gives a copy of `value` (or, when built without one,
// the object itself, forever) or fails with `status`; references and calls
// are counted.
struct FakeDispatch final : public IDispatch {
    FakeDispatch() : value(variantOf(VT_DISPATCH)) { value.pdispVal = this; }
    explicit FakeDispatch(LONG n) : value(variantOf(VT_I4)) { value.lVal = n; }
    explicit FakeDispatch(const OLECHAR* text, HRESULT failWith = S_OK) : value(variantOf(VT_BSTR)), status(failWith) {
        value.bstrVal = SysAllocString(text);
    }
    ~FakeDispatch() {
        if (value.vt == VT_BSTR) VariantClear(&value);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        ++calls;
        if (FAILED(status)) return status;
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || (params && params->cArgs) || !result)
            return DISP_E_MEMBERNOTFOUND;
        return VariantCopy(result, &value);
    }
    VARIANT value;
    HRESULT status = S_OK;
    ULONG refs = 1;
    int calls = 0;
};

}  // namespace tarvex_test
