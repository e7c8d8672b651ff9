// The platform seam for small system services. One backend per platform:
// platform/posix/*.cpp and platform/win/*.cpp implement it.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {
namespace platform {

uint32_t ansiCodePage();        // GetACP on Windows; 1252 elsewhere
uint32_t oemCodePage();         // GetOEMCP on Windows; 437 elsewhere
uint32_t tickCount();           // milliseconds, wraps like GetTickCount
uint32_t lastErrorCode();       // GetLastError / errno
// The system's message text for an error code (empty if none).
std::string errorText(uint32_t code);
void sleepMs(uint32_t ms);
// The current directory as UTF-8; false (and out untouched) when it cannot be read.
bool currentDirectory(std::string& outUtf8);
// Fills n bytes from a pseudo-random source (padding, temporary names).
void randomBytes(void* p, uint32_t n);

}  // namespace platform
}  // namespace tarvex
