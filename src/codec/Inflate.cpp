#include "codec/Inflate.h"

#include <zlib.h>

#include "base/LogBase.h"
#include "codec/OutputDataBuffer.h"

namespace tarvex {

bool Inflate::inflateBytes(const uint8_t* data, uint32_t n, OutputDataBuffer& sink, LogBase& log,
                           uint32_t maxOutput) {
    if (n == 0) return true;
    if (!data) return false;
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) {
        log.LogError("Failed to initialize inflater");
        return false;
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = n;
    const uint64_t ceiling = static_cast<uint64_t>(sink.size()) + maxOutput;
    bool good = false;
    bool tooLarge = false;
    for (;;) {
        if (sink.size() >= ceiling || sink.size() >= sink.limit()) {
            // Full: any further output would pass the ceiling.
            uint8_t probe = 0;
            zs.next_out = &probe;
            zs.avail_out = 1;
            const int rc = inflate(&zs, Z_NO_FLUSH);
            if (rc == Z_STREAM_END && zs.avail_out == 1) good = true;
            else tooLarge = zs.avail_out == 0;
            break;
        }
        uint32_t room = 0;
        uint8_t* out = sink.reserve(32768, &room);
        if (!out) out = sink.reserve(static_cast<uint32_t>(sink.limit() - sink.size()), &room);
        if (!out || room == 0) {
            tooLarge = true;
            break;
        }
        if (room > ceiling - sink.size()) room = static_cast<uint32_t>(ceiling - sink.size());
        zs.next_out = out;
        zs.avail_out = room;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        sink.commit(room - zs.avail_out);
        if (rc == Z_STREAM_END) {
            good = true;
            break;
        }
        // Out of input before the final block ended, or bad data.
        if (rc != Z_OK && !(rc == Z_BUF_ERROR && zs.avail_out == 0)) break;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out > 0) break;
    }
    inflateEnd(&zs);
    if (tooLarge) log.LogError("Inflated data exceeds the size limit");
    else if (!good) log.LogError("Invalid compressed data to inflate");
    return good;
}

}  // namespace tarvex
