// Characters outside the Basic Multilingual Plane through the whole road:
// file bytes -> tree -> script strings -> edited tree -> file bytes.
#include "ComponentSupport.h"

using namespace tarvex_test;

TEST(UnicodeRoundTrip, EmojiSurvivesLoadEditAndSave) {
    const std::string smile = "\xF0\x9F\x98\x80";   // U+1F600
    const std::string clef = "\xF0\x9D\x84\x9E";    // U+1D11E
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n\r\n<note mood=\"" + smile + "\"";
    const std::string tail = ">Smile " + smile + " and " + clef + "</note>\r\n";
    const std::string path = tempPath("emoji.xml");
    writeAll(path, head + tail);

    Tarvex doc = newObject();
    ASSERT_TRUE(doc.loadXmlFile(path)) << doc.lastErrorText();
    EXPECT_EQ(doc.content(), "Smile " + smile + " and " + clef);   // through UTF-16 and back
    EXPECT_EQ(doc.attr("mood"), smile);

    doc.setAttr("by", clef);                                        // the edit
    ASSERT_TRUE(doc.saveXml(path)) << doc.lastErrorText();
    EXPECT_EQ(readAll(path), head + " by=\"" + clef + "\"" + tail);

    // Saved as UTF-16 (with its byte-order mark) the pair is one surrogate
    // pair, and the file loads back to the same text.
    doc->put_Encoding(BstrArg("utf-16"));
    ASSERT_TRUE(doc.saveXml(path));
    const std::string utf16 = readAll(path);
    EXPECT_EQ(utf16.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(utf16.find(std::string("\x3D\xD8\x00\xDE", 4)), std::string::npos);
    Tarvex again = newObject();
    ASSERT_TRUE(again.loadXmlFile(path)) << again.lastErrorText();
    EXPECT_EQ(again.content(), "Smile " + smile + " and " + clef);
    std::remove(path.c_str());
}
