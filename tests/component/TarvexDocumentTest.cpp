// Node data, attributes, the ANSI members, and documents loaded and saved
// through strings, byte arrays and files in several encodings.
#include "ComponentSupport.h"

using namespace tarvex_test;

namespace {

const std::string kEAcute = "\xC3\xA9";  // U+00E9 in UTF-8

// LoadXmlV on a byte array; returns the success flag it sets.
LONG loadXmlBytes(Tarvex& t, const std::string& bytes) {
    VARIANT v = byteArray(bytes);
    LONG ok = -1;
    t->LoadXmlV(v, &ok);
    VariantClear(&v);
    return ok;
}

}  // namespace

TEST(TarvexDocument, NodeDataProperties) {
    Tarvex t = newObject();
    t.setTag("t" + kEAcute);
    EXPECT_EQ(t.tag(), "t" + kEAcute);
    BSTR withZero = SysAllocStringLen(OLESTR("ab\0cd"), 5);
    t->put_Tag(withZero);  // the tag ends at the first zero character
    SysFreeString(withZero);
    EXPECT_EQ(t.tag(), "ab");

    EXPECT_EQ(t.content(), "");
    t->AppendToContent(BstrArg("x<"));
    t->AppendToContent(BstrArg(kEAcute));
    EXPECT_EQ(t.content(), "x<" + kEAcute);
    t->put_Content(BstrArg(""));
    EXPECT_EQ(t.content(), "");
    EXPECT_EQ(outLong(t, &ITarvex::ContentMatches, BstrArg("*"), 1), 1);  // set, then emptied: an empty content exists
    t->put_Cdata(7);
    EXPECT_EQ(outLong(t, &ITarvex::get_Cdata), 1);  // any non-zero value is stored as 1
    t->put_Content(BstrArg("a<&b"));
    EXPECT_EQ(t.getXml(), "\r\n<ab><![CDATA[a<&b]]></ab>\r\n");
}

TEST(TarvexDocument, AttributesByNameAndIndex) {
    Tarvex t = newObject();
    t->AddAttribute(BstrArg("a"), BstrArg("1"));
    t->AddAttribute(BstrArg("a"), BstrArg("1"));
    t->AddAttribute(BstrArg("b"), nullptr);
    t->AddAttribute(BstrArg(""), BstrArg("x"));  // adds nothing
    EXPECT_EQ(outLong(t, &ITarvex::get_NumAttributes), 3);
    t->UpdateAttribute(BstrArg("a"), BstrArg("2"));
    EXPECT_EQ(outText(t, &ITarvex::GetAttributeName, 1).text, "a");  // moved to the end
    EXPECT_EQ(outText(t, &ITarvex::GetAttrValue, BstrArg(" a\t")).text, "2");
    EXPECT_EQ(outLong(t, &ITarvex::HasAttrWithValue, BstrArg("b "), BstrArg("")), 1);
    EXPECT_EQ(outLong(t, &ITarvex::HasAttrWithValue, BstrArg("a"), BstrArg("2 ")), 0);  // values are not trimmed

    EXPECT_TRUE(outText(t, &ITarvex::GetAttributeName, 5).isNull);
    EXPECT_EQ(logText(t), oneContext("GetAttributeName", {"No attribute at this index", "index: 5"}));
    const BstrResult r = outText(t, &ITarvex::GetAttributeValue, 5);
    EXPECT_TRUE(!r.isNull && r.text.empty());
    EXPECT_EQ(outText(t, &ITarvex::GetAttrValue, BstrArg("zz")).text, "");
    EXPECT_EQ(logText(t), oneContext("GetAttributeName", {"No attribute at this index", "index: 5"}));

    t->RemoveAttribute(BstrArg(" a "));
    EXPECT_EQ(outLong(t, &ITarvex::get_NumAttributes), 1);
}

TEST(TarvexDocument, DeclarationValuesCrossInTheAnsiCodePage) {
    Tarvex t = loaded("<r/>");
    EXPECT_EQ(outText(t, &ITarvex::get_Encoding).text, "utf-8");
    EXPECT_EQ(outText(t, &ITarvex::get_Standalone).text, "");
    t->put_Encoding(BstrArg("iso-8859-1"));
    t->put_Standalone(BstrArg(" yes/> "));
    Tarvex child = t.newChild("c");
    EXPECT_EQ(outText(child, &ITarvex::get_Encoding).text, "iso-8859-1");  // any node of the tree
    EXPECT_EQ(t.getXml(),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"yes\" ?>\r\n\r\n<r>\r\n<c></c>\r\n</r>\r\n");

    // A character of the ANSI code page survives the round trip.
    t->put_Encoding(BstrArg("x" + kEAcute));
    EXPECT_EQ(outText(t, &ITarvex::get_Encoding).text, "x" + kEAcute);

    auto decoded = [&t](const std::string& text) { return outText(t, &ITarvex::DecodeEntities, BstrArg(text)).text; };
    EXPECT_EQ(decoded("&eacute;&lt;&euro;&#65;"), kEAcute + "<\xE2\x82\xAC" "A");
    // Characters beyond the ANSI code page pass through DecodeEntities too.
    EXPECT_EQ(decoded("\xD0\x96x &amp; \xF0\x9F\x98\x80 &eacute;\xD0\x96&lt;"),
              "\xD0\x96x & \xF0\x9F\x98\x80 " + kEAcute + "\xD0\x96<");
}

TEST(TarvexDocument, FeffInsideValuesIsACharacter) {
    const std::string feff = "\xEF\xBB\xBF";
    Tarvex t = loaded("<doc a='" + feff + "'>" + feff + "data</doc>");
    EXPECT_EQ(t.content(), feff + "data");
    EXPECT_EQ(t.attr("a"), feff);
    t.setContent(feff);
    EXPECT_EQ(t.content(), feff);
}

TEST(TarvexDocument, NulBytesEndTheDocumentText) {
    // UTF-16 without a byte-order mark is not taken for elements named "\0r\0".
    const std::string utf16("<\0r\0>\0a\0<\0/\0r\0>\0", 16);
    Tarvex t = newObject();
    EXPECT_EQ(loadXmlBytes(t, utf16), 0);
    EXPECT_EQ(logText(t), oneContext("LoadXmlV", {"Failed to parse XML data (5)"}));

    const std::string path = tempPath("utf16-no-mark.xml");
    writeAll(path, std::string(1, '\0') + "<\0r\0>\0a\0<\0/\0r\0>");
    EXPECT_FALSE(t.loadXmlFile(path));
    EXPECT_NE(logText(t).find("Failed to parse file"), std::string::npos) << logText(t);
    std::remove(path.c_str());

    // Content set through the interface may still hold NUL bytes.
    t.setContent(std::string("x\0y", 3));
    EXPECT_EQ(t.content(), std::string("x\0y", 3));
}

TEST(TarvexDocument, LoadXmlFromStringsAndBytes) {
    const std::string latin1Doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>";
    const std::string utf8Doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf" + kEAcute + "</r>";

    // A string is characters: its declaration does not change how it is read.
    Tarvex a = loaded(utf8Doc);
    EXPECT_EQ(a.content(), "caf" + kEAcute);
    EXPECT_EQ(a.encoding(), "utf-8");

    // Bytes are decoded by their declaration, which is kept.
    Tarvex b = newObject();
    EXPECT_EQ(loadXmlBytes(b, latin1Doc), 1);
    EXPECT_EQ(b.content(), "caf" + kEAcute);
    EXPECT_EQ(b.encoding(), "ISO-8859-1");
    EXPECT_EQ(logText(b), oneContext("LoadXmlV"));

    // A string handed to LoadXmlV, directly or by reference, is text too.
    Tarvex c = newObject();
    VARIANT str = variantOf(VT_BSTR);
    str.bstrVal = tarvex::toBstr(utf8Doc);
    VARIANT ref = variantOf(VT_BYREF | VT_VARIANT);
    ref.pvarVal = &str;
    EXPECT_EQ(outLong(c, &ITarvex::LoadXmlV, ref), 1);
    EXPECT_EQ(c.content(), "caf" + kEAcute);
    EXPECT_EQ(c.encoding(), "ISO-8859-1");
    SysFreeString(str.bstrVal);
    str.bstrVal = tarvex::toBstr("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>x</r>");
    EXPECT_EQ(outLong(c, &ITarvex::LoadXmlV, str), 1);
    EXPECT_EQ(c.encoding(), "utf-8");  // the tree holds UTF-8, not UTF-16
    VariantClear(&str);

    // Failures keep the object where it was.
    EXPECT_EQ(outLong(c, &ITarvex::LoadXml, BstrArg("no markup")), 0);
    EXPECT_EQ(logText(c), oneContext("LoadXml", {"Failed to parse XML data (5)"}));
    EXPECT_EQ(outLong(c, &ITarvex::LoadXmlV, variantOf(VT_EMPTY)), 0);
    EXPECT_EQ(c.content(), "x");
}

TEST(TarvexDocument, SaveXmlAddsOrRefusesTheEncoding) {
    const std::string path = tempPath("save.xml");
    Tarvex t = newObject();
    t.newChild("c", kEAcute);
    Tarvex child = t.child(0);
    ASSERT_TRUE(child.saveXml(path));  // saves the subtree, declares the tree
    EXPECT_EQ(readAll(path), "\r\n<c>" + kEAcute + "</c>\r\n");
    EXPECT_EQ(t.encoding(), "utf-8");

    t->put_Encoding(BstrArg("no-such-charset"));
    EXPECT_FALSE(t.saveXml(path));
    EXPECT_EQ(readAll(path), "\r\n<c>" + kEAcute + "</c>\r\n");  // untouched
    std::remove(path.c_str());
}

TEST(TarvexDocument, LoadXmlFileRetriesWithTheTrimmedName) {
    const std::string path = tempPath("trim.xml");
    writeAll(path, "<r>ok</r>");
    Tarvex t = newObject();
    ASSERT_TRUE(t.loadXmlFile("  " + path + "\t"));
    EXPECT_EQ(t.content(), "ok");
    EXPECT_EQ(logText(t), oneContext("LoadXmlFile"));  // only the second attempt's context
    std::remove(path.c_str());

    // A failed load names the file in the log, as UTF-8 whatever the route.
    const std::string missing = tempPath("missing-" + kEAcute + ".xml");
    EXPECT_FALSE(t.loadXmlFile(missing));
    EXPECT_EQ(t.content(), "ok");
    const std::string log = logText(t);
    EXPECT_EQ(log.rfind("OstrandLog:\r\n  LoadXmlFile:\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("    Failed to parse file\r\n    filename: " + missing + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("LoadXmlFile", 30), std::string::npos) << log;
}

TEST(TarvexDocument, SaveLastErrorWritesThePreviousLog) {
    const std::string path = tempPath("log.xml");
    Tarvex t = newObject();
    ITarvex* child = nullptr;
    t->GetChild(4, &child);
    EXPECT_EQ(outLong(t, &ITarvex::SaveLastError, BstrArg(path)), 1);
    const std::string first =
        "<OstrandLog>\r\n<GetChild>\r\n<error>No child at this index</error>\r\n<index>4</index>\r\n"
        "</GetChild>\r\n<SaveLastError>\r\n</SaveLastError>\r\n";
    EXPECT_EQ(readAll(path), first + "</OstrandLog>\r\n");
    outLong(t, &ITarvex::SaveLastError, BstrArg(path));
    EXPECT_EQ(readAll(path), first + "<SaveLastError>\r\n</SaveLastError>\r\n</OstrandLog>\r\n");
    EXPECT_EQ(outLong(t, &ITarvex::SaveLastError, nullptr), 0);
    std::remove(path.c_str());

    // The renderings carry UTF-8 text through unchanged.
    t->GetNthChildWithTag(BstrArg(kEAcute), 0, &child);
    EXPECT_EQ(outText(t, &ITarvex::get_LastErrorHtml).text,
              "OstrandLog:<blockquote>\r\nGetNthChildByTag:<blockquote>\r\nNot enough children have that tag.<br>\r\n"
              "tag: " + kEAcute + "<br>\r\nn_value: 0<br>\r\n</blockquote>\r\n</blockquote>\r\n");
}
