// The HTTP client against loopback servers that misbehave on purpose.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "http/HttpClient.h"
#include "log/Logger.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "http/TestServers.h"
#include "support/TextSupport.h"

namespace {

using tarvex::DataBuffer;
using tarvex::HttpClient;
using tarvex::HttpResponseHeader;
using tarvex::Logger;
using tarvex::StringBuffer;
using tarvex_test::logText;
using tarvex_test::textOf;
using tarvex_test::serverUrl;
using tarvex_test::TestServers;

struct Fetch {
    bool ok = false;
    int status = 0;
    std::string body;
    std::string log;
    double seconds = 0;
};

Fetch get(const std::string& url, HttpClient& client) {
    Logger log;
    HttpResponseHeader header;
    DataBuffer body;
    auto start = std::chrono::steady_clock::now();
    Fetch f;
    f.ok = client.quickGet(url.c_str(), header, body, log);
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.status = header.statusCode();
    f.body = textOf(body);
    f.log = logText(log);
    return f;
}

Fetch get(const std::string& url) {
    HttpClient client;
    return get(url, client);
}

// The fetch failed and its log says `text`.
::testing::AssertionResult failedWith(const Fetch& f, const char* text) {
    if (f.ok) return ::testing::AssertionFailure() << "the fetch succeeded";
    if (f.log.find(text) == std::string::npos)
        return ::testing::AssertionFailure() << "the log lacks \"" << text << "\":\n" << f.log;
    return ::testing::AssertionSuccess();
}

// A fetch that must succeed.
Fetch fetched(const std::string& url, HttpClient& client) {
    Fetch f = get(url, client);
    EXPECT_TRUE(f.ok) << url << "\n" << f.log;
    return f;
}
Fetch fetched(const std::string& url) {
    HttpClient client;
    return fetched(url, client);
}

class HttpClientTest : public tarvex_test::ServerTest {};

TEST_F(HttpClientTest, BodiesOfEveryFramingOverPlainAndTls) {
    for (const char* key : {"plain", "tls"}) {
        SCOPED_TRACE(key);
        Fetch declared = fetched(serverUrl(key, "/doc/70000"));
        EXPECT_EQ(declared.status, 200);
        EXPECT_EQ(declared.body.size(), 70000u);
        EXPECT_EQ(declared.body.substr(declared.body.size() - 7), "</root>");

        Fetch chunked = fetched(serverUrl(key, "/chunked"));
        EXPECT_EQ(chunked.body, "<root>hello</root>");

        Fetch big = fetched(serverUrl(key, "/bigchunked/300000"));
        EXPECT_EQ(big.body.size(), 300000u);

        Fetch closed = fetched(serverUrl(key, "/close"));
        EXPECT_EQ(closed.body.size(), 30000u);
        EXPECT_LT(closed.seconds, 5.0);
    }
}

TEST_F(HttpClientTest, Ipv6LoopbackPlainAndTls) {
    if (!TestServers::get().has("plain6")) GTEST_SKIP() << "no IPv6 loopback";
    Fetch plain = fetched("http://[::1]:" + std::to_string(TestServers::get().port("plain6")) + "/doc/500");
    EXPECT_EQ(plain.body.size(), 500u);
    Fetch tls = fetched("https://[::1]:" + std::to_string(TestServers::get().port("tls6")) + "/chunked");
    EXPECT_EQ(tls.body, "<root>hello</root>");
}

TEST_F(HttpClientTest, TlsConnectionIsLoggedAndVerified) {
    Fetch f = fetched(serverUrl("tls", "/doc/100"));
    EXPECT_NE(f.log.find("ConnectionInfo:"), std::string::npos) << f.log;
    EXPECT_NE(f.log.find("keyExchangeStrength: "), std::string::npos) << f.log;
    EXPECT_NE(f.log.find("Secure Channel Established."), std::string::npos);
    EXPECT_EQ(f.log.find("Error"), std::string::npos) << f.log;
}

TEST_F(HttpClientTest, UntrustedOrMisnamedServersAreRefusedBeforeTheRequest) {
    struct Case {
        const char* key;
        const char* reason;
    } cases[] = {{"self", "CERT_E_UNTRUSTEDROOT"}, {"wrong", "CERT_E_CN_NO_MATCH"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Fetch f = get(serverUrl(c.key, "/never-sent-" + std::string(c.key)));
        EXPECT_FALSE(f.ok);
        EXPECT_NE(f.log.find(std::string("WinVerifyTrustError: ") + c.reason), std::string::npos) << f.log;
        EXPECT_NE(f.log.find("Error authenticating server credentials!"), std::string::npos);
        EXPECT_EQ(f.log.find("Secure Channel Established."), std::string::npos);
        Fetch count = get(serverUrl("plain", "/count?/never-sent-" + std::string(c.key)));
        EXPECT_EQ(count.body, "<count>0</count>");
    }
}

TEST_F(HttpClientTest, TlsBodyCutWithoutCloseNotifyFails) {
    Fetch plain = fetched(serverUrl("plain", "/close-abrupt"));
    Fetch tls = get(serverUrl("tls", "/close-abrupt"));
    EXPECT_FALSE(tls.ok) << tls.log;
}

TEST_F(HttpClientTest, FourRedirectsAreFollowed) {
    HttpClient client;
    Fetch four = fetched(serverUrl("plain", "/chain/4"), client);
    EXPECT_EQ(four.body.find("<chain>done</chain>") != std::string::npos, true);
    EXPECT_TRUE(client.wasRedirected());
    EXPECT_EQ(std::string(client.finalUrl().getString()), serverUrl("plain", "/chain/0"));
}

// Relative targets are resolved by the URL tests and fetched by the component's.
TEST_F(HttpClientTest, RedirectTargetsResolveLikeBrowsers) {
    Fetch sibling = fetched(serverUrl("tls", "/dir/rel.xml"));
    EXPECT_NE(sibling.body.find("<at>/dir/c.xml</at>"), std::string::npos);

    Fetch absolute = fetched(serverUrl("plain", "/abs"));
    EXPECT_EQ(absolute.body.size(), 100u);

    Fetch toTls = fetched(serverUrl("plain", "/to-https"));
    EXPECT_NE(toTls.log.find("Secure Channel Established."), std::string::npos);

    Fetch other = fetched(serverUrl("plain", "/see-other"));
    EXPECT_EQ(other.status, 303);
    EXPECT_NE(other.body.find("<other/>"), std::string::npos);
}

TEST_F(HttpClientTest, RequestBytesAndNoCookiesCarriedAcrossRedirects) {
    int port = TestServers::get().port("plain");
    Fetch f = fetched("http://LOCALHOST:" + std::to_string(port) + "/cookie#frag");
    EXPECT_EQ(f.body,
              "<req>GET /echo HTTP/1.1\\r\\nAccept: */*\\r\\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; "
              "Windows NT 5.1)\\r\\nHost: localhost\\r\\nConnection: Keep-Alive\\r\\n\\r\\n</req>");

    Fetch query = fetched("http://127.0.0.1:" + std::to_string(port) + "?a=1");
    EXPECT_EQ(query.body.compare(0, 30, "<req>GET /?a=1 HTTP/1.1\\r\\nAcc"), 0) << query.body;
}

// Each way a fetch can fail ends it, within its time limit, with its own log lines.
TEST_F(HttpClientTest, FailuresEndInTimeAndAreNamed) {
    const std::string plainPort = std::to_string(TestServers::get().port("plain"));
    const double kNoLimit = 600;  // only the default limits apply
    const struct {
        std::string url;
        const char* text;
        const char* also;
        double maxSeconds;
        void (*setup)(HttpClient&);
    } cases[] = {
        {serverUrl("plain", "/chain/5"), "Aborted to avoid infinite redirects.", "", kNoLimit, nullptr},
        {serverUrl("tls", "/loop"), "Aborted to avoid infinite redirects.", "", kNoLimit, nullptr},
        {serverUrl("plain", "/no-location"), "Got 301/302 redirect, but no new location.", "", kNoLimit, nullptr},
        {"https://127.0.0.1:" + plainPort + "/doc/10", "Error performing handshake", "", 10, nullptr},
        {serverUrl("plain", "/noend"), "The response header is larger than the maximum allowed.", "", kNoLimit,
         nullptr},
        {serverUrl("plain", "/huge-length"), "Content length more than the maximum allowed.", "", kNoLimit, nullptr},
        {serverUrl("tls", "/bigchunked/300000"), "Chunked response is too large.", "", kNoLimit,
         [](HttpClient& c) { c.setMaxContentLength(100000); }},
        {serverUrl("plain", "/truncated"), "The peer has closed the socket (TCP) connection", "", kNoLimit, nullptr},
        {serverUrl("plain", "/truncated-chunked"), "Failed to get response data (b)", "", kNoLimit, nullptr},
        {serverUrl("plain", "/stall"), "WaitForData timed out.", "Failed to get response header", 5,
         [](HttpClient& c) { c.setReadTimeout(1); }},
        // A body without a length ends only when the server closes: silence is a failure.
        {serverUrl("tls", "/close-stall"), "", "", 5, [](HttpClient& c) { c.setReadTimeout(1); }},
        {serverUrl("plain", "/close-stall"), "did not end with the server closing the connection", "", 5,
         [](HttpClient& c) { c.setReadTimeout(1); }},
        // One byte every 0.2 s passes every read limit; the overall limit ends it.
        {serverUrl("plain", "/trickle"), "The request took longer than its overall time limit.", "", 4,
         [](HttpClient& c) { c.setOverallTimeout(2); }},
        {serverUrl("refused", "/x"), "Connect function failed.", "WSAECONNREFUSED", kNoLimit, nullptr},
        {serverUrl("black", "/x"), "Connection attempt timed out, trying again.", "Connect function failed.", 5,
         [](HttpClient& c) { c.setConnectTimeout(1); }},
        {"http://no-such-host.invalid/x", "Cannot get host by name.", "", kNoLimit, nullptr},
        // Admission refuses before any connection.
        {serverUrl("plain", "/song.MP3"), "Does not support URLs with this file extension", "", kNoLimit, nullptr},
        {serverUrl("plain", "/") + std::string(800, 'a'), "maxUrlLen: 800", "", kNoLimit, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.substr(0, 60));
        HttpClient client;
        if (c.setup) c.setup(client);
        Fetch f = get(c.url, client);
        EXPECT_TRUE(failedWith(f, c.text));
        EXPECT_NE(f.log.find(c.also), std::string::npos) << f.log;
        EXPECT_LT(f.seconds, c.maxSeconds);
    }
    Fetch lf = fetched(serverUrl("plain", "/lf-only"));
    EXPECT_EQ(lf.body, "<a>ok</a>");
}

TEST_F(HttpClientTest, GarbageStatusLinesAreRetriedSixTimes) {
    Fetch f = get(serverUrl("plain", "/garbage"));
    EXPECT_FALSE(f.ok);
    size_t count = 0;
    for (size_t at = f.log.find("Invalid header received"); at != std::string::npos;
         at = f.log.find("Invalid header received", at + 1))
        ++count;
    EXPECT_EQ(count, 6u) << f.log;
    EXPECT_NE(f.log.find("received: SSH-2.0-Nothing"), std::string::npos);
}

TEST_F(HttpClientTest, PostGoesOverTlsForHttpsAndAsksForSlashWithoutAPath) {
    HttpClient client;
    Logger log;
    HttpResponseHeader header;
    DataBuffer body;
    StringBuffer xml("<a>1</a>");
    ASSERT_TRUE(client.post(serverUrl("tls", "?op=1").c_str(), xml, header, body, log)) << logText(log);
    EXPECT_EQ(textOf(body),
              "<req>POST / HTTP/1.1\\r\\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\\r\\n"
              "Connection: Keep-Alive\\r\\nHost: 127.0.0.1\\r\\ncontent-type: text/xml\\r\\ncontent-length: "
              "10\\r\\n\\r\\n&lt;a&gt;1&lt;/a&gt;\\r\\n</req>");
    std::string text = logText(log);
    EXPECT_NE(text.find("OpenConnection: 127.0.0.1"), std::string::npos) << text;
    EXPECT_NE(text.find("Connecting to HTTP server..."), std::string::npos);
    EXPECT_NE(text.find("Secure Channel Established."), std::string::npos);
}

}  // namespace
