// Small system services on Windows.
#include "platform/Platform.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/PseudoRandom.h"

#ifndef BCRYPT_USE_SYSTEM_PREFERRED_RNG
#define BCRYPT_USE_SYSTEM_PREFERRED_RNG 0x00000002
#endif

namespace tarvex {
namespace platform {

uint32_t ansiCodePage() { return GetACP(); }

uint32_t oemCodePage() { return GetOEMCP(); }

uint32_t tickCount() { return GetTickCount(); }

uint32_t lastErrorCode() { return GetLastError(); }

std::string errorText(uint32_t code) {
    std::string out;
    if (code == 0) return out;
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, code, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (n && text) out = text;
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
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(got), nullptr, 0,
                                    nullptr, nullptr);
    if (bytes <= 0) return false;
    std::vector<char> utf8(static_cast<size_t>(bytes) + 1);
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(got), utf8.data(), bytes,
                        nullptr, nullptr);
    utf8[static_cast<size_t>(bytes)] = '\0';
    outUtf8 = utf8.data();
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
