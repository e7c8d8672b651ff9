#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "file/FileAccess.h"
#include "text/DataBuffer.h"
#include "xml/ParseEngine.h"
#include "xml/XmlSupport.h"

using namespace tarvex;
using namespace tarvex_test;

namespace {

std::string declAttr(const TreeNode* root, const char* name) {
    StringBuffer v;
    if (!root->GetTree()->GetDeclarationAttribute(name, v)) return "<none>";
    return v.getString();
}

}  // namespace

TEST(XmlParser, RootContent) {
    // cdata: 1 or 0 when the flag is checked, -1 when not.
    const struct {
        std::string text, content;
        int cdata;
    } cases[] = {
        {"<a>  x  </a>", "x", 0},
        {"<a>x<b/>y</a>", "x y", 0},
        {"<a>x<!-- c -->y</a>", "x y", 0},
        {"<a>&amp;lt; &#233; &eacute; &lt;&gt;&quot;&apos;</a>", "&lt; &#233; &eacute; <>\"'", 0},
        // The text already held is final: decoding it again would turn &lt; into <.
        {"<a>&amp;lt;<b/>y</a>", "&lt; y", -1},
        {"<a>x<b/>&amp;gt;<c/>&amp;amp;</a>", "x &gt; &amp;", -1},
        {"<a><![CDATA[<b>&amp;]]></a>", "<b>&amp;", 1},
        // A section after text is read, not dropped as an unknown declaration.
        {"<a>t<![CDATA[x]]></a>", "tx", 1},
        // Text after "]]>" is kept as a text run.
        {"<a><![CDATA[x]]>tail &amp; more<b/></a>", "x tail & more", -1},
        {"<a><![CDATA[a]]> <![CDATA[b]]></a>", "ab", -1},
        {"<a><![CDATA[abc", "abc", -1},
        // What follows a NUL byte is not read: the element is closed implicitly.
        {std::string("<a>x\0y</a>", 10), "x", -1},
        // Content joined with a section is written back as one section, where
        // no reference is decoded: the text runs hold the characters they denote.
        {"<a>&#233;&amp;&#x416;<![CDATA[x&#65;]]></a>", "\xC3\xA9&\xD0\x96x&#65;", 1},
        {"<a><![CDATA[x]]>&#233; &amp;#65; &#0; &#xD800; &bogus;</a>", "x \xC3\xA9 &#65; &#0; &#xD800; &bogus;", -1},
        // Without a section, references stay as written.
        {"<a>&#233;<b/>&#x416;</a>", "&#233; &#x416;", 0},
    };
    for (const auto& c : cases) {
        Doc p(c.text);
        ASSERT_TRUE(p.root) << c.text;
        EXPECT_EQ(content(p.root), c.content) << c.text;
        if (c.cdata >= 0) {
            EXPECT_EQ(p.root->IsCdata(), c.cdata == 1) << c.text;
        }
    }

    Doc blank("<a>   </a>");
    EXPECT_FALSE(blank.root->HasContentBuffer());
    Doc mixed("<a>x<b/>y</a>");
    ASSERT_EQ(mixed.root->NumChildren(), 1);
    EXPECT_STREQ(mixed.root->GetChild(0)->GetTag(), "b");
    Doc tail("<a><![CDATA[x]]>tail &amp; more<b/></a>");
    EXPECT_EQ(tail.root->NumChildren(), 1);  // following markup still parses
}

TEST(XmlParser, ClosingTagsTopLevelElementsAndUnclosedComments) {
    const struct {
        const char* text;
        const char* tree;  // root tag and the children's, or "" for no root
        const char* log;   // a line the log holds, or "" when it holds no error
    } cases[] = {
        {"<a><b></c></a>", "a:b,", ""},
        {"<a><b></b <c/></a>", "a:b,c,", "Error in closing tag\r\n  error_tag"},
        {"<a></a><b></b>", "b:", ""},                 // the last top-level element is the root
        {"<a><b>text", "a:b,", ""},
        {"junk<a/>more<b><c>", "a:", ""},             // an unfinished second one is not
        {"just text", "", ""},
        {"<a><b/><!-- never closed <c/></a>", "a:b,", "Unclosed comment"},
    };
    for (const auto& c : cases) {
        Doc d(c.text);
        std::string tree = d.root ? std::string(d.root->GetTag()) + ":" : "";
        for (int32_t i = 0; d.root && i < d.root->NumChildren(); ++i)
            tree += d.root->GetChild(i)->GetTag() + std::string(",");
        EXPECT_EQ(tree, c.tree) << c.text;
        if (*c.log) EXPECT_NE(d.logText().find(c.log), std::string::npos) << d.logText();
        else EXPECT_EQ(d.logText().find("Error"), std::string::npos) << d.logText();
    }
    Doc unclosed("<a><b>text");
    EXPECT_EQ(content(unclosed.root->GetChild(0)), "text");

    TreeNode* root = reinterpret_cast<TreeNode*>(1);
    EXPECT_TRUE(XmlParser::parseUtf8("", 0, nullptr, &root));
    EXPECT_EQ(root, nullptr);
    EXPECT_FALSE(XmlParser::parseUtf8("<a/>", 4, nullptr, nullptr));
}

// Whole trees, as their renderings: declaration, stylesheet, prolog, nodes.
TEST(XmlParser, PrologAttributesAndOddMarkup) {
    const std::string dtd = "<!DOCTYPE r [<!ENTITY lt \"<\"><!-- a > b --><!ATTLIST r x CDATA '>'>]>";
    const std::pair<std::string, std::string> cases[] = {
        {"<?xml version=\"1.0\" encoding='utf-8' standalone=\"yes\"?>\n"
         "<?xml-stylesheet type='text/xsl' href='s.xsl'?>\n<!DOCTYPE r [<!ENTITY e 'x'>]>\n<?php echo 1; ?>\n<r/>",
         "decl:version=1.0;encoding=utf-8;standalone=yes;\nstyle:type=text/xsl;href=s.xsl;\n"
         "prolog:<!DOCTYPE r [<!ENTITY e 'x'>]>\n<?php echo 1; ?>\n\nr {} \n"},  // instructions keep their '?'
        {"<?xml\tversion='1.0'?><r/>", "decl:\nstyle:\nprolog:<?xml\tversion='1.0'?>\n\nr {} \n"},
        // Brackets inside literals and comments are not counted.
        {dtd + "<r a='1'>x</r>", "decl:\nstyle:\nprolog:" + dtd + "\n\nr {x} a=1;\n"},
        {"<a x=\"1\" y='&lt;&amp;#65;' x=\"2\" flag \"q\"=v z='a>b'>t</a>",
         "decl:\nstyle:\nprolog:\na {t} x=1;y=<&#65;;x=2;flag=;q=v;z=a>b;\n"},
        // An unquoted value ends at whitespace, '>' or "/>", not at a later quote.
        {"<r><a x=1 z='3' y=/p/q/><b w=v>t</b></r>",
         "decl:\nstyle:\nprolog:\nr {} \n a {} x=1;z=3;y=/p/q;\n b {t} w=v;\n"},
        {"<r><a<b/><!ELEMENT x><c/ ></r>", "decl:\nstyle:\nprolog:\nr {} \n ab {} \n c {} \n"},
    };
    for (const auto& c : cases) {
        Doc d(c.first);
        EXPECT_EQ(d.root ? describe(d.root) : "<no root>", c.second) << c.first;
        EXPECT_EQ(d.logText().find("DTD"), std::string::npos);
    }
    Doc tab("<?xml\tversion='1.0'?><r/>");
    EXPECT_EQ(tab.root->GetTree()->declaration, nullptr);  // not a declaration: kept in the prolog

    Doc open("<!DOCTYPE r [<!ELEMENT r ANY>");
    EXPECT_EQ(open.root, nullptr);
    EXPECT_NE(open.logText().find("Failed to parse DTD"), std::string::npos);
}

TEST(XmlParser, LogEntriesPerParseAreCapped) {
    std::string text = "<r>";
    for (int i = 0; i < 3000; ++i) text += "</<y>";
    Doc p(text);
    std::string log = p.logText();
    size_t errors = 0;
    for (size_t at = log.find("Error in closing tag"); at != std::string::npos;
         at = log.find("Error in closing tag", at + 1))
        ++errors;
    // Each stray tag writes an error and its tag: 1,000 entries in all.
    EXPECT_EQ(errors, 500u);
    EXPECT_NE(log.find("5000 more log entries of this parse were dropped"), std::string::npos);

    Doc few("<r></<y></r>");
    EXPECT_EQ(few.logText().find("dropped"), std::string::npos);
}

TEST(XmlParser, PrologIsTheResultsAtItsCompletion) {
    // Many top-level elements: the prolog kept is the one read before the
    // last completed element, not what follows it.
    std::string text;
    for (int i = 0; i < 50; ++i) text += "<?p" + std::to_string(i) + "?><a/>";
    text += "<?after?>";
    Doc p(text);
    ASSERT_TRUE(p.root);
    std::string kept = prolog(p.root);
    EXPECT_EQ(kept.find("<?p0?>\n"), 0u);
    EXPECT_NE(kept.find("<?p49?>\n"), std::string::npos);
    EXPECT_EQ(kept.find("after"), std::string::npos);
}

namespace {

TreeNode* loadBytes(const std::string& bytes, Logger& log) {
    DataBuffer data;
    data.append(bytes.data(), static_cast<uint32_t>(bytes.size()));
    TreeNode* root = nullptr;
    XmlParser::loadXmlBytes(data, &log, &root);
    return root;
}

std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (char c : ascii) {
        if (bigEndian) out += '\0';
        out += c;
        if (!bigEndian) out += '\0';
    }
    return out;
}

}  // namespace

// What bytes load to: the root's content, its attributes and the declared encoding.
std::string loadedFrom(const std::string& bytes) {
    Logger log;
    Doc d(loadBytes(bytes, log));
    return d.root ? content(d.root) + "|" + attrs(d.root) + "|" + declAttr(d.root, "encoding") : "<no root>";
}

TEST(XmlParserEncoding, ByteOrderMarksAndDeclaredCharsets) {
    EXPECT_EQ(loadedFrom("\xEF\xBB\xBF<a>\xC3\xA9</a>"), "\xC3\xA9||<none>");
    for (bool be : {false, true}) {
        EXPECT_EQ(loadedFrom(utf16("<?xml version=\"1.0\" encoding=\"utf-16\"?><a b=\"c\">x</a>", be)),
                  "x|b=c;|utf-16");
    }
    EXPECT_EQ(loadedFrom("<?xml version='1.0' encoding='ISO-8859-1'?><a t='\xE9'>caf\xE9</a>"),
              "caf\xC3\xA9|t=\xC3\xA9;|ISO-8859-1");
    // Shift_JIS: the kanji U+65E5 is 93 FA; its second byte is not '<'-safe ASCII.
    EXPECT_EQ(loadedFrom("<?xml version = \"1.0\" Encoding = \"Shift_JIS\" ?><a>\x93\xFA\x96\x7B</a>").rfind(
                  "\xE6\x97\xA5\xE6\x9C\xAC||", 0),
              0u);
    // A declaration read as single bytes cannot be in UTF-16: no conversion.
    EXPECT_EQ(loadedFrom("<?xml version='1.0' encoding='utf-16'?><a>plain</a>"), "plain||utf-16");
    std::string utf32("\xFF\xFE\0\0", 4);
    for (char c : std::string("<a>z</a>")) utf32 += std::string(1, c) + std::string(3, '\0');
    EXPECT_EQ(loadedFrom(utf32), "z||<none>");
}

TEST(XmlParserEncoding, EmptyBlockFails) {
    Logger log;
    DataBuffer empty;
    TreeNode* root = nullptr;
    EXPECT_FALSE(XmlParser::loadXmlBytes(empty, &log, &root));
    EXPECT_EQ(root, nullptr);
    EXPECT_NE(logText(log).find("Failed to convert XML data to utf-8 internal representation"), std::string::npos);
}

TEST(XmlParserEncoding, FileLoadCorrectsUtf16Declaration) {
    std::string path = uniquePath("xmlparser_utf16.xml");
    std::string bytes = utf16("<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\"?><a>x</a>", false);
    Logger log;
    ASSERT_TRUE(writeFile(path.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()), &log));
    TreeNode* raw = nullptr;
    ASSERT_TRUE(XmlParser::loadXmlFile(path.c_str(), &log, &raw));
    Doc root(raw);
    ASSERT_TRUE(root.root);
    EXPECT_EQ(content(root.root), "x");
    EXPECT_EQ(attrs(root.root->GetTree()->declaration), "version=1.0;standalone=no;encoding=utf-8;");

    TreeNode* none = nullptr;
    EXPECT_FALSE(XmlParser::loadXmlFile((path + ".missing").c_str(), &log, &none));
    EXPECT_EQ(none, nullptr);
    std::remove(path.c_str());
}

TEST(XmlParser, UnclosedConstructsAreSearchedOnce) {
    // A search that failed is not repeated from a later start: the bytes
    // searched stay proportional to the input, however many openers it holds.
    const struct {
        const char* head;
        const char* unit;
    } shapes[] = {
        {"<r>", "<?a"},
        {"<!DOCTYPE r [", "<!--"},
        {"<!DOCTYPE r [", "<?"},
        {"<!DOCTYPE r [", "\""},
        {"<r>", "<![CDATA[x]]"},
    };
    for (const auto& shape : shapes) {
        std::string text = shape.head;
        while (text.size() < 200000) text += shape.unit;
        ParseEngine cursor;
        cursor.borrow(text.data(), static_cast<int32_t>(text.size()));
        TreeNode* root = nullptr;
        ASSERT_TRUE(XmlParser::parseXml(cursor, nullptr, &root));
        if (root) TreeNode::Destroy(root);
        EXPECT_LT(cursor.bytesSearched(), 4 * static_cast<int64_t>(text.size())) << shape.unit;
    }
}

TEST(XmlParserEncoding, ANextFileReadIntoAKeptBufferGivesItsOwnTree) {
    // A released document's buffer is kept for the next read of about its
    // size: what the first document left past the second one's end must not
    // show in the second tree.
    auto make = [](const char* item, size_t size) {
        std::string doc = "<r>";
        while (doc.size() < size) doc += item;
        return doc + "</r>";
    };
    const std::string first = make("<a k=\"1\">first --> <c/></a>", 1000000);
    const std::string second = make("<b>second &amp; last</b>", 900000) + "<!-- unclosed";
    std::string path = uniquePath("xmlparser_kept.xml");
    Logger log;
    for (const std::string* doc : {&first, &second}) {
        ASSERT_TRUE(writeFile(path.c_str(), doc->data(), static_cast<uint32_t>(doc->size()), &log));
        TreeNode* raw = nullptr;
        ASSERT_TRUE(XmlParser::loadXmlFile(path.c_str(), &log, &raw));
        Doc fromFile(raw);
        Doc fromBytes(*doc);
        EXPECT_TRUE(xmlOf(fromFile.root) == xmlOf(fromBytes.root));
    }
    std::remove(path.c_str());
}

TEST(XmlParserEncoding, LargeFileGivesTheSameTreeAsItsBytes) {
    // A file load gives back the text behind the parse as it goes; the tree
    // must be the one the same bytes give when they stay whole. Constructs of
    // every kind, some longer than the step in which text is given back,
    // stand across those steps.
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x\">]>\n<r>";
    const std::string longText(3 * 1024 * 1024 + 77, 'L');
    int i = 0;
    while (doc.size() < 12u * 1024 * 1024) {
        const std::string n = std::to_string(i++);
        doc += "<i n=\"" + n + "\" q='a&amp;b'>t" + n + " &lt;&gt; <b/>tail" + n + "</i>\n";
        doc += "<!-- c" + n + " --><c><![CDATA[<raw" + n + ">]]>&amp;after</c>\n";
        if (i == 3000) doc += "<long a=\"" + longText + "\">" + longText + "</long>";
    }
    doc += "</r>";
    std::string path = uniquePath("xmlparser_large.xml");
    Logger log;
    ASSERT_TRUE(writeFile(path.c_str(), doc.data(), static_cast<uint32_t>(doc.size()), &log));
    TreeNode* raw = nullptr;
    ASSERT_TRUE(XmlParser::loadXmlFile(path.c_str(), &log, &raw));
    std::remove(path.c_str());
    Doc fromFile(raw);
    Doc fromBytes(doc);
    ASSERT_TRUE(fromFile.root && fromBytes.root);
    const std::string whole = xmlOf(fromBytes.root);
    EXPECT_GT(whole.size(), 10u * 1024 * 1024);
    EXPECT_TRUE(xmlOf(fromFile.root) == whole);
    EXPECT_EQ(prolog(fromFile.root), prolog(fromBytes.root));
    EXPECT_EQ(fromFile.root->NumChildren(), fromBytes.root->NumChildren());

    // The tree is built in the file's pages as the parse passes them: a
    // subtree from late in the document outlives its document intact.
    const int32_t late = fromFile.root->NumChildren() - 2;
    TreeNode* kept = fromFile.root->GetChild(late);
    TreeNode::DetachFromParent(kept);   // the document, unreferenced, goes
    fromFile.root = kept;
    EXPECT_EQ(xmlOf(kept), xmlOf(fromBytes.root->GetChild(late)));
}
