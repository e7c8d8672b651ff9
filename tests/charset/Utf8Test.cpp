#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "charset/Utf8.h"

using namespace tarvex;

namespace {

// Length and code point read from s, or 0 when refused.
size_t read(const std::string& s, uint32_t* cp) { return readUtf8(s.data(), s.size(), cp); }

}  // namespace

TEST(Utf8Reader, ReadsEveryLengthAtItsLimits) {
    const struct {
        const char* bytes;
        size_t length;
        uint32_t cp;
    } cases[] = {
        {"A", 1, 0x41},
        {"\xC2\x80", 2, 0x80},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        // Surrogates read as three-byte forms; callers decide.
        {"\xED\xA0\x80", 3, 0xD800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cp);
        uint32_t cp = 0;
        EXPECT_EQ(read(c.bytes, &cp), c.length);
        EXPECT_EQ(cp, c.cp);
    }
}

TEST(Utf8Reader, RefusesMalformedSequences) {
    uint32_t cp = 0;
    for (const char* bad : {"\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\xC2\x41", "\xE2\x82\x41",
                            "\xF0\x9F\x98\x41"}) {
        EXPECT_EQ(read(bad, &cp), 0u) << "accepted " << std::string(bad).size() << " bytes";
    }
    // Truncation is judged by the length given, not by a terminator.
    const std::string euro = "\xE2\x82\xAC";
    EXPECT_EQ(readUtf8(euro.data(), 2, &cp), 0u);
    EXPECT_EQ(readUtf8(euro.data(), 3, &cp), 3u);
    EXPECT_EQ(cp, 0x20ACu);
}

TEST(Utf8Writer, WritesWhatTheReaderReads) {
    for (uint32_t cp : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
        uint8_t buf[4];
        const size_t len = static_cast<size_t>(writeUtf8(buf, cp) - buf);
        uint32_t back = 0xFFFFFFFFu;
        EXPECT_EQ(readUtf8(buf, len, &back), len) << std::hex << cp;
        EXPECT_EQ(back, cp);
    }
}
