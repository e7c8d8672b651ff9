#include "charset/WideString.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TextSupport.h"

namespace tarvex {
namespace {

struct Bstr {
    explicit Bstr(BSTR b) : b(b) {}
    ~Bstr() { SysFreeString(b); }
    BSTR b;
};

BSTR makeBstr(std::initializer_list<OLECHAR> units) {
    return SysAllocStringLen(units.begin(), UINT(units.size()));
}

std::u16string unitsOf(BSTR b) {
    std::u16string s;
    for (UINT i = 0; i < SysStringLen(b); ++i) s.push_back(char16_t(b[i]));
    return s;
}

// The units of a BSTR result, which is freed.
std::u16string taken(BSTR b) {
    Bstr owner(b);
    return unitsOf(b);
}

TEST(WideString, BstrToUtf8) {
    StringBuffer out("x");
    appendBstrUtf8(nullptr, out);
    Bstr empty(SysAllocStringLen(OLESTR(""), 0));
    appendBstrUtf8(empty.b, out);
    EXPECT_STREQ(out.getString(), "x");

    Bstr text(makeBstr({'A', 0xE9, 0xD83D, 0xDE00}));
    appendBstrUtf8(text.b, out);
    EXPECT_STREQ(out.getString(), "xA\xC3\xA9\xF0\x9F\x98\x80");

    DataBuffer bytes;
    bytes.append("old", 3);
    bstrToUtf8(text.b, bytes);
    EXPECT_EQ(tarvex_test::textOf(bytes), "A\xC3\xA9\xF0\x9F\x98\x80");
    bstrToUtf8(nullptr, bytes);
    EXPECT_EQ(bytes.getSize(), 0u);
}

TEST(WideString, Utf8ToBstr) {
    Bstr empty(utf8ToBstr(StringBuffer()));
    ASSERT_NE(empty.b, nullptr);  // empty, not null
    EXPECT_EQ(SysStringLen(empty.b), 0u);

    EXPECT_EQ(taken(utf8ToBstr(StringBuffer("a\xF0\x9F\x98\x80"))), u"a\U0001F600");
    // Text with no valid UTF-8 at all is read as ANSI instead.
    EXPECT_EQ(taken(utf8ToBstr(StringBuffer("\xE9"))), u"\u00E9");
    EXPECT_EQ(taken(utf8ToBstr(StringBuffer("A\xE9"))), u"A");
    EXPECT_EQ(taken(utf8ToBstr("\xC3\xA9zz", 3)), u"\u00E9z");
    EXPECT_EQ(taken(utf8ToBstr("\xE9", -1)), u"\u00E9");
}

TEST(WideString, LeadingFeffIsACharacterOfTheString) {
    // Only a byte block read as a document carries a byte-order mark; a
    // string crossing the interface keeps every character.
    Bstr marked(makeBstr({0xFEFF, 'd'}));
    StringBuffer utf8;
    appendBstrUtf8(marked.b, utf8);
    EXPECT_STREQ(utf8.getString(), "\xEF\xBB\xBF" "d");
    Bstr only(makeBstr({0xFEFF}));
    DataBuffer bytes;
    bstrToUtf8(only.b, bytes);
    EXPECT_EQ(tarvex_test::textOf(bytes), "\xEF\xBB\xBF");

    EXPECT_EQ(taken(utf8ToBstr(StringBuffer("\xEF\xBB\xBF" "data"))), u"\uFEFFdata");
    EXPECT_EQ(taken(utf8ToBstr(StringBuffer("\xEF\xBB\xBF"))), u"\uFEFF");
}

TEST(StringBufferAnsi, FromAndToBstr) {
    Bstr b(makeBstr({0xE9, 'a'}));
    StringBuffer s = StringBuffer::fromBstrAnsi(b.b);
    EXPECT_STREQ(s.getString(), "\xE9" "a");
    EXPECT_EQ(StringBuffer::fromBstrAnsi(nullptr).getSize(), 0);

    Bstr lossy(makeBstr({0x416, 0xE9}));
    s.appendBstrAnsi(lossy.b);
    s.appendBstrAnsi(nullptr);
    EXPECT_STREQ(s.getString(), "\xE9" "a\xE9");

    EXPECT_EQ(taken(s.toBstrAnsi()), u"\u00E9a\u00E9");
    Bstr empty(StringBuffer().toBstrAnsi());
    ASSERT_NE(empty.b, nullptr);
    EXPECT_EQ(SysStringLen(empty.b), 0u);
}

TEST(StringBufferAnsi, CodePageConversions) {
    StringBuffer s("caf\xC3\xA9");
    EXPECT_TRUE(s.convertToAnsi(65001));
    EXPECT_STREQ(s.getString(), "caf\xE9");
    EXPECT_TRUE(s.convertFromAnsi(65001));
    EXPECT_STREQ(s.getString(), "caf\xC3\xA9");

    StringBuffer cyr("\xD0\x96!");
    EXPECT_FALSE(cyr.convertToAnsi(65001));  // Zhe has no ANSI form
    EXPECT_STREQ(cyr.getString(), "!");
}

}  // namespace
}  // namespace tarvex
