// BSTR where the platform does not supply one: the string points at its
// UTF-16 characters; the 32-bit byte length sits just before them and a NUL
// unit always follows them.
#include "platform/posix/AutomationStorage.h"

#include <cstdlib>
#include <cstring>

namespace tarvex {
namespace platform {

BSTR allocBstrBytes(const void* src, uint32_t byteLen) {
    if (byteLen > kMaxBstrBytes) return nullptr;
    // Room for the bytes, a NUL unit, and a spare byte when the length is odd.
    size_t total = kBstrPrefix + static_cast<size_t>(byteLen) + 3;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(total));
    if (!block) return nullptr;
    std::memset(block, 0, total);
    std::memcpy(block + 4, &byteLen, sizeof(byteLen));
    uint8_t* chars = block + kBstrPrefix;
    if (src && byteLen) std::memcpy(chars, src, byteLen);
    return reinterpret_cast<BSTR>(chars);
}

uint32_t bstrBytes(BSTR b) {
    if (!b) return 0;
    uint32_t n;
    std::memcpy(&n, reinterpret_cast<const uint8_t*>(b) - 4, sizeof(n));
    return n;
}

BSTR copyBstr(BSTR b) {
    if (!b) return nullptr;
    return allocBstrBytes(b, bstrBytes(b));
}

BSTR bstrFromAscii(const char* s) {
    size_t n = std::strlen(s);
    BSTR b = allocBstrBytes(nullptr, static_cast<uint32_t>(n * 2));
    if (!b) return nullptr;
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<OLECHAR>(static_cast<unsigned char>(s[i]));
    return b;
}

}  // namespace platform
}  // namespace tarvex

using tarvex::platform::allocBstrBytes;
using tarvex::platform::bstrBytes;
using tarvex::platform::kBstrPrefix;
using tarvex::platform::kMaxBstrBytes;

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t n = 0;
    while (psz[n]) ++n;
    if (n > kMaxBstrBytes / 2) return nullptr;
    return allocBstrBytes(psz, static_cast<uint32_t>(n * 2));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > kMaxBstrBytes / 2) return nullptr;
    return allocBstrBytes(pch, cch * 2);
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    return allocBstrBytes(psz, len);
}

void SysFreeString(BSTR bstr) {
    if (!bstr) return;
    std::free(reinterpret_cast<uint8_t*>(bstr) - kBstrPrefix);
}

UINT SysStringLen(BSTR bstr) { return bstrBytes(bstr) / 2; }

UINT SysStringByteLen(BSTR bstr) { return bstrBytes(bstr); }

}  // extern "C"
