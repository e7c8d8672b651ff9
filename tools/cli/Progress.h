// Progress: a one-line counter on standard error for long operations, drawn
// only when standard error is a terminal and the work has taken a while, so
// pipes and logs never see it.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace tarvex_cli {

class Progress {
public:
    // `enabled` false (--quiet, or not a terminal) makes every call a no-op.
    Progress(std::string what, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Called once per unit of work; redraws at most a few times a second.
    void tick(size_t done, const char* unit);
    // Shows a fixed status text at once (for one long call such as a load).
    void status(const std::string& text);
    // Erases the line.
    void clear();

private:
    std::string what_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

// Whether progress may be drawn at all: standard error is a terminal.
bool progressAllowed();

}  // namespace tarvex_cli
