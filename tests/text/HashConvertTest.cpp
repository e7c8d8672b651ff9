#include "text/HashConvert.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvex {
namespace {

std::string find(const HashConvert& map, const std::string& key) {
    uint32_t len = 0;
    const uint8_t* v = map.lookup(reinterpret_cast<const uint8_t*>(key.data()),
                                  static_cast<uint32_t>(key.size()), &len);
    return v ? std::string(reinterpret_cast<const char*>(v), len) : std::string("<none>");
}

void put(HashConvert& map, const std::string& key, const std::string& value) {
    map.add(reinterpret_cast<const uint8_t*>(key.data()), static_cast<uint32_t>(key.size()),
            reinterpret_cast<const uint8_t*>(value.data()), static_cast<uint32_t>(value.size()));
}

void drop(HashConvert& map, const std::string& key) {
    map.remove(reinterpret_cast<const uint8_t*>(key.data()), static_cast<uint32_t>(key.size()));
}

TEST(HashConvert, KeysOfOneToFourBytes) {
    HashConvert map;
    map.setBucketCount(283);
    put(map, "\x81", "\x01\x30");
    put(map, std::string("\x81\x00", 2), "v2");
    put(map, "\x81\x40\x41", "v3x");
    put(map, "\x81\x40\x41\x42", "v4xy");
    EXPECT_EQ(find(map, "\x81"), std::string("\x01\x30"));
    EXPECT_EQ(find(map, std::string("\x81\x00", 2)), "v2");
    EXPECT_EQ(find(map, "\x81\x40\x41"), "v3x");
    EXPECT_EQ(find(map, "\x81\x40\x41\x42"), "v4xy");
    // Same leading bytes, other length: a different key.
    EXPECT_EQ(find(map, "\x81\x40"), "<none>");
    EXPECT_EQ(find(map, "\x82"), "<none>");
    // Out-of-range lengths are neither stored nor found.
    put(map, "12345", "x");
    put(map, "k", "");
    EXPECT_EQ(find(map, "12345"), "<none>");
    EXPECT_EQ(find(map, "k"), "<none>");
    EXPECT_EQ(map.lookup(nullptr, 1, nullptr), nullptr);
}

TEST(HashConvert, FirstAddedWinsAndRemoveTakesEveryCopy) {
    HashConvert map;
    map.setBucketCount(1);   // every key shares one bucket
    put(map, "a", "1");
    put(map, "bb", "2");
    put(map, "a", "3");
    put(map, "ccc", "4");
    EXPECT_EQ(find(map, "a"), "1");
    drop(map, "a");
    EXPECT_EQ(find(map, "a"), "<none>");
    EXPECT_EQ(find(map, "bb"), "2");
    EXPECT_EQ(find(map, "ccc"), "4");
    drop(map, "zz");   // absent: nothing changes
    EXPECT_EQ(find(map, "bb"), "2");
    put(map, "a", "5");
    EXPECT_EQ(find(map, "a"), "5");
}

TEST(HashConvert, ManyKeysAndReset) {
    HashConvert map;
    map.setBucketCount(4919);
    for (uint32_t k = 0x8140; k < 0xA000; ++k) {
        uint8_t key[2] = {static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k & 0xFF)};
        uint8_t value[2] = {static_cast<uint8_t>(k & 0xFF), static_cast<uint8_t>((k >> 8) ^ 0x5A)};
        map.add(key, 2, value, 2);
    }
    for (uint32_t k = 0x8140; k < 0xA000; ++k) {
        uint8_t key[2] = {static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k & 0xFF)};
        uint32_t len = 0;
        const uint8_t* v = map.lookup(key, 2, &len);
        ASSERT_NE(v, nullptr) << k;
        ASSERT_EQ(len, 2u);
        EXPECT_EQ(v[0], k & 0xFF);
        EXPECT_EQ(v[1], (k >> 8) ^ 0x5A);
    }
    map.setBucketCount(7);
    EXPECT_EQ(find(map, "\x81\x40"), "<none>");

    HashConvert empty;   // no buckets yet
    EXPECT_EQ(find(empty, "a"), "<none>");
    drop(empty, "a");
    put(empty, "a", "b");
    EXPECT_EQ(find(empty, "a"), "b");
}

}  // namespace
}  // namespace tarvex
