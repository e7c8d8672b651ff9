#include "http/ResponseReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/LogBase.h"
#include "http/HttpResponseHeader.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

constexpr uint32_t kBufferSize = 65536;

// Room for `extra` more bytes, doubling so that long bodies stay linear.
void reserveMore(DataBuffer& b, uint32_t extra) {
    uint64_t need = static_cast<uint64_t>(b.getSize()) + extra;
    if (b.getCapacity() >= need) return;
    uint64_t doubled = static_cast<uint64_t>(b.getCapacity()) * 2;
    uint64_t want = std::max(need, doubled);
    b.ensureCapacity(static_cast<uint32_t>(std::min<uint64_t>(want, 0xFFFFFFFFu)));
}

}  // namespace

ResponseReader::ResponseReader(HttpStream& stream) : stream_(stream), buffer_(kBufferSize) {}

bool ResponseReader::fill(LogBase& log, HttpStream::Read& last) {
    if (pos_ < end_) {
        last = HttpStream::Read::Data;
        return true;
    }
    pos_ = end_ = 0;
    uint32_t got = 0;
    last = stream_.readSome(buffer_.data(), kBufferSize, got, log);
    if (last != HttpStream::Read::Data) return false;
    end_ = got;
    return true;
}

bool ResponseReader::readThrough(DataBuffer& out, LogBase& log, bool crEndsLine, bool& tooLong) {
    uint32_t onLine = 0;  // bytes on the current line that count towards "not empty"
    uint32_t total = 0;
    HttpStream::Read last;
    for (;;) {
        if (!fill(log, last)) return false;
        while (pos_ < end_) {
            uint8_t c = buffer_[pos_++];
            out.appendByte(c);
            if (++total > kMaxHeaderBytes) {
                tooLong = true;
                return false;
            }
            if (c == '\n') {
                if (onLine == 0) return true;
                onLine = 0;
            } else if (c == '\r') {
                if (crEndsLine) onLine = 0;
            } else {
                ++onLine;
            }
        }
    }
}

bool ResponseReader::readHeaderBlock(DataBuffer& out, LogBase& log) {
    bool tooLong = false;
    if (readThrough(out, log, false, tooLong)) return true;
    if (tooLong) {
        log.LogError("The response header is larger than the maximum allowed.");
        log.LogDataLong("maxHeaderSize", static_cast<int32_t>(kMaxHeaderBytes));
    }
    return false;
}

bool ResponseReader::readLine(DataBuffer& out, LogBase& log) {
    bool tooLong = false;
    if (readThrough(out, log, true, tooLong)) return true;
    if (tooLong) log.LogError("A response line is longer than the maximum allowed.");
    return false;
}

bool ResponseReader::readCount(uint32_t count, DataBuffer& out, LogBase& log) {
    if (count == 0 || count > kMaxCountPerRead) return false;
    reserveMore(out, count);
    uint32_t start = out.getSize();
    uint32_t have = 0;
    uint8_t* dest = out.getData() + start;
    uint32_t fromBuffer = std::min(available(), count);
    std::memcpy(dest, buffer_.data() + pos_, fromBuffer);
    pos_ += fromBuffer;
    have = fromBuffer;
    while (have < count) {
        uint32_t got = 0;
        // Large remainders go straight into the destination.
        HttpStream::Read r = stream_.readSome(dest + have, count - have, got, log);
        if (r != HttpStream::Read::Data) return false;
        have += got;
    }
    out.setSize(start + count);
    return true;
}

bool ResponseReader::readChunked(DataBuffer& body, uint32_t limit, LogBase& log) {
    for (;;) {
        DataBuffer line;
        if (!readLine(line, log)) {
            stream_.closeStream();
            log.LogError("Failed to get response data (a)");
            return false;
        }
        line.appendByte(0);
        const char* text = reinterpret_cast<const char*>(line.getData());
        char* end = nullptr;
        while (*text == ' ' || *text == '\t') ++text;
        unsigned long long size = std::strtoull(text, &end, 16);
        if (line.getSize() <= 1 || end == text || *text == '-' || *text == '+') return true;
        if (size == 0) {
            DataBuffer trailer;
            readLine(trailer, log);
            return true;
        }
        if (size > limit || body.getSize() + size > limit) {
            stream_.closeStream();
            log.LogError("Chunked response is too large.");
            log.LogDataLong("maxContentLength", static_cast<int32_t>(limit));
            return false;
        }
        if (!readCount(static_cast<uint32_t>(size), body, log)) {
            stream_.closeStream();
            log.LogError("Failed to get response data (b)");
            return false;
        }
        DataBuffer crlf;
        if (!readCount(2, crlf, log)) {
            stream_.closeStream();
            log.LogError("Failed to get response data (c)");
            return false;
        }
    }
}

bool ResponseReader::readUntilClose(DataBuffer& body, uint32_t limit, LogBase& log) {
    if (available() > 0) {
        body.append(buffer_.data() + pos_, available());
        pos_ = end_;
    }
    for (;;) {
        if (body.getSize() > limit) {
            stream_.closeStream();
            log.LogError("Response is too large.");
            log.LogDataLong("maxContentLength", static_cast<int32_t>(limit));
            return false;
        }
        reserveMore(body, 20000);
        uint32_t size = body.getSize();
        uint32_t got = 0;
        HttpStream::Read r = stream_.readSome(body.getData() + size, body.getCapacity() - size, got, log);
        if (r == HttpStream::Read::Data) {
            body.setSize(size + got);
            continue;
        }
        // Only the server closing the connection ends such a body; silence or
        // a broken connection would pass off a cut document as complete.
        if (r == HttpStream::Read::Closed) return true;
        log.LogError("The response without a length did not end with the server closing the connection.");
        return false;
    }
}

bool ResponseReader::readBody(const HttpResponseHeader& header, DataBuffer& body, uint32_t maxBody, LogBase& log) {
    const uint32_t limit = (maxBody == 0 || maxBody > kMaxBodyBytes) ? kMaxBodyBytes : maxBody;
    const int32_t status = header.statusCode();
    bool expected;
    // 204 never has a body: reading one would wait for the server to close.
    if (status == 204)
        expected = false;
    else if (status == 301 || status == 302 || status == 303 || status == 307 || (status >= 200 && status <= 299))
        expected = true;
    else if (status < 400)
        expected = false;
    else
        expected = header.contentLength() != 0;
    if (!expected) return true;

    StringBuffer encoding;
    if (header.getField("Transfer-Encoding", encoding) && encoding.equalsNoCase("chunked"))
        return readChunked(body, limit, log);
    if (header.contentLength() != 0) {
        if (header.contentLength() < 0 || static_cast<uint32_t>(header.contentLength()) > limit) {
            log.LogError("Content length more than the maximum allowed.");
            log.LogDataLong("maxContentLength", static_cast<int32_t>(limit));
            return false;
        }
        return readCount(static_cast<uint32_t>(header.contentLength()), body, log);
    }
    if (header.hasContentLength()) return true;
    return readUntilClose(body, limit, log);
}

}  // namespace tarvex
