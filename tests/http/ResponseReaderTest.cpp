// The response reader over a scripted stream: framing, limits and the way
// each kind of body may end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http/HttpResponseHeader.h"
#include "http/ResponseReader.h"
#include "log/Logger.h"
#include "support/TextSupport.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace {

using tarvex::DataBuffer;
using tarvex::HttpResponseHeader;
using tarvex::HttpStream;
using tarvex::ResponseReader;

// Delivers the script in pieces of `piece` bytes, then ends as told.
class ScriptStream : public HttpStream {
public:
    ScriptStream(std::string data, size_t piece, Read end) : data_(std::move(data)), piece_(piece), end_(end) {}
    Read readSome(uint8_t* p, uint32_t max, uint32_t& got, tarvex::LogBase& log) override {
        got = 0;
        if (pos_ >= data_.size()) {
            if (end_ == Read::TimedOut) log.LogError("WaitForData timed out.");
            return end_;
        }
        size_t n = std::min({static_cast<size_t>(max), piece_, data_.size() - pos_});
        std::memcpy(p, data_.data() + pos_, n);
        pos_ += n;
        got = static_cast<uint32_t>(n);
        return Read::Data;
    }
    bool sendAll(const uint8_t*, uint32_t, tarvex::LogBase&) override { return true; }
    void closeStream() override { closed_ = true; }
    bool closed_ = false;

private:
    std::string data_;
    size_t piece_;
    size_t pos_ = 0;
    Read end_;
};

struct Result {
    bool ok;
    int status;
    std::string body;
    std::string log;
};

Result read(const std::string& response, size_t piece = 7, HttpStream::Read end = HttpStream::Read::Closed,
            uint32_t maxBody = 0) {
    ScriptStream stream(response, piece, end);
    ResponseReader reader(stream);
    tarvex::Logger log;
    DataBuffer head, body;
    HttpResponseHeader header;
    Result r{false, 0, "", ""};
    if (reader.readHeaderBlock(head, log)) {
        header.parseHeader(head.getData(), head.getSize());
        r.status = header.statusCode();
        r.ok = reader.readBody(header, body, maxBody, log);
    }
    r.body = tarvex_test::textOf(body);
    r.log = tarvex_test::logText(log);
    return r;
}

TEST(ResponseReaderTest, FramingsInAnyPieceSize) {
    for (size_t piece : {1, 3, 64, 100000}) {
        SCOPED_TRACE(piece);
        Result declared = read("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", piece);
        EXPECT_TRUE(declared.ok);
        EXPECT_EQ(declared.body, "hello");
        Result chunked = read(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;ext=1\r\nhello\r\nA\r\n0123456789\r\n0\r\n\r\n",
            piece);
        EXPECT_TRUE(chunked.ok);
        EXPECT_EQ(chunked.body, "hello0123456789");
        Result untilClose = read("HTTP/1.0 200 OK\r\n\r\n<a/>", piece);
        EXPECT_TRUE(untilClose.ok);
        EXPECT_EQ(untilClose.body, "<a/>");
        Result lfOnly = read("HTTP/1.1 200 OK\nContent-Length: 2\n\nok", piece);
        EXPECT_TRUE(lfOnly.ok);
        EXPECT_EQ(lfOnly.body, "ok");
    }
}

TEST(ResponseReaderTest, StatusDecidesWhetherABodyIsRead) {
    EXPECT_EQ(read("HTTP/1.1 204 No Content\r\n\r\nignored").body, "");
    EXPECT_EQ(read("HTTP/1.1 304 Not Modified\r\n\r\nignored").body, "");
    Result missing = read("HTTP/1.1 404 Not Found\r\n\r\n<a/>");
    EXPECT_TRUE(missing.ok);
    EXPECT_EQ(missing.body, "");
    EXPECT_EQ(read("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\n<a/>").body, "<a/>");
    EXPECT_EQ(read("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 7, HttpStream::Read::TimedOut).body, "");
}

// Cut, silent and oversized bodies fail, each with its own log line.
TEST(ResponseReaderTest, CutSilentAndHostileResponsesFail) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        std::string response;
        HttpStream::Read end;
        uint32_t maxBody;
        const char* log;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", HttpStream::Read::Closed, 0, ""},
        {chunked + "10\r\nshort", HttpStream::Read::Closed, 0, "Failed to get response data (b)"},
        {chunked + "5\r\nhello", HttpStream::Read::Closed, 0, "Failed to get response data (c)"},
        {chunked + "5", HttpStream::Read::Closed, 0, "Failed to get response data (a)"},
        // Without a length only a clean close ends the body; silence does not.
        {"HTTP/1.0 200 OK\r\n\r\n<a>part", HttpStream::Read::TimedOut, 0, "did not end with the server closing"},
        {"HTTP/1.0 200 OK\r\n\r\n<a>part", HttpStream::Read::Failed, 0, ""},
        {"HTTP/1.1 200 OK\r\nX: " + std::string(ResponseReader::kMaxHeaderBytes + 10, 'a'), HttpStream::Read::Closed,
         0, "maxHeaderSize: 1048576"},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc", HttpStream::Read::Closed, 0, ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world", HttpStream::Read::Closed, 10,
         "Content length more than the maximum allowed."},
        {chunked + "ffffffffff\r\n", HttpStream::Read::Closed, 10, "Chunked response is too large."},
        {"HTTP/1.0 200 OK\r\n\r\n" + std::string(50000, 'x'), HttpStream::Read::Closed, 100, ""},
    };
    for (const auto& c : cases) {
        Result r = read(c.response, c.response.size() > 50000 ? 65536 : 7, c.end, c.maxBody);
        EXPECT_FALSE(r.ok) << c.response.substr(0, 60);
        EXPECT_NE(r.log.find(c.log), std::string::npos) << r.log;
    }
}

TEST(ResponseHeaderTest, StatusLineAndFields) {
    HttpResponseHeader h;
    std::string text =
        "HTTP/1.1 200  OK \r\nContent-Type: a\r\nSet-Cookie: x=1\r\nX-Long: one\r\n  two\r\nSet-Cookie: y=2\r\n"
        "content-type: b\r\nBad<Name>: v\r\ncontent-length:5\r\n\r\n";
    h.parseHeader(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(h.statusCode(), 200);
    EXPECT_EQ(std::string(h.reasonPhrase().getString()), "OK");
    EXPECT_EQ(h.contentLength(), 5);
    EXPECT_TRUE(h.hasContentLength());
    tarvex::StringBuffer v;
    ASSERT_TRUE(h.getField("CONTENT-TYPE", v));
    EXPECT_EQ(std::string(v.getString()), "b");
    // The later Content-Type replaces the earlier one in its own place.
    std::string names;
    for (size_t i = 0; i < h.fields().count(); ++i) names += h.fields().at(i).first + ",";
    EXPECT_EQ(names, "Set-Cookie,X-Long,Set-Cookie,content-type,Bad-Name-,content-length,");
    ASSERT_TRUE(h.getField("x-long", v));
    EXPECT_EQ(std::string(v.getString()), "one two");
    EXPECT_TRUE(h.hasField("Bad-Name-"));
    std::vector<std::string> cookies;
    h.collectSetCookies(cookies);
    EXPECT_EQ(cookies, (std::vector<std::string>{"x=1", "y=2"}));

    for (const char* bad : {"http/1.1 200 OK\r\n\r\n", "HTTP/1.1 abc\r\n\r\n", "garbage"}) {
        h.parseHeader(reinterpret_cast<const uint8_t*>(bad), static_cast<uint32_t>(std::strlen(bad)));
        EXPECT_EQ(h.statusCode(), 0) << bad;
    }
}

TEST(ResponseHeaderTest, MimeHeaderSetFieldMovesAndRenders) {
    tarvex::MimeHeader m;
    m.setField("A", "1");
    m.setField("B", "2");
    m.setField("a", "3");
    m.setField("C", "  ");
    tarvex::StringBuffer out;
    m.render(out);
    EXPECT_EQ(std::string(out.getString()), "B: 2\r\na: 3");
}

}  // namespace
