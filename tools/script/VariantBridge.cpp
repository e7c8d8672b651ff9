#include "VariantBridge.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "DispatchBridge.h"

namespace tarvex_script {

BSTR bstrFromDuk(duk_context* ctx, duk_idx_t index) {
    duk_size_t size = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(duk_get_lstring(ctx, index, &size));
    // Reused between calls: a member call converts a string or two.
    static thread_local std::vector<OLECHAR> units;
    units.clear();
    units.reserve(size);
    for (size_t i = 0; i < size;) {
        uint32_t c = s[i];
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 0;
        if (c >= 0x80 && extra == 0) {  // not a lead byte: Duktape never makes these
            units.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (extra && i + extra >= size) {
            units.push_back(u'\uFFFD');
            break;
        }
        if (extra) c &= 0x3Fu >> extra;
        for (size_t k = 1; k <= extra; ++k) c = (c << 6) | (s[i + k] & 0x3F);
        i += extra + 1;
        if (c >= 0x10000) {  // a plain UTF-8 sequence beyond the BMP
            c -= 0x10000;
            units.push_back(static_cast<OLECHAR>(0xD800 + (c >> 10)));
            units.push_back(static_cast<OLECHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            units.push_back(static_cast<OLECHAR>(c));  // surrogates pass as they are
        }
    }
    return SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
}

void appendUnit(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void pushBstr(duk_context* ctx, BSTR text) {
    const UINT n = text ? SysStringLen(text) : 0;
    // ASCII, the common case, goes straight through.
    char small[256];
    if (n < sizeof small) {
        UINT i = 0;
        for (; i < n && text[i] < 0x80; ++i) small[i] = static_cast<char>(text[i]);
        if (i == n) {
            duk_push_lstring(ctx, small, n);
            return;
        }
    }
    std::string out;
    out.reserve(n * 3);
    for (UINT i = 0; i < n; ++i) appendUnit(out, static_cast<uint16_t>(text[i]));
    duk_push_lstring(ctx, out.data(), out.size());
}

std::string cesuToUtf8(const char* data, size_t size) {
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < size;) {
        // A CESU-8 surrogate pair (ED A0-AF xx, ED B0-BF xx) becomes one 4-byte sequence.
        if (i + 5 < size && s[i] == 0xED && (s[i + 1] & 0xF0) == 0xA0 && s[i + 3] == 0xED &&
            (s[i + 4] & 0xF0) == 0xB0) {
            const uint32_t hi = 0xD000 | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            const uint32_t lo = 0xD000 | ((s[i + 4] & 0x3F) << 6) | (s[i + 5] & 0x3F);
            appendUnit(out, 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00));
            i += 6;
            continue;
        }
        out.push_back(static_cast<char>(s[i]));
        ++i;
    }
    return out;
}

std::string utf8ToCesu(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        if ((s[i] >> 3) == 0x1E && i + 3 < utf8.size()) {
            uint32_t c = ((s[i] & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            c -= 0x10000;
            appendUnit(out, 0xD800 + (c >> 10));
            appendUnit(out, 0xDC00 + (c & 0x3FF));
            i += 4;
            continue;
        }
        out.push_back(static_cast<char>(s[i]));
        ++i;
    }
    return out;
}

bool variantFromDuk(duk_context* ctx, duk_idx_t index, VARIANT* out) {
    switch (duk_get_type(ctx, index)) {
        case DUK_TYPE_UNDEFINED:
        case DUK_TYPE_NONE:
            out->vt = VT_EMPTY;
            return true;
        case DUK_TYPE_NULL:
            out->vt = VT_DISPATCH;
            out->pdispVal = nullptr;
            return true;
        case DUK_TYPE_BOOLEAN:
            out->vt = VT_BOOL;
            out->boolVal = duk_get_boolean(ctx, index) ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        case DUK_TYPE_NUMBER: {
            const double d = duk_get_number(ctx, index);
            if (std::floor(d) == d && d >= -2147483648.0 && d <= 2147483647.0) {
                out->vt = VT_I4;
                out->lVal = static_cast<LONG>(d);
            } else {
                out->vt = VT_R8;
                out->dblVal = d;
            }
            return true;
        }
        case DUK_TYPE_STRING:
            out->vt = VT_BSTR;
            out->bstrVal = bstrFromDuk(ctx, index);
            return true;
        default:
            break;
    }
    if (duk_is_buffer_data(ctx, index)) {
        duk_size_t size = 0;
        const void* data = duk_get_buffer_data(ctx, index, &size);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
        if (array == nullptr) return false;
        void* into = nullptr;
        if (size > 0 && SUCCEEDED(SafeArrayAccessData(array, &into))) {
            std::memcpy(into, data, size);
            SafeArrayUnaccessData(array);
        }
        out->vt = VT_ARRAY | VT_UI1;
        out->parray = array;
        return true;
    }
    if (IDispatch* object = dispatchOf(ctx, index)) {
        object->AddRef();
        out->vt = VT_DISPATCH;
        out->pdispVal = object;
        return true;
    }
    return false;
}

void pushVariant(duk_context* ctx, const VARIANT* v) {
    VARTYPE vt = v->vt;
    if (vt == (VT_BYREF | VT_VARIANT)) return pushVariant(ctx, v->pvarVal);
    if (vt == (VT_ARRAY | VT_UI1) || vt == (VT_BYREF | VT_ARRAY | VT_UI1)) {
        SAFEARRAY* array = (vt & VT_BYREF) ? *v->pparray : v->parray;
        LONG lo = 0, hi = -1;
        if (array) {
            SafeArrayGetLBound(array, 1, &lo);
            SafeArrayGetUBound(array, 1, &hi);
        }
        const size_t size = hi >= lo ? static_cast<size_t>(hi - lo + 1) : 0;
        void* bytes = duk_push_fixed_buffer(ctx, size);
        void* from = nullptr;
        if (size > 0 && SUCCEEDED(SafeArrayAccessData(array, &from))) {
            std::memcpy(bytes, from, size);
            SafeArrayUnaccessData(array);
        }
        duk_push_buffer_object(ctx, -1, 0, size, DUK_BUFOBJ_UINT8ARRAY);
        duk_remove(ctx, -2);
        return;
    }
    const bool ref = (vt & VT_BYREF) != 0;
    switch (vt & ~VT_BYREF) {
        case VT_EMPTY: duk_push_undefined(ctx); return;
        case VT_NULL: duk_push_null(ctx); return;
        case VT_BOOL: duk_push_boolean(ctx, (ref ? *v->pboolVal : v->boolVal) != 0); return;
        case VT_I1: duk_push_int(ctx, static_cast<signed char>(ref ? *v->pcVal : v->cVal)); return;
        case VT_UI1: duk_push_uint(ctx, ref ? *v->pbVal : v->bVal); return;
        case VT_I2: duk_push_int(ctx, ref ? *v->piVal : v->iVal); return;
        case VT_UI2: duk_push_uint(ctx, ref ? *v->puiVal : v->uiVal); return;
        case VT_I4: duk_push_int(ctx, ref ? *v->plVal : v->lVal); return;
        case VT_INT: duk_push_int(ctx, ref ? *v->pintVal : v->intVal); return;
        case VT_UI4: duk_push_uint(ctx, ref ? *v->pulVal : v->ulVal); return;
        case VT_UINT: duk_push_uint(ctx, ref ? *v->puintVal : v->uintVal); return;
        case VT_I8: duk_push_number(ctx, static_cast<double>(ref ? *v->pllVal : v->llVal)); return;
        case VT_UI8: duk_push_number(ctx, static_cast<double>(ref ? *v->pullVal : v->ullVal)); return;
        case VT_R4: duk_push_number(ctx, ref ? *v->pfltVal : v->fltVal); return;
        case VT_R8:
        case VT_DATE: duk_push_number(ctx, ref ? *v->pdblVal : v->dblVal); return;
        case VT_BSTR: pushBstr(ctx, ref ? *v->pbstrVal : v->bstrVal); return;
        case VT_DISPATCH: {
            IDispatch* d = ref ? *v->ppdispVal : v->pdispVal;
            if (d)
                pushDispatch(ctx, d);
            else
                duk_push_null(ctx);
            return;
        }
        case VT_UNKNOWN: {
            IUnknown* u = ref ? *v->ppunkVal : v->punkVal;
            IDispatch* d = nullptr;
            if (u && SUCCEEDED(u->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) && d) {
                pushDispatch(ctx, d);
                d->Release();
            } else {
                duk_push_null(ctx);
            }
            return;
        }
        default:
            // Errors (missing arguments) and kinds a script cannot hold.
            duk_push_undefined(ctx);
            return;
    }
}

}  // namespace tarvex_script
