#include "charset/XString.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TextSupport.h"

namespace tarvex {
namespace {

std::string wideBytes(XString& x) {
    return tarvex_test::textOf(x.getWideBytes());
}

TEST(XString, FreshAndClearedAreEmptyInEveryForm) {
    XString x;
    EXPECT_TRUE(x.isAnsiExact());
    x.setFromUtf8("abc");
    x.clear();
    EXPECT_EQ(wideBytes(x), std::string(2, '\0'));
    EXPECT_EQ(x.getLength(), 0);
    x.setFromAnsi("abc");
    x.setFromWide(OLESTR(""));  // an empty argument clears
    EXPECT_STREQ(x.getAnsi(), "");
    x.setFromUtf8("abc");
    x.setFromBstr(nullptr);
    EXPECT_STREQ(x.getUtf8(), "");
}

TEST(XString, FormsFromEachSource) {
    XString x;
    x.setFromAnsi("\xE9t\xE9");
    EXPECT_STREQ(x.getUtf8(), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(x.getLength(), 3);
    EXPECT_TRUE(x.isAnsiExact());

    // A one-character wide form (4 bytes with its NULs) is above the 3-byte
    // threshold and converts.
    x.setFromWide(OLESTR("A"));
    EXPECT_STREQ(x.getUtf8(), "A");
    x.setFromUtf8("\xC3\xA9" "A");
    EXPECT_EQ(wideBytes(x), std::string("\xE9\0A\0\0\0", 6));
    EXPECT_STREQ(x.getAnsi(), "\xE9" "A");

    static const OLECHAR kChars[] = {0xE9, 'x', 0};
    BSTR b = SysAllocStringLen(kChars, 2);
    x.setFromBstr(b);
    SysFreeString(b);
    EXPECT_STREQ(x.getUtf8(), "\xC3\xA9x");
    EXPECT_EQ(x.getLength(), 2);
}

TEST(XString, AnsiExactness) {
    static const OLECHAR kName[] = {0x416, 'x', '.', 'x', 'm', 'l', 0};  // Zhe
    XString x;
    x.setFromWide(kName);
    EXPECT_FALSE(x.isAnsiExact());
    EXPECT_STREQ(x.getAnsi(), "x.xml");
    // The UTF-8 form comes from the wide form, not from the lossy ANSI form.
    EXPECT_STREQ(x.getUtf8(), "\xD0\x96x.xml");
    EXPECT_EQ(x.getLength(), 5);  // the ANSI form is valid: its byte length

    // A new value forgets the old exactness.
    x.setFromAnsi("plain");
    EXPECT_TRUE(x.isAnsiExact());
    x.setFromUtf8("\xD0\x96");
    EXPECT_FALSE(x.isAnsiExact());
    x.setFromUtf8("caf\xC3\xA9");
    EXPECT_TRUE(x.isAnsiExact());
    EXPECT_STREQ(x.getAnsi(), "caf\xE9");
}

TEST(XString, LeadingFeffIsKeptInEveryForm) {
    XString x;
    const OLECHAR marked[] = {0xFEFF, 'a', 0};
    x.setFromWide(marked);
    EXPECT_STREQ(x.getUtf8(), "\xEF\xBB\xBF" "a");
    x.setFromUtf8("\xEF\xBB\xBF" "a");
    const OLECHAR* w = x.getWide();
    EXPECT_EQ(w[0], 0xFEFF);
    EXPECT_EQ(w[1], 'a');
    EXPECT_EQ(x.getLength(), 2);
}

}  // namespace
}  // namespace tarvex
