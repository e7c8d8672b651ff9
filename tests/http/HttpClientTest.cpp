// The HTTP client against loopback servers that misbehave on purpose.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "http/HttpClient.h"
#include "log/Logger.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "http/TestServers.h"

namespace {

using tarvex::DataBuffer;
using tarvex::HttpClient;
using tarvex::HttpResponseHeader;
using tarvex::Logger;
using tarvex::StringBuffer;
using tarvex_test::serverUrl;
using tarvex_test::TestServers;

struct Fetch {
    bool ok = false;
    int status = 0;
    std::string body;
    std::string log;
    double seconds = 0;
};

std::string logText(Logger& log) {
    StringBuffer text;
    log.GetText(text);
    return text.getString();
}

Fetch get(const std::string& url, HttpClient& client) {
    Logger log;
    HttpResponseHeader header;
    DataBuffer body;
    auto start = std::chrono::steady_clock::now();
    Fetch f;
    f.ok = client.quickGet(url.c_str(), header, body, log);
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.status = header.statusCode();
    f.body.assign(reinterpret_cast<const char*>(body.getData()), body.getSize());
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

class HttpClientTest : public tarvex_test::ServerTest {};

TEST_F(HttpClientTest, BodiesOfEveryFramingOverPlainAndTls) {
    for (const char* key : {"plain", "tls"}) {
        SCOPED_TRACE(key);
        Fetch declared = get(serverUrl(key, "/doc/70000"));
        ASSERT_TRUE(declared.ok) << declared.log;
        EXPECT_EQ(declared.status, 200);
        EXPECT_EQ(declared.body.size(), 70000u);
        EXPECT_EQ(declared.body.substr(declared.body.size() - 7), "</root>");

        Fetch chunked = get(serverUrl(key, "/chunked"));
        ASSERT_TRUE(chunked.ok) << chunked.log;
        EXPECT_EQ(chunked.body, "<root>hello</root>");

        Fetch big = get(serverUrl(key, "/bigchunked/300000"));
        ASSERT_TRUE(big.ok) << big.log;
        EXPECT_EQ(big.body.size(), 300000u);

        Fetch closed = get(serverUrl(key, "/close"));
        ASSERT_TRUE(closed.ok) << closed.log;
        EXPECT_EQ(closed.body.size(), 30000u);
        EXPECT_LT(closed.seconds, 5.0);
    }
}

TEST_F(HttpClientTest, Ipv6LoopbackPlainAndTls) {
    if (!TestServers::get().has("plain6")) GTEST_SKIP() << "no IPv6 loopback";
    Fetch plain = get("http://[::1]:" + std::to_string(TestServers::get().port("plain6")) + "/doc/500");
    ASSERT_TRUE(plain.ok) << plain.log;
    EXPECT_EQ(plain.body.size(), 500u);
    Fetch tls = get("https://[::1]:" + std::to_string(TestServers::get().port("tls6")) + "/chunked");
    ASSERT_TRUE(tls.ok) << tls.log;
    EXPECT_EQ(tls.body, "<root>hello</root>");
}

TEST_F(HttpClientTest, TlsConnectionIsLoggedAndVerified) {
    Fetch f = get(serverUrl("tls", "/doc/100"));
    ASSERT_TRUE(f.ok) << f.log;
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

TEST_F(HttpClientTest, TlsToAPlainServerFailsTheHandshake) {
    std::string url = "https://127.0.0.1:" + std::to_string(TestServers::get().port("plain")) + "/doc/10";
    Fetch f = get(url);
    EXPECT_TRUE(failedWith(f, "Error performing handshake"));
    EXPECT_LT(f.seconds, 10.0);
}

TEST_F(HttpClientTest, TlsBodyCutWithoutCloseNotifyFails) {
    Fetch plain = get(serverUrl("plain", "/close-abrupt"));
    EXPECT_TRUE(plain.ok) << plain.log;
    Fetch tls = get(serverUrl("tls", "/close-abrupt"));
    EXPECT_FALSE(tls.ok) << tls.log;
}

TEST_F(HttpClientTest, FourRedirectsAreFollowedAndTheFifthRefused) {
    HttpClient client;
    Fetch four = get(serverUrl("plain", "/chain/4"), client);
    ASSERT_TRUE(four.ok) << four.log;
    EXPECT_EQ(four.body.find("<chain>done</chain>") != std::string::npos, true);
    EXPECT_TRUE(client.wasRedirected());
    EXPECT_EQ(std::string(client.finalUrl().getString()), serverUrl("plain", "/chain/0"));

    Fetch five = get(serverUrl("plain", "/chain/5"));
    EXPECT_TRUE(failedWith(five, "Aborted to avoid infinite redirects."));

    Fetch loop = get(serverUrl("tls", "/loop"));
    EXPECT_TRUE(failedWith(loop, "Aborted to avoid infinite redirects."));
}

// Relative targets are resolved by the URL tests and fetched by the component's.
TEST_F(HttpClientTest, RedirectTargetsResolveLikeBrowsers) {
    Fetch sibling = get(serverUrl("tls", "/dir/rel.xml"));
    ASSERT_TRUE(sibling.ok) << sibling.log;
    EXPECT_NE(sibling.body.find("<at>/dir/c.xml</at>"), std::string::npos);

    Fetch absolute = get(serverUrl("plain", "/abs"));
    ASSERT_TRUE(absolute.ok) << absolute.log;
    EXPECT_EQ(absolute.body.size(), 100u);

    Fetch toTls = get(serverUrl("plain", "/to-https"));
    ASSERT_TRUE(toTls.ok) << toTls.log;
    EXPECT_NE(toTls.log.find("Secure Channel Established."), std::string::npos);

    Fetch none = get(serverUrl("plain", "/no-location"));
    EXPECT_TRUE(failedWith(none, "Got 301/302 redirect, but no new location."));

    Fetch other = get(serverUrl("plain", "/see-other"));
    ASSERT_TRUE(other.ok);
    EXPECT_EQ(other.status, 303);
    EXPECT_NE(other.body.find("<other/>"), std::string::npos);
}

TEST_F(HttpClientTest, RequestBytesAndNoCookiesCarriedAcrossRedirects) {
    int port = TestServers::get().port("plain");
    Fetch f = get("http://LOCALHOST:" + std::to_string(port) + "/cookie#frag");
    ASSERT_TRUE(f.ok) << f.log;
    EXPECT_EQ(f.body,
              "<req>GET /echo HTTP/1.1\\r\\nAccept: */*\\r\\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; "
              "Windows NT 5.1)\\r\\nHost: localhost\\r\\nConnection: Keep-Alive\\r\\n\\r\\n</req>");

    Fetch query = get("http://127.0.0.1:" + std::to_string(port) + "?a=1");
    ASSERT_TRUE(query.ok);
    EXPECT_EQ(query.body.compare(0, 30, "<req>GET /?a=1 HTTP/1.1\\r\\nAcc"), 0) << query.body;
}

TEST_F(HttpClientTest, SilentAndSlowServersEndWithinTheLimits) {
    HttpClient client;
    client.setReadTimeout(1);
    Fetch stall = get(serverUrl("plain", "/stall"), client);
    EXPECT_TRUE(failedWith(stall, "WaitForData timed out."));
    EXPECT_NE(stall.log.find("Failed to get response header"), std::string::npos);
    EXPECT_LT(stall.seconds, 5.0);

    // A body without a length ends only when the server closes: silence is a failure.
    Fetch cut = get(serverUrl("tls", "/close-stall"), client);
    EXPECT_FALSE(cut.ok);
    EXPECT_LT(cut.seconds, 5.0);
    Fetch plainCut = get(serverUrl("plain", "/close-stall"), client);
    EXPECT_TRUE(failedWith(plainCut, "did not end with the server closing the connection"));

    // One byte every 0.2 s passes every read limit; the overall limit ends it.
    HttpClient deadline;
    deadline.setOverallTimeout(2);
    Fetch trickle = get(serverUrl("plain", "/trickle"), deadline);
    EXPECT_TRUE(failedWith(trickle, "The request took longer than its overall time limit."));
    EXPECT_LT(trickle.seconds, 4.0);
}

TEST_F(HttpClientTest, OversizedAndBrokenResponsesFail) {
    Fetch endless = get(serverUrl("plain", "/noend"));
    EXPECT_TRUE(failedWith(endless, "The response header is larger than the maximum allowed."));

    Fetch huge = get(serverUrl("plain", "/huge-length"));
    EXPECT_TRUE(failedWith(huge, "Content length more than the maximum allowed."));

    HttpClient limited;
    limited.setMaxContentLength(100000);
    Fetch chunks = get(serverUrl("tls", "/bigchunked/300000"), limited);
    EXPECT_TRUE(failedWith(chunks, "Chunked response is too large."));

    Fetch truncated = get(serverUrl("plain", "/truncated"));
    EXPECT_TRUE(failedWith(truncated, "The peer has closed the socket (TCP) connection"));
    Fetch truncatedChunk = get(serverUrl("plain", "/truncated-chunked"));
    EXPECT_TRUE(failedWith(truncatedChunk, "Failed to get response data (b)"));

    Fetch lf = get(serverUrl("plain", "/lf-only"));
    ASSERT_TRUE(lf.ok) << lf.log;
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

TEST_F(HttpClientTest, ConnectFailuresAreNamed) {
    Fetch refused = get(serverUrl("refused", "/x"));
    EXPECT_TRUE(failedWith(refused, "Connect function failed."));
    EXPECT_NE(refused.log.find("WSAECONNREFUSED"), std::string::npos);

    HttpClient quick;
    quick.setConnectTimeout(1);
    Fetch hole = get(serverUrl("black", "/x"), quick);
    EXPECT_TRUE(failedWith(hole, "Connection attempt timed out, trying again."));
    EXPECT_NE(hole.log.find("Connect function failed."), std::string::npos);
    EXPECT_LT(hole.seconds, 5.0);

    Fetch unknown = get("http://no-such-host.invalid/x");
    EXPECT_TRUE(failedWith(unknown, "Cannot get host by name."));
}

TEST_F(HttpClientTest, AdmissionRefusesBeforeAnyConnection) {
    Fetch media = get(serverUrl("plain", "/song.MP3"));
    EXPECT_TRUE(failedWith(media, "Does not support URLs with this file extension"));
    Fetch longUrl = get(serverUrl("plain", "/") + std::string(800, 'a'));
    EXPECT_TRUE(failedWith(longUrl, "maxUrlLen: 800"));
}

TEST_F(HttpClientTest, PostGoesOverTlsForHttpsAndAsksForSlashWithoutAPath) {
    HttpClient client;
    Logger log;
    HttpResponseHeader header;
    DataBuffer body;
    StringBuffer xml("<a>1</a>");
    ASSERT_TRUE(client.post(serverUrl("tls", "?op=1").c_str(), xml, header, body, log)) << logText(log);
    std::string echoed(reinterpret_cast<const char*>(body.getData()), body.getSize());
    EXPECT_EQ(echoed,
              "<req>POST / HTTP/1.1\\r\\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\\r\\n"
              "Connection: Keep-Alive\\r\\nHost: 127.0.0.1\\r\\ncontent-type: text/xml\\r\\ncontent-length: "
              "10\\r\\n\\r\\n&lt;a&gt;1&lt;/a&gt;\\r\\n</req>");
    std::string text = logText(log);
    EXPECT_NE(text.find("OpenConnection: 127.0.0.1"), std::string::npos) << text;
    EXPECT_NE(text.find("Connecting to HTTP server..."), std::string::npos);
    EXPECT_NE(text.find("Secure Channel Established."), std::string::npos);
}

}  // namespace
