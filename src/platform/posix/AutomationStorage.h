// What the POSIX automation files share: the BSTR layout, [4 spare bytes]
// [uint32 byte length][characters][NUL unit] (malloc returns 16-byte aligned
// blocks, so the characters start 8-aligned), and the array element sizes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarvex/automation.h"

namespace tarvex {
namespace platform {

constexpr size_t kBstrPrefix = 8;
constexpr uint32_t kMaxBstrBytes = 0x7FFFFFF0u;

// A new BSTR of byteLen bytes copied from src (zeros when src is null); null
// when too long or out of memory.
BSTR allocBstrBytes(const void* src, uint32_t byteLen);
uint32_t bstrBytes(BSTR b);
BSTR copyBstr(BSTR b);
BSTR bstrFromAscii(const char* s);

// Element size for a VARTYPE, 0 when arrays of it are not supported.
ULONG elementSize(VARTYPE vt);

}  // namespace platform
}  // namespace tarvex
