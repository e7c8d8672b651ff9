#include "xml/EntityTables.h"

#include <string>

#include <gtest/gtest.h>

#include "text/StringBuffer.h"

namespace tarvex {
namespace {

std::string Decode(const std::string& in) {
    StringBuffer b;
    b.appendN(in.data(), static_cast<int32_t>(in.size()));
    decodeEntities(b);
    return std::string(b.getString(), static_cast<size_t>(b.getSize()));
}

TEST(EntityTables, Cases) {
    const std::pair<std::string, std::string> cases[] = {
        {"&lt;b&gt;", "<b>"}, {"&quot;x&apos; &amp; y", "\"x' & y"}, {"caf&eacute;", "caf\xE9"},
        {"&Agrave;&Ouml;&Oslash;&szlig;&oslash;&yuml;&times;&divide;", "\xC0\xD6\xD8\xDF\xF8\xFF\xD7\xF7"},
        {"&euro;&trade;&OElig;&Yuml;&mdash;&hellip;", "\x80\x99\x8C\x9F\x97\x85"},
        {"[&nbsp;&ensp;&thinsp;&#8201;]", "[    ]"},
        // Case-sensitive names; unknown names and a missing ";" stay.
        {"&LT; &hearts; &eacute &amp", "&LT; &hearts; &eacute &amp"},
        {"&#65;&#66;", "AB"}, {"x&#65", "xA"}, {"&#0065;", "A"}, {"&#00065;", "A"},
        {"&#65abc", "Aabc"}, {"&#65 ;", "A ;"}, {"&#233;", "\xE9"},
        {"&#8364;&#8482;&#338;&#08364;", "\x80\x99\x8C\x80"}, {"&#8364 ", "&#8364 "},
        {"&#x41; &#300; &#0; &#-5; &#; &#", "&#x41; &#300; &#0; &#-5; &#; &#"},
        {"&#&lt;&&#65;", "&#<&A"},
        // What a reference produces is not decoded again.
        {"&amp;lt;", "&lt;"}, {"&amp;eacute;", "&eacute;"}, {"&amp;#65;", "&#65;"},
        {"&amp;amp;", "&amp;"}, {"&#38;lt;", "&lt;"},
        {"", ""}, {"a & b && c; \xE9", "a & b && c; \xE9"},
        {std::string("a\0&lt;", 6), std::string("a\0<", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.first), c.second) << c.first;
}

TEST(EntityTables, NumericReferencesCountAndStopAtNul) {
    StringBuffer out;
    const char text[] = "&#65;&#300;&#x41;&#66\0&#67;";
    EXPECT_EQ(decodeNumericReferences(text, static_cast<int32_t>(sizeof(text) - 1), out), 3);
    EXPECT_STREQ(out.getString(), "A&#300;&#x41;B");
    StringBuffer none;
    EXPECT_EQ(decodeNumericReferences("&lt;", 4, none), 0);
    EXPECT_STREQ(none.getString(), "&lt;");
}

}  // namespace
}  // namespace tarvex
