// libFuzzer target: any text through the strict and lenient base64 decoders.
// What the strict decoder accepts must survive encoding and decoding again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/ContentCoding.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

using namespace tarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const uint32_t n = static_cast<uint32_t>(size);
    DataBuffer lenient;
    ContentCoding::decodeBase64Lenient(text, n, lenient);
    DataBuffer strict;
    if (!ContentCoding::decodeBase64Strict(text, n, strict)) return 0;

    StringBuffer lines;
    ContentCoding().encodeBase64Lines(strict.getData(), strict.getSize(), lines);
    DataBuffer again;
    if (!ContentCoding::decodeBase64Strict(lines.getString(), static_cast<uint32_t>(lines.getSize()), again) ||
        again.getSize() != strict.getSize() ||
        (strict.getSize() > 0 && std::memcmp(again.getData(), strict.getData(), strict.getSize()) != 0))
        std::abort();
    return 0;
}
