// Inflate: raw DEFLATE decoding (stored, fixed and dynamic Huffman blocks)
// into a sink, with a ceiling on the output so that a small hostile stream
// cannot claim unbounded memory.
#pragma once

#include <cstdint>

namespace tarvex {

class LogBase;
class OutputDataBuffer;

class Inflate {
public:
    // The most bytes one inflation may produce: 256 MiB. A run of one
    // repeated byte deflates about 1000 to 1, so a ratio limit would refuse
    // our own output; a fixed ceiling well below the 2 GiB that 32-bit
    // lengths allow does not.
    static constexpr uint32_t kMaxInflatedSize = 256u * 1024 * 1024;

    // Appends the decoded bytes to the sink, whose own limit also applies.
    // An empty input succeeds with no output. Fails on corrupt or cut-short
    // data ("Invalid compressed data to inflate") and past the ceiling
    // ("Inflated data exceeds the size limit"); the sink then holds what was
    // decoded so far, for the caller to discard.
    static bool inflateBytes(const uint8_t* data, uint32_t n, OutputDataBuffer& sink, LogBase& log,
                             uint32_t maxOutput = kMaxInflatedSize);
};

}  // namespace tarvex
