// The automation layer where the platform does not supply one: BSTR, VARIANT
// and SAFEARRAY with the layouts and behaviour script hosts rely on.
//
// A BSTR points at its UTF-16 characters; the 32-bit byte length sits just
// before them and a NUL unit always follows them. A SAFEARRAY is preceded by a
// hidden header that keeps its element VARTYPE (the 32-bit word right before
// the descriptor holds it, as the platform does).
#include "tarvex/automation.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#ifndef DISP_E_ARRAYISLOCKED
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)
#endif

extern "C" const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                      {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                          {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B,
                                              {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xC7, 0x0E}};

namespace {

// ---------------------------------------------------------------------------
// BSTR storage: [4 spare bytes][uint32 byte length][characters][NUL unit].
// malloc returns 16-byte aligned blocks, so the characters start 8-aligned.

constexpr size_t kBstrPrefix = 8;
constexpr uint32_t kMaxBstrBytes = 0x7FFFFFF0u;

BSTR allocBstrBytes(const void* src, uint32_t byteLen) {
    if (byteLen > kMaxBstrBytes) return nullptr;
    // Room for the bytes, a NUL unit, and a spare byte when the length is odd.
    size_t total = kBstrPrefix + static_cast<size_t>(byteLen) + 3;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(total));
    if (!block) return nullptr;
    std::memset(block, 0, total);
    std::memcpy(block + 4, &byteLen, sizeof(byteLen));
    uint8_t* chars = block + kBstrPrefix;
    if (src && byteLen) std::memcpy(chars, src, byteLen);
    return reinterpret_cast<BSTR>(chars);
}

uint32_t bstrBytes(BSTR b) {
    if (!b) return 0;
    uint32_t n;
    std::memcpy(&n, reinterpret_cast<const uint8_t*>(b) - 4, sizeof(n));
    return n;
}

BSTR copyBstr(BSTR b) {
    if (!b) return nullptr;
    return allocBstrBytes(b, bstrBytes(b));
}

BSTR bstrFromAscii(const char* s) {
    size_t n = std::strlen(s);
    BSTR b = allocBstrBytes(nullptr, static_cast<uint32_t>(n * 2));
    if (!b) return nullptr;
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<OLECHAR>(static_cast<unsigned char>(s[i]));
    return b;
}

// ---------------------------------------------------------------------------
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

// Element size for a VARTYPE, 0 when arrays of it are not supported.
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

// ---------------------------------------------------------------------------
// Type conversion.

bool isSupportedScalar(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_UI1:
        case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT: case VT_I8: case VT_UI8:
        case VT_R4: case VT_R8: case VT_BOOL: case VT_BSTR:
            return true;
        default:
            return false;
    }
}

// A source value reduced to a number: integral (signed or unsigned) or real.
struct Number {
    enum Kind { Signed, Unsigned, Real } kind;
    int64_t s;
    uint64_t u;
    double d;
};

Number fromSigned(int64_t v) { return Number{Number::Signed, v, 0, 0.0}; }
Number fromUnsigned(uint64_t v) { return Number{Number::Unsigned, 0, v, 0.0}; }
Number fromReal(double v) { return Number{Number::Real, 0, 0, v}; }

bool asciiEqualNoCase(const OLECHAR* p, size_t n, const char* word) {
    size_t len = std::strlen(word);
    if (n != len) return false;
    for (size_t i = 0; i < n; ++i) {
        OLECHAR c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<OLECHAR>(c - 'A' + 'a');
        char w = word[i];
        if (w >= 'A' && w <= 'Z') w = static_cast<char>(w - 'A' + 'a');
        if (c != static_cast<OLECHAR>(w)) return false;
    }
    return true;
}

bool isSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Parses decimal text (optional sign, digits, fraction, exponent) or "&H" hex.
// Surrounding white space is allowed. Booleans are accepted as "True"/"False"
// only when allowBool is set.
HRESULT parseNumber(BSTR b, bool allowBool, Number* out) {
    const OLECHAR* p = b ? b : OLESTR("");
    size_t n = SysStringLen(b);
    size_t start = 0;
    while (start < n && isSpace(p[start])) ++start;
    while (n > start && isSpace(p[n - 1])) --n;
    const OLECHAR* s = p + start;
    size_t len = n - start;
    if (len == 0) return DISP_E_TYPEMISMATCH;
    if (allowBool) {
        if (asciiEqualNoCase(s, len, "true")) { *out = fromSigned(-1); return S_OK; }
        if (asciiEqualNoCase(s, len, "false")) { *out = fromSigned(0); return S_OK; }
    }
    if (len > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
        uint64_t v = 0;
        for (size_t i = 2; i < len; ++i) {
            OLECHAR c = s[i];
            unsigned digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else return DISP_E_TYPEMISMATCH;
            if (v > (std::numeric_limits<uint64_t>::max() >> 4)) return DISP_E_OVERFLOW;
            v = (v << 4) | digit;
        }
        // Hex literals up to 32 bits read as signed 32-bit values.
        if (v <= 0xFFFFFFFFull) *out = fromSigned(static_cast<int32_t>(static_cast<uint32_t>(v)));
        else *out = fromUnsigned(v);
        return S_OK;
    }
    // Copy to ASCII, validating the shape as we go.
    char buf[128];
    if (len >= sizeof(buf)) return DISP_E_TYPEMISMATCH;
    size_t i = 0;
    bool digits = false, real = false;
    if (s[i] == '+' || s[i] == '-') ++i;
    while (i < len && s[i] >= '0' && s[i] <= '9') { ++i; digits = true; }
    if (i < len && s[i] == '.') {
        real = true;
        ++i;
        while (i < len && s[i] >= '0' && s[i] <= '9') { ++i; digits = true; }
    }
    if (!digits) return DISP_E_TYPEMISMATCH;
    if (i < len && (s[i] == 'e' || s[i] == 'E')) {
        real = true;
        ++i;
        if (i < len && (s[i] == '+' || s[i] == '-')) ++i;
        bool expDigits = false;
        while (i < len && s[i] >= '0' && s[i] <= '9') { ++i; expDigits = true; }
        if (!expDigits) return DISP_E_TYPEMISMATCH;
    }
    if (i != len) return DISP_E_TYPEMISMATCH;
    for (size_t k = 0; k < len; ++k) buf[k] = static_cast<char>(s[k]);
    buf[len] = '\0';
    errno = 0;
    if (!real) {
        char* end = nullptr;
        long long v = std::strtoll(buf, &end, 10);
        if (errno == 0) { *out = fromSigned(v); return S_OK; }
        if (buf[0] != '-') {
            errno = 0;
            unsigned long long u = std::strtoull(buf, &end, 10);
            if (errno == 0) { *out = fromUnsigned(u); return S_OK; }
        }
        errno = 0;
    }
    double d = std::strtod(buf, nullptr);
    if (errno == ERANGE && std::isinf(d)) return DISP_E_OVERFLOW;
    *out = fromReal(d);
    return S_OK;
}

HRESULT toNumber(const VARIANT& v, bool allowBool, Number* out) {
    switch (v.vt) {
        case VT_EMPTY: *out = fromSigned(0); return S_OK;
        case VT_I1: *out = fromSigned(static_cast<signed char>(v.cVal)); return S_OK;
        case VT_I2: *out = fromSigned(v.iVal); return S_OK;
        case VT_I4: *out = fromSigned(v.lVal); return S_OK;
        case VT_INT: *out = fromSigned(v.intVal); return S_OK;
        case VT_I8: *out = fromSigned(v.llVal); return S_OK;
        case VT_UI1: *out = fromUnsigned(v.bVal); return S_OK;
        case VT_UI2: *out = fromUnsigned(v.uiVal); return S_OK;
        case VT_UI4: *out = fromUnsigned(v.ulVal); return S_OK;
        case VT_UINT: *out = fromUnsigned(v.uintVal); return S_OK;
        case VT_UI8: *out = fromUnsigned(v.ullVal); return S_OK;
        case VT_R4: *out = fromReal(v.fltVal); return S_OK;
        case VT_R8: *out = fromReal(v.dblVal); return S_OK;
        case VT_BOOL: *out = fromSigned(v.boolVal ? -1 : 0); return S_OK;
        case VT_BSTR: return parseNumber(v.bstrVal, allowBool, out);
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Integral value of a number within [lo, hi]; reals round half to even.
HRESULT toIntegral(const Number& n, int64_t lo, uint64_t hi, bool wantSigned, int64_t* s,
                   uint64_t* u) {
    switch (n.kind) {
        case Number::Signed:
            if (n.s < lo) return DISP_E_OVERFLOW;
            if (n.s >= 0 && static_cast<uint64_t>(n.s) > hi) return DISP_E_OVERFLOW;
            *s = n.s;
            *u = static_cast<uint64_t>(n.s);
            return S_OK;
        case Number::Unsigned:
            if (n.u > hi) return DISP_E_OVERFLOW;
            *s = static_cast<int64_t>(n.u);
            *u = n.u;
            return S_OK;
        case Number::Real: {
            if (std::isnan(n.d)) return DISP_E_OVERFLOW;
            double r = std::nearbyint(n.d);
            if (r < static_cast<double>(lo)) return DISP_E_OVERFLOW;
            // 2^64 and 2^63 are exact doubles; compare against them exclusively.
            if (wantSigned) {
                if (r >= 9223372036854775808.0) return DISP_E_OVERFLOW;
                int64_t v = static_cast<int64_t>(r);
                if (v >= 0 && static_cast<uint64_t>(v) > hi) return DISP_E_OVERFLOW;
                *s = v;
                *u = static_cast<uint64_t>(v);
            } else {
                if (r >= 18446744073709551616.0) return DISP_E_OVERFLOW;
                uint64_t v = static_cast<uint64_t>(r);
                if (v > hi) return DISP_E_OVERFLOW;
                *s = static_cast<int64_t>(v);
                *u = v;
            }
            return S_OK;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

double toDouble(const Number& n) {
    switch (n.kind) {
        case Number::Signed: return static_cast<double>(n.s);
        case Number::Unsigned: return static_cast<double>(n.u);
        case Number::Real: return n.d;
    }
    return 0.0;
}

// Text of a real with the given significant digits: "1.5", "1E+20".
BSTR realToBstr(double d, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%.*G", digits, d);
    return bstrFromAscii(buf);
}

HRESULT toBstr(const VARIANT& v, BSTR* out) {
    char buf[32];
    switch (v.vt) {
        case VT_EMPTY: *out = SysAllocStringLen(nullptr, 0); break;
        case VT_BSTR: *out = v.bstrVal ? copyBstr(v.bstrVal) : SysAllocStringLen(nullptr, 0); break;
        case VT_BOOL: *out = bstrFromAscii(v.boolVal ? "True" : "False"); break;
        case VT_R4: *out = realToBstr(v.fltVal, 7); break;
        case VT_R8: *out = realToBstr(v.dblVal, 15); break;
        case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8:
        case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_UI8: {
            Number n{};
            toNumber(v, false, &n);
            if (n.kind == Number::Signed) std::snprintf(buf, sizeof(buf), "%lld", static_cast<long long>(n.s));
            else std::snprintf(buf, sizeof(buf), "%llu", static_cast<unsigned long long>(n.u));
            *out = bstrFromAscii(buf);
            break;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Converts a plain (not by-reference, not object) scalar source into vt.
HRESULT convertScalar(const VARIANT& src, VARTYPE vt, VARIANT* out) {
    if (src.vt == VT_NULL) {
        if (vt == VT_NULL) { out->vt = VT_NULL; return S_OK; }
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_EMPTY) { out->vt = VT_EMPTY; return S_OK; }
    if (vt == VT_NULL) {
        if (src.vt == VT_EMPTY) { out->vt = VT_NULL; return S_OK; }
        return DISP_E_TYPEMISMATCH;
    }
    if (!isSupportedScalar(src.vt)) return DISP_E_TYPEMISMATCH;
    if (vt == VT_BSTR) {
        BSTR b = nullptr;
        HRESULT hr = toBstr(src, &b);
        if (FAILED(hr)) return hr;
        out->vt = VT_BSTR;
        out->bstrVal = b;
        return S_OK;
    }
    Number n{};
    HRESULT hr = toNumber(src, vt == VT_BOOL, &n);
    if (FAILED(hr)) return hr;
    int64_t s = 0;
    uint64_t u = 0;
    switch (vt) {
        case VT_BOOL:
            out->vt = VT_BOOL;
            if (n.kind == Number::Signed) out->boolVal = n.s != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            else if (n.kind == Number::Unsigned) out->boolVal = n.u != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            else out->boolVal = n.d != 0.0 ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case VT_R4: {
            double d = toDouble(n);
            if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
                return DISP_E_OVERFLOW;
            out->vt = VT_R4;
            out->fltVal = static_cast<float>(d);
            return S_OK;
        }
        case VT_R8:
            out->vt = VT_R8;
            out->dblVal = toDouble(n);
            return S_OK;
        case VT_I1:
            hr = toIntegral(n, -128, 127, true, &s, &u);
            if (SUCCEEDED(hr)) out->cVal = static_cast<CHAR>(s);
            break;
        case VT_I2:
            hr = toIntegral(n, -32768, 32767, true, &s, &u);
            if (SUCCEEDED(hr)) out->iVal = static_cast<SHORT>(s);
            break;
        case VT_I4: case VT_INT:
            hr = toIntegral(n, INT32_MIN, INT32_MAX, true, &s, &u);
            if (SUCCEEDED(hr)) out->lVal = static_cast<LONG>(s);
            break;
        case VT_I8:
            hr = toIntegral(n, INT64_MIN, INT64_MAX, true, &s, &u);
            if (SUCCEEDED(hr)) out->llVal = s;
            break;
        case VT_UI1:
            hr = toIntegral(n, 0, 0xFF, false, &s, &u);
            if (SUCCEEDED(hr)) out->bVal = static_cast<BYTE>(u);
            break;
        case VT_UI2:
            hr = toIntegral(n, 0, 0xFFFF, false, &s, &u);
            if (SUCCEEDED(hr)) out->uiVal = static_cast<USHORT>(u);
            break;
        case VT_UI4: case VT_UINT:
            hr = toIntegral(n, 0, 0xFFFFFFFFu, false, &s, &u);
            if (SUCCEEDED(hr)) out->ulVal = static_cast<ULONG>(u);
            break;
        case VT_UI8:
            hr = toIntegral(n, 0, UINT64_MAX, false, &s, &u);
            if (SUCCEEDED(hr)) out->ullVal = u;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    if (SUCCEEDED(hr)) out->vt = vt;
    return hr;
}

// Reads an object's default member (DISPID 0) into a new VARIANT.
HRESULT defaultValue(IUnknown* unk, bool isDispatch, VARIANT* result) {
    if (!unk) return DISP_E_TYPEMISMATCH;
    IDispatch* disp = nullptr;
    if (isDispatch) {
        disp = static_cast<IDispatch*>(unk);
        disp->AddRef();
    } else {
        HRESULT hr = unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp));
        if (FAILED(hr) || !disp) return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VariantInit(result);
    HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_SYSTEM_DEFAULT,
                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, result, nullptr,
                              nullptr);
    disp->Release();
    if (FAILED(hr)) VariantClear(result);
    return hr;
}

HRESULT changeType(VARIANT* out, const VARIANT* src, VARTYPE vt, int depth) {
    if (depth > 8) return DISP_E_TYPEMISMATCH;

    // Read through a by-reference source.
    VARIANT view;
    VariantInit(&view);
    if (src->vt & VT_BYREF) {
        VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
        if (!src->byref) return E_INVALIDARG;
        if (base == VT_VARIANT) return changeType(out, src->pvarVal, vt, depth + 1);
        if (base & VT_ARRAY) {
            view.vt = base;
            view.parray = *src->pparray;
        } else {
            view.vt = base;
            switch (base) {
                case VT_I1: view.cVal = *src->pcVal; break;
                case VT_UI1: view.bVal = *src->pbVal; break;
                case VT_I2: view.iVal = *src->piVal; break;
                case VT_UI2: view.uiVal = *src->puiVal; break;
                case VT_BOOL: view.boolVal = *src->pboolVal; break;
                case VT_I4: view.lVal = *src->plVal; break;
                case VT_UI4: view.ulVal = *src->pulVal; break;
                case VT_INT: view.intVal = *src->pintVal; break;
                case VT_UINT: view.uintVal = *src->puintVal; break;
                case VT_I8: view.llVal = *src->pllVal; break;
                case VT_UI8: view.ullVal = *src->pullVal; break;
                case VT_R4: view.fltVal = *src->pfltVal; break;
                case VT_R8: view.dblVal = *src->pdblVal; break;
                case VT_BSTR: view.bstrVal = *src->pbstrVal; break;
                case VT_DISPATCH: view.pdispVal = *src->ppdispVal; break;
                case VT_UNKNOWN: view.punkVal = *src->ppunkVal; break;
                default: return DISP_E_TYPEMISMATCH;
            }
        }
        src = &view;  // borrowed, not owned
    }

    if (src->vt == vt) return VariantCopy(out, src);

    if (src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) {
        if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (!src->punkVal) {
                out->vt = vt;
                out->punkVal = nullptr;
                return S_OK;
            }
            if (vt == VT_UNKNOWN) {
                src->punkVal->AddRef();
                out->vt = VT_UNKNOWN;
                out->punkVal = src->punkVal;
                return S_OK;
            }
            IDispatch* disp = nullptr;
            HRESULT hr = src->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp));
            if (FAILED(hr) || !disp) return DISP_E_TYPEMISMATCH;
            out->vt = VT_DISPATCH;
            out->pdispVal = disp;
            return S_OK;
        }
        VARIANT value;
        HRESULT hr = defaultValue(src->punkVal, src->vt == VT_DISPATCH, &value);
        if (FAILED(hr)) return hr;
        hr = changeType(out, &value, vt, depth + 1);
        VariantClear(&value);
        return hr;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if ((src->vt & VT_ARRAY) || (vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    if (!isSupportedScalar(vt)) return DISP_E_BADVARTYPE;
    return convertScalar(*src, vt, out);
}

bool isValidVariantType(VARTYPE vt) {
    if (vt & VT_BYREF) return true;  // not owned, nothing to check
    VARTYPE base = static_cast<VARTYPE>(vt & ~VT_ARRAY);
    if (vt & VT_ARRAY) return elementSize(base) != 0;
    switch (base) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
        case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL:
        case VT_UNKNOWN: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8:
        case VT_UI8: case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Strings

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t n = 0;
    while (psz[n]) ++n;
    if (n > kMaxBstrBytes / 2) return nullptr;
    return allocBstrBytes(psz, static_cast<uint32_t>(n * 2));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > kMaxBstrBytes / 2) return nullptr;
    return allocBstrBytes(pch, cch * 2);
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    return allocBstrBytes(psz, len);
}

void SysFreeString(BSTR bstr) {
    if (!bstr) return;
    std::free(reinterpret_cast<uint8_t*>(bstr) - kBstrPrefix);
}

UINT SysStringLen(BSTR bstr) { return bstrBytes(bstr) / 2; }

UINT SysStringByteLen(BSTR bstr) { return bstrBytes(bstr); }

// ---------------------------------------------------------------------------
// Variants

void VariantInit(VARIANT* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (!isValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    VARTYPE vt = pvargSrc->vt;
    if (!isValidVariantType(vt)) return DISP_E_BADVARTYPE;

    VARIANT copy = *pvargSrc;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            if (pvargSrc->bstrVal) {
                copy.bstrVal = copyBstr(pvargSrc->bstrVal);
                if (!copy.bstrVal) return E_OUTOFMEMORY;
            }
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (copy.punkVal) copy.punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags, VARTYPE vt) {
    (void)wFlags;
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = changeType(&result, pvarSrc, vt, 0);
    if (FAILED(hr)) return hr;
    // The source may be the destination: clear only once the result is made.
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Arrays

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
