#include "charset/HashConvert.h"

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
    const std::string keys[] = {"\x81", std::string("\x81\x00", 2), "\x81\x40\x41", "\x81\x40\x41\x42"};
    for (const std::string& k : keys) put(map, k, k.substr(1) + "v");  // values up to four bytes
    for (const std::string& k : keys) EXPECT_EQ(find(map, k), k.substr(1) + "v");
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

}  // namespace
}  // namespace tarvex
