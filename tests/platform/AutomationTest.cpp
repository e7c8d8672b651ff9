#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "support/VariantSupport.h"
#include "tarvex/automation.h"

using tarvex_test::FakeDispatch;
using tarvex_test::variantOf;

namespace {

bool sameText(BSTR b, const OLECHAR* expected) {
    UINT n = 0;
    while (expected[n]) ++n;
    return SysStringLen(b) == n && std::memcmp(b, expected, n * sizeof(OLECHAR)) == 0;
}

}  // namespace

TEST(Automation, BstrLengthsAndLayout) {
    const OLECHAR text[] = {u'a', 0, u'b', u'c'};
    BSTR b = SysAllocStringLen(text, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 4u);  // the embedded NUL counts
    EXPECT_EQ(std::memcmp(b, text, sizeof(text)), 0);
    EXPECT_EQ(b[4], 0);  // always terminated
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<uint8_t*>(b) - 4, 4);
    EXPECT_EQ(prefix, 8u);  // the byte length sits just before the text
    SysFreeString(b);
    BSTR zeroed = SysAllocStringLen(nullptr, 3);
    EXPECT_EQ(zeroed[0] | zeroed[1] | zeroed[2] | zeroed[3], 0);
    SysFreeString(zeroed);
    BSTR odd = SysAllocStringByteLen("xyz", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Automation, VariantCopyAndClearOwnership) {
    // Strings are deep-copied, embedded NULs included.
    const OLECHAR text[] = {u'x', 0, u'y'};
    VARIANT a = variantOf(VT_BSTR), b = variantOf(VT_EMPTY);
    a.bstrVal = SysAllocStringLen(text, 3);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(SysStringLen(b.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(b.bstrVal, text, sizeof(text)), 0);

    // Objects are AddRef'd by a copy and released by a clear; copying over a
    // string variant frees that string (ASan would catch a leak).
    FakeDispatch obj(7);
    VARIANT o = variantOf(VT_DISPATCH);
    o.pdispVal = &obj;
    obj.AddRef();
    ASSERT_EQ(VariantCopy(&b, &o), S_OK);
    EXPECT_EQ(obj.refs, 3u);
    VariantClear(&b);
    VariantClear(&o);
    EXPECT_EQ(obj.refs, 1u);

    // By-reference values are not owned: clearing leaves the target alone.
    LONG target = 5;
    VARIANT r = variantOf(VT_BYREF | VT_I4);
    r.plVal = &target;
    EXPECT_EQ(VariantClear(&r), S_OK);
    EXPECT_EQ(target, 5);

    // Arrays of variants are copied deeply and destroyed with their contents.
    SAFEARRAY* arr = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    ASSERT_NE(arr, nullptr);
    VARIANT elem = variantOf(VT_DISPATCH);
    elem.pdispVal = &obj;  // the array takes its own reference
    LONG idx = 0;
    ASSERT_EQ(SafeArrayPutElement(arr, &idx, &elem), S_OK);
    elem.vt = VT_BSTR;
    elem.bstrVal = SysAllocString(OLESTR("in array"));
    idx = 1;
    ASSERT_EQ(SafeArrayPutElement(arr, &idx, &elem), S_OK);
    VariantClear(&elem);
    VARIANT va = variantOf(VT_ARRAY | VT_VARIANT), vb = variantOf(VT_EMPTY);
    va.parray = arr;
    ASSERT_EQ(VariantCopy(&vb, &va), S_OK);
    EXPECT_EQ(obj.refs, 3u);
    VARIANT got;
    ASSERT_EQ(SafeArrayGetElement(vb.parray, &idx, &got), S_OK);
    EXPECT_TRUE(sameText(got.bstrVal, OLESTR("in array")));
    VariantClear(&got);
    VariantClear(&va);
    VariantClear(&vb);
    EXPECT_EQ(obj.refs, 1u);
}

TEST(Automation, MultiDimensionalArrayBoundsAndData) {
    // Dimension 1 is 0..2, dimension 2 is 5..8: 12 four-byte elements.
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, 5}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(psa->rgsabound[0].lLbound, 5);  // the descriptor keeps the rightmost dimension first
    LONG lo = -1, hi = -1;
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &hi), S_OK);
    EXPECT_EQ(lo * 100 + hi, 508);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lo), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &hi), DISP_E_BADINDEX);

    // The first dimension varies fastest in the data block.
    LONG idx[2] = {1, 6};
    LONG value = 42;
    ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
    LONG outOfRange[2] = {3, 6};
    EXPECT_EQ(SafeArrayPutElement(psa, outOfRange, &value), DISP_E_BADINDEX);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(static_cast<LONG*>(data)[1 + (6 - 5) * 3], 42);
    EXPECT_NE(SafeArrayDestroy(psa), S_OK);  // locked while accessed
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    LONG got = 0;
    EXPECT_EQ(SafeArrayGetElement(copy, idx, &got), S_OK);
    EXPECT_EQ(got, 42);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(Automation, StringArraysOwnTheirElements) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 1, 2);
    ASSERT_NE(psa, nullptr);
    BSTR s = SysAllocString(OLESTR("abc"));
    LONG idx = 2;
    ASSERT_EQ(SafeArrayPutElement(psa, &idx, s), S_OK);
    ASSERT_EQ(SafeArrayPutElement(psa, &idx, s), S_OK);  // replacing frees the old copy
    SysFreeString(s);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &idx, &out), S_OK);
    EXPECT_TRUE(sameText(out, OLESTR("abc")));
    SysFreeString(out);
    idx = 0;
    EXPECT_EQ(SafeArrayGetElement(psa, &idx, &out), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

std::string changedText(VARIANT src) {
    VARIANT dst = variantOf(VT_EMPTY);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    std::string out;
    for (UINT i = 0; dst.vt == VT_BSTR && i < SysStringLen(dst.bstrVal); ++i) out += static_cast<char>(dst.bstrVal[i]);
    VariantClear(&dst);
    return out;
}

TEST(Automation, ChangeTypeMainPaths) {
    VARIANT src = variantOf(VT_EMPTY), dst = variantOf(VT_EMPTY);
    // (integers to text and booleans to integers also go through Invoke in the dispatch tests)
    EXPECT_EQ(changedText(src), "");
    src.vt = VT_BOOL;
    src.boolVal = VARIANT_TRUE;
    EXPECT_EQ(changedText(src), "True");
    double d = 2.5;  // by-reference sources are read through
    src.vt = VT_BYREF | VT_R8;
    src.pdblVal = &d;
    EXPECT_EQ(changedText(src), "2.5");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
    EXPECT_EQ(dst.iVal, 2);  // halves round to even
    d = 1e20;
    EXPECT_EQ(changedText(src), "1E+20");

    // Text to a number, in place; text to a boolean.
    dst.vt = VT_BSTR;
    dst.bstrVal = SysAllocString(OLESTR(" 65535 "));
    ASSERT_EQ(VariantChangeType(&dst, &dst, 0, VT_UI2), S_OK);
    EXPECT_EQ(dst.vt, VT_UI2);
    EXPECT_EQ(dst.uiVal, 65535);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(OLESTR("false"));
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), S_OK);
    EXPECT_EQ(dst.boolVal, VARIANT_FALSE);
    VariantClear(&src);

    // Objects are read through their default member.
    FakeDispatch obj(99);
    src.vt = VT_DISPATCH;
    src.pdispVal = &obj;
    EXPECT_EQ(changedText(src), "99");
    EXPECT_EQ(obj.calls, 1);
    EXPECT_EQ(obj.refs, 1u);
}

TEST(Automation, ChangeTypeFailuresLeaveTheTargetAlone) {
    VARIANT src = variantOf(VT_EMPTY), dst = variantOf(VT_I4);
    dst.lVal = 17;
    auto fails = [&](VARTYPE to, HRESULT expected) {
        EXPECT_EQ(VariantChangeType(&dst, &src, 0, to), expected) << src.vt << " to " << to;
        EXPECT_TRUE(dst.vt == VT_I4 && dst.lVal == 17);
    };
    src.vt = VT_I4;
    src.lVal = 300;
    fails(VT_UI1, DISP_E_OVERFLOW);
    src.lVal = -1;
    fails(VT_UI4, DISP_E_OVERFLOW);
    src.vt = VT_R8;
    src.dblVal = 3e9;
    fails(VT_I4, DISP_E_OVERFLOW);
    src.vt = VT_NULL;
    fails(VT_I4, DISP_E_TYPEMISMATCH);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(OLESTR("12abc"));
    fails(VT_I4, DISP_E_TYPEMISMATCH);
    VariantClear(&src);
}
