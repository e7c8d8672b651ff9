// Characters outside the Basic Multilingual Plane through the whole road:
// file bytes -> tree -> script strings -> edited tree -> file bytes. (Files
// in 16- and 32-bit forms are the save tests'.)
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
    std::remove(path.c_str());
}
