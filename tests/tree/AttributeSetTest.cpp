#include <gtest/gtest.h>

#include <string>

#include "text/StringBuffer.h"
#include "tree/AttributeSet.h"

using namespace tarvex;

namespace {

std::string written(const AttributeSet& set) {
    StringBuffer out;
    set.Write(out);
    return std::string(out.getString(), static_cast<size_t>(out.getSize()));
}

std::string nameAt(const AttributeSet& set, int32_t i) {
    StringBuffer out("stale");
    set.NameAt(i, out);
    return out.getString();
}

}  // namespace

TEST(AttributeSet, DuplicatesOrderAndRemoval) {
    AttributeSet set;
    set.Add("a", "1");
    set.Add("b", "2");
    set.Add("a", "3");
    set.Add("", "x");
    set.Add(nullptr, "x");
    ASSERT_EQ(3, set.Count());
    EXPECT_EQ(" a=\"1\" b=\"2\" a=\"3\"", written(set));
    StringBuffer v;
    EXPECT_TRUE(set.GetValue("a", v));
    EXPECT_STREQ("1", v.getString());
    EXPECT_FALSE(set.GetValue("", v));

    set.Remove("a");
    ASSERT_EQ(1, set.Count());
    EXPECT_EQ("b", nameAt(set, 0));
    EXPECT_EQ("", nameAt(set, 1));
    EXPECT_TRUE(set.ValueAt(0, v));
    EXPECT_STREQ("2", v.getString());
    EXPECT_FALSE(set.ValueAt(1, v));
    EXPECT_STREQ("", v.getString());

    // Update moves the pair to the end; removing the last pair empties the text.
    set.Add("c", nullptr);
    set.Update("b", "22");
    EXPECT_EQ(" c=\"\" b=\"22\"", written(set));
    set.Remove("c");
    set.Remove("b");
    EXPECT_EQ(0, set.Count());
    EXPECT_EQ("", written(set));
    set.Add("d", "4");
    EXPECT_EQ(" d=\"4\"", written(set));
    set.Clear();
    EXPECT_EQ(0, set.Count());
    EXPECT_FALSE(set.Has("d"));
}

TEST(AttributeSet, NamesAndValuesMatchByLengthAndBytes) {
    AttributeSet set;
    set.Add("ab", "x");
    set.Add("a", "ab");
    set.Add("a", "abc");
    set.Add("e", "");
    EXPECT_TRUE(set.Has("a"));
    EXPECT_FALSE(set.Has("A"));
    EXPECT_FALSE(set.Has("abc"));
    EXPECT_TRUE(set.HasValue("a", "abc"));
    EXPECT_FALSE(set.HasValue("a", "abcd"));
    EXPECT_FALSE(set.HasValue("a", "a"));
    EXPECT_FALSE(set.HasValue("ab", "xy"));
    EXPECT_TRUE(set.HasValue("e", ""));
    EXPECT_TRUE(set.HasValue("e", nullptr));
    EXPECT_FALSE(set.HasValue("a", ""));
    EXPECT_FALSE(set.HasValue("", ""));

    int32_t len = -1;
    const char* p = set.FindValue("a", &len);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ("ab", std::string(p, static_cast<size_t>(len)));
    p = set.NamePtr(2, &len);
    EXPECT_EQ("a", std::string(p, static_cast<size_t>(len)));
    p = set.ValuePtr(2, &len);
    EXPECT_EQ("abc", std::string(p, static_cast<size_t>(len)));
    EXPECT_EQ(nullptr, set.ValuePtr(4, &len));
    EXPECT_EQ(0, len);
    StringBuffer v("stale");
    EXPECT_TRUE(set.GetValue("e", v));
    EXPECT_STREQ("", v.getString());
}

TEST(AttributeSet, LongPairsAndManyPairsKeepTheirBytes) {
    // Lengths of 127, 128 and 20000 bytes, and enough pairs to grow the block
    // several times; removal in the middle keeps the order of the rest.
    const std::string n127(127, 'n');
    const std::string v128(128, 'v');
    const std::string v20k(20000, 'w');
    AttributeSet set;
    for (int i = 0; i < 40; ++i) {
        std::string name = "k" + std::to_string(i);
        set.Add(name.c_str(), i % 2 ? v128.c_str() : "");
    }
    set.Add(n127.c_str(), v20k.c_str());
    set.Add("last", "1");
    ASSERT_EQ(42, set.Count());
    int32_t len = 0;
    const char* found = set.FindValue(n127.c_str(), &len);
    ASSERT_NE(nullptr, found);
    EXPECT_TRUE(v20k == std::string(found, static_cast<size_t>(len)));
    EXPECT_TRUE(set.HasValue("k39", v128.c_str()));
    EXPECT_TRUE(set.HasValue("k38", ""));
    set.Remove("k1");
    set.Remove(n127.c_str());
    ASSERT_EQ(40, set.Count());
    EXPECT_EQ("k2", nameAt(set, 1));
    EXPECT_EQ("last", nameAt(set, 39));
    StringBuffer v;
    EXPECT_TRUE(set.ValueAt(2, v));
    EXPECT_TRUE(v128 == v.getString());
}

TEST(AttributeSet, ArgumentsTakenFromTheSetItself) {
    AttributeSet set;
    set.Add("name", "value");
    set.Add("other", "x");
    int32_t nameLen = 0, valueLen = 0;
    // Growing the block must not lose bytes read from the old block.
    for (int i = 0; i < 20; ++i) {
        const char* name = set.NamePtr(0, &nameLen);
        const char* value = set.ValuePtr(0, &valueLen);
        set.Add(name, nameLen, value, valueLen);
    }
    ASSERT_EQ(22, set.Count());
    EXPECT_EQ("name", nameAt(set, 21));
    EXPECT_TRUE(set.HasValue("name", "value"));
    // Every "name" pair goes, though the wanted name lies in the first one and
    // the pair after it slides over it.
    const char* name = set.NamePtr(0, &nameLen);
    set.Remove(name, nameLen);
    ASSERT_EQ(1, set.Count());
    EXPECT_EQ(" other=\"x\"", written(set));
}

TEST(AttributeSet, WalkGivesEveryPairInOrder) {
    AttributeSet set;
    int32_t cursor = 0;
    const char *name = nullptr, *value = nullptr;
    int32_t nameLen = 0, valueLen = 0;
    EXPECT_FALSE(set.NextPair(&cursor, &name, &nameLen, &value, &valueLen));
    const std::string longValue(300, 'v');   // a length of two bytes
    set.Add("a", "1");
    set.Add("b", longValue.c_str());
    set.Add("a", "");
    std::string seen;
    while (set.NextPair(&cursor, &name, &nameLen, &value, &valueLen))
        seen += std::string(name, nameLen) + "=" + std::to_string(valueLen) + ";";
    EXPECT_EQ(seen, "a=1;b=300;a=0;");
    EXPECT_FALSE(set.NextPair(&cursor, &name, &nameLen, &value, &valueLen));
}
