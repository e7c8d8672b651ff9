// Deflate: raw DEFLATE compression (no zlib or gzip framing) with the fixed
// parameters of stored node content: method 8, a 32 KB window, memory level
// 8, the default strategy, level 6 unless told otherwise.
#pragma once

#include <cstdint>

namespace tarvex {

class OutputDataBuffer;

class Deflate {
public:
    static constexpr int kLevel = 6;
    static constexpr uint32_t kInputChunk = 60000;
    static constexpr uint32_t kOutputChunk = 25000;

    struct Totals {
        uint32_t crc = 0;            // CRC-32 of the input, when asked for
        uint64_t bytesRead = 0;
        uint64_t bytesWritten = 0;
    };

    // Appends the raw DEFLATE stream of the bytes to the sink. Zero bytes
    // give the stream of empty input. False, with nothing written, for a null
    // data pointer or sink, or when the sink's limit is reached. The CRC is
    // computed only when `withCrc`.
    static bool deflateBytes(const uint8_t* data, uint32_t n, OutputDataBuffer* sink, int level = kLevel,
                             Totals* totals = nullptr, bool withCrc = false);
};

}  // namespace tarvex
