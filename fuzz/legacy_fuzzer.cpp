// libFuzzer target: encrypted content in the legacy format (its 7-byte mark
// is put in front of the input) and in the current format.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/ClsAesInterop.h"
#include "log/Logger.h"

using namespace tarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    ClsAesInterop cipher;
    cipher.setPassword(reinterpret_cast<const uint8_t*>("pw"), 2);
    std::vector<uint8_t> legacy(7 + size);
    std::memcpy(legacy.data(), "ostrand", 7);
    if (size) std::memcpy(legacy.data() + 7, data, size);
    Logger log;
    uint32_t length = 0;
    if (cipher.decryptBytes(legacy.data(), static_cast<uint32_t>(legacy.size()), &length, log) &&
        length > legacy.size())
        __builtin_trap();
    std::vector<uint8_t> current(data, data + size);
    if (cipher.decryptBytes(current.data(), static_cast<uint32_t>(current.size()), &length, log) &&
        length > current.size())
        __builtin_trap();
    return 0;
}
