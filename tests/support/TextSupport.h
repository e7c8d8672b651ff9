// Buffers and logs read back as std::string, for comparisons.
#pragma once

#include <string>

#include "log/Logger.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

namespace tarvex_test {

inline std::string textOf(const tarvex::StringBuffer& b) { return std::string(b.getString(), b.getSize()); }
inline std::string textOf(const tarvex::DataBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}
inline std::string logText(tarvex::Logger& log) {
    tarvex::StringBuffer text;
    log.GetText(text);
    return textOf(text);
}

}  // namespace tarvex_test
