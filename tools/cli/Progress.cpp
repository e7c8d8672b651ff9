#include "Progress.h"

#include <cstdio>

#include "platform/Terminal.h"

namespace tarvex_cli {
namespace {
// Short operations finish without any drawing.
constexpr std::chrono::milliseconds kFirstDraw(300);
constexpr std::chrono::milliseconds kRedraw(150);
}  // namespace

bool progressAllowed() { return stderrIsTerminal(); }

Progress::Progress(std::string what, bool enabled)
    : what_(std::move(what)), enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() { clear(); }

void Progress::tick(size_t done, const char* unit) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kFirstDraw || now - last_ < kRedraw) return;
    last_ = now;
    std::fprintf(stderr, "\r%s: %zu %s\033[K", what_.c_str(), done, unit);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::status(const std::string& text) {
    if (!enabled_) return;
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace tarvex_cli
