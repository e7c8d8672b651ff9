// The loopback servers of the HTTP tests: started once per test process by
// tests/http/http_test_server.py, which makes a test CA at start. The CA is
// handed to the TLS library through SSL_CERT_FILE before any TLS use, since
// the trust store is loaded once per process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace tarvex_test {

class TestServers {
public:
    static TestServers& get() {
        static TestServers servers;
        return servers;
    }
    bool ok() const { return ports_.count("plain") > 0; }
    int port(const std::string& key) const {
        auto it = ports_.find(key);
        return it == ports_.end() ? 0 : it->second;
    }
    bool has(const std::string& key) const { return port(key) != 0; }
    std::string url(const std::string& key, const std::string& path) const {
        bool tls = key == "tls" || key == "self" || key == "wrong" || key == "nginx12" || key == "nginx13";
        return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port(key)) + path;
    }
    const std::string& ca() const { return ca_; }

private:
    TestServers() {
        std::string cmd = std::string("exec python3 '") + TARVEX_SOURCE_DIR +
                          "/tests/http/http_test_server.py' --interop --lifetime 900 2>/dev/null";
        FILE* pipe = popen(cmd.c_str(), "r");  // left open: the server ends when this process does
        if (!pipe) return;
        char line[2048] = {};
        if (!std::fgets(line, sizeof(line), pipe)) return;
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word != "READY") return;
        while (in >> word) {
            size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            std::string key = word.substr(0, eq), value = word.substr(eq + 1);
            if (key == "ca")
                ca_ = value;
            else if (key != "dir" && key != "pid")
                ports_[key] = std::atoi(value.c_str());
        }
        setenv("SSL_CERT_FILE", ca_.c_str(), 1);
    }
    std::map<std::string, int> ports_;
    std::string ca_;
};

#define REQUIRE_SERVERS()                                                   \
    do {                                                                    \
        if (!tarvex_test::TestServers::get().ok()) {                        \
            FAIL() << "the loopback test servers did not start";            \
        }                                                                   \
    } while (0)

// The URL of `path` on the server named `key`.
inline std::string serverUrl(const std::string& key, const std::string& path) {
    return TestServers::get().url(key, path);
}

// A fixture for tests that need the servers: each fails at once when they did not start.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_SERVERS(); }
};

}  // namespace tarvex_test
