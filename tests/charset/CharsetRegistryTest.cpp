#include "charset/CharsetRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

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

TEST(CharsetRegistryNames, LookupNormalisesTrimsAndBoundsTheName) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"ISO_8859_1", 28591}, {"Latin1", 28591}, {" \t\r\n\xA0UTF_8\xA0\n ", 65001}, {"latin-1", 0},
        {"KS_C_5601-1987", 949}, {"unicodeFFFE", 1201}, {"utf-16le", 1200}, {"cp1025", 21025},
        {"x-user-defined", 50000}, {"ebcdic-latin9--euro", 20924}, {"iso-2022-jp-2", 50222},
        // Only the ends are trimmed; an inner space is part of the name.
        {"ISO-8859-8 Visual", 28598}, {"iso-8859-8  visual", 0}, {"utf 8", 0},
        // Names of fewer than three bytes are never looked up.
        {nullptr, 0}, {"", 0}, {"l1", 0}, {"  \xA0\t", 0}, {" koi ", 20866},
    };
    for (const auto& c : cases) EXPECT_EQ(codePageForName(c.first), c.second) << (c.first ? c.first : "(null)");
    EXPECT_FALSE(isKnownCharset("l1"));
    EXPECT_TRUE(isKnownCharset("KOI8-R"));
    const std::string padded = std::string(5000, ' ') + "utf-8" + std::string(5000, '\t');
    EXPECT_EQ(codePageForName(padded.c_str()), 65001u);
    EXPECT_EQ(codePageForName(std::string(300, 'a').c_str()), 0u);
    EXPECT_EQ(codePageForName(("utf-8" + std::string(100, 'x')).c_str()), 0u);
}

TEST(CharsetRegistryNames, PreferredNames) {
    StringBuffer out;
    const std::pair<uint32_t, const char*> names[] = {
        {932, "shift_jis"}, {949, "ks_c_5601-1987"}, {50222, "iso-2022-jp"}, {65006, "utf-32be"}, {37, "ibm037"}};
    for (const auto& n : names) {
        ASSERT_TRUE(nameForCodePage(n.first, out)) << n.first;
        EXPECT_STREQ(out.getString(), n.second);
    }

    // Pages without a preferred name, and unknown pages, clear the output.
    for (uint32_t cp : {50000u, 709u, 21027u, 51950u, 0u, 12345u}) {
        out.setString("stale");
        EXPECT_FALSE(nameForCodePage(cp, out)) << cp;
        EXPECT_STREQ(out.getString(), "") << cp;
    }
}

// The page and name a Charset holds, as "page name".
std::string held(const Charset& cs) { return std::to_string(cs.getCodePage()) + " " + cs.getName(); }

TEST(CharsetRegistryCharset, ByNameAndSpecialWords) {
    // Each name is set after utf-8, so that a reset to nothing shows.
    const std::pair<const char*, const char*> cases[] = {
        {" Shift_JIS ", "932 shift_jis"}, {"latin1", "28591 iso-8859-1"}, {"no-such-charset", "0 "},
        {"asmo-449", "709 "},  // known page without a preferred name
        // Only the exact spellings are special, and they are not trimmed;
        // x-user-defined is otherwise a page with no preferred name.
        {"x-user-defined", "0 "}, {"default", "0 "}, {"X-User-Defined", "50000 "}, {" ansi", "0 "},
    };
    for (const auto& c : cases) {
        Charset cs;
        cs.setByName("utf-8");
        cs.setByName(c.first);
        EXPECT_EQ(held(cs), c.second) << c.first;
    }
    Charset cs;
    StringBuffer expected;
    cs.setByName("AnSi");
    nameForCodePage(platform::ansiCodePage(), expected);
    EXPECT_EQ(held(cs), std::to_string(platform::ansiCodePage()) + " " + expected.getString());
    cs.setByName("OEM");
    nameForCodePage(platform::oemCodePage(), expected);
    EXPECT_EQ(held(cs), std::to_string(platform::oemCodePage()) + " " + expected.getString());
    cs.setByName(nullptr);  // no change
    EXPECT_EQ(held(cs), std::to_string(platform::oemCodePage()) + " " + expected.getString());
    cs.setByCodePage(1252);
    EXPECT_EQ(held(cs), "1252 windows-1252");
    cs.setByCodePage(50000);
    EXPECT_EQ(held(cs), "0 ");
}

}  // namespace
}  // namespace tarvex
