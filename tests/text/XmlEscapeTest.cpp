#include "text/XmlEscape.h"

#include <gtest/gtest.h>

#include <string>

#include "text/StringBuffer.h"

using namespace tarvex;

namespace {

std::string escaped(EscapeContext context, const std::string& text) {
    StringBuffer out;
    XmlEscape::append(context, text.data(), text.size(), out);
    return std::string(out.getString(), out.getSize());
}

}  // namespace

TEST(XmlEscape, EachContextKeepsItsOwnRules) {
    const std::string nulZ("\0z", 2);
    const std::string text = "<a> \"q\" 'p' &#65; &eacute; &times; &amp; &" + nulZ;
    EXPECT_EQ(escaped(EscapeContext::Content, text),
              "&lt;a&gt; &quot;q&quot; &apos;p&apos; &#65; &eacute; &amp;times; &amp;amp; &amp;" + nulZ);
    // Attribute values pass only "&#", and end at a zero byte.
    EXPECT_EQ(escaped(EscapeContext::Attribute, text),
              "&lt;a&gt; &quot;q&quot; &apos;p&apos; &#65; &amp;eacute; &amp;times; &amp;amp; &amp;");
    // The log escapes four characters, every '&' included; quotes and NULs stay.
    EXPECT_EQ(escaped(EscapeContext::LogText, text),
              "&lt;a&gt; &quot;q&quot; 'p' &amp;#65; &amp;eacute; &amp;times; &amp;amp; &amp;" + nulZ);
    EXPECT_EQ(escaped(EscapeContext::Literal, "&#65; <'>"), "&amp;#65; &lt;&apos;&gt;");

    // Long clean runs go through the wide scan and stop at the right byte.
    const std::string run(40, 'x');
    EXPECT_EQ(escaped(EscapeContext::Content, run + "'" + run), run + "&apos;" + run);
    EXPECT_EQ(XmlEscape::cleanEnd(EscapeContext::Content, "ab\xC3\xA9<", 0, 5, true), 2u);
    EXPECT_EQ(XmlEscape::cleanEnd(EscapeContext::Content, "ab\xC3\xA9<", 0, 5, false), 4u);
}
