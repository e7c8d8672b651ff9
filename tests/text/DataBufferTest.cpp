#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "support/VariantSupport.h"
#include "support/TextSupport.h"
#include "tarvex/automation.h"
#include "text/DataBuffer.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"

using tarvex::DataBuffer;
using tarvex_test::FakeDispatch;
using tarvex_test::textOf;
using tarvex_test::variantOf;

TEST(DataBuffer, GrowthAndEditing) {
    DataBuffer b;
    b.append(nullptr, 5);
    b.append("x", 0);
    EXPECT_EQ(b.getCapacity(), 0u);
    b.appendByte('a');
    b.append("bcd", 3);
    std::string big(30000, 'z');
    b.append(big.data(), static_cast<uint32_t>(big.size()));
    // Appending the buffer to itself survives the reallocation.
    b.appendFrom(b);
    EXPECT_EQ(b.getSize(), 60008u);
    EXPECT_EQ(std::memcmp(b.getData() + 30004, "abcd", 4), 0);

    DataBuffer c;
    c.append("hello world", 11);
    EXPECT_EQ(c.pointerAt(11), nullptr);
    c.removeFront(6);
    EXPECT_EQ(textOf(c), "world");
    c.shorten(10);
    EXPECT_EQ(c.getSize(), 0u);
    c.setSize(1u << 30);
    EXPECT_EQ(c.getSize(), c.getCapacity());

    DataBuffer z(8);
    z.setSize(8);
    EXPECT_EQ(textOf(z), std::string(8, '\0'));  // a fresh block reads as zeros

    DataBuffer t;
    t.appendText(tarvex::StringBuffer("ab"));
    t.appendWide(OLESTR("A"));
    t.appendWide(nullptr);
    EXPECT_EQ(textOf(t), std::string("abA\0\0\0\0\0", 8));
    EXPECT_TRUE(t.isAllAscii());
    t.appendByte(0x80);
    EXPECT_FALSE(t.isAllAscii());
}

TEST(DataBuffer, BorrowAdoptTakeOver) {
    const char text[] = "borrowed bytes";
    DataBuffer b;
    b.append("own", 3);
    b.borrow(text, 8);
    EXPECT_TRUE(b.isBorrowed());
    EXPECT_EQ(b.getData(), reinterpret_cast<const uint8_t*>(text));
    // Dropping the front of a borrowed block never writes into it.
    b.removeFront(1);
    EXPECT_STREQ(text, "borrowed bytes");
    b.append("!", 1);  // growing copies into an owned block
    EXPECT_FALSE(b.isBorrowed());
    EXPECT_EQ(textOf(b), "orrowed!");
    EXPECT_STREQ(text, "borrowed bytes");

    DataBuffer other;
    other.borrow(text, 4);
    DataBuffer taker;
    taker.append("x", 1);
    taker.takeOver(other);
    EXPECT_TRUE(taker.isBorrowed());
    EXPECT_EQ(taker.getSize(), 4u);
    EXPECT_TRUE(other.getData() == nullptr && !other.isBorrowed());

    void* block = tarvex::memAlloc(3);
    std::memcpy(block, "abc", 3);
    taker.adopt(block, 3);
    EXPECT_FALSE(taker.isBorrowed());

    DataBuffer copy;
    copy.assign(taker);
    EXPECT_EQ(textOf(copy), textOf(taker));
    EXPECT_NE(copy.getData(), taker.getData());

    uint8_t* raw = taker.getData();
    taker.detach();  // the block is the caller's now
    tarvex::memFree(raw);
}

TEST(DataBuffer, Padding) {
    // {size, scheme, padded size, pad byte}: scheme 0 always adds a block.
    const uint32_t cases[][4] = {{16, 0, 32, 16}, {20, 0, 32, 12}, {3, 1, 16, 13}};
    for (const auto& c : cases) {
        DataBuffer b;
        b.append(std::string(c[0], 'a').data(), c[0]);
        b.addPadding(static_cast<int>(c[1]));
        ASSERT_EQ(b.getSize(), c[2]);
        EXPECT_EQ(b.getData()[c[2] - 1], c[3]);
        for (uint32_t i = c[0]; c[1] == 0 && i < c[2]; ++i) EXPECT_EQ(b.getData()[i], c[3]);  // scheme 0 fills
        b.removePadding(static_cast<int>(c[1]));
        EXPECT_EQ(b.getSize(), c[0]);
    }
    DataBuffer noPad;
    noPad.append("abc ", 4);
    noPad.removePadding(0);  // 0x20 is not a padding length
    EXPECT_EQ(noPad.getSize(), 4u);
}

TEST(DataBuffer, AppendVariantScalars) {
    DataBuffer b;
    VARIANT v = variantOf(VT_BSTR);
    v.bstrVal = SysAllocString(OLESTR("Ab"));
    b.appendVariant(&v);
    EXPECT_EQ(textOf(b), std::string("A\0b\0", 4));
    // By reference.
    VARIANT ref = variantOf(VT_BYREF | VT_BSTR);
    ref.pbstrVal = &v.bstrVal;
    b.appendVariant(&ref);
    EXPECT_EQ(b.getSize(), 8u);
    VariantClear(&v);

    // Scalars as their little-endian bytes; other kinds add nothing.
    b.clear();
    auto add = [&b](VARTYPE vt, uint32_t value) {
        VARIANT x = variantOf(vt);
        x.ulVal = value;  // the low bytes of the union
        b.appendVariant(&x);
    };
    add(VT_BOOL, 0xFFFF);
    add(VT_UI1, 0x7A);
    add(VT_I2, 0xFFFE);
    add(VT_UI4, 0x01020304);
    add(VT_R8, 0);
    add(VT_EMPTY, 0);
    b.appendVariant(nullptr);
    EXPECT_EQ(textOf(b), "\xFF\x7A\xFE\xFF\x04\x03\x02\x01");
}

TEST(DataBuffer, AppendVariantArrays) {
    // A 3 x 2 array of I2 is read as its whole data block.
    SAFEARRAYBOUND bounds[2] = {{3, 0}, {2, 1}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(grid, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(grid, &data), S_OK);
    for (int i = 0; i < 6; ++i) static_cast<int16_t*>(data)[i] = static_cast<int16_t>(0x0100 + i);
    SafeArrayUnaccessData(grid);
    VARIANT v = variantOf(VT_ARRAY | VT_I2);
    v.parray = grid;
    DataBuffer b;
    b.appendVariant(&v);
    EXPECT_EQ(textOf(b), std::string("\0\1\1\1\2\1\3\1\4\1\5\1", 12));
    VariantClear(&v);

    // A by-reference variant wrapping a byte array; an empty buffer is VT_NULL.
    DataBuffer src;
    VARIANT inner;
    src.toVariant(&inner);
    EXPECT_EQ(inner.vt, VT_NULL);
    src.append("xyz", 3);
    src.toVariant(&inner);
    ASSERT_EQ(inner.vt, VT_ARRAY | VT_UI1);
    VARIANT outer = variantOf(VT_BYREF | VT_VARIANT);
    outer.pvarVal = &inner;
    DataBuffer c;
    c.appendVariant(&outer);
    EXPECT_EQ(textOf(c), textOf(src));

    // The byte array by reference, too.
    VARIANT arrRef = variantOf(VT_BYREF | VT_ARRAY | VT_UI1);
    arrRef.pparray = &inner.parray;
    c.appendVariant(&arrRef);
    EXPECT_EQ(c.getSize(), 6u);

    // An array of variants by reference: each element in storage order.
    SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SafeArrayAccessData(list, &data), S_OK);
    VARIANT* items = static_cast<VARIANT*>(data);
    items[0].vt = VT_BSTR;
    items[0].bstrVal = SysAllocString(OLESTR("a"));
    items[1].vt = VT_ARRAY | VT_UI1;
    SafeArrayCopy(inner.parray, &items[1].parray);
    items[2].vt = VT_UI1;
    items[2].bVal = '!';
    SafeArrayUnaccessData(list);
    VARIANT listRef = variantOf(VT_ARRAY | VT_BYREF | VT_VARIANT);
    listRef.pparray = &list;
    DataBuffer d;
    d.appendVariant(&listRef);
    EXPECT_EQ(textOf(d), std::string("a\0xyz!", 6));
    // An array of variants by value holds pointers: it is read element by
    // element as well, never as its raw descriptors.
    VARIANT listVal = variantOf(VT_ARRAY | VT_VARIANT);
    listVal.parray = list;
    DataBuffer e;
    e.appendVariant(&listVal);
    EXPECT_EQ(textOf(e), textOf(d));
    SafeArrayDestroy(list);
    VariantClear(&inner);
}

TEST(DataBuffer, AppendVariantDispatch) {
    FakeDispatch obj(OLESTR("Hi"));
    VARIANT v = variantOf(VT_DISPATCH);
    v.pdispVal = &obj;
    DataBuffer b;
    b.appendVariant(&v);
    EXPECT_EQ(textOf(b), std::string("H\0i\0", 4));

    IDispatch* p = &obj;
    VARIANT ref = variantOf(VT_BYREF | VT_DISPATCH);
    ref.ppdispVal = &p;
    b.appendVariant(&ref);
    EXPECT_EQ(b.getSize(), 8u);

    FakeDispatch failing(OLESTR("Hi"), E_FAIL);
    v.pdispVal = &failing;
    b.appendVariant(&v);
    EXPECT_EQ(b.getSize(), 8u);
    EXPECT_EQ(failing.calls, 1);

    // An object that returns itself is followed only a few levels deep, and
    // every reference it handed out is released.
    FakeDispatch loop;
    v.pdispVal = &loop;
    DataBuffer c;
    c.appendVariant(&v);
    EXPECT_EQ(c.getSize(), 0u);
    EXPECT_GT(loop.calls, 1);
    EXPECT_LT(loop.calls, 20);
    EXPECT_EQ(loop.refs, 1u);
}

TEST(DataBufferDeathTest, DestroyedBufferIsFatal) {
    alignas(DataBuffer) unsigned char storage[sizeof(DataBuffer)];
    DataBuffer* b = new (storage) DataBuffer();
    b->~DataBuffer();
    EXPECT_DEATH(b->appendByte(1), "byte buffer");
}
