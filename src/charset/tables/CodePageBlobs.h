// The index of the built-in code page mapping blobs (generated data in
// charset/tables/CodePageBlobs*.cpp and CodePageBlobIndex.cpp).
#pragma once

#include <cstdint>

namespace tarvex {
namespace tables {

struct CodePageBlobEntry {
    uint32_t codePage;
    const char* const* pieces;       // the blob: flag + base64, in pieces
    uint32_t pieceCount;
    const char* const* patchPieces;  // encode patch ('d' payload) or nullptr
    uint32_t patchPieceCount;
    uint32_t decodeBuckets;          // double-byte decode map
    uint32_t encodeBuckets;
    bool doubleByte;
    bool asciiBased;
};

extern const CodePageBlobEntry kCodePageBlobs[];   // sorted by code page
extern const uint32_t kCodePageBlobCount;

}  // namespace tables
}  // namespace tarvex
