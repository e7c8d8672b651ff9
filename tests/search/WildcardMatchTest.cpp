#include "search/WildcardMatch.h"

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tarvex {
namespace {

struct Case {
    const char* text;
    const char* pattern;
    bool caseSensitive;
    bool expected;
};

TEST(WildcardMatch, PatternCases) {
    const Case cases[] = {
        {nullptr, "*", true, false}, {"a", nullptr, true, false},
        {"", "", true, true}, {"", "*", true, true}, {"", "**", true, true}, {"", "a*", true, false},
        {"a", "", true, false}, {"anything", "*", true, true},
        // Anchored at both ends.
        {"abcd", "abc", true, false}, {"abc", "abcd", true, false}, {"xabc", "a*", true, false},
        {"ac", "a*c", true, true}, {"abc", "a*c", true, true}, {"abcd", "a*c", true, false},
        {"xyzabcx", "*abc", true, false},
        // Segments never overlap; the last one is anchored at the end.
        {"abab", "*ab", true, true}, {"ab", "ab*ab", true, false}, {"abab", "ab*ab", true, true},
        {"aba", "ab*ba", true, false}, {"xaybzc", "*a*b*c", true, true}, {"ba", "*a*b", true, false},
        {"aXbXb", "a*b*b", true, true}, {"abc", "*bc*bc", true, false}, {"a", "***a***", true, true},
        // Only "*" is special; a backslash escapes nothing.
        {"a?c", "a?c", true, true}, {"abc", "a?c", true, false},
        {"a\\xyz", "a\\*", true, true}, {"a*", "a\\*", true, false},
        // Case folding covers A-Z only.
        {"abc", "A*", true, false}, {"abc", "A*", false, true}, {"one TWO three", "*two*", false, true},
        {"caf\xC9", "caf\xE9", false, false}, {"CAF\xE9", "caf\xE9", false, true},
        {"@", "`", false, false}, {"x[y", "*{*", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WildcardMatch(c.text, c.pattern, c.caseSensitive), c.expected)
            << (c.text ? c.text : "(null)") << " ~ " << (c.pattern ? c.pattern : "(null)");
    }
    EXPECT_TRUE(WildcardMatchN("abcdef", 3, "a*c", true));
    EXPECT_FALSE(WildcardMatchN("abcdef", 3, "a*f", true));
}

TEST(WildcardMatch, ManyStarsAndLongSegmentsOverLongTextStayFast) {
    const std::string text(100 * 1024, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch(text.c_str(), "*a*a*a*a*a*b", true));
    EXPECT_FALSE(WildcardMatch(text.c_str(), "*A*A*A*A*A*B", false));
    EXPECT_FALSE(WildcardMatch(text.c_str(), "*aaaaaaaab*", true));
    EXPECT_TRUE(WildcardMatch(text.c_str(), "*a*a*a*a*a*a", true));
    const std::string stuck = "*" + std::string(20000, 'A') + "B*";  // one long segment
    const std::string found = "*" + std::string(20000, 'A') + "*";
    EXPECT_FALSE(WildcardMatch(text.c_str(), stuck.c_str(), false));
    EXPECT_TRUE(WildcardMatch(text.c_str(), found.c_str(), false));
    EXPECT_FALSE(WildcardMatch(text.c_str(), found.c_str(), true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Straightforward anchored glob match ("*" only) by dynamic programming.
bool referenceMatch(const std::string& text, const std::string& pat, bool caseSensitive) {
    auto same = [caseSensitive](char a, char b) {
        if (!caseSensitive) {
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        }
        return a == b;
    };
    const size_t n = text.size();
    std::vector<char> row(n + 1, 0);   // row[j]: pattern so far matches text[0, j)
    row[0] = true;
    for (char p : pat) {
        std::vector<char> next(n + 1, 0);
        for (size_t j = 0; j <= n; ++j) {
            if (p == '*') next[j] = row[j] || (j > 0 && next[j - 1]);
            else next[j] = j > 0 && row[j - 1] && same(text[j - 1], p);
        }
        row.swap(next);
    }
    return row[n];
}

TEST(WildcardMatch, LongSegmentsAgreeWithPlainGlobMatching) {
    std::mt19937 rng(20240611);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Periodic segments over a two-letter alphabet make partial matches overlap.
    auto segment = [&](int len) {
        std::string s(static_cast<size_t>(len), 'a');
        for (char& c : s) c = pick(0, 5) == 0 ? 'b' : 'a';
        return s;
    };
    int matches = 0;
    for (int round = 0; round < 250; ++round) {
        std::vector<std::string> segs;
        for (int k = pick(1, 3); k > 0; --k) segs.push_back(segment(pick(33, 45)));
        std::string pattern = pick(0, 1) ? "a" : "";
        std::string text = pattern;
        for (const std::string& seg : segs) {
            pattern += std::string(static_cast<size_t>(pick(1, 2)), '*') + seg;
            text += segment(pick(0, 50)) + seg.substr(0, static_cast<size_t>(pick(0, 40))) + seg;
        }
        if (pick(0, 1)) pattern += "*";
        text += segment(pick(0, 20));
        if (pick(0, 2) == 0) text[static_cast<size_t>(pick(0, static_cast<int>(text.size()) - 1))] = 'b';
        for (char& c : text) if (pick(0, 3) == 0) c = static_cast<char>(c - 32);   // some capitals
        for (bool cs : {true, false}) {
            const bool expected = referenceMatch(text, pattern, cs);
            matches += expected;
            ASSERT_EQ(WildcardMatch(text.c_str(), pattern.c_str(), cs), expected)
                << "case " << cs << ": " << text << " ~ " << pattern;
        }
    }
    EXPECT_GT(matches, 40);   // both outcomes were exercised
}

TEST(WildcardMatch, NulBytesInTextOfKnownLength) {
    const char text[] = "ab\0cd";
    EXPECT_FALSE(WildcardMatchN(text, 5, "ab", true));
    EXPECT_FALSE(WildcardMatchN(text, 5, "abcd", true));
    EXPECT_TRUE(WildcardMatchN(text, 5, "ab*cd", true));
    EXPECT_TRUE(WildcardMatchN(text, 5, "*CD", false));
    EXPECT_TRUE(WildcardMatchN(text, 5, "a*b*d", true));
    EXPECT_TRUE(WildcardMatchN(text, 3, "ab*", true));
}

}  // namespace
}  // namespace tarvex
