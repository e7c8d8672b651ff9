#include "text/CharsetRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/Platform.h"

namespace tarvex {
namespace {

TEST(CharsetRegistryNames, EveryListedNameMapsToItsPage) {
    ASSERT_EQ(charsetNameCount(), 404u);
    std::set<std::string> names;
    std::set<uint32_t> pages;
    for (uint32_t i = 0; i < charsetNameCount(); ++i) {
        uint32_t cp = 0;
        const char* name = charsetNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(names.insert(name).second) << "listed twice: " << name;
        pages.insert(cp);
        EXPECT_EQ(codePageForName(name), cp) << name;
        // Stored names are already normalised.
        EXPECT_EQ(std::strchr(name, '_'), nullptr) << name;
    }
    EXPECT_EQ(pages.size(), 149u);
    EXPECT_EQ(charsetNameAt(charsetNameCount(), nullptr), nullptr);
}

TEST(CharsetRegistryNames, NormalisationBeforeLookup) {
    EXPECT_EQ(codePageForName("ISO_8859_1"), 28591u);
    EXPECT_EQ(codePageForName("Latin1"), 28591u);
    EXPECT_EQ(codePageForName("csISOLatin1"), 28591u);
    EXPECT_EQ(codePageForName(" \t\r\n\xA0UTF_8\xA0\n "), 65001u);
    EXPECT_EQ(codePageForName("Utf-8"), 65001u);
    EXPECT_EQ(codePageForName("latin-1"), 0u);
    EXPECT_EQ(codePageForName("SHIFT_JIS"), 932u);
    EXPECT_EQ(codePageForName("KS_C_5601-1987"), 949u);
    // Only the ends are trimmed; an inner space is part of the name.
    EXPECT_EQ(codePageForName("ISO-8859-8 Visual"), 28598u);
    EXPECT_EQ(codePageForName("iso-8859-8  visual"), 0u);
    EXPECT_EQ(codePageForName("utf 8"), 0u);
}

TEST(CharsetRegistryNames, ShortLongAndNullNames) {
    EXPECT_EQ(codePageForName(nullptr), 0u);
    EXPECT_EQ(codePageForName(""), 0u);
    EXPECT_EQ(codePageForName("us"), 0u);
    EXPECT_EQ(codePageForName("l1"), 0u);
    EXPECT_EQ(codePageForName("  \xA0\t"), 0u);
    EXPECT_EQ(codePageForName("koi"), 20866u);   // exactly three bytes
    EXPECT_EQ(codePageForName(" koi "), 20866u);
    EXPECT_FALSE(isKnownCharset("l1"));
    EXPECT_TRUE(isKnownCharset("KOI8-R"));

    std::string padded(5000, ' ');
    padded += "utf-8";
    padded += std::string(5000, '\t');
    EXPECT_EQ(codePageForName(padded.c_str()), 65001u);
    std::string longName(300, 'a');
    EXPECT_EQ(codePageForName(longName.c_str()), 0u);
    EXPECT_EQ(codePageForName(("utf-8" + std::string(100, 'x')).c_str()), 0u);
}

TEST(CharsetRegistryNames, AliasesOfTheSamePage) {
    for (const char* n : {"unicode", "ucs-2", "utf-16", "utf-16le", "iso-10646-ucs-2"}) {
        EXPECT_EQ(codePageForName(n), 1200u) << n;
    }
    EXPECT_EQ(codePageForName("unicodeFFFE"), 1201u);
    EXPECT_EQ(codePageForName("utf-16be"), 1201u);
    EXPECT_EQ(codePageForName("cp866"), 866u);
    EXPECT_EQ(codePageForName("ccsid01140"), 1140u);
    EXPECT_EQ(codePageForName("cp1025"), 21025u);
    EXPECT_EQ(codePageForName("cp875"), 875u);
    EXPECT_EQ(codePageForName("x-user-defined"), 50000u);
    EXPECT_EQ(codePageForName("ebcdic-latin9--euro"), 20924u);
    EXPECT_EQ(codePageForName("x-ebcdic-japaneseanduscanada"), 50931u);
    EXPECT_EQ(codePageForName("iso-2022-jp"), 50220u);
    EXPECT_EQ(codePageForName("iso-2022-jp-2"), 50222u);
}

TEST(CharsetRegistryNames, PreferredNames) {
    StringBuffer out;
    ASSERT_TRUE(nameForCodePage(932, out));
    EXPECT_STREQ(out.getString(), "shift_jis");
    ASSERT_TRUE(nameForCodePage(949, out));
    EXPECT_STREQ(out.getString(), "ks_c_5601-1987");
    ASSERT_TRUE(nameForCodePage(50220, out));
    EXPECT_STREQ(out.getString(), "iso-2022-jp");
    ASSERT_TRUE(nameForCodePage(50222, out));
    EXPECT_STREQ(out.getString(), "iso-2022-jp");
    ASSERT_TRUE(nameForCodePage(65006, out));
    EXPECT_STREQ(out.getString(), "utf-32be");
    ASSERT_TRUE(nameForCodePage(37, out));
    EXPECT_STREQ(out.getString(), "ibm037");

    // Pages without a preferred name, and unknown pages, clear the output.
    for (uint32_t cp : {50000u, 709u, 21027u, 51950u, 0u, 12345u}) {
        out.setString("stale");
        EXPECT_FALSE(nameForCodePage(cp, out)) << cp;
        EXPECT_STREQ(out.getString(), "") << cp;
    }
}

TEST(CharsetRegistryCharset, SpecialWords) {
    Charset cs;
    cs.setByName("utf-8");
    ASSERT_EQ(cs.getCodePage(), 65001u);
    cs.setByName("x-user-defined");
    EXPECT_EQ(cs.getCodePage(), 0u);
    EXPECT_STREQ(cs.getName(), "");

    cs.setByName("utf-8");
    cs.setByName("default");
    EXPECT_EQ(cs.getCodePage(), 0u);

    // Only the exact spelling is special; other spellings go through the
    // name table, where x-user-defined is a page with no preferred name.
    cs.setByName("X-User-Defined");
    EXPECT_EQ(cs.getCodePage(), 50000u);
    EXPECT_STREQ(cs.getName(), "");

    StringBuffer expected;
    cs.setByName("AnSi");
    EXPECT_EQ(cs.getCodePage(), platform::ansiCodePage());
    nameForCodePage(platform::ansiCodePage(), expected);
    EXPECT_STREQ(cs.getName(), expected.getString());
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), platform::oemCodePage());
    nameForCodePage(platform::oemCodePage(), expected);
    EXPECT_STREQ(cs.getName(), expected.getString());
    // The special words are not trimmed.
    cs.setByName(" ansi");
    EXPECT_EQ(cs.getCodePage(), 0u);
}

TEST(CharsetRegistryCharset, ByNameAndByCodePage) {
    Charset cs;
    cs.setByName(" Shift_JIS ");
    EXPECT_EQ(cs.getCodePage(), 932u);
    EXPECT_STREQ(cs.getName(), "shift_jis");

    cs.setByName(nullptr);   // no change
    EXPECT_EQ(cs.getCodePage(), 932u);

    Charset copy(cs);
    cs.setByName("no-such-charset");
    EXPECT_EQ(cs.getCodePage(), 0u);
    EXPECT_STREQ(cs.getName(), "");
    EXPECT_EQ(copy.getCodePage(), 932u);
    EXPECT_STREQ(copy.getName(), "shift_jis");

    cs.setByName("asmo-449");   // known page without a preferred name
    EXPECT_EQ(cs.getCodePage(), 709u);
    EXPECT_STREQ(cs.getName(), "");

    cs.setByName("latin1");
    EXPECT_STREQ(cs.getName(), "iso-8859-1");
    cs.setByCodePage(1252);
    EXPECT_EQ(cs.getCodePage(), 1252u);
    EXPECT_STREQ(cs.getName(), "windows-1252");
    cs.setByCodePage(50000);
    EXPECT_EQ(cs.getCodePage(), 0u);
    EXPECT_STREQ(cs.getName(), "");
}

}  // namespace
}  // namespace tarvex
