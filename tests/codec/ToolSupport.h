// Runs programs nobody here wrote (python3, openssl) as peers in interop
// tests. A missing program skips the test, except under CI=true, where it
// fails: the test command installs them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace tarvex_test {

// Test processes may run side by side, so each names its files apart.
inline const std::string& processTag() {
    static const std::string tag = std::to_string(std::random_device()());
    return tag;
}

inline std::string toolPath(const std::string& name) {
    return std::string(TARVEX_BINARY_DIR) + "/codec_tool_" + processTag() + "_" + name;
}

inline bool toolAvailable(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool underCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Feeds `input` to `command` on standard input; its standard output lands in
// *output. False when the command fails.
inline bool runTool(const std::string& command, const std::string& input, std::string* output) {
    static int serial = 0;
    const std::string tag = std::to_string(++serial);
    const std::string in = toolPath("in" + tag), out = toolPath("out" + tag);
    {
        std::ofstream f(in, std::ios::binary | std::ios::trunc);
        f << input;
    }
    const int rc = std::system((command + " <'" + in + "' >'" + out + "' 2>/dev/null").c_str());
    std::ifstream f(out, std::ios::binary);
    *output = std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    std::remove(in.c_str());
    std::remove(out.c_str());
    return rc == 0;
}

// A python3 program run with `input` on standard input.
inline bool runPython(const std::string& program, const std::string& input, std::string* output) {
    const std::string script = toolPath("script.py");
    {
        std::ofstream f(script, std::ios::trunc);
        f << program;
    }
    const bool ok = runTool("python3 '" + script + "'", input, output);
    std::remove(script.c_str());
    return ok;
}

inline std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string unhex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace tarvex_test

// Skips (or under CI fails) the test when the program is not installed.
#define REQUIRE_TOOL(program)                                                   \
    do {                                                                        \
        if (!tarvex_test::toolAvailable(program)) {                             \
            if (tarvex_test::underCi()) FAIL() << program << " is not installed"; \
            GTEST_SKIP() << program << " is not installed";                     \
        }                                                                       \
    } while (0)
