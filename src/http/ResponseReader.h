// ResponseReader: reads an HTTP/1.x response (header block, then a body of
// declared length, chunked, or ended by the server closing) from a plain or
// TLS stream. Bytes are taken from the stream in blocks and kept in a small
// buffer, so the header costs a few reads rather than one per byte.
//
// Limits against hostile servers: a header block over kMaxHeaderBytes and a
// body over the body limit fail with a log line; every read waits at most
// the stream's read time limit and the request's overall deadline.
#pragma once

#include <cstdint>
#include <vector>

#include "http/HttpStream.h"

namespace tarvex {

class DataBuffer;
class HttpResponseHeader;
class LogBase;

class ResponseReader {
public:
    static constexpr uint32_t kMaxHeaderBytes = 1u << 20;           // 1 MiB
    static constexpr uint32_t kMaxBodyBytes = 201326592;            // 192 MiB
    static constexpr uint32_t kMaxCountPerRead = 201326592;

    explicit ResponseReader(HttpStream& stream);

    // Reads through the first empty line (CR LF CR LF, LF LF, or CR LF at the
    // very start) and appends every byte to `out`.
    bool readHeaderBlock(DataBuffer& out, LogBase& log);
    // Reads one CR LF-terminated line and appends it with its line end.
    bool readLine(DataBuffer& out, LogBase& log);
    // Reads exactly `count` bytes and appends them.
    bool readCount(uint32_t count, DataBuffer& out, LogBase& log);
    // Reads the body the header announces. `maxBody` 0 means kMaxBodyBytes.
    bool readBody(const HttpResponseHeader& header, DataBuffer& body, uint32_t maxBody, LogBase& log);

private:
    // Makes at least one byte available; false (logged by the stream) when
    // none can be had. `last` tells why.
    bool fill(LogBase& log, HttpStream::Read& last);
    // Appends bytes through the LF that ends an empty line. With `crEndsLine`
    // a CR also clears the current line; `tooLong` says the limit was hit.
    bool readThrough(DataBuffer& out, LogBase& log, bool crEndsLine, bool& tooLong);
    uint32_t available() const { return end_ - pos_; }
    bool readChunked(DataBuffer& body, uint32_t limit, LogBase& log);
    bool readUntilClose(DataBuffer& body, uint32_t limit, LogBase& log);

    HttpStream& stream_;
    std::vector<uint8_t> buffer_;
    uint32_t pos_ = 0;
    uint32_t end_ = 0;
};

}  // namespace tarvex
