#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/ByteSearch.h"
#include "platform/Platform.h"

using namespace tarvex;

TEST(PlatformServices, RandomBytesDiffer) {
    uint8_t a[64] = {}, b[64] = {};
    platform::randomBytes(a, sizeof(a));
    platform::randomBytes(b, sizeof(b));
    EXPECT_NE(std::memcmp(a, b, sizeof(a)), 0);
    platform::randomBytes(nullptr, 0);  // nothing to fill
}

TEST(PlatformServices, ByteSearchFindsTheLeftmostOccurrence) {
    const std::string hay = "abaabaabab";
    auto find = [&](const std::string& needle) -> long {
        const char* hit = platform::findBytes(hay.data(), hay.size(), needle.data(), needle.size());
        return hit ? static_cast<long>(hit - hay.data()) : -1;
    };
    EXPECT_EQ(find("a"), 0);
    EXPECT_EQ(find("aab"), 2);
    EXPECT_EQ(find("abab"), 6);        // only at the very end
    EXPECT_EQ(find("abaabaabab"), 0);  // the whole text
    EXPECT_EQ(find("bb"), -1);
    EXPECT_EQ(find("abaabaababa"), -1);  // longer than the text
    const std::string zeros("x\0\0y", 4);
    EXPECT_EQ(platform::findBytes(zeros.data(), zeros.size(), "\0y", 2), zeros.data() + 2);  // bytes, not C strings
}
