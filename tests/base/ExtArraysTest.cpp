#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "base/ExtIntArray.h"
#include "base/ExtPtrArray.h"

using namespace tarvex;

namespace {

struct Counted {
    static int live;
    Counted() { ++live; }
    ~Counted() { --live; }
};
int Counted::live = 0;

int compareInts(const void* a, const void* b, void* ctx) {
    ++*static_cast<int64_t*>(ctx);
    intptr_t x = reinterpret_cast<intptr_t>(a), y = reinterpret_cast<intptr_t>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

int compareRandomly(const void*, const void*, void* ctx) {
    return static_cast<int>((*static_cast<std::mt19937*>(ctx))() % 3) - 1;
}

}  // namespace

TEST(ExtPtrArray, GrowthKeepsElementsAndZeroesSpareSlots) {
    ExtPtrArray a;
    int v[3];
    for (int32_t i = 0; i < 700000; ++i) a.Append(&v[i % 3]);
    EXPECT_EQ(&v[699999 % 3], a.Get(699999));
    EXPECT_EQ(&v[0], a.Get(0));
    // A step of 1 still leaves room for the next element.
    ExtPtrArray one(3, 1);
    for (int32_t i = 0; i < 6; ++i) one.Append(&v[0]);
    EXPECT_GT(one.Capacity(), one.Count());
    for (int32_t i = one.Count(); i < one.Capacity(); ++i) EXPECT_EQ(nullptr, one.Elements()[i]);
}

TEST(ExtPtrArray, AccessAndRemoval) {
    int v[4];
    ExtPtrArray a;
    EXPECT_EQ(nullptr, a.Last());
    EXPECT_EQ(nullptr, a.Pop());
    for (int& x : v) a.Append(&x);
    EXPECT_EQ(nullptr, a.Get(-1));
    EXPECT_EQ(nullptr, a.Get(4));
    EXPECT_EQ(nullptr, a.RemoveAt(4));
    EXPECT_EQ(&v[1], a.RemoveAt(1));
    ASSERT_EQ(3, a.Count());
    EXPECT_EQ(&v[2], a.Get(1));
    EXPECT_EQ(&v[3], a.Pop());
    EXPECT_EQ(&v[2], a.Last());
    a.Clear();
    EXPECT_EQ(0, a.Count());

    ExtPtrArray owned;
    owned.Append(new Counted);
    owned.Append(nullptr);
    owned.Append(new Counted);
    EXPECT_EQ(2, Counted::live);
    owned.DeleteAll<Counted>();
    EXPECT_EQ(0, Counted::live);
    EXPECT_EQ(0, owned.Count());
}

TEST(ExtPtrArray, SortHandlesAdversarialShapes) {
    const int32_t n = 200000;
    std::mt19937 rng(7);
    std::vector<std::vector<intptr_t>> inputs(6);
    for (int32_t i = 0; i < n; ++i) {
        inputs[0].push_back(i);                       // sorted
        inputs[1].push_back(n - i);                   // reversed
        inputs[2].push_back(42);                      // all equal
        inputs[3].push_back(i < n / 2 ? i : n - i);   // organ pipe
        inputs[4].push_back(rng() % 1000);            // many duplicates
        inputs[5].push_back(rng());                   // random
    }
    for (auto& in : inputs) {
        ExtPtrArray a;
        for (intptr_t x : in) a.Append(reinterpret_cast<void*>(x));
        int64_t comparisons = 0;
        a.Sort(compareInts, &comparisons);
        std::sort(in.begin(), in.end());
        for (int32_t i = 0; i < n; ++i) ASSERT_EQ(in[i], reinterpret_cast<intptr_t>(a.Get(i)));
        // n log2 n is about 3.5 million here; a quadratic sort needs billions.
        EXPECT_LT(comparisons, 12000000);
    }
}

TEST(ExtPtrArray, SortSurvivesInconsistentComparison) {
    std::mt19937 rng(3);
    ExtPtrArray a;
    for (intptr_t i = 0; i < 5000; ++i) a.Append(reinterpret_cast<void*>(i));
    a.Sort(compareRandomly, &rng);
    std::vector<intptr_t> seen;
    for (int32_t i = 0; i < a.Count(); ++i) seen.push_back(reinterpret_cast<intptr_t>(a.Get(i)));
    std::sort(seen.begin(), seen.end());
    for (intptr_t i = 0; i < 5000; ++i) ASSERT_EQ(i, seen[i]);
}

TEST(ExtIntArray, GrowthAndRemoval) {
    ExtIntArray b(0, 1);
    for (int32_t i = 0; i < 5; ++i) b.Append(i * 10);
    b.RemoveAt(7);
    b.RemoveAt(-1);
    b.RemoveAt(1);
    EXPECT_EQ(4, b.Count());
    EXPECT_EQ(20, b.Get(1));
    EXPECT_EQ(40, b.Get(3));
    EXPECT_EQ(0, b.Get(4));
    EXPECT_EQ(0, b.Get(-1));
    ExtIntArray big(6, 15);
    for (int32_t i = 0; i < 3000000; ++i) big.Append(i);
    EXPECT_EQ(2999999, big.Get(2999999));
}
