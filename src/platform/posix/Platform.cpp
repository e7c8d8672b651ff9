// Small system services on POSIX systems.
#include "platform/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <sys/random.h>
#include <unistd.h>

#include "platform/PseudoRandom.h"

namespace tarvex {
namespace platform {

namespace {

// strerror_r comes in two flavours: the GNU one returns the text, the XSI one
// fills the buffer and returns a status.
[[maybe_unused]] const char* errorTextResult(int status, const char* buf) {
    return status == 0 ? buf : nullptr;
}
[[maybe_unused]] const char* errorTextResult(const char* text, const char*) { return text; }

}  // namespace

uint32_t ansiCodePage() { return 1252; }

uint32_t oemCodePage() { return 437; }

uint32_t tickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint32_t lastErrorCode() { return static_cast<uint32_t>(errno); }

std::string errorText(uint32_t code) {
    if (code == 0) return std::string();
    char buf[256];
    buf[0] = '\0';
    const char* text = errorTextResult(strerror_r(static_cast<int>(code), buf, sizeof(buf)), buf);
    return text ? std::string(text) : std::string();
}

void sleepMs(uint32_t ms) {
    timespec req{};
    req.tv_sec = static_cast<time_t>(ms / 1000u);
    req.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

bool currentDirectory(std::string& outUtf8) {
    std::vector<char> buf(512);
    for (;;) {
        if (getcwd(buf.data(), buf.size())) {
            outUtf8 = buf.data();
            return true;
        }
        if (errno != ERANGE || buf.size() > (1u << 20)) return false;
        buf.resize(buf.size() * 2);
    }
}

void randomBytes(void* p, uint32_t n) {
    uint8_t* out = static_cast<uint8_t*>(p);
    uint32_t done = 0;
    while (done < n) {
        ssize_t got = getrandom(out + done, n - done, GRND_NONBLOCK);
        if (got > 0) {
            done += static_cast<uint32_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;
    }
    if (done == n) return;
    // No kernel source: a per-thread generator seeded from the clock.
    thread_local uint64_t state = 0;
    if (state == 0) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        state = (static_cast<uint64_t>(ts.tv_sec) << 32) ^ static_cast<uint64_t>(ts.tv_nsec) ^
                reinterpret_cast<uintptr_t>(&state) ^ static_cast<uint64_t>(getpid());
    }
    fillPseudoRandom(state, out + done, n - done);
}

}  // namespace platform
}  // namespace tarvex
