#include "codec/Deflate.h"

#include <zlib.h>

#include "codec/OutputDataBuffer.h"

namespace tarvex {

bool Deflate::deflateBytes(const uint8_t* data, uint32_t n, OutputDataBuffer* sink, int level, Totals* totals,
                           bool withCrc) {
    if (!data || !sink) return false;
    z_stream zs{};
    // Negative window bits: raw deflate, no header and no trailer.
    if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    const uint32_t startSize = sink->size();
    // Text deflates to about a quarter: a first guess saves early regrowth.
    sink->reserveTotal(startSize + n / 4 + 64);

    uint32_t crc = withCrc ? static_cast<uint32_t>(crc32(0, Z_NULL, 0)) : 0;
    uint32_t remaining = n;
    const uint8_t* p = data;
    bool good = true;
    int flush = Z_NO_FLUSH;
    do {
        const uint32_t chunk = remaining < kInputChunk ? remaining : kInputChunk;
        if (withCrc && chunk > 0) crc = static_cast<uint32_t>(crc32(crc, p, chunk));
        zs.next_in = const_cast<Bytef*>(p);
        zs.avail_in = chunk;
        p += chunk;
        remaining -= chunk;
        flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
        // The compressor writes straight into the sink, a chunk at a time.
        do {
            uint32_t room = 0;
            uint8_t* out = sink->reserve(kOutputChunk, &room);
            if (!out) {
                good = false;
                break;
            }
            zs.next_out = out;
            zs.avail_out = kOutputChunk;
            const int rc = deflate(&zs, flush);
            sink->commit(kOutputChunk - zs.avail_out);
            if (rc == Z_STREAM_ERROR) good = false;
        } while (good && zs.avail_out == 0);
    } while (good && flush != Z_FINISH);
    deflateEnd(&zs);

    if (!good) {
        // Nothing written: the sink goes back to where it was.
        sink->cutTo(startSize);
        return false;
    }
    if (totals) {
        totals->crc = crc;
        totals->bytesRead = n;
        totals->bytesWritten = sink->size() - startSize;
    }
    return true;
}

}  // namespace tarvex
