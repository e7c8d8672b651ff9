#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "log/Logger.h"
#include "text/StringBuffer.h"

using tarvex::Logger;
using tarvex::StringBuffer;

namespace {

std::string render(Logger& log, void (Logger::*get)(StringBuffer&)) {
    StringBuffer out("stale");  // replaced, not appended to
    (log.*get)(out);
    return std::string(out.getString(), out.getSize());
}
std::string text(Logger& log) { return render(log, &Logger::GetText); }
std::string html(Logger& log) { return render(log, &Logger::GetHtml); }
std::string xml(Logger& log) { return render(log, &Logger::GetXml); }

}  // namespace

TEST(Logger, AllEntryKindsAndNesting) {
    Logger log;
    EXPECT_EQ(text(log), "OstrandLog:\r\n");
    EXPECT_EQ(xml(log), "<OstrandLog>\r\n</OstrandLog>\r\n");
    EXPECT_EQ(html(log), "OstrandLog:<blockquote>\r\n</blockquote>\r\n");
    log.LogInfo("from an earlier call");
    log.ClearLog();
    log.EnterContext("Outer", 1);
    log.LogInfo("info line");
    EXPECT_TRUE(log.LogData("key", "a & b"));
    EXPECT_TRUE(log.LogDataLong("count", -7));
    log.EnterContext("Inner Name", 1);  // context names are not normalised
    log.LogRawXml("<raw a=\"1\"/>");
    log.LeaveContext();
    log.LogError("after inner");
    log.LeaveContext();
    EXPECT_EQ(text(log),
              "OstrandLog:\r\n"
              "  Outer:\r\n"
              "    info line\r\n"
              "    key: a & b\r\n"
              "    count: -7\r\n"
              "    Inner Name:\r\n"
              "      <raw a=\"1\"/>\r\n"
              "    after inner\r\n");
    EXPECT_EQ(text(log), text(log));  // reading does not clear
    EXPECT_EQ(xml(log),
              "<OstrandLog>\r\n<Outer>\r\n<info>info line</info>\r\n<key><![CDATA[a & b]]></key>\r\n"
              "<count>-7</count>\r\n<Inner Name>\r\n<raw a=\"1\"/>\r\n</Inner Name>\r\n"
              "<error>after inner</error>\r\n</Outer>\r\n</OstrandLog>\r\n");
    EXPECT_EQ(html(log),
              "OstrandLog:<blockquote>\r\nOuter:<blockquote>\r\ninfo line<br>\r\nkey: a &amp; b<br>\r\n"
              "count: -7<br>\r\nInner Name:<blockquote>\r\n&lt;raw a=&quot;1&quot;/&gt;<br>\r\n"
              "</blockquote>\r\nafter inner<br>\r\n</blockquote>\r\n</blockquote>\r\n");
}

// Markup characters, LF and TAB (not CR alone) wrap a message in CDATA,
// unless it already holds a CDATA section that a wrapping would break.
TEST(Logger, CdataWrapping) {
    const std::pair<const char*, const char*> cases[] = {
        {"a<b", "<![CDATA[a<b]]>"}, {"a>b", "<![CDATA[a>b]]>"}, {"line\nnext", "<![CDATA[line\nnext]]>"},
        {"tab\there", "<![CDATA[tab\there]]>"}, {"only\rcr", "only\rcr"}, {"plain text", "plain text"},
        {"x <![CDATA[ y ]]> z", "x <![CDATA[ y ]]> z"}, {"]]> then <![CDATA[", "]]> then <![CDATA["},
        {"just ]]> <", "<![CDATA[just ]]> <]]>"},
    };
    for (const auto& c : cases) {
        Logger log;
        log.LogError(c.first);
        EXPECT_EQ(xml(log), std::string("<OstrandLog>\r\n<error>") + c.second + "</error>\r\n</OstrandLog>\r\n")
            << c.first;
    }
}

TEST(Logger, NamesAndRejectedEntries) {
    Logger log;
    EXPECT_TRUE(log.LogData(" max size ", "5"));
    EXPECT_TRUE(log.LogData("\t\xA0 a b\r\n", "v"));
    EXPECT_FALSE(log.LogData(" \t\r\n\xA0", "v"));
    EXPECT_FALSE(log.LogData(nullptr, "v"));
    EXPECT_FALSE(log.LogData("name", nullptr));
    EXPECT_FALSE(log.LogDataLong("  ", 3));
    EXPECT_TRUE(log.LogError(nullptr));
    EXPECT_TRUE(log.LogInfo(nullptr));
    EXPECT_TRUE(log.LogRawXml(nullptr));
    log.LogTickCount("tick");
    log.LogTickCount(" ");
    std::string t = text(log);
    EXPECT_EQ(t.substr(0, 36), "OstrandLog:\r\n  max_size: 5\r\n  a_b: v");
    // The tick count is lower-case hex without a prefix.
    size_t at = t.find("  tick: ");
    ASSERT_NE(at, std::string::npos);
    std::string value = t.substr(at + 8, t.size() - at - 10);
    EXPECT_FALSE(value.empty());
    EXPECT_EQ(value.find_first_not_of("0123456789abcdef"), std::string::npos) << value;
    EXPECT_EQ(t.size(), at + 8 + value.size() + 2);
}

TEST(Logger, UnbalancedLeaveAndClear) {
    Logger log;
    log.LeaveContext();
    log.LeaveContext();
    log.EnterContext("A", 1);
    log.LeaveContext();
    log.LeaveContext();
    log.LeaveContext();
    log.LogInfo("still at root");
    EXPECT_EQ(text(log), "OstrandLog:\r\n  A:\r\n  still at root\r\n");
    // Clearing drops everything, including contexts left open.
    log.EnterContext("Open", 1);
    log.ClearLog();
    log.LogInfo("fresh");
    EXPECT_EQ(text(log), "OstrandLog:\r\n  fresh\r\n");
    // Bytes are stored and rendered unchanged (UTF-8 in, UTF-8 out).
    log.LogInfo("caf\xC3\xA9");
    EXPECT_NE(text(log).find("caf\xC3\xA9\r\n"), std::string::npos);
}

// The saved bytes are checked through SaveLastError; here, the failures.
TEST(Logger, SaveXmlToFileFailures) {
    Logger log;
    EXPECT_FALSE(log.SaveXmlToFile(0, (std::string(TARVEX_BINARY_DIR) + "/no/such/dir/x.xml").c_str()));
    EXPECT_FALSE(log.SaveXmlToFile(0, nullptr));
}
