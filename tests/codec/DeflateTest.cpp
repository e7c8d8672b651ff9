#include "codec/Deflate.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "codec/Inflate.h"
#include "codec/OutputDataBuffer.h"
#include "codec/ToolSupport.h"
#include "codec/ZipDn.h"
#include "support/TextSupport.h"
#include "log/Logger.h"
#include "text/StringBuffer.h"

using namespace tarvex;
using tarvex_test::runPython;

namespace {

std::string deflated(const std::string& data) {
    OutputDataBuffer out;
    EXPECT_TRUE(Deflate::deflateBytes(reinterpret_cast<const uint8_t*>(data.data()),
                                      static_cast<uint32_t>(data.size()), &out));
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

bool inflated(const std::string& data, std::string* plain, std::string* log = nullptr,
              uint32_t cap = Inflate::kMaxInflatedSize) {
    OutputDataBuffer out;
    Logger logger;
    bool ok = Inflate::inflateBytes(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()),
                                    out, logger, cap);
    plain->assign(reinterpret_cast<const char*>(out.data()), out.size());
    if (log) *log = tarvex_test::logText(logger);
    return ok;
}

std::string sampleText(size_t n) {
    std::mt19937 rng(3);
    std::string s;
    while (s.size() < n) s += "<item id=\"" + std::to_string(rng() % 1000) + "\">value " + std::to_string(rng()) + "</item>\r\n";
    s.resize(n);
    return s;
}

}  // namespace

TEST(DeflateTest, RawStreamsRoundTripWithoutFraming) {
    const std::string abc = deflated("abc");
    std::string back;
    ASSERT_TRUE(inflated(abc, &back));
    EXPECT_EQ(back, "abc");
    EXPECT_NE(static_cast<unsigned char>(abc[0]), 0x78);  // no zlib header
    EXPECT_LT(abc.size(), 9u);                             // no trailer either

    const std::string empty = deflated("");
    EXPECT_FALSE(empty.empty());
    ASSERT_TRUE(inflated(empty, &back));
    EXPECT_EQ(back, "");
    ASSERT_TRUE(inflated("", &back));  // no input at all

    const std::string big = sampleText(3 * 1000 * 1000);  // many input and output chunks
    Deflate::Totals totals;
    OutputDataBuffer out;
    ASSERT_TRUE(Deflate::deflateBytes(reinterpret_cast<const uint8_t*>(big.data()), static_cast<uint32_t>(big.size()),
                                      &out, Deflate::kLevel, &totals, true));
    EXPECT_EQ(totals.bytesRead, big.size());
    EXPECT_EQ(totals.bytesWritten, out.size());
    EXPECT_NE(totals.crc, 0u);
    ASSERT_TRUE(inflated(std::string(reinterpret_cast<const char*>(out.data()), out.size()), &back));
    EXPECT_EQ(back, big);
    EXPECT_FALSE(Deflate::deflateBytes(nullptr, 0, &out));
}

TEST(DeflateTest, CorruptTruncatedAndWrappedStreamsFail) {
    const std::string good = deflated(sampleText(20000));
    std::string back, log;
    EXPECT_FALSE(inflated(good.substr(0, good.size() / 2), &back, &log));
    EXPECT_NE(log.find("Invalid compressed data to inflate"), std::string::npos);
    EXPECT_FALSE(inflated(std::string("\xff\xff\xff\xff garbage", 12), &back));
    std::string flipped = good;
    flipped[10] ^= 0x55;
    flipped[11] ^= 0x55;
    std::string plain;
    EXPECT_FALSE(inflated(flipped, &plain) && plain == sampleText(20000));
}

TEST(DeflateTest, InflationStopsAtTheCeiling) {
    const std::string zeros(4 * 1024 * 1024, '\0');
    const std::string bomb = deflated(zeros);
    EXPECT_LT(bomb.size(), zeros.size() / 500);
    std::string back, log;
    EXPECT_FALSE(inflated(bomb, &back, &log, 1024 * 1024));
    EXPECT_NE(log.find("Inflated data exceeds the size limit"), std::string::npos);
    EXPECT_LE(back.size(), 1024u * 1024);
    // Exactly at the ceiling is fine.
    ASSERT_TRUE(inflated(bomb, &back, nullptr, static_cast<uint32_t>(zeros.size())));
    EXPECT_EQ(back.size(), zeros.size());
}

TEST(DeflateTest, StoreKeepsItsMessagesToItself) {
    ZipDn store;
    const uint8_t junk[] = {0xff, 0xfe, 0xfd};
    std::unique_ptr<ZipEntryDn> entry = store.AppendCompressed("a\\b", junk, 3);
    ASSERT_TRUE(entry);
    EXPECT_STREQ(entry->name(), "a/b");
    EXPECT_TRUE(entry->inflateFailed());
    OutputDataBuffer out;
    EXPECT_TRUE(store.Inflate(*entry, out));
    EXPECT_EQ(out.size(), 0u);
    StringBuffer text;
    store.log().GetText(text);
    EXPECT_TRUE(text.contains("Failed to inflate data"));
    EXPECT_FALSE(store.AppendCompressed("x", junk, 0));
    EXPECT_FALSE(store.AppendData("", junk, 3));
}

// Peers: Python's zlib, raw (window bits -15) in both directions.
TEST(DeflateTest, InteroperatesWithPythonZlib) {
    REQUIRE_TOOL("python3");
    const std::string text = sampleText(300000);
    std::string out;
    ASSERT_TRUE(runPython("import sys,zlib\nsys.stdout.buffer.write(zlib.decompress(sys.stdin.buffer.read(),-15))\n",
                          deflated(text), &out));
    EXPECT_EQ(out, text);
    for (int level : {1, 9}) {
        ASSERT_TRUE(runPython("import sys,zlib\nc=zlib.compressobj(" + std::to_string(level) +
                                  ",zlib.DEFLATED,-15)\n"
                                  "sys.stdout.buffer.write(c.compress(sys.stdin.buffer.read())+c.flush())\n",
                              text, &out));
        std::string back;
        ASSERT_TRUE(inflated(out, &back));
        EXPECT_EQ(back, text);
    }
    // zlib- and gzip-wrapped data are not raw DEFLATE.
    for (const char* wrap : {"zlib.compress(d)", "__import__('gzip').compress(d)"}) {
        ASSERT_TRUE(runPython(std::string("import sys,zlib\nd=sys.stdin.buffer.read()\nsys.stdout.buffer.write(") +
                                  wrap + ")\n",
                              text, &out));
        std::string back;
        EXPECT_FALSE(inflated(out, &back) && back == text) << wrap;
    }
}
