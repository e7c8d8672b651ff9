#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/Memory.h"
#include "text/StringBuffer.h"
#include "base/ExtPtrArray.h"

using tarvex::ExtPtrArray;
using tarvex::StringBuffer;

namespace {

std::string str(const StringBuffer& b) { return std::string(b.getString(), b.getSize()); }

std::vector<std::string> tokens(ExtPtrArray& a) {
    std::vector<std::string> v;
    for (int32_t i = 0; i < a.Count(); ++i) v.push_back(str(*static_cast<StringBuffer*>(a.Get(i))));
    tarvex::deleteAllStringBuffers(a);
    return v;
}

}  // namespace

TEST(StringBuffer, AppendingAndReading) {
    StringBuffer b(static_cast<const char*>(nullptr));
    b.append(nullptr);
    b.append("");
    EXPECT_EQ(b.getSize(), 0);
    EXPECT_EQ(b.lastChar(), 0);
    EXPECT_EQ(b.appendN("abcdef", 3), 3);
    EXPECT_EQ(b.appendN(nullptr, 3), 3);
    EXPECT_EQ(b.appendN("x", 0), 3);
    b.appendCharN('-', 2);
    b.appendCharN('-', -1);
    b.appendInt(-42);
    b.prepend(">>");
    EXPECT_EQ(str(b), ">>abc---42");
    EXPECT_EQ(b.charAt(-1) | b.charAt(100), 0);
    EXPECT_EQ(b.lastChar(), '2');
    EXPECT_TRUE(b.isAllAscii());
    b.appendChar(static_cast<char>(0xC3));
    EXPECT_FALSE(b.isAllAscii());
}

// One edit each: the text, the edit, the text after it.
TEST(StringBuffer, Edits) {
    using Edit = void (*)(StringBuffer&);
    const struct {
        const char* text;
        Edit edit;
        const char* result;
    } cases[] = {
        {"hello world", [](StringBuffer& b) { b.shorten(6); }, "hello"},
        {"hello", [](StringBuffer& b) { b.shorten(99); }, ""},
        {"a,b,c,d", [](StringBuffer& b) { b.removeCharFrom(',', 3); }, "a,bcd"},
        {"a,b,c,d", [](StringBuffer& b) { b.removeAll(','); }, "abcd"},
        {"abcd", [](StringBuffer& b) { b.truncateAtChar('c'); }, "ab"},
        {"a.b;c", [](StringBuffer& b) { b.replaceChar('.', '_'), b.replaceAnyOf(";_xyz", '+'); }, "a+b+c"},
        {"aaab", [](StringBuffer& b) { EXPECT_EQ(b.replaceAll("ab", "x"), 1); }, "aax"},
        {"aax", [](StringBuffer& b) { EXPECT_EQ(b.replaceAll("", "y") + b.replaceAll(nullptr, "y"), 0); }, "aax"},
        {"aax", [](StringBuffer& b) { EXPECT_EQ(b.replaceAll("q", "y"), 0); }, "aax"},
        {"x.x.x", [](StringBuffer& b) { EXPECT_EQ(b.replaceAll(".", "<long replacement>"), 2); },
         "x<long replacement>x<long replacement>x"},
        {"a--b--c", [](StringBuffer& b) { EXPECT_EQ(b.replaceAll("--", nullptr), 2); }, "abc"},
        {"a\r\nb\r\n", [](StringBuffer& b) { EXPECT_EQ(b.replaceAllWithChar("\r\n", '|'), 2); }, "a|b|"},
        {"<a href=\"x\">&amp;</a>", [](StringBuffer& b) { b.encodeBasicEntities(); },
         "&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;"},
        {"a\r\nb\nc\rd", [](StringBuffer& b) { b.normalizeToCrlf(); }, "a\r\nb\r\ncd"},
        {"a\r\nb\nc\rd", [](StringBuffer& b) { b.normalizeToCrlf(), b.crlfToLf(); }, "a\nb\ncd"},
        // 0xA0 counts as white space; case folding covers Latin-1 (0xDF folds to 0xFF).
        {" \t\r\n\xA0 \xA0", [](StringBuffer& b) { b.trim(); }, ""},
        {"\xA0\t a b \r\n", [](StringBuffer& b) { b.trim(); }, "a b"},
        {"  x \xA0\r\n\t y  ", [](StringBuffer& b) { b.collapseWhitespace(); }, " x y "},
        {"ABC xyz [\xC0\xDF\xE0\xBF\xFF]", [](StringBuffer& b) { b.toLowerCase(); }, "abc xyz [\xE0\xFF\xE0\xBF\xFF]"},
    };
    for (const auto& c : cases) {
        StringBuffer b(c.text);
        c.edit(b);
        EXPECT_EQ(str(b), c.result) << c.text;
    }
}

TEST(StringBuffer, Comparing) {
    StringBuffer b("Hello");
    EXPECT_TRUE(b.equalsNoCase("hELLO"));
    EXPECT_FALSE(b.equalsNoCase("hELL"));
    EXPECT_TRUE(StringBuffer().equals(nullptr));
    EXPECT_EQ(b.compare("Help"), -1);
    EXPECT_EQ(b.compare("Hel"), 1);
    EXPECT_EQ(StringBuffer("\x80").compare("a"), 1);  // unsigned order
    EXPECT_EQ(StringBuffer("").compare(nullptr), 0);
    // Every byte counts, NULs included.
    StringBuffer nul("a\0b", 3, 0);
    EXPECT_FALSE(nul.equals("a"));
    EXPECT_EQ(nul.compare("a"), 1);
    EXPECT_EQ(nul.compare("a\x01"), -1);
    EXPECT_FALSE(b.beginsWith(nullptr));
    EXPECT_FALSE(b.beginsWith("Hello!"));
    EXPECT_TRUE(b.endsWith("llo"));
    EXPECT_FALSE(b.endsWith("xHello"));
    EXPECT_TRUE(b.containsNoCase("LLO"));
    EXPECT_FALSE(b.containsNoCase("LLOO"));
}

TEST(StringBuffer, CapacityAndDetach) {
    StringBuffer b("abc");
    b.ensureCapacity(10);
    b.shrinkToFit();
    EXPECT_EQ(b.getCapacity(), 4);
    EXPECT_EQ(str(b), "abc");

    int32_t len = -1;
    char* block = b.detachBuffer(&len);
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(block, "abc");
    tarvex::memFree(block);
    EXPECT_EQ(b.getSize(), 0);
    b.append("again");
    EXPECT_EQ(str(b), "again");

    StringBuffer moved(std::move(b));
    EXPECT_EQ(str(moved), "again");
    b.append("reused");  // the source stays usable
    EXPECT_EQ(str(b), "reused");
}

TEST(StringBuffer, Split) {
    ExtPtrArray a;
    StringBuffer("a,\"b,c\",d").split(',', true, false, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"a", "\"b,c\"", "d"}));
    StringBuffer("a,\"b,c\",d").split(',', false, false, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"a", "\"b", "c\"", "d"}));
    StringBuffer("a,").split(',', true, false, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"a", ""}));
    StringBuffer().split(',', true, true, a);
    EXPECT_EQ(a.Count(), 0);
    StringBuffer("x\\,y,z\\").split(',', false, true, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"x\\,y", "z\\"}));

    StringBuffer("--a----b--c--").splitOnString("--", 0, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"a", "b", "c"}));
    StringBuffer("a--b--c").splitOnString("--", 2, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"a", "b"}));
    StringBuffer("abc").splitOnString("", 0, a);
    EXPECT_EQ(tokens(a), (std::vector<std::string>{"abc"}));
}

TEST(StringBuffer, ParseNameValue) {
    StringBuffer name("old"), value("old");
    auto parse = [&](const char* text) {
        StringBuffer(text).parseNameValue(name, value);
        return str(name) + "|" + str(value);
    };
    EXPECT_EQ(parse(" \r\n charset = \"utf-8\" "), "charset|utf-8");
    EXPECT_EQ(parse("flag"), "flag|");
    EXPECT_EQ(parse("a=b=c\""), "a|b=c");
    // The source may be one of the outputs.
    StringBuffer self("n=v");
    self.parseNameValue(self, value);
    EXPECT_EQ(str(self), "n");
    EXPECT_EQ(str(value), "v");
}

TEST(StringBuffer, IntToTextPerThread) {
    EXPECT_STREQ(tarvex::intToText(-2147483647 - 1), "-2147483648");
    std::vector<std::thread> threads;
    std::vector<int> bad(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &bad] {
            for (int i = 0; i < 20000; ++i) {
                int n = t * 1000000 + i;
                const char* s = tarvex::intToText(n);
                if (std::to_string(n) != s) ++bad[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(bad[t], 0);
}

TEST(StringBufferDeathTest, DestroyedBufferIsFatal) {
    alignas(StringBuffer) unsigned char storage[sizeof(StringBuffer)];
    StringBuffer* b = new (storage) StringBuffer("x");
    b->~StringBuffer();
    EXPECT_DEATH(b->getSize(), "text buffer");
    EXPECT_DEATH(b->append("y"), "text buffer");
}

TEST(StringBuffer, SourcesInsideTheBufferSurviveGrowth) {
    // Every edit below must grow the block while its source lies in it.
    StringBuffer self("0123456789");
    self.appendBuffer(self);
    EXPECT_EQ(str(self), "01234567890123456789");
    StringBuffer tight("abcd", 4, 0);
    tight.appendN(tight.getString() + 1, 3);
    EXPECT_EQ(str(tight), "abcdbcd");
    tight.append(tight.getString());
    EXPECT_EQ(str(tight), "abcdbcdabcdbcd");
    tight.setString(tight.getString() + 10);
    EXPECT_EQ(str(tight), "dbcd");
    tight.prepend(tight.getString());
    EXPECT_EQ(str(tight), "dbcddbcd");

    // Pattern and replacement may both come from the buffer being rebuilt.
    StringBuffer r("ab-ab");
    EXPECT_EQ(r.replaceAll(r.getString() + 3, r.getString()), 2);
    EXPECT_EQ(str(r), "ab-ab-ab-ab");
}

TEST(StringBuffer, EditBoundaries) {
    // One spare byte: prepend fits without growing and keeps the terminator.
    StringBuffer p = StringBuffer::withCapacity(10);
    p.append("12345678");
    p.prepend("x");
    EXPECT_EQ(p.getCapacity(), 10);
    EXPECT_EQ(str(p), "x12345678");
    EXPECT_EQ(p.getString()[9], 0);
    p.prepend("y");  // full: grows
    EXPECT_EQ(str(p), "yx12345678");

    StringBuffer c("abcdef");
    c.removeChunk(6, 0);          // start at the length: nothing
    c.removeChunk(-1, 2);
    c.removeChunk(2, -1);
    c.removeChunk(1, INT32_MAX);  // start + n overflows 32 bits: nothing
    EXPECT_EQ(str(c), "abcdef");
    c.removeChunk(4, 2);
    EXPECT_EQ(str(c), "abcd");
    EXPECT_EQ(c.getString()[4], 0);
    c.removeChunk(0, 4);
    EXPECT_EQ(str(c), "");

    // Matches never overlap, and the replacement is not searched again.
    StringBuffer o("abababa");
    EXPECT_EQ(o.replaceAll("aba", "X"), 2);
    EXPECT_EQ(str(o), "XbX");
    StringBuffer g("aXa");
    EXPECT_EQ(g.replaceAll("a", "aa"), 2);
    EXPECT_EQ(str(g), "aaXaa");
}
