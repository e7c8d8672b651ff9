#include "charset/EncodingConvert.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "charset/CodePageTables.h"
#include "support/TextSupport.h"
#include "charset/HashConvert.h"

namespace tarvex {
namespace {

using tarvex_test::textOf;

struct Result {
    std::string bytes;
    bool ok;
    bool operator==(const Result& o) const { return bytes == o.bytes && ok == o.ok; }
};
void PrintTo(const Result& r, std::ostream* os) { *os << (r.ok ? "ok " : "failed ") << ::testing::PrintToString(r.bytes); }
Result good(const std::string& bytes) { return {bytes, true}; }
Result bad(const std::string& bytes) { return {bytes, false}; }

// Substitute "?" for action 1; `fallback` for action 6.
Result run(uint32_t from, uint32_t to, const std::string& in, int32_t action = 0, uint32_t fallback = 0) {
    EncodingConvert c;
    c.setUnmappableAction(action);
    c.setSubstitute(reinterpret_cast<const uint8_t*>("?"), 1);
    c.setFallbackCodePage(fallback);
    DataBuffer out;
    bool ok = c.convert(from, to, reinterpret_cast<const uint8_t*>(in.data()), uint32_t(in.size()), out);
    return {textOf(out), ok};
}

// UTF-16LE bytes of a char16_t literal.
std::string le(const std::u16string& s) {
    std::string r;
    for (char16_t u : s) {
        r.push_back(char(u & 0xFF));
        r.push_back(char(u >> 8));
    }
    return r;
}

const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";     // U+1F600
const std::string kEmojiUtf16("\x3D\xD8\x00\xDE", 4);  // its surrogate pair, LE
const std::string kAiSjis = "\x88\x9F";                // 亜 in Shift-JIS, JIS 0x3021
const std::string kAiUtf8 = "\xE4\xBA\x9C";

TEST(EncodingConvert, Latin1AndTwoStepReporting) {
    EXPECT_EQ(run(1252, 65001, "\xE9"), good("\xC3\xA9"));
    // 0x81 has no mapping in 1252. Dropped in the first step of a two-step
    // conversion it goes unreported; converting straight to UTF-16 it fails.
    EXPECT_EQ(run(1252, 65001, "a\x81" "b"), good("ab"));
    EXPECT_EQ(run(1252, 1200, "\x81"), bad(""));
    // The reverse direction reports the unmappable character.
    EXPECT_EQ(run(65001, 1252, "A\xD0\x96"), bad("A"));  // A, Cyrillic Zhe
    EXPECT_EQ(run(1200, 1252, le(u"\u20AC\u00E9")), good("\x80\xE9"));
}

TEST(EncodingConvert, ByteOrderMarks) {
    EXPECT_EQ(run(1200, 65001, std::string("\xFF\xFE\x41\x00", 4)).bytes, "A");
    // A big-endian mark wins over the declared code page.
    EXPECT_EQ(run(1200, 65001, std::string("\xFE\xFF\x00\x41", 4)).bytes, "A");
    EXPECT_EQ(run(1201, 65001, std::string("\x00\x41\x00\xE9", 4)).bytes, "A\xC3\xA9");
    EXPECT_EQ(run(1200, 65001, "\xFF\xFE"), good(""));
    EXPECT_EQ(run(65001, 1200, "\xEF\xBB\xBF" "A").bytes, std::string("A\0", 2));
    // Same code page: unchanged, mark included.
    EXPECT_EQ(run(1200, 1200, std::string("\xFF\xFE\x41\x00", 4)).bytes, std::string("\xFF\xFE\x41\x00", 4));
    EXPECT_EQ(run(65001, 65001, "\xEF\xBB\xBFx").bytes, "\xEF\xBB\xBFx");
    EXPECT_EQ(run(65001, 1201, "A\xC3\xA9").bytes, std::string("\x00\x41\x00\xE9", 4));
}

TEST(EncodingConvert, UnknownCodePages) {
    EXPECT_EQ(run(12345, 1200, "abc"), bad(""));
    EXPECT_EQ(run(12345, 65001, "abc"), good(""));  // the failing first step is not reported
    EXPECT_EQ(run(1200, 12345, le(u"abc")), bad(""));
    EXPECT_FALSE(run(65001, 12345, "abc").ok);
    EXPECT_FALSE(EncodingConvert::isSupported(12345));
    EXPECT_TRUE(EncodingConvert::isSupported(932));
    EXPECT_TRUE(EncodingConvert::isSupported(50225));

    EncodingConvert c;
    DataBuffer out;
    out.append("keep", 4);
    EXPECT_FALSE(c.convertByName("no-such-charset", "utf-8", reinterpret_cast<const uint8_t*>("x"), 1, out));
    EXPECT_EQ(textOf(out), "keep");
    EXPECT_TRUE(c.convertByName("windows-1252", "utf-8", reinterpret_cast<const uint8_t*>("\xE9"), 1, out));
    EXPECT_EQ(textOf(out), "keep\xC3\xA9");  // appended
}

TEST(EncodingConvert, FourByteUtf8BecomesSurrogatePair) {
    EXPECT_EQ(run(65001, 1200, "a" + kEmojiUtf8 + "b"), good(le(u"a") + kEmojiUtf16 + le(u"b")));
    EXPECT_EQ(run(1200, 65001, kEmojiUtf16), good(kEmojiUtf8));
    // Byte for byte through UTF-16 and back, U+10FFFF and U+10000 too.
    const std::string text = "x" + kEmojiUtf8 + "\xF4\x8F\xBF\xBF\xF0\x90\x80\x80" + kAiUtf8;
    EXPECT_EQ(run(1200, 65001, run(65001, 1200, text).bytes).bytes, text);
    // A lone surrogate still becomes a 3-byte sequence and comes back.
    EXPECT_EQ(run(1200, 65001, std::string("\x00\xD8\x41\x00", 4)).bytes, "\xED\xA0\x80" "A");
    EXPECT_EQ(run(65001, 1200, "\xED\xA0\x80" "A").bytes, std::string("\x00\xD8\x41\x00", 4));
    // A high surrogate followed by a non-surrogate is not paired.
    EXPECT_EQ(run(1200, 65001, le(u"\xD83D" u"A")).bytes, "\xED\xA0\xBD" "A");
}

TEST(EncodingConvert, InvalidUtf8IsSkippedByteByByte) {
    const char* invalid[] = {
        "\xF0\x80\x80\x80",  // overlong 4-byte form
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xF5\x80\x80\x80",  // lead byte out of range
        "\xE0\x80\xAF",      // overlong 3-byte form
        "\xC0\xAF",          // overlong 2-byte form
    };
    for (const char* b : invalid) {
        // Every continuation byte is invalid alone too: only A survives.
        EXPECT_EQ(run(65001, 1200, std::string(b) + "A"), bad(std::string("A\0", 2))) << b;
    }
    // Truncated sequences at the end and in the middle.
    EXPECT_EQ(run(65001, 1200, "A\xE4\xB8"), bad(std::string("A\0", 2)));
    EXPECT_EQ(run(65001, 1200, "\xF0\x9F\x98" "B"), bad(std::string("B\0", 2)));
}

TEST(EncodingConvert, OddUtf16AndTruncatedDoubleByte) {
    EXPECT_EQ(run(1200, 65001, std::string("\x41\x00\x42", 3)), bad("A"));
    EXPECT_EQ(run(1200, 1252, std::string("\x41\x00\x42", 3)), bad("A"));
    EXPECT_EQ(run(1201, 1200, std::string("\x00\x41\x00", 3)), bad(std::string("A\0", 2)));
    // A Shift-JIS lead byte at the very end has no mapping alone.
    EXPECT_EQ(run(932, 1200, "A\x88"), bad(std::string("A\0", 2)));
    EXPECT_FALSE(run(1200, 65000, std::string("\x41\x00\x42", 3)).ok);
}

TEST(EncodingConvert, DoubleByteTables) {
    EXPECT_EQ(run(932, 65001, "A" + kAiSjis + "\x82\xA0\xB1").bytes, "A" + kAiUtf8 + "\xE3\x81\x82\xEF\xBD\xB1");
    EXPECT_EQ(run(65001, 932, "A" + kAiUtf8 + "\xE3\x81\x82\xEF\xBD\xB1"), good("A" + kAiSjis + "\x82\xA0\xB1"));
    EXPECT_EQ(run(949, 65001, "\xC7\xD1").bytes, "\xED\x95\x9C");  // 한

    // Two-step conversions run in slices; a character straddling a slice
    // boundary must come through whole.
    std::string sjis, utf8;
    for (int i = 0; i < 50000; ++i) {
        sjis += "A" + kAiSjis;
        utf8 += "A" + kAiUtf8;
    }
    EXPECT_TRUE(run(932, 65001, sjis).bytes == utf8);
    EXPECT_TRUE(run(65001, 932, utf8).bytes == sjis);
}

// The flat lookup arrays must agree with the tables' maps for every key.
TEST(EncodingConvert, FlatArraysAgreeWithTables) {
    for (uint32_t cp : {932u, 949u}) {
        const CodePageTable* t = codePageTable(cp);
        ASSERT_NE(t, nullptr);
        int mismatches = 0;
        for (uint32_t k = 0x8100; k <= 0xFFFF; ++k) {
            uint8_t key[2] = {uint8_t(k >> 8), uint8_t(k)};
            uint32_t vlen = 0;
            const uint8_t* v = t->decode->lookup(key, 2, &vlen);
            if (!v) continue;
            Result r = run(cp, 1200, std::string(reinterpret_cast<char*>(key), 2));
            if (r.bytes != std::string(reinterpret_cast<const char*>(v), vlen)) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0) << cp;
    }
    for (uint32_t cp : {932u, 1252u, 37u}) {
        const CodePageTable* t = codePageTable(cp);
        ASSERT_NE(t, nullptr);
        int mismatches = 0;
        for (uint32_t u = 0x80; u <= 0xFFFF; ++u) {
            if (u == 0xFEFF || u == 0xFFFE || (u >= 0xD800 && u <= 0xDFFF)) continue;
            uint8_t key[2] = {uint8_t(u), uint8_t(u >> 8)};
            uint32_t vlen = 0;
            const uint8_t* v = t->encode->lookup(key, 2, &vlen);
            Result r = run(1200, cp, std::string(reinterpret_cast<char*>(key), 2));
            std::string want = v ? std::string(reinterpret_cast<const char*>(v), vlen) : std::string();
            if (r.bytes != want || r.ok != (v != nullptr)) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0) << cp;
    }
    // An EBCDIC page has no implicit ASCII range.
    EXPECT_EQ(run(65001, 37, "A1").bytes, "\xC1\xF1");
    EXPECT_EQ(run(37, 65001, "\xC1\xF1").bytes, "A1");
}

TEST(EncodingConvert, Iso2022Jp) {
    EXPECT_EQ(run(932, 50220, kAiSjis + "A"), good("\x1B$B\x30\x21\x1B(BA"));
    // Ends in two-byte mode: the return to ASCII is written at the end.
    EXPECT_EQ(run(932, 50222, "A" + kAiSjis).bytes, "A\x1B$B\x30\x21\x1B(B");
    // Half-width katakana become their full-width forms.
    EXPECT_EQ(run(932, 50221, "\xB1\xDF").bytes, "\x1B$B\x25\x22\x21\x2C\x1B(B");
    EXPECT_EQ(run(50220, 932, "\x1B$B\x30\x21\x1B(BA").bytes, kAiSjis + "A");
    // ESC $ @ enters two-byte mode too; LF leaves it; unknown escapes vanish.
    EXPECT_EQ(run(50220, 65001, "\x1B$@\x30\x21\nA\x1B(IB").bytes, kAiUtf8 + "\nAB");
    const std::string text = "mixed " + kAiUtf8 + "\xE3\x81\x82 text\r\n" + kAiUtf8;
    EXPECT_EQ(run(50220, 65001, run(65001, 50220, text).bytes).bytes, text);
    EXPECT_FALSE(run(50220, 932, "\x1B$B\x30").ok);  // truncated pair
}

TEST(EncodingConvert, Iso2022KrRoundTrip) {
    EXPECT_EQ(run(949, 50225, "A\xC7\xD1" "B").bytes, "\x1B$)CA\x0E\x47\x51\x0F" "B");
    // Text before the first SO stays single-byte.
    EXPECT_EQ(run(50225, 949, "\x1B$)CA\x0E\x47\x51\x0F" "B").bytes, "A\xC7\xD1" "B");
    const std::string text = "Korean \xED\x95\x9C\xEA\xB8\x80 text, \xED\x95\x9C!";  // 한글, 한
    Result there = run(65001, 50225, text);
    EXPECT_TRUE(there.ok);
    EXPECT_EQ(run(50225, 65001, there.bytes), good(text));
}

TEST(EncodingConvert, Utf7MatchesReferenceEncodings) {
    // A base64 letter after a run needs the '-'.
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Hi Mom -\u263A-!", "Hi Mom -+Jjo--!"}, {u"A+B", "A+-B"}, {u"+++", "+-+-+-"},
        {u"caf\u00E9", "caf+AOk-"}, {u"\u00E9" u"a", "+AOk-a"}, {u"x\u00E9-y", "x+AOk--y"},
        {u"\u65E5\u672C\u8A9E", "+ZeVnLIqe-"}, {u"a\U0001F600" u"b~\\", "a+2D3eAA-b+AH4AXA-"}};
    for (const auto& c : cases) {
        EXPECT_EQ(run(1200, 65000, le(c.first)), good(c.second));
        EXPECT_EQ(run(65000, 1200, c.second), good(le(c.first))) << c.second;
    }
    // A leading U+FEFF is not encoded; UTF-8 input goes through UTF-16 first.
    EXPECT_EQ(run(1200, 65000, le(u"\uFEFF" u"A")).bytes, "A");
    EXPECT_EQ(run(65001, 65000, kEmojiUtf8).bytes, "+2D3eAA-");
    EXPECT_EQ(run(65000, 65001, "+2D3eAA-").bytes, kEmojiUtf8);
    EXPECT_FALSE(run(65000, 1200, "+AOk\xFF").ok);
}

TEST(EncodingConvert, Utf32BothByteOrders) {
    const std::string le32("A\0\0\0\x00\xF6\x01\x00", 8);
    const std::string be32("\0\0\0A\x00\x01\xF6\x00", 8);
    EXPECT_EQ(run(65001, 65005, "A" + kEmojiUtf8).bytes, le32);
    EXPECT_EQ(run(65001, 65006, "A" + kEmojiUtf8).bytes, be32);
    // A surrogate pair is one code point.
    EXPECT_EQ(run(1200, 65005, le(u"A") + kEmojiUtf16).bytes, le32);
    EXPECT_EQ(run(65005, 65001, le32).bytes, "A" + kEmojiUtf8);
    EXPECT_EQ(run(65006, 1200, be32).bytes, le(u"A") + kEmojiUtf16);
    EXPECT_EQ(run(65005, 65006, le32).bytes, be32);
    EXPECT_EQ(run(65005, 65001, std::string("A\0\0\0\x00\x00\x11\x00" "B\0\0", 11)), bad("A"));  // > U+10FFFF, partial
    // Invalid UTF-8 ends the UTF-32 output with failure.
    EXPECT_EQ(run(65001, 65005, "A\xFF" "B"), bad(std::string("A\0\0\0", 4)));
}

TEST(EncodingConvert, MacArabicDisplayOrderCorrection) {
    // B1 B2 are RTL digits: remapped to '1' '2' and, as a run of two, reversed.
    EXPECT_EQ(run(10004, 65001, "A\xB1\xB2" "B").bytes, "A21B");
    EXPECT_EQ(run(10004, 65001, "A\xB1" "B").bytes, "A1B");  // a single byte is not a run
    EXPECT_EQ(run(10004, 65001, "\xB1\xB2\xB3").bytes, "321");  // run ending at the end
}

TEST(EncodingConvert, UnmappableActions) {
    // Action 2: a character reference, and the result stays true.
    EXPECT_EQ(run(1200, 1252, le(u"a\u0416b"), 2), good("a&#x416;b"));
    EXPECT_EQ(run(65001, 1252, "\xD0\x96", 2).bytes, "&#x416;");
    EXPECT_EQ(run(1200, 1252, kEmojiUtf16, 2).bytes, "&#x1F600;");
    EXPECT_EQ(run(1200, 1252, le(u"a\u0416b"), 0), bad("ab"));
    // Action 7 in the first step of a two-step conversion: the marker carries
    // the raw byte through to the output.
    EXPECT_EQ(run(1252, 65001, "a\x81" "b", 7).bytes, "a\x81" "b");
    // Action 1: the substitute, in either step (only the second step's
    // outcome is reported, as with action 0).
    EXPECT_EQ(run(1252, 65001, "a\x81" "b", 1), good("a?b"));
    EXPECT_EQ(run(65001, 1252, "\xD0\x96!", 1), bad("?!"));
    // Action 6: the character in the fallback code page.
    EXPECT_EQ(run(1200, 1252, le(u"\u0416"), 6, 1251).bytes, "\xC6");
}

// Random bytes through every kind of code page and every action: whatever the
// result, nothing is read or written out of bounds (checked by the sanitizer
// build), and converting to the same page is the identity.
TEST(EncodingConvert, RandomInputIsSafe) {
    const uint32_t pages[] = {1200, 1201, 65000, 65001, 65005, 65006, 50220, 50225, 10004, 1252, 37, 932, 949, 51932};
    const int32_t actions[] = {0, 1, 2, 6, 7};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 40; ++round) {
        std::string in;
        size_t len = next() % 23;
        for (size_t i = 0; i < len; ++i) in.push_back(char(next() & 0xFF));
        for (uint32_t from : pages) {
            for (uint32_t to : pages) {
                const int32_t action = actions[next() % 5];
                const Result r = run(from, to, in, action, next() % 2 ? 1251 : 0);
                if (from == to) {
                    EXPECT_EQ(r, good(in));
                }
            }
        }
    }
}

TEST(EncodingConvert, InputInsideTheOutputBuffer) {
    DataBuffer out;
    out.append("\xE9\xE9\xE9", 3);
    EncodingConvert c;
    for (int i = 0; i < 12; ++i) {  // grows the block while reading from it
        ASSERT_TRUE(c.convert(1252, 1200, out.getData(), out.getSize(), out));
    }
    EXPECT_GT(out.getSize(), 3u * 4096);
}

}  // namespace
}  // namespace tarvex
