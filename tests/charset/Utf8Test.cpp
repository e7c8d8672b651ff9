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
    uint32_t cp = 0;
    EXPECT_EQ(read("A", &cp), 1u);
    EXPECT_EQ(cp, 0x41u);
    EXPECT_EQ(read("\xC2\x80", &cp), 2u);
    EXPECT_EQ(cp, 0x80u);
    EXPECT_EQ(read("\xDF\xBF", &cp), 2u);
    EXPECT_EQ(cp, 0x7FFu);
    EXPECT_EQ(read("\xE0\xA0\x80", &cp), 3u);
    EXPECT_EQ(cp, 0x800u);
    EXPECT_EQ(read("\xEF\xBF\xBF", &cp), 3u);
    EXPECT_EQ(cp, 0xFFFFu);
    EXPECT_EQ(read("\xF0\x90\x80\x80", &cp), 4u);
    EXPECT_EQ(cp, 0x10000u);
    EXPECT_EQ(read("\xF4\x8F\xBF\xBF", &cp), 4u);
    EXPECT_EQ(cp, 0x10FFFFu);
    // Surrogates read as three-byte forms; callers decide.
    EXPECT_EQ(read("\xED\xA0\x80", &cp), 3u);
    EXPECT_EQ(cp, 0xD800u);
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
