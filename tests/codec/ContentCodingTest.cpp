#include "codec/ContentCoding.h"

#include <gtest/gtest.h>

#include <string>

#include "codec/ToolSupport.h"
#include "support/TextSupport.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

using namespace tarvex;
using tarvex_test::runPython;
using tarvex_test::randomBytes;
using tarvex_test::textOf;

namespace {

std::string lines(const std::string& bytes) {
    StringBuffer out;
    ContentCoding().encodeBase64Lines(bytes.data(), static_cast<uint32_t>(bytes.size()), out);
    return std::string(out.getString(), static_cast<size_t>(out.getSize()));
}

bool strict(const std::string& text, std::string* bytes) {
    DataBuffer out;
    bool ok = ContentCoding::decodeBase64Strict(text.data(), static_cast<uint32_t>(text.size()), out);
    *bytes = textOf(out);
    return ok;
}

std::string words(const std::string& text) {
    DataBuffer out;
    ContentCoding::decodeWords(StringBuffer(text.c_str()), out);
    return textOf(out);
}

}  // namespace

TEST(ContentCodingTest, LinesAreSeventyTwoCharactersEndedByCrLf) {
    EXPECT_EQ(lines(""), "");
    const std::string l54 = lines(std::string(54, 'a'));
    EXPECT_EQ(l54.size(), 72u + 4);
    EXPECT_EQ(l54.substr(72), "\r\n\r\n");
    const std::string l55 = lines(std::string(55, 'a'));
    EXPECT_EQ(l55.substr(72), "\r\nYQ==\r\n");
    EXPECT_EQ(lines("hello"), "aGVsbG8=\r\n");
    // Appending to text that is already there keeps it.
    StringBuffer out("x");
    ContentCoding().encodeBase64Lines("abc", 3, out);
    EXPECT_STREQ(out.getString(), "xYWJj\r\n");
}

TEST(ContentCodingTest, StrictDecodingSkipsSpaceStopsAtPadAndRefusesOutsiders) {
    const struct {
        std::string text;
        bool ok;
        const char* bytes;  // null: not checked
    } cases[] = {
        {"aGVs\r\n bG8=ignored!", true, "hello"}, {"aGVs!bG8=", false, ""},
        {"aGVs{bG8", false, nullptr},  // above "z"
        {"aG-s", true, nullptr},       // inside the table's range
        {"", true, ""}, {"YQ", true, "a"}, {"Y", true, ""},  // one character makes nothing
        {std::string("YWJj\0ZGVm", 9), true, "abc"},       // NUL ends the text
    };
    for (const auto& c : cases) {
        std::string bytes = "stale";
        EXPECT_EQ(strict(c.text, &bytes), c.ok) << c.text;
        if (c.bytes) { EXPECT_EQ(bytes, c.bytes) << c.text; }
    }

    DataBuffer out;
    EXPECT_TRUE(ContentCoding::decodeBase64Lenient("aGVs!bG8", 8, out));
    EXPECT_EQ(out.getSize(), 6u);
    EXPECT_FALSE(ContentCoding::decodeBase64Lenient("", 0, out));
}

TEST(ContentCodingTest, RoundTripsEveryLengthAroundLineAndGroupEdges) {
    for (size_t n : {1u, 2u, 3u, 53u, 54u, 55u, 107u, 108u, 109u, 1000u, 65536u}) {
        const std::string data = randomBytes(n, static_cast<unsigned>(n));
        std::string back;
        ASSERT_TRUE(strict(lines(data), &back)) << n;
        EXPECT_EQ(back, data) << n;
        StringBuffer flat;
        ContentCoding::encodeBase64(data.data(), static_cast<uint32_t>(n), flat);
        EXPECT_EQ(static_cast<uint64_t>(flat.getSize()), ContentCoding::base64Size(static_cast<uint32_t>(n)));
        ASSERT_TRUE(strict(flat.getString(), &back));
        EXPECT_EQ(back, data) << n;
    }
}

TEST(ContentCodingTest, QCodingFollowsTheHeaderRules) {
    StringBuffer q;
    const uint8_t bytes[] = {'A', 0, ' ', '=', '?', '_', 'z', 0xE9};
    ContentCoding::encodeQ(bytes, sizeof bytes, q);
    EXPECT_STREQ(q.getString(), "A=00_=3D=3F=5Fz=E9");

    DataBuffer out;
    ContentCoding::decodeQ("a=3Db=3dc_d=4", 0, out);
    EXPECT_EQ(textOf(out), "a=b=3dc d=4");
    out.clear();
    ContentCoding::decodeQ("x y\r\n?\x80\xE9", 0, out);  // space, line breaks, "?" and 127-159 are dropped
    EXPECT_EQ(textOf(out), "xy\xE9");
}

TEST(ContentCodingTest, DecodeWordsKeepsTextAndStopsAtAMalformedWord) {
    EXPECT_EQ(words("=?utf-8?B?aGk=?="), "hi");
    EXPECT_EQ(words("a =?x?q?b_c?= =?x?B?ZA==?= e"), "a b c d e");
    EXPECT_EQ(words("plain"), "plain");
    EXPECT_EQ(words("text =?utf-8?B?aGk="), "text ");
    EXPECT_EQ(words("text =?utf-8"), "text ");
    EXPECT_EQ(words("t =?cs?B?" "?= u"), "t  u");

    StringBuffer header("Caf=?iso-8859-1?Q?=E9?= =?x-unknown?B?/w==?=");
    ContentCoding::decodeHeaderWords(header);
    EXPECT_EQ(std::string(header.getString(), static_cast<size_t>(header.getSize())), "Caf\xC3\xA9 \xFF");
}

// Peers: Python's base64, quopri and email.header.
TEST(ContentCodingTest, AgreesWithPythonBase64) {
    REQUIRE_TOOL("python3");
    const std::string data = randomBytes(5000, 7);
    std::string text;
    // Python decodes our lines and re-encodes the bytes in its own 76-column layout.
    ASSERT_TRUE(runPython("import sys,base64\nd=base64.b64decode(sys.stdin.buffer.read())\n"
                          "sys.stdout.buffer.write(base64.encodebytes(d))\n",
                          lines(data), &text));
    std::string back;
    ASSERT_TRUE(strict(text, &back));
    EXPECT_EQ(back, data);
}

TEST(ContentCodingTest, AgreesWithPythonQuotedPrintableAndEncodedWords) {
    REQUIRE_TOOL("python3");
    std::string out;
    // Our Q text and B word decode in Python; Python's words decode here.
    StringBuffer q;
    const std::string sample = "Gr\xC3\xBC\xC3\x9F" "e an_alle = ?fragen? \x01\xFF";
    ContentCoding::encodeQ(reinterpret_cast<const uint8_t*>(sample.data()), static_cast<uint32_t>(sample.size()), q);
    StringBuffer b;
    ContentCoding::makeBWord(reinterpret_cast<const uint8_t*>(sample.data()), static_cast<uint32_t>(sample.size()),
                             "utf-8", b);
    const std::string input = std::string(q.getString()) + "\n" + b.getString() + "\n";
    ASSERT_TRUE(runPython(
        "import sys,quopri,email.header\n"
        "q,b=sys.stdin.buffer.read().split(b'\\n')[:2]\n"
        "sys.stdout.buffer.write(quopri.decodestring(q,header=True)+b'|')\n"
        "sys.stdout.buffer.write(email.header.decode_header(b.decode())[0][0]+b'|')\n"
        "sys.stdout.buffer.write(quopri.encodestring(b'Gr\\xfc\\xdfe an_alle = !', header=True)+b'|')\n"
        "sys.stdout.buffer.write(email.header.Header('Gr\\u00fc\\u00dfe \\u2713', 'utf-8', maxlinelen=9999)"
        ".encode().encode()+b'|')\n"
        "sys.stdout.buffer.write(email.header.Header('Gr\\u00fc\\u00dfe', 'iso-8859-1', maxlinelen=9999)"
        ".encode().encode())\n",
        input, &out));
    const size_t p1 = out.find('|'), p2 = out.find('|', p1 + 1), p3 = out.find('|', p2 + 1),
                 p4 = out.find('|', p3 + 1);
    ASSERT_NE(p4, std::string::npos) << out;
    EXPECT_EQ(out.substr(0, p1), sample);
    EXPECT_EQ(out.substr(p1 + 1, p2 - p1 - 1), sample);
    DataBuffer bytes;
    const std::string pyQ = out.substr(p2 + 1, p3 - p2 - 1);
    ContentCoding::decodeQ(pyQ.c_str(), static_cast<int32_t>(pyQ.size()), bytes);
    EXPECT_EQ(textOf(bytes), "Gr\xFC\xDF" "e an_alle = !");
    EXPECT_EQ(words(out.substr(p3 + 1, p4 - p3 - 1)), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93");
    EXPECT_EQ(words(out.substr(p4 + 1)), "Gr\xFC\xDF" "e");
}
