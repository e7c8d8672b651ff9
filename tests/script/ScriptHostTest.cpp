// tarvex-script runs the JScript tests of this folder and every JScript test
// of the Windows build (tests/windows/*.js) unchanged; each reports itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include "support/CommandRunner.h"

#ifdef TARVEX_SCRIPT_HOST

namespace {

using tarvex_test::CommandResult;
using tarvex_test::ScratchDir;

std::vector<std::string> scriptTests() {
    std::vector<std::string> files;
    for (const char* folder : {"tests/script", "tests/windows"}) {
        const std::filesystem::path dir = std::filesystem::path(TARVEX_SOURCE_DIR) / folder;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
            if (entry.is_regular_file() && entry.path().extension() == ".js")
                files.push_back(std::string(folder) + "/" + entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

CommandResult runScript(const std::string& script, const std::vector<std::string>& extra = {}) {
    ScratchDir dir("script");
    std::vector<std::string> args = {(std::filesystem::path(TARVEX_SOURCE_DIR) / script).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return tarvex_test::runProgram(TARVEX_SCRIPT_HOST, args, dir);
}

class ScriptFileTest : public ::testing::TestWithParam<std::string> {};

// The loopback servers of tests/windows/http.js, which reads their ports from
// http-servers.xml in its scratch folder. Their test CA is the trust store of
// the script host run meanwhile. They end with the test, or after their own
// lifetime at the latest.
class HttpServersFor {
public:
    explicit HttpServersFor(const std::filesystem::path& folder) {
        const std::string command = "exec python3 " +
                                    tarvex_test::shellQuote(std::string(TARVEX_SOURCE_DIR) +
                                                            "/tests/http/http_test_server.py") +
                                    " --lifetime 300 --info-xml " +
                                    tarvex_test::shellQuote((folder / "http-servers.xml").string()) +
                                    " 2>/dev/null";
        pipe_ = popen(command.c_str(), "r");
        char line[2048] = {};
        // The server writes the file, then its READY line with its pid.
        if (pipe_ && std::fgets(line, sizeof(line), pipe_)) {
            const char* pid = std::strstr(line, " pid=");
            if (pid) pid_ = std::atoi(pid + 5);
            if (const char* ca = std::strstr(line, " ca=")) {
                if (const char* old = std::getenv("SSL_CERT_FILE")) oldCa_ = old;
                setenv("SSL_CERT_FILE", std::string(ca + 4, std::strcspn(ca + 4, " \n")).c_str(), 1);
                caSet_ = true;
            }
        }
    }
    ~HttpServersFor() {
        if (caSet_) {
            if (oldCa_.empty()) unsetenv("SSL_CERT_FILE");
            else setenv("SSL_CERT_FILE", oldCa_.c_str(), 1);
        }
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (pipe_) pclose(pipe_);
    }

private:
    FILE* pipe_ = nullptr;
    int pid_ = 0;
    bool caSet_ = false;
    std::string oldCa_;
};

TEST_P(ScriptFileTest, ReportsSuccess) {
    // The Windows build's scripts take a scratch folder; ours test the arguments.
    ScratchDir scratch("script-files");
    const bool windows = GetParam().rfind("tests/windows/", 0) == 0;
    std::unique_ptr<HttpServersFor> servers;
    if (GetParam() == "tests/windows/http.js") servers = std::make_unique<HttpServersFor>(scratch.path());
    const CommandResult r = windows ? runScript(GetParam(), {scratch.path().string()})
                                    : runScript(GetParam(), {"alpha", "beta gamma", "\xCE\xB4"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("TARVEX-SCRIPT-OK"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.out.find("TARVEX-SCRIPT-FAILED"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("after the quit"), std::string::npos) << r.out;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, ScriptFileTest, ::testing::ValuesIn(scriptTests()), testName);

TEST(ScriptHostTest, ErrorsShowFileLineAndMessage) {
    const struct {
        const char* script;
        const char* where;
        const char* message;
    } cases[] = {
        {"tests/script/errors/syntax_error.js", "syntax_error.js:3: ", "SyntaxError"},
        {"tests/script/errors/throws.js", "throws.js:4: ", "Error: failed: on purpose"},
        {"tests/script/errors/no_member.js", "no_member.js:3: ", "doesn't support this property or method"},
    };
    for (const auto& c : cases) {
        const CommandResult r = runScript(c.script);
        EXPECT_EQ(r.status, 1) << c.script << r.err;
        EXPECT_NE(r.err.find(c.where), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(runScript("tests/script/errors/throws.js").out, "before\n");
}

TEST(ScriptHostTest, QuitSetsTheExitStatus) {
    const CommandResult r = runScript("tests/script/errors/quit_code.js");
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "quitting\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(ScriptHostTest, BadUsageAndMissingScript) {
    ScratchDir dir("script-usage");
    EXPECT_EQ(tarvex_test::runProgram(TARVEX_SCRIPT_HOST, {}, dir).status, 2);
    EXPECT_EQ(tarvex_test::runProgram(TARVEX_SCRIPT_HOST, {"--bogus"}, dir).status, 2);
    const CommandResult r = tarvex_test::runProgram(TARVEX_SCRIPT_HOST, {"absent.js"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.js"), std::string::npos);
}

TEST(ScriptHostTest, ReadsUtf16ScriptsWithAByteOrderMark) {
    ScratchDir dir("script-utf16");
    const std::string text = "WScript.Echo(\"caf\xC3\xA9\".length);";
    std::string utf16 = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        if (c == 0xC3) c = 0xC0 | (static_cast<unsigned char>(text[++i]) & 0x3F);  // é
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    tarvex_test::writeAll(dir / "u.js", utf16);
    const CommandResult r = tarvex_test::runProgram(TARVEX_SCRIPT_HOST, {"u.js"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4\n");
}

}  // namespace

#endif  // TARVEX_SCRIPT_HOST
