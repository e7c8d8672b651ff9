// TargetCharset: which characters a save's target code page holds. Used only
// when a save found characters the encoding lacks, so it may be slow per
// character; each answer is remembered.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvex {

class TargetCharset {
public:
    explicit TargetCharset(uint32_t codePage);
    bool canEncode(uint32_t ch);

private:
    uint32_t codePage_;
    bool unicode_;
    std::vector<uint8_t> state_;   // per BMP character: 0 unknown, 1 yes, 2 no
};

}  // namespace tarvex
