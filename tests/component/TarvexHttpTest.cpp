// HttpGet and HttpPost as scripts call them, against the loopback test
// servers and against servers nobody here wrote (nginx, Python's http.server).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "component/ComponentSupport.h"
#include "http/TestServers.h"

namespace {

using tarvex_test::BstrArg;
using tarvex_test::Tarvex;
using tarvex_test::serverUrl;
using tarvex_test::TestServers;

struct Call {
    Tarvex response;
    std::string log;
};

Call httpGet(const std::string& url) {
    Tarvex caller = tarvex_test::newObject();
    ITarvex* out = reinterpret_cast<ITarvex*>(1);
    EXPECT_EQ(caller->HttpGet(BstrArg(url), &out), S_OK);
    return {Tarvex(out), caller.lastErrorText()};
}

Call httpPost(Tarvex& caller, const std::string& url) {
    ITarvex* out = nullptr;
    EXPECT_EQ(caller->HttpPost(BstrArg(url), &out), S_OK);
    return {Tarvex(out), caller.lastErrorText()};
}

class TarvexHttpTest : public tarvex_test::ServerTest {};

TEST_F(TarvexHttpTest, HttpGetReturnsAnObjectOnTheFetchedDocument) {
    for (const char* key : {"plain", "tls"}) {
        Call c = httpGet(serverUrl(key, "/chunked"));
        ASSERT_TRUE(c.response) << c.log;
        EXPECT_EQ(c.response.tag(), "root");
        EXPECT_EQ(c.response.content(), "hello");
        EXPECT_EQ(c.log.compare(0, 24, "OstrandLog:\r\n  HttpGet:\r"), 0) << c.log;
    }
    Call error = httpGet(serverUrl("plain", "/404-xml"));
    ASSERT_TRUE(error.response);
    EXPECT_EQ(error.response.tag(), "missing");
    // An error answer without a length has no body, hence no object; nor has a cut body.
    EXPECT_FALSE(httpGet(serverUrl("plain", "/404-chunked")).response);
    EXPECT_FALSE(httpGet(serverUrl("plain", "/truncated")).response);
}

TEST_F(TarvexHttpTest, ArgumentsAreCheckedFirst) {
    Tarvex caller = tarvex_test::newObject();
    ITarvex* out = reinterpret_cast<ITarvex*>(1);
    EXPECT_EQ(caller->HttpGet(nullptr, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(caller.lastErrorText(), tarvex_test::oneContext("HttpGet", {"URL or response parameter is null"}));
    EXPECT_EQ(caller->HttpPost(BstrArg(" \t\r\n"), &out), S_OK);
    EXPECT_EQ(caller.lastErrorText(), tarvex_test::oneContext("HttpPost", {"URL parameter is empty"}));
}

TEST_F(TarvexHttpTest, HttpPostSendsTheCurrentNodeAsXml) {
    Tarvex doc = tarvex_test::loaded("<order id=\"7\"><item>tea &amp; cake</item></order>");
    Tarvex item = doc.child(0);
    for (const char* key : {"plain", "tls"}) {
        SCOPED_TRACE(key);
        Call c = httpPost(item, serverUrl(key, "/svc?op=1#f"));
        ASSERT_TRUE(c.response) << c.log;
        std::string echoed = c.response.content();
        EXPECT_EQ(echoed.compare(0, 28, "POST /svc HTTP/1.1\\r\\nUser-A"), 0) << echoed;
        EXPECT_NE(echoed.find("content-type: text/xml\\r\\ncontent-length: 29\\r\\n\\r\\n"
                              "<item>tea &amp; cake</item>\\r\\n"),
                  std::string::npos)
            << echoed;
    }
}

TEST_F(TarvexHttpTest, InteropWithNginxAndPythonServers) {
    for (const char* key : {"nginx", "nginx12", "nginx13", "pyhttp"}) {
        SCOPED_TRACE(key);
        if (!TestServers::get().has(key)) {
            ADD_FAILURE() << key << " did not start";
            continue;
        }
        Call c = httpGet(serverUrl(key, "/page.xml"));
        ASSERT_TRUE(c.response) << c.log;
        EXPECT_EQ(c.response.tag(), "page");
        EXPECT_EQ(c.response.childContent("title"), "interop");
        if (std::string(key) == "nginx12") {
            EXPECT_NE(c.log.find("protocol: TLSv1.2"), std::string::npos) << c.log;
        }
        if (std::string(key) == "nginx13") {
            EXPECT_NE(c.log.find("protocol: TLSv1.3"), std::string::npos) << c.log;
        }
    }
    Tarvex doc = tarvex_test::loaded("<big>" + std::string(200000, 'x') + "</big>");
    Call posted = httpPost(doc, serverUrl("nginx13", "/post"));
    ASSERT_TRUE(posted.response) << posted.log;
    EXPECT_EQ(posted.response.tag(), "ok");
}

// A body of many elements, well past the step in which the parse hands the
// pages it has read to the tree: the tree is the one its text gives.
TEST_F(TarvexHttpTest, LargeBodyGivesTheTreeOfItsText) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>";
    for (int k = 0; k < 40000; ++k) {
        const std::string n = std::to_string(k);
        text += "<i n=\"" + n + "\">t" + n + " &amp; more</i>";
    }
    text += "</root>";
    Call c = httpGet(serverUrl("plain", "/many/40000"));
    ASSERT_TRUE(c.response) << c.log;
    EXPECT_EQ(c.response.numChildren(), 40000);
    EXPECT_EQ(c.response.child(39999).content(), "t39999 & more");
    EXPECT_TRUE(c.response.getXml() == tarvex_test::loaded(text).getXml());
}

// The real curl command line reads our test server the same way: the server
// is honest, so what the component makes of it is the component's doing.
TEST_F(TarvexHttpTest, CurlAgreesWithTheTestServer) {
    std::string cmd = "curl -sS --max-time 10 --cacert '" + TestServers::get().ca() + "' '" +
                      serverUrl("tls", "/chunked") + "' '" + serverUrl("plain", "/dir/sub/a.xml") + "' -L";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(out, "<root>hello</root><?xml version=\"1.0\" encoding=\"utf-8\"?>\n<at>/dir/b.xml?x=1</at>");
    Call ours = httpGet(serverUrl("plain", "/dir/sub/a.xml"));
    ASSERT_TRUE(ours.response);
    EXPECT_EQ(ours.response.content(), "/dir/b.xml?x=1");
}

}  // namespace
