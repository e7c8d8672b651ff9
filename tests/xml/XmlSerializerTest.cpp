#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "file/FileAccess.h"
#include "xml/XmlSupport.h"
#include "support/TextSupport.h"

using namespace tarvex;
using namespace tarvex_test;

namespace {

std::string roundTrip(const std::string& text) {
    Doc d(text);
    return d.root ? xmlOf(d.root) : std::string("<no root>");
}

}  // namespace

TEST(XmlSerializer, LayoutAndClosingTags) {
    Doc simple(TreeNode::NewTree("a", "b"));
    EXPECT_EQ(xmlOf(simple.root), "\r\n<a>b</a>\r\n");

    EXPECT_EQ(roundTrip("<a><b>x</b><c/></a>"), "\r\n<a>\r\n<b>x</b>\r\n<c></c>\r\n</a>\r\n");
    EXPECT_EQ(roundTrip("<a>t<b/>u</a>"), "\r\n<a>t u\r\n<b></b>\r\n</a>\r\n");

    Doc child("<?xml version=\"1.0\"?><a><b k='v'>x</b></a>");
    StringBuffer out;  // a child at depth 3 is written without the declaration
    XmlSerializer::serializeNode(child.root->GetChild(0), out, 3);
    EXPECT_EQ(textOf(out), "<b k=\"v\">x</b>\r\n");

    Doc empty(TreeNode::NewTree(""));
    TreeNode::AddChild(empty.root, "", 0);
    EXPECT_EQ(xmlOf(empty.root), "\r\n<nothing>\r\n<nothing></nothing>\r\n</nothing>\r\n");
}

TEST(XmlSerializer, DeclarationStylesheetProlog) {
    Doc d("<?xml version='1.0' standalone='yes' encoding='utf-8'?><?xml-stylesheet type='text/xsl' href='s.xsl'?>"
          "<!DOCTYPE r [<!ENTITY e 'x'>]><r/>");
    ASSERT_TRUE(d.root);
    EXPECT_EQ(xmlOf(d.root),
              "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\r\n"
              "<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\" ?>\r\n"
              "<!DOCTYPE r [<!ENTITY e 'x'>]>\n\r\n"
              "\r\n<r></r>\r\n");
    EXPECT_EQ(attrs(d.root->GetTree()->declaration), "version=1.0;encoding=utf-8;standalone=yes;");  // kept so
    EXPECT_EQ(roundTrip("<?xml ?><r/>"), "<?xml ?>\r\n\r\n<r></r>\r\n");
}

TEST(XmlSerializer, ContentEscaping) {
    Doc d(TreeNode::NewTree("a"));
    auto write = [&d](const char* text, bool cdata = false) {
        d.root->SetContent(text);
        d.root->SetCdata(cdata);
        StringBuffer out;
        XmlSerializer::escapeContent(d.root, out);
        return std::string(out.getString());
    };
    EXPECT_EQ(write("a<b>\"c'"), "a&lt;b&gt;&quot;c&apos;");
    EXPECT_EQ(write("&nbsp;&eacute;&Aacute;&frac12;&#233;&#x41;"), "&nbsp;&eacute;&Aacute;&frac12;&#233;&#x41;");
    EXPECT_EQ(write("&times;&laquo;&AMP;&nbsp&x;"), "&amp;times;&amp;laquo;&amp;AMP;&amp;nbsp&amp;x;");
    EXPECT_EQ(write("tail&"), "tail&amp;");
    // A predefined reference standing in content is text: the parser decodes them all.
    EXPECT_EQ(write("&lt;&gt;&amp;&quot;&apos;"), "&amp;lt;&amp;gt;&amp;amp;&amp;quot;&amp;apos;");
    EXPECT_EQ(write(""), "");
    EXPECT_EQ(write("<&]]>", true), "<![CDATA[<&]]]]><![CDATA[>]]>");
}

TEST(XmlSerializer, LiteralReferencesAndSectionTerminatorsSurviveRoundTrip) {
    // Source text "&amp;lt;" is the four characters &lt; and must stay so.
    Doc first("<a>&amp;lt; &amp;amp; &amp;quot;<b t='&amp;lt;'/></a>");
    std::string text = xmlOf(first.root);
    Doc second(text);
    EXPECT_EQ(describe(second.root), describe(first.root));
    EXPECT_EQ(std::string(second.root->GetContent()), "&lt; &amp; &quot;");

    // A section holding its own terminator comes back whole.
    Doc d(TreeNode::NewTree("a"));
    d.root->SetContent("x]]>y]]]>z]]");
    d.root->SetCdata(true);
    Doc back(xmlOf(d.root));
    ASSERT_TRUE(back.root);
    EXPECT_TRUE(back.root->IsCdata());
    EXPECT_STREQ(back.root->GetContent(), "x]]>y]]]>z]]");
}

TEST(XmlSerializer, AttributeEscapingMatchesAttributeSet) {
    const char* values[] = {"\"&'", "x<\"y\">&#65;&z", "&", "&#", "a&b#", "", "plain"};
    AttributeSet set;
    for (const char* v : values) set.Add("n", v);
    set.Add("z", 1, "a\0b", 3);
    StringBuffer mine, theirs;
    XmlSerializer::writeAttributes(&set, mine);
    set.Write(theirs);
    EXPECT_STREQ(mine.getString(), theirs.getString());
    EXPECT_STREQ(mine.getString(),
                 " n=\"&quot;&amp;&apos;\" n=\"x&lt;&quot;y&quot;&gt;&#65;&amp;z\" n=\"&amp;\" n=\"&#\""
                 " n=\"a&amp;b#\" n=\"\" n=\"plain\" z=\"a\"");
}

TEST(XmlSerializer, RoundTripKeepsEverything) {
    const std::string source =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?>\n"
        "<!DOCTYPE doc [<!ENTITY lt \"<\"><!-- a > b -->]>\n"
        "<?pi data?>\n"
        "<doc z=\"1\" a=\"2\" m=\"&lt;&amp;&quot;&apos;&#233;\">\n"
        "  <item id='7'>caf\xC3\xA9 &amp; cr\xC3\xA8me &eacute; &#x4E2D;</item>\n"
        "  <code><![CDATA[if (a < b && c > d) {}]]></code>\n"
        "  <mixed>one<b/>two<![CDATA[<raw>]]>three</mixed>\n"
        "  <empty/>\n"
        "  <deep><d1><d2><d3>x</d3></d2></d1></deep>\n"
        "</doc>";
    Doc first(source);
    ASSERT_TRUE(first.root);
    std::string once = xmlOf(first.root);
    Doc second(once);
    ASSERT_TRUE(second.root);
    EXPECT_EQ(describe(second.root), describe(first.root));
    EXPECT_EQ(xmlOf(second.root), once);
    EXPECT_NE(describe(first.root).find("mixed cdata {one two<raw> three}"), std::string::npos);
}

TEST(XmlSerializer, MillionDeepDocument) {
    const int depth = 1000000;
    std::string text;
    text.reserve(depth * 7);
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "x";
    for (int i = 0; i < depth; ++i) text += "</a>";
    Doc d(text);
    ASSERT_TRUE(d.root);
    std::string out = xmlOf(d.root);
    std::string expected;
    expected.reserve(depth * 12);
    for (int i = 0; i < depth; ++i) expected += "\r\n<a>";
    expected += "x";
    for (int i = 0; i < depth; ++i) expected += "</a>\r\n";
    EXPECT_TRUE(out == expected);
}

// The bytes a save writes, or "<refused>" (and then nothing is written).
std::string saved(const Doc& d) {
    Logger log;
    DataBuffer out;
    out.append("stale", 5);
    if (XmlSerializer::encodeForSave(d.root, out, &log)) return textOf(out);
    return out.getSize() == 0 ? "<refused>" : "<refused, but wrote>";
}

// A tree loaded from bytes, as one rendering.
std::string reloaded(const std::string& bytes) {
    Logger log;
    DataBuffer data;
    data.append(bytes.data(), static_cast<uint32_t>(bytes.size()));
    TreeNode* root = nullptr;
    EXPECT_TRUE(XmlParser::loadXmlBytes(data, &log, &root));
    Doc d(root);
    return d.root ? describe(d.root) : "<no root>";
}

TEST(XmlSave, DeclaredEncodings) {
    EXPECT_EQ(saved(Doc("<r>\xC3\xA9</r>")), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<r>\xC3\xA9</r>\r\n");
    Doc latin("<?xml version='1.0' encoding='ISO-8859-1'?><r a='\xC3\xA9'>caf\xC3\xA9</r>");
    EXPECT_EQ(saved(latin), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n\r\n<r a=\"\xE9\">caf\xE9</r>\r\n");
    // Serializing for display leaves the text UTF-8 and the declaration as stored.
    EXPECT_NE(xmlOf(latin.root).find("caf\xC3\xA9"), std::string::npos);

    Doc sjis("<?xml version='1.0' encoding='Shift_JIS'?><r>\xE6\x97\xA5\xE6\x9C\xAC</r>");
    const std::string bytes = saved(sjis);
    EXPECT_NE(bytes.find("<r>\x93\xFA\x96\x7B</r>"), std::string::npos);
    EXPECT_EQ(reloaded(bytes), describe(sjis.root));
    EXPECT_EQ(saved(Doc("<?xml version='1.0' encoding='no-such-charset'?><r/>")), "<refused>");
}

TEST(XmlSave, UnmappableCharactersBecomeReferences) {
    EXPECT_EQ(saved(Doc("<?xml version='1.0' encoding='iso-8859-1'?><r a='\xE4\xB8\xAD\xC3\xA9'>x\xE4\xB8\xAD\xC3\xA9"
                        "<c><![CDATA[<\xE4\xB8\xAD>]]></c><e>\xF0\x9F\x98\x80</e></r>")),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\r\n\r\n"
              "<r a=\"&#x4E2D;\xE9\">x&#x4E2D;\xE9\r\n"
              "<c>&lt;&#x4E2D;&gt;</c>\r\n"
              "<e>&#x1F600;</e>\r\n</r>\r\n");
}

TEST(XmlSave, CdataThatCannotHoldACharacterIsWrittenAsText) {
    // Literal text in the section ("&#65;", "&amp;", "<") must keep its meaning.
    const std::string bytes = saved(Doc("<?xml version='1.0' encoding='iso-8859-1'?><r>"
                                        "<c><![CDATA[\xD0\x96 &#65; &amp; <]]></c>"
                                        "<k><![CDATA[caf\xC3\xA9 <]]></k></r>"));
    EXPECT_NE(bytes.find("<c>&#x0416; &amp;#65; &amp;amp; &lt;</c>"), std::string::npos) << bytes;
    // A section the encoding can hold stays a section.
    EXPECT_NE(bytes.find("<k><![CDATA[caf\xE9 <]]></k>"), std::string::npos) << bytes;
    // Reloaded, the element holds the character; no reference stands inside a section.
    EXPECT_NE(reloaded(bytes).find("\n c {&#x0416; &#65; &amp; <} \n"), std::string::npos) << reloaded(bytes);
}

TEST(XmlSave, TextTheEncodingLacksOutsideContentFailsTheSave) {
    const struct {
        const char* text;
        const char* message;  // null: not checked
    } cases[] = {
        {"<?xml version='1.0' encoding='iso-8859-1'?><!DOCTYPE r [<!ENTITY e '\xD0\x96'>]><r/>",
         "Cannot encode the prolog in the document's encoding"},
        {"<?xml version='1.0' encoding='iso-8859-1'?><?pi \xD0\x96?><r/>",
         "Cannot encode the prolog in the document's encoding"},
        {"<?xml version='1.0' encoding='iso-8859-1'?><?xml-stylesheet href='\xD0\x96.xsl'?><r/>",
         "Cannot encode the prolog in the document's encoding"},
        {"<?xml version='1.0' encoding='iso-8859-1'?><r><\xE4\xB8\xAD/></r>",
         "Cannot encode a name in the document's encoding"},
        {"<?xml version='1.0' encoding='bogus'?><r/>", nullptr},
    };
    std::string path = uniquePath("xmlsave_refused.xml");
    for (const auto& c : cases) {
        Logger log;
        ASSERT_TRUE(writeFile(path.c_str(), "old", 3, &log));
        Doc d(c.text);
        EXPECT_FALSE(XmlSerializer::saveXml(d.root, path.c_str(), &log)) << c.text;
        EXPECT_EQ(readAll(path), "old");  // nothing written
        if (c.message) {
            EXPECT_NE(logText(log).find(c.message), std::string::npos) << c.text;
            EXPECT_NE(logText(log).find("iso-8859-1"), std::string::npos) << c.text;
        }
    }
    // Latin-1 characters in the prolog are fine.
    Logger log;
    Doc ok("<?xml version='1.0' encoding='iso-8859-1'?><?pi caf\xC3\xA9?><r/>");
    EXPECT_TRUE(XmlSerializer::saveXml(ok.root, path.c_str(), &log));
    EXPECT_NE(readAll(path).find("<?pi caf\xE9?>"), std::string::npos);
    std::remove(path.c_str());
}

TEST(XmlSave, UnicodeFormsGetByteOrderMarkAndReload) {
    struct Case {
        const char* name;
        std::string mark;
    } cases[] = {
        {"utf-16", std::string("\xFF\xFE", 2)},      {"unicode", std::string("\xFF\xFE", 2)},
        {"ucs-2", std::string("\xFF\xFE", 2)},       {"utf-16le", std::string("\xFF\xFE", 2)},
        {"utf-16be", std::string("\xFE\xFF", 2)},    {"unicodefffe", std::string("\xFE\xFF", 2)},
        {"utf-32", std::string("\xFF\xFE\0\0", 4)},  {"utf-32be", std::string("\0\0\xFE\xFF", 4)},
    };
    std::string path = uniquePath("xmlsave_unicode.xml");
    for (const Case& c : cases) {
        Logger log;
        Doc d(std::string("<?xml version='1.0' encoding='") + c.name +
              "'?><r a='\xC3\xA9'>\xE4\xB8\xAD\xF0\x9F\x98\x80<b/></r>");
        ASSERT_TRUE(d.root);
        std::string before = describe(d.root);
        ASSERT_TRUE(XmlSerializer::saveXml(d.root, path.c_str(), &log)) << c.name;
        std::string bytes = readAll(path);
        EXPECT_EQ(bytes.substr(0, c.mark.size()), c.mark) << c.name;
        if (c.mark == std::string("\xFF\xFE", 2)) {  // U+1F600 as one surrogate pair
            EXPECT_NE(bytes.find(std::string("\x3D\xD8\x00\xDE", 4)), std::string::npos) << c.name;
        }
        TreeNode* raw = nullptr;
        ASSERT_TRUE(XmlParser::loadXmlFile(path.c_str(), &log, &raw)) << c.name;
        Doc back(raw);
        ASSERT_TRUE(back.root) << c.name;
        // The body is unchanged; only the 16-bit names are corrected to utf-8.
        std::string after = describe(back.root);
        EXPECT_EQ(after.substr(after.find("style:")), before.substr(before.find("style:"))) << c.name;
    }
    std::remove(path.c_str());
}
