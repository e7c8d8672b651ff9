// libFuzzer target: encoded-words, Q text and header words from any text.
#include <cstddef>
#include <cstdint>

#include "codec/ContentCoding.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

using namespace tarvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    StringBuffer text(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), 0);
    DataBuffer words;
    ContentCoding::decodeWords(text, words);
    DataBuffer q;
    ContentCoding::decodeQ(text.getString(), text.getSize(), q);  // 0: up to the NUL
    StringBuffer encoded;
    ContentCoding::makeQWord(data, static_cast<uint32_t>(size), "x", encoded);
    StringBuffer header(text);
    ContentCoding::decodeHeaderWords(header);
    return 0;
}
