// Small system services on Windows.
#include "platform/Platform.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/PseudoRandom.h"
#include "platform/win/WideText.h"

#ifndef BCRYPT_USE_SYSTEM_PREFERRED_RNG
#define BCRYPT_USE_SYSTEM_PREFERRED_RNG 0x00000002
#endif

namespace tarvex {
namespace platform {

uint32_t ansiCodePage() { return GetACP(); }

uint32_t oemCodePage() { return GetOEMCP(); }

uint32_t tickCount() { return GetTickCount(); }

uint32_t lastErrorCode() { return GetLastError(); }

// The log is UTF-8: the text is fetched wide and converted, so that messages
// of a system whose ANSI code page is not UTF-8 arrive intact.
std::string errorText(uint32_t code) {
    std::string out;
    if (code == 0) return out;
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, code, 0x400, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n && text) out = utf8FromWide(text, n);
    if (text) LocalFree(text);
    return out;
}

void sleepMs(uint32_t ms) { Sleep(ms); }

bool currentDirectory(std::string& outUtf8) {
    DWORD need = GetCurrentDirectoryW(0, nullptr);
    if (need == 0) return false;
    std::vector<wchar_t> wide(need + 1);
    DWORD got = GetCurrentDirectoryW(need + 1, wide.data());
    if (got == 0 || got > need) return false;
    std::string utf8 = utf8FromWide(wide.data(), got);
    if (utf8.empty()) return false;
    outUtf8 = utf8;
    return true;
}

void randomBytes(void* p, uint32_t n) {
    if (n == 0) return;
    if (BCryptGenRandom(nullptr, static_cast<PUCHAR>(p), n, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return;
    // No system source: a per-thread generator seeded from the clock.
    thread_local uint64_t state = 0;
    if (state == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        state = static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                reinterpret_cast<uintptr_t>(&state);
    }
    fillPseudoRandom(state, static_cast<uint8_t*>(p), n);
}

}  // namespace platform
}  // namespace tarvex
