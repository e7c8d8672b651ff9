// SAFEARRAY where the platform does not supply one. Each array is preceded by
// a hidden header that keeps its element VARTYPE (the 32-bit word right before
// the descriptor holds it, as the platform does).
#include "tarvex/automation.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/posix/AutomationStorage.h"

#ifndef DISP_E_ARRAYISLOCKED
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)
#endif

using tarvex::platform::copyBstr;
using tarvex::platform::elementSize;

namespace tarvex {
namespace platform {

ULONG elementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
        case VT_BSTR: return sizeof(BSTR);
        case VT_DISPATCH: case VT_UNKNOWN: return sizeof(IUnknown*);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

}  // namespace platform
}  // namespace tarvex

namespace {

// SAFEARRAY storage: a 16-byte header, then the descriptor with its bounds.

constexpr uint32_t kArrayMagic = 0x54565341u;  // "ASVT"

struct ArrayHeader {
    uint32_t magic;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t vartype;  // the word right before the descriptor
};
static_assert(sizeof(ArrayHeader) == 16, "array header keeps the descriptor 16-aligned");

ArrayHeader* headerOf(SAFEARRAY* psa) {
    return reinterpret_cast<ArrayHeader*>(reinterpret_cast<uint8_t*>(psa) - sizeof(ArrayHeader));
}

bool isOurArray(SAFEARRAY* psa) {
    return psa && headerOf(psa)->magic == kArrayMagic && psa->cDims > 0;
}

size_t descriptorSize(UINT cDims) {
    return offsetof(SAFEARRAY, rgsabound) + sizeof(SAFEARRAYBOUND) * cDims;
}

USHORT featuresFor(VARTYPE vt) {
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) f |= FADF_BSTR;
    if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
    if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
    if (vt == VT_VARIANT) f |= FADF_VARIANT;
    return f;
}

uint64_t elementCount(const SAFEARRAY* psa) {
    uint64_t n = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) n *= psa->rgsabound[i].cElements;
    return n;
}

// rgsabound is given leftmost dimension first; the descriptor keeps the
// rightmost first.
SAFEARRAY* createArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds) {
    if (cDims == 0 || cDims > 0xFFFF || !bounds) return nullptr;
    ULONG elemSize = elementSize(vt);
    if (elemSize == 0) return nullptr;
    uint64_t count = 1;
    for (UINT i = 0; i < cDims; ++i) {
        count *= bounds[i].cElements;
        if (count > 0x7FFFFFFFull) return nullptr;
    }
    uint64_t dataBytes = count * elemSize;
    if (dataBytes > 0x7FFFFFFFull) return nullptr;

    size_t headBytes = sizeof(ArrayHeader) + descriptorSize(cDims);
    uint8_t* block = static_cast<uint8_t*>(std::calloc(1, headBytes));
    if (!block) return nullptr;
    // Never a null data block, so readers may copy zero bytes from it safely.
    void* data = std::calloc(1, dataBytes ? static_cast<size_t>(dataBytes) : 8);
    if (!data) {
        std::free(block);
        return nullptr;
    }
    ArrayHeader* head = reinterpret_cast<ArrayHeader*>(block);
    head->magic = kArrayMagic;
    head->vartype = vt;
    SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(block + sizeof(ArrayHeader));
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = featuresFor(vt);
    psa->cbElements = elemSize;
    psa->cLocks = 0;
    psa->pvData = data;
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[i] = bounds[cDims - 1 - i];
    return psa;
}

// Releases what the elements own (strings, objects, variants) and zeroes them.
void clearElements(SAFEARRAY* psa) {
    uint64_t count = elementCount(psa);
    if (psa->fFeatures & FADF_BSTR) {
        BSTR* p = static_cast<BSTR*>(psa->pvData);
        for (uint64_t i = 0; i < count; ++i) {
            SysFreeString(p[i]);
            p[i] = nullptr;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown** p = static_cast<IUnknown**>(psa->pvData);
        for (uint64_t i = 0; i < count; ++i) {
            if (p[i]) p[i]->Release();
            p[i] = nullptr;
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        VARIANT* p = static_cast<VARIANT*>(psa->pvData);
        for (uint64_t i = 0; i < count; ++i) VariantClear(&p[i]);
    }
}

// Address of the element at rgIndices (rgIndices[0] is dimension 1, the
// leftmost, which varies fastest), or null when an index is out of range.
void* elementAt(SAFEARRAY* psa, const LONG* rgIndices) {
    uint64_t offset = 0;
    uint64_t stride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
        int64_t i = static_cast<int64_t>(rgIndices[d]) - b.lLbound;
        if (i < 0 || static_cast<uint64_t>(i) >= b.cElements) return nullptr;
        offset += static_cast<uint64_t>(i) * stride;
        stride *= b.cElements;
    }
    return static_cast<uint8_t*>(psa->pvData) + offset * psa->cbElements;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound = {cElements, lLbound};
    return createArray(vt, 1, &bound);
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return createArray(vt, cDims, rgsabound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (!isOurArray(psa)) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    clearElements(psa);
    std::free(psa->pvData);
    ArrayHeader* head = headerOf(psa);
    head->magic = 0;
    std::free(head);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!ppvData) return E_INVALIDARG;
    *ppvData = nullptr;
    if (!isOurArray(psa)) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFFFFFFu) return E_UNEXPECTED;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (!isOurArray(psa)) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (!isOurArray(psa) || !(psa->fFeatures & FADF_HAVEVARTYPE)) return E_INVALIDARG;
    *pvt = static_cast<VARTYPE>(headerOf(psa)->vartype);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!isOurArray(psa) || !rgIndices || !pv) return E_INVALIDARG;
    void* cell = elementAt(psa, rgIndices);
    if (!cell) return DISP_E_BADINDEX;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR src = *static_cast<BSTR*>(cell);
        BSTR copy = copyBstr(src);
        if (src && !copy) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* unk = *static_cast<IUnknown**>(cell);
        if (unk) unk->AddRef();
        *static_cast<IUnknown**>(pv) = unk;
    } else if (psa->fFeatures & FADF_VARIANT) {
        VARIANT* out = static_cast<VARIANT*>(pv);
        VariantInit(out);
        return VariantCopy(out, static_cast<VARIANT*>(cell));
    } else {
        std::memcpy(pv, cell, psa->cbElements);
    }
    return S_OK;
}

// pv is the BSTR itself for string arrays, the interface pointer for object
// arrays, and the address of the value otherwise (a VARIANT* for variants).
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!isOurArray(psa) || !rgIndices) return E_INVALIDARG;
    void* cell = elementAt(psa, rgIndices);
    if (!cell) return DISP_E_BADINDEX;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR src = static_cast<BSTR>(pv);
        BSTR copy = copyBstr(src);
        if (src && !copy) return E_OUTOFMEMORY;
        BSTR* slot = static_cast<BSTR*>(cell);
        SysFreeString(*slot);
        *slot = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* unk = static_cast<IUnknown*>(pv);
        if (unk) unk->AddRef();
        IUnknown** slot = static_cast<IUnknown**>(cell);
        if (*slot) (*slot)->Release();
        *slot = unk;
    } else if (psa->fFeatures & FADF_VARIANT) {
        if (!pv) return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
    } else {
        if (!pv) return E_INVALIDARG;
        std::memcpy(cell, pv, psa->cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    if (!isOurArray(psa)) return E_INVALIDARG;

    // Bounds back in the caller's order: leftmost dimension first.
    SAFEARRAYBOUND small[4];
    SAFEARRAYBOUND* bounds = psa->cDims <= 4 ? small : new (std::nothrow) SAFEARRAYBOUND[psa->cDims];
    if (!bounds) return E_OUTOFMEMORY;
    for (USHORT i = 0; i < psa->cDims; ++i) bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
    SAFEARRAY* copy = createArray(static_cast<VARTYPE>(headerOf(psa)->vartype), psa->cDims, bounds);
    if (bounds != small) delete[] bounds;
    if (!copy) return E_OUTOFMEMORY;

    uint64_t count = elementCount(psa);
    if (psa->fFeatures & FADF_BSTR) {
        BSTR* from = static_cast<BSTR*>(psa->pvData);
        BSTR* to = static_cast<BSTR*>(copy->pvData);
        for (uint64_t i = 0; i < count; ++i) {
            to[i] = copyBstr(from[i]);
            if (from[i] && !to[i]) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown** from = static_cast<IUnknown**>(psa->pvData);
        IUnknown** to = static_cast<IUnknown**>(copy->pvData);
        for (uint64_t i = 0; i < count; ++i) {
            to[i] = from[i];
            if (to[i]) to[i]->AddRef();
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        VARIANT* from = static_cast<VARIANT*>(psa->pvData);
        VARIANT* to = static_cast<VARIANT*>(copy->pvData);
        for (uint64_t i = 0; i < count; ++i) {
            HRESULT hr = VariantCopy(&to[i], &from[i]);
            if (FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
        }
    } else {
        std::memcpy(copy->pvData, psa->pvData, static_cast<size_t>(count * psa->cbElements));
    }
    *ppsaOut = copy;
    return S_OK;
}

}  // extern "C"
