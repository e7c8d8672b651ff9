// Fuzzes the HTTP response reader: status line, header block and body
// framing (declared length, chunked, until close), delivered in pieces of a
// size the input chooses.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/LogBase.h"
#include "http/HttpResponseHeader.h"
#include "http/ResponseReader.h"
#include "text/DataBuffer.h"

namespace {

class FuzzStream : public tarvex::HttpStream {
public:
    FuzzStream(const uint8_t* data, size_t size, size_t piece, Read end)
        : data_(data), size_(size), piece_(piece), end_(end) {}
    Read readSome(uint8_t* p, uint32_t max, uint32_t& got, tarvex::LogBase&) override {
        got = 0;
        if (pos_ >= size_) return end_;
        size_t n = std::min({static_cast<size_t>(max), piece_, size_ - pos_});
        std::memcpy(p, data_ + pos_, n);
        pos_ += n;
        got = static_cast<uint32_t>(n);
        return Read::Data;
    }
    bool sendAll(const uint8_t*, uint32_t, tarvex::LogBase&) override { return true; }
    void closeStream() override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t piece_;
    size_t pos_ = 0;
    Read end_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // First byte: piece size and how the stream ends.
    size_t piece = 1 + (data[0] & 0x3F) * 37;
    tarvex::HttpStream::Read end =
        (data[0] & 0x40) ? tarvex::HttpStream::Read::Closed : tarvex::HttpStream::Read::TimedOut;
    FuzzStream stream(data + 1, size - 1, piece, end);
    tarvex::ResponseReader reader(stream);
    tarvex::LogBase log;
    tarvex::DataBuffer head;
    if (!reader.readHeaderBlock(head, log)) return 0;
    tarvex::HttpResponseHeader header;
    header.parseHeader(head.getData(), head.getSize());
    tarvex::DataBuffer body;
    // A small ceiling keeps declared lengths from allocating much.
    reader.readBody(header, body, 1 << 20, log);
    return 0;
}
