// The platform seam for small system services. One backend per platform:
// platform/posix/*.cpp and platform/win/*.cpp implement it.
#pragma once

#include <cstdint>

namespace tarvex {

class StringBuffer;

namespace platform {

uint32_t ansiCodePage();        // GetACP on Windows; 1252 elsewhere
uint32_t oemCodePage();         // GetOEMCP on Windows; 437 elsewhere
uint32_t tickCount();           // milliseconds, wraps like GetTickCount
uint32_t lastErrorCode();       // GetLastError / errno
// Appends the system's message text for an error code (nothing if none).
void appendErrorText(uint32_t code, StringBuffer& out);
void sleepMs(uint32_t ms);
bool currentDirectory(StringBuffer& outUtf8);
// Fills n bytes from a pseudo-random source (padding, temporary names).
void randomBytes(void* p, uint32_t n);

}  // namespace platform
}  // namespace tarvex
