// Buffers and logs read back as std::string, for comparisons; random bytes.
#pragma once

#include <random>
#include <string>

#include "log/Logger.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex_test {

inline std::string textOf(const tarvex::StringBuffer& b) { return std::string(b.getString(), b.getSize()); }
inline std::string textOf(const tarvex::DataBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}
// Bytes that do not compress, the same for the same seed.
inline std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}
inline std::string logText(tarvex::Logger& log) {
    tarvex::StringBuffer text;
    log.GetText(text);
    return textOf(text);
}

}  // namespace tarvex_test
