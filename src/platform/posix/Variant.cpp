// VARIANT where the platform does not supply one: clearing, copying and the
// type conversions script hosts rely on.
#include "tarvex/automation.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/posix/AutomationStorage.h"

using tarvex::platform::bstrFromAscii;
using tarvex::platform::copyBstr;
using tarvex::platform::elementSize;

namespace {

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

}  // extern "C"
