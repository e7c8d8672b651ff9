// CommandRunner: runs one of the project's programs in a scratch folder and
// collects its exit status, standard output and standard error.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace tarvex_test {

struct CommandResult {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Single-quotes a word for the shell.
inline std::string shellQuote(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A fresh folder under the build tree, removed when the object goes. The
// process id keeps test processes that ctest runs side by side apart.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name) {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::path(TARVEX_BINARY_DIR) / "test-scratch" /
                (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs `program` with `args` inside `dir`, standard input from /dev/null.
inline CommandResult runProgram(const std::string& program, const std::vector<std::string>& args,
                                const ScratchDir& dir) {
    std::string command = "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(program);
    for (const std::string& a : args) command += " " + shellQuote(a);
    command += " </dev/null >.stdout 2>.stderr";
    const int raw = std::system(command.c_str());
    CommandResult r;
    // std::system gives the wait status: the exit code sits in bits 8-15
    // when the low seven bits (the terminating signal) are zero.
    if (raw != -1 && (raw & 0x7F) == 0) r.status = (raw >> 8) & 0xFF;
    r.out = readAll(dir / ".stdout");
    r.err = readAll(dir / ".stderr");
    return r;
}

}  // namespace tarvex_test
