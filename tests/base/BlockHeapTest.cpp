#include "base/BlockHeap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "base/BlockCache.h"
#include "base/Memory.h"
#include "base/SpareRegion.h"
#include "platform/Allocator.h"

using tarvex::BlockCache;
using tarvex::BlockHeap;

namespace {

bool carves() { return !tarvex::platform::checksEachAllocation(); }

// A document's text as a region whose pages a heap may take.
tarvex::SpareRegion* spareText(size_t bytes, char** text) {
    *text = static_cast<char*>(tarvex::memAlloc(bytes));
    return tarvex::SpareRegion::Adopt(*text, bytes);
}

}  // namespace

TEST(BlockHeap, PiecesAreDistinctAndFreedOnesComeBackBySize) {
    BlockHeap* h = BlockHeap::Create();
    std::set<char*> seen;
    std::vector<char*> pieces;
    for (int i = 0; i < 20000; ++i) {
        size_t n = 1 + static_cast<size_t>(i % 300);
        char* p = static_cast<char*>(h->Alloc(n));
        ASSERT_NE(nullptr, p);
        ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 8);
        std::memset(p, i & 0xFF, n);
        ASSERT_TRUE(seen.insert(p).second);
        pieces.push_back(p);
    }
    // Every piece still holds its own bytes: none overlapped another.
    for (int i = 0; i < 20000; ++i) {
        size_t n = 1 + static_cast<size_t>(i % 300);
        ASSERT_EQ(static_cast<char>(i & 0xFF), pieces[i][n - 1]);
    }
    if (carves()) {
        h->Free(pieces[5], 6);
        EXPECT_EQ(pieces[5], h->Alloc(7));    // same 8-byte class
        h->Free(pieces[100], 101);
        EXPECT_NE(pieces[100], h->Alloc(120));
    }
    h->ReleaseTree();
}

TEST(BlockHeap, MediumPiecesKeepTheirBytesAndComeBackByClass) {
    BlockHeap* h = BlockHeap::Create();
    std::vector<std::pair<char*, size_t>> pieces;
    for (size_t n = 500; n < 70000; n = n * 9 / 8 + 3) {
        for (int k = 0; k < 3; ++k) {
            char* p = static_cast<char*>(h->Alloc(n));
            ASSERT_NE(nullptr, p);
            std::memset(p, static_cast<int>(n & 0x7F), n);
            pieces.emplace_back(p, n);
        }
    }
    for (const auto& piece : pieces) {
        ASSERT_EQ(static_cast<char>(piece.second & 0x7F), piece.first[0]);
        ASSERT_EQ(static_cast<char>(piece.second & 0x7F), piece.first[piece.second - 1]);
    }
    if (carves()) {
        // New pieces are cut at the size asked for; a freed one serves later
        // requests it holds in full (2816 bytes is the class below 3000's),
        // never a larger one.
        void* p = h->Alloc(3000);
        h->Free(p, 3000);
        void* larger = h->Alloc(3050);
        EXPECT_NE(p, larger);
        EXPECT_EQ(p, h->Alloc(2800));
        h->Free(larger, 3050);
    }
    // Growing across classes and into a large piece keeps the bytes.
    char* g = static_cast<char*>(h->Alloc(600));
    std::memcpy(g, "grown", 6);
    g = static_cast<char*>(h->Realloc(g, 600, 5000));
    g = static_cast<char*>(h->Realloc(g, 5000, 200000));
    EXPECT_STREQ("grown", g);
    h->Free(g, 200000);
    for (const auto& piece : pieces) h->Free(piece.first, piece.second);
    h->ReleaseTree();
}

TEST(BlockHeap, LargePiecesGrowInPlaceOrMoveWithTheirBytes) {
    BlockHeap* h = BlockHeap::Create();
    char* p = static_cast<char*>(h->Alloc(100));
    std::memcpy(p, "abcdef", 7);
    p = static_cast<char*>(h->Realloc(p, 100, 5000));
    EXPECT_STREQ("abcdef", p);
    p = static_cast<char*>(h->Realloc(p, 5000, 100000));
    EXPECT_STREQ("abcdef", p);
    p = static_cast<char*>(h->Realloc(p, 100000, 16));
    EXPECT_STREQ("abcdef", p);
    void* big = h->Alloc(1 << 20);
    ASSERT_NE(nullptr, big);
    h->Free(big, 1 << 20);
    h->Free(p, 16);
    h->ReleaseTree();
}

TEST(BlockHeap, SparePagesAreCarvedAndKeptUntilTheGroupGoes) {
    if (!carves()) GTEST_SKIP() << "pieces are allocations of their own here";
    const size_t stretch = 256 * 1024;
    char* text = nullptr;
    tarvex::SpareRegion* region = spareText(4 * stretch, &text);
    ASSERT_NE(nullptr, region);
    const long blocksBefore = tarvex::memBlocksInUse();
    BlockHeap* h = BlockHeap::Create();
    EXPECT_FALSE(h->TakeSpare(text, 100, region));   // too small to keep
    ASSERT_TRUE(h->TakeSpare(text, stretch, region));
    // Pieces that outgrow the first small region come from the spare pages,
    // and the next stretch joins the one being carved.
    std::vector<char*> pieces;
    for (int i = 0; i < 400; ++i) {
        if (i == 200) {
            ASSERT_TRUE(h->TakeSpare(text + stretch, stretch, region));
        }
        char* p = static_cast<char*>(h->Alloc(1000));
        std::memset(p, i & 0x7F, 1000);
        pieces.push_back(p);
    }
    for (int i = 0; i < 400; ++i) {
        EXPECT_TRUE(pieces[i] >= text && pieces[i] + 1000 <= text + 2 * stretch) << i;
        EXPECT_EQ(static_cast<char>(i & 0x7F), pieces[i][999]);
    }
    // The parse lets go first: the pages stay the group's.
    region->Release();
    EXPECT_EQ(static_cast<char>(399 & 0x7F), pieces[399][0]);
    const bool fits = BlockCache::CachedBytes() + 4 * stretch <= BlockCache::kKeepBytes;
    h->ReleaseTree();
    // With the group the text goes to the store, warm for the next read,
    // when it fits there; a smaller document does not take it.
    size_t bytes = 0;
    EXPECT_EQ(nullptr, BlockCache::TakeText(stretch, &bytes));
    void* again = BlockCache::TakeText(4 * stretch - 100, &bytes);
    if (fits) {
        EXPECT_EQ(static_cast<void*>(text), again);
        EXPECT_EQ(4 * stretch, bytes);
    }
    tarvex::memFree(again);
    EXPECT_LT(tarvex::memBlocksInUse(), blocksBefore);
}

// A tree that outgrows the pages passed so far carves fresh memory, and the
// rest of the stretch it left waits for the next one: no spare page is lost.
TEST(BlockHeap, SpareTailJoinsTheNextStretchAfterFreshPieces) {
    if (!carves()) GTEST_SKIP() << "pieces are allocations of their own here";
    const size_t stretch = 32 * 1024;
    char* text = nullptr;
    tarvex::SpareRegion* region = spareText(8 * stretch, &text);
    ASSERT_NE(nullptr, region);
    BlockHeap* h = BlockHeap::Create();
    size_t inText = 0, fresh = 0;
    for (size_t k = 0; k < 8; ++k) {
        ASSERT_TRUE(h->TakeSpare(text + k * stretch, stretch, region));
        // Each stretch is asked for a little more than it holds.
        for (int i = 0; i < 10; ++i) {
            char* p = static_cast<char*>(h->Alloc(3500));
            ASSERT_NE(nullptr, p);
            if (p >= text && p < text + 8 * stretch) inText += 3500;
            else fresh += 3500;
        }
    }
    // 280,000 bytes asked, 262,144 passed: only the excess (and what a
    // stretch end cannot fit) comes from fresh memory.
    EXPECT_GE(inText, 8 * stretch - 2 * 3500);
    EXPECT_LE(fresh, 280000 - (8 * stretch - 2 * 3500));
    // A larger freed piece serves smaller ones before new memory is carved.
    char* big = static_cast<char*>(h->Alloc(40000));
    h->Free(big, 40000);
    EXPECT_EQ(big, h->Alloc(3000));
    EXPECT_EQ(big + 3000, h->Alloc(3000));
    // So does a wide child list that grew out of its piece.
    char* wide = static_cast<char*>(h->Alloc(100000));
    h->Free(wide, 100000);
    EXPECT_EQ(wide, h->Alloc(60000));
    region->Release();
    h->ReleaseTree();
}

TEST(BlockHeap, JoinedGroupsLiveUntilTheirLastTree) {
    BlockHeap* a = BlockHeap::Create();
    BlockHeap* b = BlockHeap::Create();
    BlockHeap* c = BlockHeap::Create();
    char* fromB = static_cast<char*>(b->Alloc(64));
    std::memcpy(fromB, "kept in b", 10);
    b->AddForeign(2);
    BlockHeap* root = BlockHeap::Join(a, b);
    EXPECT_EQ(root, a->Root());
    EXPECT_EQ(root, b->Root());
    EXPECT_EQ(2, root->Trees());
    EXPECT_EQ(2, root->Foreign());
    EXPECT_EQ(root, BlockHeap::Join(b, c));
    EXPECT_EQ(root, c->Root());
    EXPECT_EQ(3, root->Trees());
    EXPECT_EQ(root, BlockHeap::Join(c, a));   // already one group
    EXPECT_EQ(3, root->Trees());
    // A piece of b goes back to the joined group.
    root->Free(fromB, 64);
    root->ReleaseTree();
    root->ReleaseTree();
    EXPECT_EQ(1, root->Trees());
    EXPECT_NE(nullptr, root->Alloc(32));
    root->ReleaseTree();   // frees a, b and c
}

TEST(BlockCache, ReleasedTreesLeaveBlocksWarmWithinTheBound) {
    if (!carves()) GTEST_SKIP() << "pieces are allocations of their own here";
    BlockCache::Trim();
    BlockHeap* h = BlockHeap::Create();
    for (int i = 0; i < 80000; ++i) ASSERT_NE(nullptr, h->Alloc(100));   // about 8 MB
    const size_t held = h->HeldBytes();
    const size_t cachedBefore = BlockCache::CachedBytes();
    h->ReleaseTree();
    const size_t cached = BlockCache::CachedBytes();
    EXPECT_GE(cached, cachedBefore + held - 512 * 1024);   // all but the first small blocks
    EXPECT_LE(cached, BlockCache::kKeepBytes);
    // The next heap takes them back.
    BlockHeap* next = BlockHeap::Create();
    for (int i = 0; i < 80000; ++i) ASSERT_NE(nullptr, next->Alloc(100));
    EXPECT_LE(BlockCache::CachedBytes(), cached - (held - 512 * 1024) + BlockCache::kBlockSize);
    next->ReleaseTree();
}

TEST(BlockCache, AWideListsPagesServeTheNextListAsWide) {
    if (!carves()) GTEST_SKIP() << "pieces are allocations of their own here";
    // Blocks earlier tests left in the store are drawn first: the pages are
    // kept only within the store's bound.
    BlockCache::Trim();
    BlockHeap* drain = BlockHeap::Create();
    for (size_t drawn = 0; BlockCache::CachedBytes() > (8u << 20) && drawn < BlockCache::kKeepBytes; drawn += 64000)
        ASSERT_NE(nullptr, drain->Alloc(64000));
    const size_t before = BlockCache::CachedBytes();
    ASSERT_LE(before, size_t{8} << 20);
    // A child list grown past a megabyte has pages of its own.
    BlockHeap* h = BlockHeap::Create();
    char* list = static_cast<char*>(h->Alloc(600 * 1024));
    list = static_cast<char*>(h->Realloc(list, 600 * 1024, 2 << 20));
    ASSERT_NE(nullptr, list);
    std::memset(list, 'a', 2 << 20);
    h->ReleaseTree();
    const size_t cached = BlockCache::CachedBytes();

    // The next list that wide takes them warm (their old bytes are there;
    // fresh pages read as zero), and grows within them; one much narrower
    // does not take them.
    BlockHeap* next = BlockHeap::Create();
    char* narrow = static_cast<char*>(next->Alloc(100 * 1024));
    EXPECT_EQ(BlockCache::CachedBytes(), cached);
    char* wide = static_cast<char*>(next->Alloc((1 << 20) + 1000));
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ('a', wide[5000]);
    EXPECT_LE(BlockCache::CachedBytes() + (size_t{2} << 20), cached);
    wide = static_cast<char*>(next->Realloc(wide, (1 << 20) + 1000, 2 << 20));
    ASSERT_NE(nullptr, wide);
    std::memset(wide, 'b', 2 << 20);
    wide = static_cast<char*>(next->Realloc(wide, 2 << 20, 3 << 20));   // past them: moved, bytes kept
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ('b', wide[0]);
    EXPECT_EQ('b', wide[(2 << 20) - 1]);
    next->Free(narrow, 100 * 1024);
    next->ReleaseTree();
    drain->ReleaseTree();
    BlockCache::Trim();
    EXPECT_LE(BlockCache::CachedBytes(), BlockCache::kKeepBytes);
}
